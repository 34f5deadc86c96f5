// The frame step as the host sees it: the handles it gets back, and frames run
// on missing records.
#include "plugin_fixture.h"

namespace {

using FrameStep = PluginTest;

// The ATC's brake never weakens the driver's: a driver already at or beyond
// the ATC's notch (5 here) keeps it. The reverser rule looks at the driver's
// own brake. The controller's commands are brought about as the host would:
// the service brake in the power-on frame, the latch alone by rolling back in
// ATS outside an ATC section, both in the frame after the reset beacon.
TEST_F(FrameStep, HandlesFollowServiceBrakeAndEmergencyLatch) {
  enum Verdict { Pass, Service, Emergency, Both };
  struct Row {
    Verdict verdict;
    int32_t brake, power, reverser;
    HandleValues expected;
  };
  constexpr int32_t Emg = EmergencyNotch8;
  for (const Row& row :
       {Row{Pass, 42, -3, 7, {42, -3, 7, 2}}, Row{Service, Emg, 4, 1, {Emg, 0, 1, 2}},
        Row{Service, 12, 4, 1, {12, 0, 1, 2}}, Row{Service, 3, 4, -1, {5, 0, -1, 2}},
        Row{Service, -1, 4, 1, {5, 0, 1, 2}}, Row{Service, 0, 4, -1, {5, 0, 0, 2}},
        Row{Emergency, 0, 4, 1, {Emg, 0, 1, 2}}, Row{Both, 0, 4, 1, {Emg, 0, 0, 0}},
        Row{Both, 12, 4, -1, {Emg, 0, -1, 0}}}) {
    StartRun(row.verdict == Emergency ? "[Settings]\nUseATS=1\nATCBrakeNotch=5\n"
                                      : "[Settings]\nATCBrakeNotch=5\n");
    if (row.verdict != Service) {
      Settle();
    }
    const BeaconData beacon{600, {}, 1};
    SetBeaconData(row.verdict == Both ? &beacon : nullptr);
    if (row.verdict == Emergency) {
      Frame(-6.0f);  // and the frame checked runs at that speed too
    }
    SetBrake(row.brake);
    SetPower(row.power);
    SetReverser(row.reverser);
    const Handles out = Elapse(&state_, panel_.data(), sound_.data());
    ASSERT_EQ(std::tie(Module.Controller.ServiceBrakeCommand, Module.Controller.EmergencyLatch),
              std::tuple(row.verdict & 1, row.verdict >> 1));
    EXPECT_EQ(Values(out), row.expected) << row.verdict << ", driver " << row.brake;
    EXPECT_EQ(Values(Module.OutputHandles), row.expected);
    EXPECT_EQ(Module.DriverHandles.Brake, row.brake);
  }
}

TEST_F(FrameStep, NullRecordsAreSkippedAndMissingStateKeepsTheLastOne) {
  StartRun();
  SetVehicleSpec(nullptr);
  SetBeaconData(nullptr);  // at standstill, where a reset beacon would reset
  EXPECT_EQ(std::tie(Module.EmergencyNotch, Module.Controller.Active),
            std::tuple(EmergencyNotch8, 0));
  Elapse(&state_, nullptr, sound_.data());
  EXPECT_EQ(sound_[cab::SoundChange], P);
  Elapse(&state_, panel_.data(), nullptr);
  EXPECT_EQ(panel_[cab::PanelModeRestricted], 1);
  EXPECT_EQ(sound_[cab::SoundChange], P) << "written only by the first frame";
  SetBrake(0);
  Frame(30.0f);  // over 25 km/h: the channels clear now, the permit goes next frame
  EXPECT_EQ(Values(Elapse(nullptr, nullptr, nullptr)), (HandleValues{AtcNotch8, 0, 0, 2}));
  const BeaconData beacon{600, {}, 1};
  SetBeaconData(&beacon);  // the train still counts as moving
  EXPECT_EQ(Module.Controller.Mode, ModeRestricted);
}

}  // namespace

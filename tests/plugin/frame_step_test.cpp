// The frame step as the host sees it: the handles it gets back, the ATS lamps,
// and frames run on missing records.
#include <climits>
#include <optional>

#include "plugin_fixture.h"

namespace {

// The controller's two commands in the frame that is checked.
enum class Verdict { Pass, Service, Emergency, Both };
constexpr int32_t SpecNotch = INT32_MIN;  // the driver's notch as SetVehicleSpec left it

struct HandleRow {
  const char* name;
  Verdict verdict;
  int32_t brake, power, reverser;
  Handles expected;
};

class HandleRules : public PluginTest, public ::testing::WithParamInterface<HandleRow> {};

TEST_P(HandleRules, FollowServiceBrakeAndEmergencyLatch) {
  const HandleRow& row = GetParam();
  const Verdict v = row.verdict;
  StartRun(v == Verdict::Emergency ? AtsIni : nullptr);
  if (v != Verdict::Service) {  // else the power-on frame: no permit yet
    Settle();
  }
  if (v == Verdict::Emergency) {  // rolling back in ATS outside an ATC section
    Frame(-6.0f);
  } else if (v == Verdict::Both) {  // the frame after the reset beacon
    const BeaconData beacon{600, {}, 1};
    SetBeaconData(&beacon);
  }
  if (row.brake != SpecNotch) {
    SetBrake(row.brake);
  }
  SetPower(row.power);
  SetReverser(row.reverser);
  const DriverHandles driver = Module.DriverHandles;

  const Handles out = Frame(v == Verdict::Emergency ? -6.0f : 0.0f);
  ASSERT_EQ(Module.Controller.ServiceBrakeCommand, v == Verdict::Service || v == Verdict::Both);
  ASSERT_EQ(Module.Controller.EmergencyLatch, v == Verdict::Emergency || v == Verdict::Both);
  EXPECT_EQ(out, row.expected);
  EXPECT_EQ(Module.OutputHandles, row.expected);
  EXPECT_EQ(0, std::memcmp(&Module.DriverHandles, &driver, sizeof driver)) << "driver's handles";
}

constexpr int32_t Atc = AtcNotch8;
constexpr int32_t Emg = EmergencyNotch8;
using V = Verdict;

INSTANTIATE_TEST_SUITE_P(
    AllCommandPairs, HandleRules,
    ::testing::Values(
        HandleRow{"PassDriverHandles", V::Pass, 3, 4, 1, {3, 4, 1, 2}},
        HandleRow{"PassOutOfRangeUnchanged", V::Pass, 42, -3, 7, {42, -3, 7, 2}},
        HandleRow{"PassBrakeReleased", V::Pass, 0, 2, -1, {0, 2, -1, 2}},
        HandleRow{"ServiceReplacesEmergencyNotch", V::Service, Emg, 4, 1, {Atc, 0, 1, 2}},
        HandleRow{"ServiceReplacesSpecNotch", V::Service, SpecNotch, 4, 1, {Atc, 0, 1, 2}},
        HandleRow{"ServiceAboveEmergency", V::Service, 12, 4, 1, {Atc, 0, 1, 2}},
        HandleRow{"ServiceReleasedBrakeNeutral", V::Service, 0, 4, 1, {Atc, 0, 0, 2}},
        HandleRow{"ServiceReleasedBrakeBackward", V::Service, 0, 4, -1, {Atc, 0, 0, 2}},
        HandleRow{"ServiceAppliedBrakeKeeps", V::Service, 3, 4, -1, {Atc, 0, -1, 2}},
        HandleRow{"ServiceNegativeNotchKeeps", V::Service, -1, 4, 1, {Atc, 0, 1, 2}},
        HandleRow{"EmergencyReleasedBrakeKeeps", V::Emergency, 0, 4, 1, {Emg, 0, 1, 2}},
        HandleRow{"EmergencyAppliedBrake", V::Emergency, 3, 4, -1, {Emg, 0, -1, 2}},
        HandleRow{"BothReleasedBrake", V::Both, 0, 4, 1, {Emg, 0, 0, 0}},
        HandleRow{"BothAppliedBrake", V::Both, 3, 4, -1, {Emg, 0, -1, 0}},
        HandleRow{"BothAboveEmergency", V::Both, 12, 4, 1, {Emg, 0, 1, 0}}),
    RowName{});

using FrameStep = PluginTest;

// Panel 247 and 249 only with the ATS position fitted; 249 is never cleared.
TEST_F(FrameStep, AtsLampsFollowModeAndSection) {
  struct Row {
    const char* ini;
    int32_t modeKey;  // 0: none
    int32_t aspect;
    std::optional<int32_t> running, ready;  // none: not written
  };
  for (const Row& row : {Row{nullptr, 0, 0, {}, {}}, Row{nullptr, KeyModeUp, 19, {}, {}},
                         Row{AtsIni, 0, 12, 1, {}}, Row{AtsIni, 0, 19, 0, 1},
                         Row{AtsIni, KeyModeUp, 19, 0, 1}, Row{AtsIni, KeyModeDown, 0, 0, 1}}) {
    SCOPED_TRACE(testing::Message() << row.modeKey << " " << row.aspect << " " << !!row.ini);
    ResetModule();
    StartRun(row.ini);
    SetSignal(row.aspect);
    KeyDown(row.modeKey);
    for (int frame = 0; frame < 3; ++frame) {
      Frame();
      EXPECT_EQ(Panel(PanelAtsRunning), row.running.value_or(Unwritten));
      EXPECT_EQ(Panel(PanelAtsReady), row.ready.value_or(Unwritten));
    }
  }
}

TEST_F(FrameStep, NullRecordsAreSkippedAndMissingStateKeepsTheLastOne) {
  StartRun();
  SetPower(3);
  SetVehicleSpec(nullptr);
  SetBeaconData(nullptr);  // at standstill, where a reset beacon would reset
  EXPECT_EQ(Module.EmergencyNotch, EmergencyNotch8);
  EXPECT_EQ(Module.DriverHandles.Brake, EmergencyNotch8);
  EXPECT_EQ(Module.DriverHandles.Power, 3);
  EXPECT_EQ(Module.Controller.Active, 0);

  FillUnwritten();
  Elapse(&state_, nullptr, Sound());
  EXPECT_EQ(Panel(PanelModeRestricted), Unwritten);
  EXPECT_EQ(Sound(SoundChange), P);
  FillUnwritten();
  Elapse(&state_, Panel(), nullptr);
  EXPECT_EQ(Panel(PanelModeRestricted), 1);
  EXPECT_EQ(Sound(SoundChange), Unwritten);

  Frame();
  SetBrake(0);
  Frame(30.0f);  // over 25 km/h: the channels clear now, the permit goes next frame
  EXPECT_EQ(Elapse(nullptr, nullptr, nullptr), (Handles{AtcNotch8, 0, 0, 2}));
  EXPECT_EQ(Module.CurrentState.Speed, 30.0f);
  const BeaconData beacon{600, {}, 1};
  SetBeaconData(&beacon);  // the train still counts as moving
  EXPECT_EQ(Module.Controller.Mode, ModeRestricted);
}

}  // namespace

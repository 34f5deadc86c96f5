// The frame step as the host sees it: the handles it gets back, the panel and
// sound values, and the frames run on missing records.
#include <cstring>
#include <optional>
#include <vector>

#include "plugin_fixture.h"

namespace {

// The controller's two commands in the frame that is checked.
enum class Verdict { Pass, Service, Emergency, ServiceAndEmergency };

struct HandleRow {
  const char* name;
  Verdict verdict;
  std::optional<int32_t> brake;  // none: the notch SetVehicleSpec left, emergency
  int32_t power;
  int32_t reverser;
  Handles expected;
};

class HandleRules : public PluginTest, public ::testing::WithParamInterface<HandleRow> {
 protected:
  // Brings the controller to the frame before the one with the given verdict.
  void LeadUpTo(Verdict verdict) {
    switch (verdict) {
      case Verdict::Pass:  // restricted, at standstill: the permits are granted
        StartRun();
        Settle();
        break;
      case Verdict::Service:  // the power-on cycle: no permit yet
        StartRun();
        break;
      case Verdict::Emergency:  // rolling back in ATS outside an ATC section
        StartRunWithIni("[Settings]\nUseATS=1\n");
        Settle();
        Frame(-6.0f);
        break;
      case Verdict::ServiceAndEmergency:  // the frame after the reset beacon
        StartRun();
        Settle();
        const BeaconData beacon{600, {}, 1};
        SetBeaconData(&beacon);
        break;
    }
  }
};

TEST_P(HandleRules, ReturnedHandlesFollowServiceBrakeAndEmergencyLatch) {
  const HandleRow& row = GetParam();
  LeadUpTo(row.verdict);
  if (row.brake) {
    SetBrake(*row.brake);
  }
  SetPower(row.power);
  SetReverser(row.reverser);
  const DriverHandles driver = Module.DriverHandles;

  const Handles out = Frame(row.verdict == Verdict::Emergency ? -6.0f : 0.0f);

  const bool service =
      row.verdict == Verdict::Service || row.verdict == Verdict::ServiceAndEmergency;
  const bool emergency =
      row.verdict == Verdict::Emergency || row.verdict == Verdict::ServiceAndEmergency;
  ASSERT_EQ(Module.Controller.ServiceBrakeCommand, service);
  ASSERT_EQ(Module.Controller.EmergencyLatch, emergency);
  EXPECT_EQ(out, row.expected);
  EXPECT_EQ(Module.OutputHandles, row.expected);
  EXPECT_EQ(0, std::memcmp(&Module.DriverHandles, &driver, sizeof driver)) << "driver's handles";
}

constexpr int32_t Atc = DefaultAtcBrakeNotch8;
constexpr int32_t Emg = EmergencyNotch8;

INSTANTIATE_TEST_SUITE_P(
    AllCommandPairs, HandleRules,
    ::testing::Values(
        HandleRow{"PassDriverHandles", Verdict::Pass, 3, 4, 1, {3, 4, 1, 2}},
        HandleRow{"PassOutOfRangeUnchanged", Verdict::Pass, 42, -3, 7, {42, -3, 7, 2}},
        HandleRow{"PassBrakeReleased", Verdict::Pass, 0, 2, -1, {0, 2, -1, 2}},
        HandleRow{"ServiceReplacesEmergencyNotch", Verdict::Service, Emg, 4, 1, {Atc, 0, 1, 2}},
        HandleRow{"ServiceReplacesSpecNotch", Verdict::Service, std::nullopt, 4, 1, {Atc, 0, 1, 2}},
        HandleRow{"ServiceAboveEmergency", Verdict::Service, 12, 4, 1, {Atc, 0, 1, 2}},
        HandleRow{"ServiceReleasedBrakeNeutral", Verdict::Service, 0, 4, 1, {Atc, 0, 0, 2}},
        HandleRow{"ServiceReleasedBrakeBackward", Verdict::Service, 0, 4, -1, {Atc, 0, 0, 2}},
        HandleRow{"ServiceAppliedBrakeKeeps", Verdict::Service, 3, 4, -1, {Atc, 0, -1, 2}},
        HandleRow{"ServiceNegativeNotchKeeps", Verdict::Service, -1, 4, 1, {Atc, 0, 1, 2}},
        HandleRow{"EmergencyReleasedBrakeKeeps", Verdict::Emergency, 0, 4, 1, {Emg, 0, 1, 2}},
        HandleRow{"EmergencyAppliedBrake", Verdict::Emergency, 3, 4, -1, {Emg, 0, -1, 2}},
        HandleRow{"BothReleasedBrake", Verdict::ServiceAndEmergency, 0, 4, 1, {Emg, 0, 0, 0}},
        HandleRow{"BothAppliedBrake", Verdict::ServiceAndEmergency, 3, 4, -1, {Emg, 0, -1, 0}},
        HandleRow{"BothAboveEmergency", Verdict::ServiceAndEmergency, 12, 4, 1, {Emg, 0, 1, 0}}),
    RowName{});

using FrameStep = PluginTest;

TEST_F(FrameStep, ConfiguredAtcNotchIsSentWhateverTheDriversNotch) {
  for (const int32_t notch : {0, 3, 7, 8, EmergencyNotch8, 12}) {
    SCOPED_TRACE(notch);
    ResetModule();
    StartRunWithIni("[Settings]\nATCBrakeNotch=7\n");
    SetBrake(notch);
    EXPECT_EQ(Frame().Brake, 7);
  }
}

// Panel 247 and 249 only with the ATS position fitted; 249 is never cleared.
struct AtsLampRow {
  const char* name;
  bool atsFitted;
  int32_t modeKey;  // 0: none
  int32_t aspect;
  std::optional<int32_t> running;  // panel 247; none: not written
  std::optional<int32_t> ready;    // panel 249
};

class AtsLamps : public PluginTest, public ::testing::WithParamInterface<AtsLampRow> {};

TEST_P(AtsLamps, WrittenOnlyAsTheModeAndSectionSay) {
  const AtsLampRow& row = GetParam();
  StartRunWithIni(row.atsFitted ? "[Settings]\nUseATS=1\n" : "");
  SetSignal(row.aspect);
  if (row.modeKey != 0) {
    KeyDown(row.modeKey);
  }
  for (int frame = 0; frame < 3; ++frame) {
    Frame();
    EXPECT_EQ(Panel(PanelAtsRunning), row.running.value_or(Unwritten));
    EXPECT_EQ(Panel(PanelAtsReady), row.ready.value_or(Unwritten));
  }
}

INSTANTIATE_TEST_SUITE_P(
    ModesAndSections, AtsLamps,
    ::testing::Values(AtsLampRow{"NotFitted", false, 0, 0, std::nullopt, std::nullopt},
                      AtsLampRow{"NotFittedAtc", false, KeyModeUp, 19, std::nullopt, std::nullopt},
                      AtsLampRow{"AtsOutsideSection", true, 0, 12, 1, std::nullopt},
                      AtsLampRow{"AtsInsideSection", true, 0, 19, 0, 1},
                      AtsLampRow{"Atc", true, KeyModeUp, 19, 0, 1},
                      AtsLampRow{"Restricted", true, KeyModeDown, 0, 0, 1}),
    RowName{});

struct Sounds {
  int32_t change, atcCode, aspect10;
};

TEST_F(FrameStep, EachSoundRequestReachesTheHostInExactlyOneFrame) {
  constexpr int32_t P = SOUND_PLAY, C = SOUND_CONTINUE, S = SOUND_STOP;
  StartRunWithIni("[Settings]\nUseATS=1\n");
  struct Step {
    int32_t aspect;  // -100: no signal before the frame
    Sounds expected;
  };
  const Step steps[] = {
      {-100, {P, S, S}},  // power-on cycle; nothing else requested since the reset
      {-100, {P, C, C}},  // permits granted
      {-100, {C, C, C}}, {19, {P, P, C}},   {-100, {C, C, C}},
      {10, {P, C, P}},   {-100, {C, C, C}}, {-100, {C, C, C}},
  };
  for (const Step& step : steps) {
    if (step.aspect != -100) {
      SetSignal(step.aspect);
    }
    Frame();
    EXPECT_EQ(Sound(SoundChange), step.expected.change);
    EXPECT_EQ(Sound(SoundAtcCode), step.expected.atcCode);
    EXPECT_EQ(Sound(SoundAspect10), step.expected.aspect10);
  }
}

TEST_F(FrameStep, CutOutFramePassesTheDriversHandles) {
  StartRun();
  Settle();
  SetBrake(0);
  SetPower(3);
  SetReverser(1);
  Frame(40.0f);  // over the restricted 25 km/h
  KeyDown(KeyCutOut);
  EXPECT_EQ(Frame(40.0f), (Handles{0, 3, 1, 2}));
  EXPECT_EQ(Panel(PanelActive), 0);
  EXPECT_EQ(Panel(PanelCutOut), 1);
  EXPECT_EQ(Panel(PanelSpeedLimit), 25);
}

TEST_F(FrameStep, MissingStateRunsTheFrameOnTheLastOne) {
  StartRun();
  Settle();
  SetBrake(0);
  SetPower(3);
  Frame(30.0f);  // over 25 km/h: the channels clear now, the permit goes next frame
  FillUnwritten();
  const Handles out = Elapse(nullptr, PanelArray(), SoundArray());
  EXPECT_EQ(Module.CurrentState.Speed, 30.0f);
  EXPECT_EQ(out.Brake, DefaultAtcBrakeNotch8);
  EXPECT_EQ(out.Power, 0);
  EXPECT_EQ(Sound(SoundChange), SOUND_PLAY);
  EXPECT_EQ(Panel(PanelSpeedLimit), 25);
  // The reset beacon still sees the train moving.
  const BeaconData beacon{600, {}, 1};
  SetBeaconData(&beacon);
  EXPECT_EQ(Module.Controller.Mode, ModeRestricted);
}

TEST_F(FrameStep, MissingArraysAreSkippedAndTheOtherIsWritten) {
  StartRunWithIni("[Settings]\nUseATS=1\n");
  FillUnwritten();
  Elapse(&state_, nullptr, SoundArray());
  EXPECT_EQ(Panel(PanelModeAts), Unwritten);
  EXPECT_EQ(Panel(PanelAtsRunning), Unwritten);
  EXPECT_EQ(Sound(SoundChange), SOUND_PLAY);

  FillUnwritten();
  Elapse(&state_, PanelArray(), nullptr);
  EXPECT_EQ(Panel(PanelModeAts), 1);
  EXPECT_EQ(Panel(PanelAtsRunning), 1);
  EXPECT_EQ(Sound(SoundChange), Unwritten);

  SetPower(2);
  SetBrake(0);
  const Handles out = Elapse(nullptr, nullptr, nullptr);
  EXPECT_EQ(out.Power, 2);
  EXPECT_EQ(out.Brake, 0);
}

// Entry points that do nothing leave every output as it would have been.
TEST_F(FrameStep, EntryPointsWithoutEffectChangeNoOutput) {
  auto drive = [this](bool withIdleCalls) {
    ResetModule();
    EXPECT_EQ(GetPluginVersion(), 0x20000);  // also before any other call
    StartRunWithIni("[Settings]\nUseATS=1\n");
    std::vector<int32_t> outputs;
    for (const float speed : {0.0f, 0.0f, 30.0f, 50.0f, 50.0f}) {
      if (withIdleCalls) {
        Load(), Dispose(), KeyUp(KeyModeUp), KeyUp(KeyCutOut), HornBlow(0), HornBlow(1);
        DoorOpen(), DoorClose();
      }
      const Handles h = Frame(speed);
      outputs.insert(outputs.end(), panel_.begin(), panel_.end());
      outputs.insert(outputs.end(), sound_.begin(), sound_.end());
      outputs.insert(outputs.end(), {h.Brake, h.Power, h.Reverser, h.AuxiliaryCommand});
      SetSignal(19), KeyDown(KeyModeUp), SetBrake(2), SetPower(1);
    }
    return outputs;
  };
  EXPECT_EQ(drive(false), drive(true));
}

}  // namespace

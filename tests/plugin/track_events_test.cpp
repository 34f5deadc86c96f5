// What the track tells the train: signal aspects and the reset beacon.
#include <algorithm>
#include <climits>
#include <limits>

#include "plugin_fixture.h"

namespace {

constexpr int NoFlag = -1;

struct AspectRow {
  int32_t aspect;
  int flag;  // element of StepFlags set
  int32_t step;
  int32_t limitKmh;  // in ATC
  bool atcCode;      // an ATC speed aspect
};

// The aspects that set a step flag; every other aspect clears the ATC code.
constexpr AspectRow FlaggedAspects[] = {
    {10, 11, 12, 120, false}, {11, 9, 1, 0, true},   {13, 8, 2, 15, true},   {15, 7, 3, 25, true},
    {19, 6, 4, 45, true},     {21, 3, 5, 55, true},  {23, 5, 6, 65, true},   {25, 4, 7, 75, true},
    {28, 2, 8, 90, true},     {30, 1, 9, 100, true}, {32, 0, 10, 110, true}, {34, 0, 10, 110, true},
    {36, 10, 11, 0, false},
};

AspectRow RowOf(int32_t aspect) {
  for (const AspectRow& row : FlaggedAspects) {
    if (row.aspect == aspect) {
      return row;
    }
  }
  return {aspect, NoFlag, 0, 25, false};
}

// clang-format off
constexpr int32_t AllAspects[] = {
    10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32,
    33, 34, 35, 36, INT32_MIN, -1, 0, 5, 9, 37, 255, INT32_MAX};
// clang-format on

void ExpectCodeOf(int32_t aspect) {
  const AspectRow row = RowOf(aspect);
  for (int i = 0; i < StepFlagCount; ++i) {
    EXPECT_EQ(Module.Controller.StepFlags[i], i == row.flag) << "step flag " << i;
  }
  EXPECT_EQ(Module.Controller.InAtcSection, row.atcCode);
}

class Aspects : public PluginTest, public ::testing::WithParamInterface<int32_t> {};

TEST_P(Aspects, SelectTheirSpeedStepAndSounds) {
  const AspectRow row = RowOf(GetParam());
  StartRun();
  Settle();

  // Restricted: an ATC code prompts with sound 110; the limit is capped.
  SetSignal(row.aspect);
  ExpectCodeOf(row.aspect);
  Frame();
  EXPECT_EQ(Module.Controller.SpeedStep, row.step);
  EXPECT_EQ(Panel(PanelSpeedLimit), std::min(row.limitKmh, 25));
  EXPECT_EQ(Sound(SoundChange), row.aspect >= 10 ? SOUND_PLAY : SOUND_CONTINUE);
  EXPECT_EQ(Sound(SoundAtcCode), row.atcCode ? SOUND_PLAY : SOUND_CONTINUE);
  EXPECT_EQ(Sound(SoundAspect10), row.aspect == 10 ? SOUND_PLAY : SOUND_CONTINUE);

  // ATC: the step's own limit and lamp.
  KeyDown(KeyModeUp);
  Frame();
  EXPECT_EQ(Panel(PanelSpeedLimit), row.limitKmh);
  EXPECT_EQ(Panel(PanelAtcSignal), row.atcCode);
  for (int step = 0; step < static_cast<int>(PanelStepLamps.size()); ++step) {
    EXPECT_EQ(Panel(PanelStepLamps[step]), step == row.step) << "lamp of step " << step;
  }
}

INSTANTIATE_TEST_SUITE_P(AllAspects, Aspects, ::testing::ValuesIn(AllAspects), [](const auto& row) {
  const int32_t a = row.param;
  return (a < 0 ? "Minus" : "") + std::to_string(a < 0 ? -int64_t{a} : a);
});

// Two aspects in a row, the second one checked in the frame after it.
struct ChangeRow {
  const char* name;
  int32_t mode;
  int32_t first, second;
  int32_t change, atcCode, aspect10;
};

class AspectChanges : public PluginTest, public ::testing::WithParamInterface<ChangeRow> {};

TEST_P(AspectChanges, RequestSoundsForOneFrame) {
  const ChangeRow& row = GetParam();
  StartRunWithIni(row.mode == ModeAts ? "[Settings]\nUseATS=1\n" : "");
  SetSignal(row.first);
  if (row.mode == ModeAtc) {
    KeyDown(KeyModeUp);
  }
  Settle();
  ASSERT_EQ(Module.Controller.Mode, row.mode);

  SetSignal(row.second);
  ExpectCodeOf(row.second);
  Frame();
  EXPECT_EQ(Sound(SoundChange), row.change);
  EXPECT_EQ(Sound(SoundAtcCode), row.atcCode);
  EXPECT_EQ(Sound(SoundAspect10), row.aspect10);
  Frame();
  EXPECT_EQ(Sound(SoundChange), SOUND_CONTINUE);
  EXPECT_EQ(Sound(SoundAtcCode), SOUND_CONTINUE);
  EXPECT_EQ(Sound(SoundAspect10), SOUND_CONTINUE);
}

constexpr int32_t P = SOUND_PLAY;
constexpr int32_t C = SOUND_CONTINUE;

INSTANTIATE_TEST_SUITE_P(
    Pairs, AspectChanges,
    ::testing::Values(ChangeRow{"SameSpeedAspectRestricted", ModeRestricted, 19, 19, C, P, C},
                      ChangeRow{"SameSpeedAspectAts", ModeAts, 19, 19, C, P, C},
                      ChangeRow{"SameSpeedAspectAtc", ModeAtc, 19, 19, C, C, C},
                      ChangeRow{"SameAspect10Restricted", ModeRestricted, 10, 10, C, C, P},
                      ChangeRow{"SameAspect10Atc", ModeAtc, 10, 10, C, C, P},
                      ChangeRow{"SameStopAspect", ModeRestricted, 36, 36, C, C, C},
                      ChangeRow{"BelowRangeChange", ModeRestricted, 5, 3, C, C, C},
                      ChangeRow{"IntoRangeNoCode", ModeRestricted, 5, 12, P, C, C},
                      ChangeRow{"OutOfRangeNoCode", ModeRestricted, 12, 5, P, C, C},
                      ChangeRow{"AboveRangeAfterCode", ModeRestricted, 19, 37, P, C, C},
                      ChangeRow{"NegativeAfterCode", ModeRestricted, 19, -1, P, C, C},
                      ChangeRow{"IntoAspect10", ModeRestricted, 9, 10, P, C, P},
                      ChangeRow{"SameStepOtherAspect", ModeRestricted, 32, 34, P, P, C},
                      ChangeRow{"SameStepOtherAspectAtc", ModeAtc, 32, 34, P, C, C},
                      ChangeRow{"CodeToCodeAts", ModeAts, 21, 23, P, P, C}),
    RowName{});

using TrackEvents = PluginTest;

TEST_F(TrackEvents, PendingChangeSoundSurvivesARepeatedAspect) {
  StartRun();
  Settle();
  SetSignal(12);
  SetSignal(12);
  Frame();
  EXPECT_EQ(Sound(SoundChange), SOUND_PLAY);
}

struct BeaconRow {
  const char* name;
  bool frameFirst;  // else the beacon comes before any frame
  float speedKmh;
  int32_t type, parameter;
  bool resets;
};

class ResetBeacon : public PluginTest, public ::testing::WithParamInterface<BeaconRow> {};

TEST_P(ResetBeacon, ResetsAtOnceOnlyAtStandstill) {
  const BeaconRow& row = GetParam();
  StartRun();
  if (row.frameFirst) {
    Frame(row.speedKmh);
  }
  BeaconData beacon{row.type, {}, row.parameter};
  std::fill(std::begin(beacon.HostBytes4To11), std::end(beacon.HostBytes4To11), uint8_t{0xFF});
  SetBeaconData(&beacon);
  EXPECT_EQ(Module.Controller.Mode, row.resets ? ModeAtc : ModeRestricted);
  EXPECT_EQ(Module.Controller.Active, row.resets || row.frameFirst);
  const Handles out = Frame(row.speedKmh);
  if (row.resets) {  // the latch that follows the beacon reset
    EXPECT_EQ(out.Brake, EmergencyNotch8);
    EXPECT_EQ(out.AuxiliaryCommand, 0);
    EXPECT_EQ(Panel(PanelEmergency), 1);
  } else {
    EXPECT_EQ(Panel(PanelEmergency), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(SpeedsAndKinds, ResetBeacon,
                         ::testing::Values(BeaconRow{"PositiveZero", true, +0.0f, 600, 1, true},
                                           BeaconRow{"NegativeZero", true, -0.0f, 600, 1, true},
                                           BeaconRow{"BeforeAnyFrame", false, 0.0f, 600, 1, true},
                                           BeaconRow{"Creeping", true, 0.01f, 600, 1, false},
                                           BeaconRow{"CreepingBack", true, -0.01f, 600, 1, false},
                                           BeaconRow{"UnknownSpeed", true,
                                                     std::numeric_limits<float>::quiet_NaN(), 600,
                                                     1, false},
                                           BeaconRow{"ParameterZero", true, 0.0f, 600, 0, false},
                                           BeaconRow{"ParameterTwo", true, 0.0f, 600, 2, false},
                                           BeaconRow{"OtherType", true, 0.0f, 601, 1, false}),
                         RowName{});

TEST_F(TrackEvents, ResetBeaconBetweenAspectAndFrameDropsTheAspect) {
  StartRunWithIni("[Settings]\nUseATS=1\n");
  Settle();
  SetSignal(19);
  const BeaconData beacon{600, {}, 1};
  SetBeaconData(&beacon);
  Frame();
  EXPECT_EQ(Sound(SoundChange), SOUND_PLAY);
  EXPECT_EQ(Sound(SoundAtcCode), SOUND_STOP);
  EXPECT_EQ(Sound(SoundAspect10), SOUND_STOP);
  EXPECT_EQ(Module.Controller.SpeedStep, 0);
  EXPECT_EQ(Panel(PanelModeAtc), 1);

  SetSignal(19);  // the aspect before the reset is still the last one
  Frame();
  EXPECT_EQ(Sound(SoundChange), SOUND_CONTINUE);
  EXPECT_EQ(Sound(SoundAtcCode), SOUND_CONTINUE);
  EXPECT_EQ(Module.Controller.SpeedStep, 4);
}

}  // namespace

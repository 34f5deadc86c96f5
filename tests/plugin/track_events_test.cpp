// What the track tells the train: signal aspects and the reset beacon.
#include <algorithm>
#include <climits>
#include <limits>
#include <vector>

#include "plugin_fixture.h"

namespace {

using TrackEvents = PluginTest;
using Sounds3 = std::array<int32_t, 3>;

TEST_F(TrackEvents, EveryAspectSelectsItsStepLimitLampAndSounds) {
  struct Row {
    int32_t aspect;
    int flag;  // element of StepFlags set
    int32_t step, limit;
    bool atcCode;
  };
  // Every aspect not listed clears the ATC code.
  const Row flagged[] = {{10, 11, 12, 120, false}, {11, 9, 1, 0, true},    {13, 8, 2, 15, true},
                         {15, 7, 3, 25, true},     {19, 6, 4, 45, true},   {21, 3, 5, 55, true},
                         {23, 5, 6, 65, true},     {25, 4, 7, 75, true},   {28, 2, 8, 90, true},
                         {30, 1, 9, 100, true},    {32, 0, 10, 110, true}, {34, 0, 10, 110, true},
                         {36, 10, 11, 0, false}};
  std::vector<int32_t> aspects{INT32_MIN, -1, 0, 5, 9, 37, 255, INT32_MAX};
  for (int32_t a = 10; a <= 36; ++a) {
    aspects.push_back(a);
  }
  for (const int32_t aspect : aspects) {
    SCOPED_TRACE(aspect);
    Row row{aspect, -1, 0, 25, false};
    for (const Row& f : flagged) {
      row = f.aspect == aspect ? f : row;
    }
    ResetModule();
    StartRun();
    SetSignal(19);
    Settle();
    // Restricted: an ATC code prompts with sound 110; the limit is capped.
    SetSignal(aspect);
    std::array<uint8_t, StepFlagCount> flags{};
    if (row.flag >= 0) {
      flags[static_cast<size_t>(row.flag)] = 1;
    }
    EXPECT_EQ(Module.Controller.StepFlags, flags);
    EXPECT_EQ(Module.Controller.InAtcSection, row.atcCode);
    Frame();
    EXPECT_EQ(Panel(PanelSpeedLimit), std::min(row.limit, 25));
    EXPECT_EQ(Sounds(), (Sounds3{aspect != 19 ? P : C, row.atcCode ? P : C, aspect == 10 ? P : C}));
    // ATC: the step's own limit and lamp.
    KeyDown(KeyModeUp);
    Frame();
    EXPECT_EQ(Panel(PanelSpeedLimit), row.limit);
    EXPECT_EQ(Panel(PanelAtcSignal), row.atcCode);
    for (int step = 0; step < static_cast<int>(PanelStepLamps.size()); ++step) {
      EXPECT_EQ(Panel(PanelStepLamps[static_cast<size_t>(step)]), step == row.step) << step;
    }
  }
}

// Two aspects, the second checked in the frame after it and the one after that.
TEST_F(TrackEvents, AspectChangesRequestSoundsForOneFrame) {
  struct Row {
    int32_t mode, first, second;
    Sounds3 sounds;
  };
  const int32_t R = ModeRestricted, A = ModeAtc;
  const Row table[] = {
      {R, 19, 19, {C, P, C}}, {ModeAts, 19, 19, {C, P, C}}, {A, 19, 19, {C, C, C}},
      {R, 10, 10, {C, C, P}}, {A, 10, 10, {C, C, P}},       {R, 36, 36, {C, C, C}},
      {R, 5, 3, {C, C, C}},   {R, 5, 12, {P, C, C}},        {R, 12, 5, {P, C, C}},
      {R, 19, 37, {P, C, C}}, {R, 19, -1, {P, C, C}},       {R, 9, 10, {P, C, P}},
      {R, 32, 34, {P, P, C}}, {A, 32, 34, {P, C, C}},       {ModeAts, 21, 23, {P, P, C}}};
  for (const Row& row : table) {
    SCOPED_TRACE(testing::Message() << row.mode << ": " << row.first << " then " << row.second);
    ResetModule();
    StartRun(row.mode == ModeAts ? AtsIni : nullptr);
    SetSignal(row.first);
    KeyDown(row.mode == ModeAtc ? KeyModeUp : 0);
    Settle();
    ASSERT_EQ(Module.Controller.Mode, row.mode);
    SetSignal(row.second);
    Frame();
    EXPECT_EQ(Sounds(), row.sounds);
    Frame();
    EXPECT_EQ(Sounds(), (Sounds3{C, C, C}));
  }
}

TEST_F(TrackEvents, ResetBeaconResetsAtOnceOnlyAtStandstill) {
  struct Row {
    bool frameFirst;  // else the beacon comes before any frame
    float speed;
    int32_t type, parameter;
    bool resets;
  };
  for (const Row& row : {Row{true, +0.0f, 600, 1, true}, Row{true, -0.0f, 600, 1, true},
                         Row{false, 0.0f, 600, 1, true}, Row{true, 0.01f, 600, 1, false},
                         Row{true, -0.01f, 600, 1, false},
                         Row{true, std::numeric_limits<float>::quiet_NaN(), 600, 1, false},
                         Row{true, 0.0f, 600, 0, false}, Row{true, 0.0f, 600, 2, false},
                         Row{true, 0.0f, 601, 1, false}}) {
    SCOPED_TRACE(testing::Message() << row.speed << " km/h, " << row.type << "/" << row.parameter
                                    << (row.frameFirst ? "" : ", no frame"));
    ResetModule();
    StartRun();
    if (row.frameFirst) {
      Frame(row.speed);
    }
    BeaconData beacon{row.type, {}, row.parameter};
    std::fill(std::begin(beacon.HostBytes4To11), std::end(beacon.HostBytes4To11), uint8_t{0xFF});
    SetBeaconData(&beacon);
    EXPECT_EQ(Module.Controller.Mode, row.resets ? ModeAtc : ModeRestricted);
    EXPECT_EQ(Module.Controller.Active, row.resets || row.frameFirst);
    // The latch and service brake that follow the reset.
    EXPECT_EQ(Frame(row.speed).AuxiliaryCommand, row.resets ? 0 : 2);
    EXPECT_EQ(Panel(PanelEmergency), row.resets);
  }
}

TEST_F(TrackEvents, ResetBeaconBetweenAspectAndFrameDropsTheAspect) {
  StartRun(AtsIni);
  Settle();
  SetSignal(19);
  const BeaconData beacon{600, {}, 1};
  SetBeaconData(&beacon);
  Frame();
  EXPECT_EQ(Sounds(), (Sounds3{P, S, S}));
  EXPECT_EQ(Module.Controller.SpeedStep, 0);
  EXPECT_EQ(Panel(PanelModeAtc), 1);

  SetSignal(19);  // the aspect before the reset is still the last one
  Frame();
  EXPECT_EQ(Sounds(), (Sounds3{C, C, C}));
  EXPECT_EQ(Module.Controller.SpeedStep, 4);

  SetSignal(12);  // a pending change request survives a repeated aspect
  SetSignal(12);
  Frame();
  EXPECT_EQ(Sound(SoundChange), P);
}

}  // namespace

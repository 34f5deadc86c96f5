// What the track tells the train: signal aspects and the reset beacon.
#include <limits>

#include "plugin_fixture.h"

namespace {

using TrackEvents = PluginTest;

// Any change of aspect from or to one of 10 and above is announced, also from
// 9 to 10; a repeated aspect is not, but leaves a pending request pending.
TEST_F(TrackEvents, AspectChangesRequestSoundsForOneFrame) {
  struct Row {
    int32_t mode, first, second;
    std::array<int32_t, 3> sounds;
    bool atcSection;  // after the second
  };
  const int32_t R = ModeRestricted, A = ModeAtc;
  for (const Row& row : {Row{R, 19, 19, {C, P, C}, true}, Row{A, 19, 19, {C, C, C}, true},
                         Row{A, 10, 10, {C, C, P}, false}, Row{R, 5, 3, {C, C, C}, false},
                         Row{R, 5, 12, {P, C, C}, false}, Row{R, 19, 5, {P, C, C}, false},
                         Row{R, 9, 10, {P, C, P}, false}, Row{A, 32, 34, {P, C, C}, true},
                         Row{ModeAts, 21, 23, {P, P, C}, true}}) {
    StartRun(row.mode == ModeAts ? AtsIni : nullptr);
    SetSignal(row.first);
    KeyDown(row.mode == ModeAtc ? cab::KeyModeUp : 0);
    Settle();
    SetSignal(row.second);
    Frame();
    EXPECT_EQ(Sounds(), row.sounds) << row.mode << ": " << row.first << " then " << row.second;
    EXPECT_EQ(Module.Controller.InAtcSection, row.atcSection);
    Frame();
    EXPECT_EQ(Sounds(), (std::array{C, C, C}));
  }
  SetSignal(12);
  SetSignal(12);
  Frame();
  EXPECT_EQ(Sounds(), (std::array{P, C, C}));
}

// +0 and -0 are standstill, an unknown speed is not; the speed is the latest
// frame's. An aspect between the reset and the frame is dropped.
TEST_F(TrackEvents, ResetBeaconResetsAtOnceOnlyAtStandstill) {
  struct Row {
    float speed;
    int32_t type, parameter;
    bool resets;
  };
  for (const Row& row :
       {Row{0.01f, 600, 1, false}, Row{-0.01f, 600, 1, false},
        Row{std::numeric_limits<float>::quiet_NaN(), 600, 1, false}, Row{0.0f, 600, 2, false},
        Row{0.0f, 601, 1, false}, Row{-0.0f, 600, 1, true}}) {
    StartRun();
    Frame(row.speed);
    SetSignal(19);
    const BeaconData beacon{row.type, {1, 2, 3, 4, 5, 6, 7, 8}, row.parameter};
    SetBeaconData(&beacon);
    EXPECT_EQ(Module.Controller.Mode, row.resets ? ModeAtc : ModeRestricted) << row.speed;
    // The latch that follows the reset.
    EXPECT_EQ(Frame(row.speed).AuxiliaryCommand, row.resets ? 0 : 2);
    EXPECT_EQ(Module.Controller.SpeedStep, row.resets ? 0 : 4);
  }
  SetSignal(19);  // the aspect before the reset is still the last one
  Frame();
  EXPECT_EQ(Sounds(), (std::array{C, C, C}));
}

}  // namespace

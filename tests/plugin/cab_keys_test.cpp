// The cab's mode selector and its two switches, worked through KeyDown.
#include "plugin_fixture.h"

namespace {

struct SelectorRow {
  const char* name;
  bool atsFitted;
  int32_t before;
  bool inAtcSection;
  bool brakeApplied;
  int32_t key;
  int32_t after;
};

class Selector : public PluginTest, public ::testing::WithParamInterface<SelectorRow> {
 protected:
  // From the power-on position: ATS where fitted, else restricted.
  void Reach(int32_t mode, bool atsFitted) {
    if (mode == ModeAtc) {
      KeyDown(KeyModeUp);
    } else if (mode == ModeRestricted && atsFitted) {
      KeyDown(KeyModeDown);
    }
  }
};

TEST_P(Selector, MovesAsTheSectionAndTheBrakeAllow) {
  const SelectorRow& row = GetParam();
  StartRunWithIni(row.atsFitted ? "[Settings]\nUseATS=1\n" : "");
  SetSignal(row.inAtcSection ? 19 : 12);
  Reach(row.before, row.atsFitted);
  SetBrake(row.brakeApplied ? 1 : 0);
  ASSERT_EQ(Module.Controller.Mode, row.before);

  KeyDown(row.key);
  EXPECT_EQ(Module.Controller.Mode, row.after);
  Frame();
  EXPECT_EQ(Panel(PanelModeAts), row.after == ModeAts);
  EXPECT_EQ(Panel(PanelModeAtc), row.after == ModeAtc);
  EXPECT_EQ(Panel(PanelModeRestricted), row.after == ModeRestricted);
}

constexpr int32_t R = ModeRestricted;
constexpr int32_t S = ModeAts;
constexpr int32_t A = ModeAtc;
constexpr int32_t Down = KeyModeDown;
constexpr int32_t Up = KeyModeUp;

INSTANTIATE_TEST_SUITE_P(
    WithAts, Selector,
    ::testing::Values(SelectorRow{"RestrictedStays", true, R, false, true, Down, R},
                      SelectorRow{"AtsToRestricted", true, S, false, false, Down, R},
                      SelectorRow{"AtsToRestrictedInSection", true, S, true, false, Down, R},
                      SelectorRow{"AtcToAtsBraking", true, A, false, true, Down, S},
                      SelectorRow{"AtcStaysReleased", true, A, false, false, Down, A},
                      SelectorRow{"AtcStaysInSection", true, A, true, true, Down, A},
                      SelectorRow{"AtcStaysInSectionReleased", true, A, true, false, Down, A},
                      SelectorRow{"UpToAts", true, R, true, true, Up, S},
                      SelectorRow{"UpToAtc", true, S, false, false, Up, A},
                      SelectorRow{"UpStaysAtc", true, A, false, true, Up, A}),
    RowName{});

INSTANTIATE_TEST_SUITE_P(
    WithoutAts, Selector,
    ::testing::Values(SelectorRow{"AtcToRestrictedBraking", false, A, false, true, Down, R},
                      SelectorRow{"RestrictedStaysBraking", false, R, false, true, Down, R},
                      SelectorRow{"AtcStaysReleased", false, A, false, false, Down, A},
                      SelectorRow{"AtcStaysInSection", false, A, true, true, Down, A},
                      SelectorRow{"RestrictedStaysInSection", false, R, true, true, Down, R},
                      SelectorRow{"UpToAtc", false, R, true, false, Up, A},
                      SelectorRow{"UpStaysAtc", false, A, false, true, Up, A}),
    RowName{});

using CabKeys = PluginTest;

TEST_F(CabKeys, SwitchesToggleAndShowOnThePanel) {
  StartRun();
  SetSignal(30);
  KeyDown(KeyModeUp);
  Settle();
  ASSERT_EQ(Panel(PanelSpeedLimit), 100);

  KeyDown(KeyRestrict);
  EXPECT_EQ(Module.Controller.RestrictSwitch, 1);
  Frame();
  EXPECT_EQ(Panel(PanelRestrict), 1);
  EXPECT_EQ(Panel(PanelSpeedLimit), 25);
  KeyDown(KeyRestrict);
  EXPECT_EQ(Module.Controller.RestrictSwitch, 0);
  Frame();
  EXPECT_EQ(Panel(PanelRestrict), 0);
  EXPECT_EQ(Panel(PanelSpeedLimit), 100);

  KeyDown(KeyCutOut);
  EXPECT_EQ(Module.Controller.CutOutSwitch, 1);
  KeyDown(KeyCutOut);
  EXPECT_EQ(Module.Controller.CutOutSwitch, 0);
}

TEST_F(CabKeys, OtherKeysDoNothing) {
  StartRunWithIni("[Settings]\nUseATS=1\n");
  SetBrake(1);
  for (const int32_t key : {INT32_MIN, -1, 0, 4, 7, 11, 14, 255}) {
    KeyDown(key);
    EXPECT_EQ(Module.Controller.Mode, ModeAts) << key;
    EXPECT_EQ(Module.Controller.RestrictSwitch, 0) << key;
    EXPECT_EQ(Module.Controller.CutOutSwitch, 0) << key;
  }
}

}  // namespace

// The driver's cab: the mode selector and its two switches, worked through
// KeyDown, and the handles and notches as the host reports them.
#include <climits>
#include <tuple>

#include "plugin_fixture.h"

namespace {

struct SelectorRow {
  const char* name;
  bool atsFitted;
  int32_t before;
  bool inAtcSection, brakeApplied;
  int32_t key, after;
};

class Selector : public PluginTest, public ::testing::WithParamInterface<SelectorRow> {};

TEST_P(Selector, MovesAsTheSectionAndTheBrakeAllow) {
  const SelectorRow& row = GetParam();
  StartRun(row.atsFitted ? AtsIni : nullptr);
  SetSignal(row.inAtcSection ? 19 : 12);
  // From the power-on position: ATS where fitted, else restricted.
  const bool down = row.before == ModeRestricted && row.atsFitted;
  KeyDown(row.before == ModeAtc ? KeyModeUp : down ? KeyModeDown : 0);
  SetBrake(row.brakeApplied ? 1 : 0);
  ASSERT_EQ(Module.Controller.Mode, row.before);

  KeyDown(row.key);
  Frame();
  EXPECT_EQ(Module.Controller.Mode, row.after);
  EXPECT_EQ((std::array{Panel(PanelModeAts), Panel(PanelModeAtc), Panel(PanelModeRestricted)}),
            (std::array<int32_t, 3>{row.after == ModeAts, row.after == ModeAtc,
                                    row.after == ModeRestricted}));
}

constexpr int32_t R = ModeRestricted, A = ModeAtc, Down = KeyModeDown, Up = KeyModeUp;

INSTANTIATE_TEST_SUITE_P(
    WithAts, Selector,
    ::testing::Values(SelectorRow{"RestrictedStays", true, R, false, true, Down, R},
                      SelectorRow{"AtsToRestricted", true, ModeAts, false, false, Down, R},
                      SelectorRow{"AtsToRestrictedInSection", true, ModeAts, true, false, Down, R},
                      SelectorRow{"AtcToAtsBraking", true, A, false, true, Down, ModeAts},
                      SelectorRow{"AtcStaysReleased", true, A, false, false, Down, A},
                      SelectorRow{"AtcStaysInSection", true, A, true, true, Down, A},
                      SelectorRow{"AtcStaysInSectionReleased", true, A, true, false, Down, A},
                      SelectorRow{"UpToAts", true, R, true, true, Up, ModeAts},
                      SelectorRow{"UpToAtc", true, ModeAts, false, false, Up, A},
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

using DriverControls = PluginTest;

TEST_F(DriverControls, SwitchesToggleAndShowOnThePanel) {
  StartRun();
  SetSignal(30);
  KeyDown(KeyModeUp);
  Settle();
  for (const int32_t limit : {25, 100}) {  // each press toggles the restriction
    KeyDown(KeyRestrict);
    Frame();
    EXPECT_EQ(Panel(PanelRestrict), limit == 25);
    EXPECT_EQ(Panel(PanelSpeedLimit), limit);
  }
  // Cut out, the driver's handles pass, even far over the limit.
  SetBrake(0);
  SetPower(3);
  KeyDown(KeyCutOut);
  EXPECT_EQ(Frame(140.0f), (Handles{0, 3, 1, 2}));
  EXPECT_EQ((std::array{Panel(PanelActive), Panel(PanelCutOut)}), (std::array{0, 1}));
  KeyDown(KeyCutOut);
  Frame();
  EXPECT_EQ((std::array{Panel(PanelActive), Panel(PanelCutOut)}), (std::array{1, 0}));
}

TEST_F(DriverControls, OtherKeysDoNothing) {
  StartRun(AtsIni);
  SetBrake(1);
  for (const int32_t key : {INT32_MIN, -1, 0, 4, 7, 11, 14, 255}) {
    KeyDown(key);
  }
  const AtcController& atc = Module.Controller;
  EXPECT_EQ(std::tie(atc.Mode, atc.RestrictSwitch, atc.CutOutSwitch),
            std::tuple(ModeAts, uint8_t{0}, uint8_t{0}));
}

std::array<int, 2> BrakeFlags() {
  return {Module.Controller.BrakeAtEmergency, Module.Controller.BrakeApplied};
}

TEST_F(DriverControls, BrakeFlagsFollowTheNotchAgainstTheEmergencyNotch) {
  struct Row {
    int32_t serviceNotches, notch;  // no SetVehicleSpec before the notch: NoSpec
    int atEmergency, applied;
  };
  constexpr int32_t NoSpec = INT32_MIN;
  for (const Row& row : {Row{NoSpec, 0, 1, 0}, Row{NoSpec, 1, 0, 1}, Row{NoSpec, -1, 0, 0},
                         Row{8, 9, 1, 1}, Row{8, 10, 0, 1}, Row{8, 8, 0, 1}, Row{8, 0, 0, 0},
                         Row{8, -1, 0, 0}, Row{INT32_MAX, INT32_MIN, 1, 0}}) {
    SCOPED_TRACE(testing::Message() << row.serviceNotches << " notches, notch " << row.notch);
    ResetModule();
    if (row.serviceNotches != NoSpec) {
      const VehicleSpec spec{row.serviceNotches};
      SetVehicleSpec(&spec);
    }
    SetBrake(row.notch);
    EXPECT_EQ(Module.DriverHandles.Brake, row.notch);
    EXPECT_EQ(BrakeFlags(), (std::array{row.atEmergency, row.applied}));
  }
}

TEST_F(DriverControls, VehicleSpecStartsTheDriverOverButLeavesTheBrakeFlags) {
  SetBrake(0);  // the emergency notch while the train's notches are unknown
  SetPower(5);
  SetReverser(-1);
  const VehicleSpec spec{8};
  SetVehicleSpec(&spec);
  const DriverHandles& driver = Module.DriverHandles;
  EXPECT_EQ((std::array{driver.Brake, driver.Power, driver.Reverser}),
            (std::array{EmergencyNotch8, 0, 1}));
  EXPECT_EQ(BrakeFlags(), (std::array{1, 0}));
  SetBrake(EmergencyNotch8);
  Initialize(0);  // the power-on reset clears both until the next SetBrake
  EXPECT_EQ(BrakeFlags(), (std::array{0, 0}));
}

TEST_F(DriverControls, NotchArithmeticWrapsAtTheTopOfTheRange) {
  struct Row {
    int32_t serviceNotches, emergencyNotch, atcNotch;
  };
  for (const Row& row : {Row{INT32_MAX, INT32_MIN, INT32_MIN + 1},
                         Row{INT32_MAX - 1, INT32_MAX, INT32_MIN}, Row{-1, 0, 1}}) {
    SCOPED_TRACE(row.serviceNotches);
    ResetModule();
    StartRun(nullptr, row.serviceNotches);
    EXPECT_EQ(Module.EmergencyNotch, row.emergencyNotch);
    EXPECT_EQ(Module.DriverHandles.Brake, row.emergencyNotch);
    EXPECT_EQ(Module.AtcBrakeNotch, row.atcNotch);
    EXPECT_EQ(Frame().Brake, row.atcNotch);  // the power-on frame brakes
  }
}

}  // namespace

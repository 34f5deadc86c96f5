// The driver's cab: the mode selector and its two switches, worked through
// KeyDown, and the handles and notches as the host reports them.
#include <climits>

#include "plugin_fixture.h"

namespace {

using DriverControls = PluginTest;

// The selector leaves ATC only outside an ATC section with the brake applied.
// (The steps without conditions are the guide suite's.)
TEST_F(DriverControls, SelectorMovesAsTheSectionAndTheBrakeAllow) {
  struct Row {
    bool atsFitted;
    int32_t before, aspect, brake, key, after;
  };
  constexpr int32_t R = ModeRestricted, T = ModeAts, A = ModeAtc;
  for (const Row& row :
       {Row{true, R, 12, 1, cab::KeyModeDown, R}, Row{true, A, 12, 1, cab::KeyModeDown, T},
        Row{true, A, 12, 0, cab::KeyModeDown, A}, Row{true, A, 19, 1, cab::KeyModeDown, A},
        Row{true, R, 19, 1, cab::KeyModeUp, T}, Row{false, A, 12, 1, cab::KeyModeDown, R},
        Row{false, A, 19, 1, cab::KeyModeDown, A}}) {
    StartRun(row.atsFitted ? AtsIni : nullptr);
    SetSignal(row.aspect);
    KeyDown(row.before == A                    ? cab::KeyModeUp
            : row.before == R && row.atsFitted ? cab::KeyModeDown
                                               : 0);
    SetBrake(row.brake);
    ASSERT_EQ(Module.Controller.Mode, row.before);
    KeyDown(row.key);
    EXPECT_EQ(Module.Controller.Mode, row.after)
        << row.atsFitted << row.before << row.aspect << row.brake << row.key;
  }
}

TEST_F(DriverControls, SwitchesToggleOtherKeysDoNothing) {
  StartRun();
  SetSignal(30);
  KeyDown(cab::KeyModeUp);
  Settle();
  for (const int32_t limit : {25, 100}) {  // each press toggles the restriction
    KeyDown(cab::KeyRestrict);
    Frame();
    EXPECT_EQ(panel_[cab::PanelSpeedLimit], limit);
  }
  for (const int32_t key : {INT32_MIN, 4, 7, 11, 14}) {
    KeyDown(key);
  }
  KeyUp(cab::KeyRestrict), HornBlow(1), DoorOpen(), DoorClose();  // nor do these
  SetPower(3);
  SetBrake(0);
  KeyDown(cab::KeyCutOut);  // cut out, the driver's handles pass, even far over the limit
  EXPECT_EQ(Values(Frame(140.0f)), (HandleValues{0, 3, 1, 2}));
  KeyDown(cab::KeyCutOut);
  Frame();
  EXPECT_EQ(std::tie(Module.Controller.Active, Module.Controller.Mode), std::tuple(1, ModeAtc));
}

// SetVehicleSpec starts the driver at the emergency notch it sets (0 before
// it, wrapping at the top of the range), no power, reverser forward; the
// brake flags follow the notch against it.
TEST_F(DriverControls, BrakeFlagsFollowTheNotchAgainstTheEmergencyNotch) {
  struct Row {
    int32_t serviceNotches, notch;  // no SetVehicleSpec before the notch: 0
    uint8_t atEmergency, applied;
  };
  for (const Row& row : {Row{0, 0, 1, 0}, Row{8, 9, 1, 1}, Row{8, 10, 0, 1}, Row{8, -1, 0, 0},
                         Row{INT32_MAX, INT32_MIN, 1, 0}}) {
    ResetModule();
    SetPower(5);
    SetReverser(-1);
    const VehicleSpec spec{row.serviceNotches};
    SetVehicleSpec(row.serviceNotches != 0 ? &spec : nullptr);
    const int32_t emergency = static_cast<int32_t>(static_cast<uint32_t>(row.serviceNotches) + 1u);
    if (row.serviceNotches != 0) {
      EXPECT_EQ(std::tie(Module.DriverHandles.Brake, Module.DriverHandles.Power,
                         Module.DriverHandles.Reverser),
                std::tuple(emergency, 0, 1));
    }
    SetBrake(row.notch);
    EXPECT_EQ(std::tie(Module.Controller.BrakeAtEmergency, Module.Controller.BrakeApplied),
              std::tie(row.atEmergency, row.applied))
        << row.serviceNotches << " notches, notch " << row.notch;
  }
}

}  // namespace

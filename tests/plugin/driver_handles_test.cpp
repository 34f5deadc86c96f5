// The driver's handles and the train's notches as the host reports them.
#include <array>
#include <climits>
#include <optional>

#include "plugin_fixture.h"

namespace {

struct BrakeFlagRow {
  const char* name;
  std::optional<int32_t> serviceNotches;  // none: SetBrake before any SetVehicleSpec
  int32_t notch;
  bool atEmergency;
  bool applied;
};

class BrakeFlags : public PluginTest, public ::testing::WithParamInterface<BrakeFlagRow> {};

TEST_P(BrakeFlags, FollowTheNotchAgainstTheEmergencyNotch) {
  const BrakeFlagRow& row = GetParam();
  if (row.serviceNotches) {
    const VehicleSpec spec{*row.serviceNotches};
    SetVehicleSpec(&spec);
  }
  SetBrake(row.notch);
  EXPECT_EQ(Module.DriverHandles.Brake, row.notch);
  EXPECT_EQ(Module.Controller.BrakeAtEmergency, row.atEmergency);
  EXPECT_EQ(Module.Controller.BrakeApplied, row.applied);
}

INSTANTIATE_TEST_SUITE_P(
    Notches, BrakeFlags,
    ::testing::Values(BrakeFlagRow{"Emergency", 8, 9, true, true},
                      BrakeFlagRow{"AboveEmergency", 8, 10, false, true},
                      BrakeFlagRow{"HighestService", 8, 8, false, true},
                      BrakeFlagRow{"Released", 8, 0, false, false},
                      BrakeFlagRow{"Negative", 8, -1, false, false},
                      BrakeFlagRow{"NoSpecReleasedIsEmergency", std::nullopt, 0, true, false},
                      BrakeFlagRow{"NoSpecFirstNotch", std::nullopt, 1, false, true},
                      BrakeFlagRow{"NoSpecNegative", std::nullopt, -1, false, false},
                      BrakeFlagRow{"WrappedEmergency", INT32_MAX, INT32_MIN, true, false}),
    RowName{});

using DriverHandlesTest = PluginTest;

std::array<int32_t, 3> Driver() {
  return {Module.DriverHandles.Brake, Module.DriverHandles.Power, Module.DriverHandles.Reverser};
}
std::array<int, 2> BrakeFlagsNow() {
  return {Module.Controller.BrakeAtEmergency, Module.Controller.BrakeApplied};
}

TEST_F(DriverHandlesTest, VehicleSpecSetsHandlesButLeavesTheBrakeFlags) {
  SetBrake(0);  // the emergency notch while the train's notches are unknown
  SetPower(5);
  SetReverser(-1);
  const VehicleSpec spec{ServiceNotches8};
  SetVehicleSpec(&spec);
  EXPECT_EQ(Module.EmergencyNotch, EmergencyNotch8);
  EXPECT_EQ(Driver(), (std::array{EmergencyNotch8, 0, 1}));
  EXPECT_EQ(BrakeFlagsNow(), (std::array{1, 0}));

  SetBrake(EmergencyNotch8);
  EXPECT_EQ(BrakeFlagsNow(), (std::array{1, 1}));
  Initialize(0);  // the power-on reset clears both until the next SetBrake
  EXPECT_EQ(Driver(), (std::array{EmergencyNotch8, 0, 1}));
  EXPECT_EQ(BrakeFlagsNow(), (std::array{0, 0}));

  SetPower(3);
  const VehicleSpec shorter{4};  // a second spec starts the driver over
  SetVehicleSpec(&shorter);
  EXPECT_EQ(Driver(), (std::array{5, 0, 1}));
  SetBrake(5);
  EXPECT_EQ(BrakeFlagsNow(), (std::array{1, 1}));
}

TEST_F(DriverHandlesTest, MissingRecordsChangeNothing) {
  StartRun();
  SetPower(3);
  SetVehicleSpec(nullptr);
  EXPECT_EQ(Module.EmergencyNotch, EmergencyNotch8);
  EXPECT_EQ(Driver(), (std::array{EmergencyNotch8, 3, 1}));
  SetBeaconData(nullptr);  // at standstill, where a reset beacon would reset
  EXPECT_EQ(Module.Controller.Mode, ModeRestricted);
  EXPECT_EQ(Module.Controller.Active, 0);
}

// Notch counts near the top of the range wrap as 32-bit integers do.
TEST_F(DriverHandlesTest, NotchArithmeticWrapsAtTheTopOfTheRange) {
  struct Row {
    int32_t serviceNotches, emergencyNotch, atcBrakeNotch;
  };
  for (const Row row : {Row{INT32_MAX, INT32_MIN, INT32_MIN + 1},
                        Row{INT32_MAX - 1, INT32_MAX, INT32_MIN}, Row{-1, 0, 1}}) {
    SCOPED_TRACE(row.serviceNotches);
    ResetModule();
    StartRun(row.serviceNotches);
    EXPECT_EQ(Module.EmergencyNotch, row.emergencyNotch);
    EXPECT_EQ(Module.DriverHandles.Brake, row.emergencyNotch);
    EXPECT_EQ(Module.AtcBrakeNotch, row.atcBrakeNotch);
    EXPECT_EQ(Frame().Brake, row.atcBrakeNotch);  // the power-on frame brakes
  }
}

}  // namespace

// Records that cross the boundary between the host simulator and the plug-in,
// laid out byte for byte as the host lays them out (little-endian, int32 and
// IEEE single floats), and the module's own record of the driver's handles.
#pragma once

#include <cstddef>
#include <cstdint>

// Interface version reported by GetPluginVersion.
inline constexpr int32_t PLUGIN_INTERFACE_VERSION = 0x20000;

// Sound commands written into the host's sound array.
inline constexpr int32_t SOUND_STOP = -10000;
inline constexpr int32_t SOUND_PLAY = 1;
inline constexpr int32_t SOUND_CONTINUE = 2;

// The smallest panel and sound arrays a host may lend to Elapse.
inline constexpr int PANEL_ARRAY_MIN_LENGTH = 250;
inline constexpr int SOUND_ARRAY_MIN_LENGTH = 112;

// Handed to SetVehicleSpec. The host's record goes on beyond ServiceNotches;
// those fields are the host's and are never read.
struct VehicleSpec {
  int32_t ServiceNotches;
};
static_assert(offsetof(VehicleSpec, ServiceNotches) == 0);

// Handed to Elapse, 40 bytes. Only Speed is read; the rest is copied along.
struct VehicleState {
  uint8_t HostBytes0To7[8];
  float Speed;  // km/h, negative while the train moves backwards
  uint8_t HostBytes12To39[28];
};
static_assert(sizeof(VehicleState) == 40);
static_assert(offsetof(VehicleState, Speed) == 8);

// Handed to SetBeaconData, 16 bytes.
struct BeaconData {
  int32_t Type;
  uint8_t HostBytes4To11[8];
  int32_t Parameter;
};
static_assert(sizeof(BeaconData) == 16);
static_assert(offsetof(BeaconData, Type) == 0);
static_assert(offsetof(BeaconData, Parameter) == 12);

// Returned by Elapse, 16 bytes, by value.
struct Handles {
  int32_t Brake;     // 0 released, 1..ServiceNotches service, ServiceNotches + 1 emergency
  int32_t Power;     // 0 is no power
  int32_t Reverser;  // 1 is forward
  int32_t AuxiliaryCommand;
};
static_assert(sizeof(Handles) == 16);
static_assert(offsetof(Handles, Brake) == 0);
static_assert(offsetof(Handles, Power) == 4);
static_assert(offsetof(Handles, Reverser) == 8);
static_assert(offsetof(Handles, AuxiliaryCommand) == 12);

// The driver's inputs as the host last reported them.
struct DriverHandles {
  int32_t Brake;
  int32_t Power;
  int32_t Reverser;  // 1 is forward
};
static_assert(sizeof(DriverHandles) == 12);
static_assert(offsetof(DriverHandles, Brake) == 0);
static_assert(offsetof(DriverHandles, Power) == 4);
static_assert(offsetof(DriverHandles, Reverser) == 8);

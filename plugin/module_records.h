// The plug-in's module-wide records: what the host last told it, what it last
// returned, its options, and the one ATC controller. All in static storage,
// constant-initialised before the loader first notifies the module.
#pragma once

#include <cstdint>

#include "atc_controller.h"
#include "host_records.h"

// Path lengths count characters as the platform's path functions do: UTF-16
// units on Windows, bytes natively.
inline constexpr int ModulePathCapacity = 260;
inline constexpr int DirectoryCapacity = 256;
inline constexpr int IniPathCapacity = 260;
// The INI path is kept as UTF-8, which holds any path the loader accepts: at
// most three bytes for each UTF-16 unit.
inline constexpr int IniPathBytes = 3 * IniPathCapacity;
inline constexpr char IniFileName[] = "KELVRIN.ini";
inline constexpr char IniSection[] = "Settings";

struct ModuleRecords {
  ::DriverHandles DriverHandles{};
  VehicleState CurrentState{};
  Handles OutputHandles{};
  int32_t EmergencyNotch = 0;
  int32_t AtcBrakeNotch = 0;     // the notch the ATC service brake commands
  char IniPath[IniPathBytes]{};  // UTF-8; empty: no usable path, options take defaults
  AtcController Controller;
};

extern constinit ModuleRecords Module;

// Points the controller at the records it reads the speed and reverser from.
void BindControllerReferences();

// The notch above the given one. Wraps as the host's 32-bit integers do, so a
// hostile notch count cannot overflow into undefined behaviour.
inline int32_t NotchAbove(int32_t notch) {
  return static_cast<int32_t>(static_cast<uint32_t>(notch) + 1U);
}

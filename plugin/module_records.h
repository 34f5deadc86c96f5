// The plug-in's module-wide records: what the host last told it, what it last
// returned, its options, and the one ATC controller. All in static storage,
// constant-initialised before the loader first notifies the module.
#pragma once

#include <cstdint>

#include "atc_controller.h"
#include "host_records.h"
#include "platform.h"
#include "published_numbers.h"

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

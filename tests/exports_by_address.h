// The sixteen exports as the test programs call them. Linked with the
// plug-in's objects, they hold records and pass their addresses, as on x64.
// On x86 a non-null record goes on to the export by value; a null one, which
// no x86 host can send, goes to the module as the x64 export would hand it on.
#pragma once

#include "exports.h"

#if KELVRIN_RECORDS_BY_VALUE
#include "plugin_module.h"

inline void SetVehicleSpec(const VehicleSpec* spec) noexcept {
  spec != nullptr ? SetVehicleSpec(PassRecord(*spec)) : StoreVehicleSpec(nullptr);
}
inline Handles Elapse(const VehicleState* state, int32_t* panel, int32_t* sound) noexcept {
  return state != nullptr ? Elapse(PassRecord(*state), panel, sound)
                          : RunFrame(nullptr, panel, sound);
}
inline void SetBeaconData(const BeaconData* beacon) noexcept {
  beacon != nullptr ? SetBeaconData(PassRecord(*beacon)) : OnBeacon(nullptr);
}
#endif

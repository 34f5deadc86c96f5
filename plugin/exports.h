// The sixteen entry points the host looks up by name. C linkage, plain names,
// the host's calling convention (host/entry_points.h); nothing unwinds across
// them.
#pragma once

#include <cstdint>

#include "entry_points.h"
#include "host_records.h"

#if defined(_WIN32)
#define ATC_EXPORT extern "C" __declspec(dllexport)
#else
#define ATC_EXPORT extern "C" __attribute__((visibility("default")))
#endif

ATC_EXPORT void ATC_CALL Load() noexcept;
ATC_EXPORT void ATC_CALL Dispose() noexcept;
ATC_EXPORT int32_t ATC_CALL GetPluginVersion() noexcept;
ATC_EXPORT void ATC_CALL SetVehicleSpec(VehicleSpecArg spec) noexcept;
ATC_EXPORT void ATC_CALL Initialize(int32_t initialState) noexcept;
ATC_EXPORT Handles ATC_CALL Elapse(VehicleStateArg state, int32_t* panel, int32_t* sound) noexcept;
ATC_EXPORT void ATC_CALL SetPower(int32_t notch) noexcept;
ATC_EXPORT void ATC_CALL SetBrake(int32_t notch) noexcept;
ATC_EXPORT void ATC_CALL SetReverser(int32_t position) noexcept;
ATC_EXPORT void ATC_CALL KeyDown(int32_t key) noexcept;
ATC_EXPORT void ATC_CALL KeyUp(int32_t key) noexcept;
ATC_EXPORT void ATC_CALL HornBlow(int32_t horn) noexcept;
ATC_EXPORT void ATC_CALL DoorOpen() noexcept;
ATC_EXPORT void ATC_CALL DoorClose() noexcept;
ATC_EXPORT void ATC_CALL SetSignal(int32_t aspect) noexcept;
ATC_EXPORT void ATC_CALL SetBeaconData(BeaconDataArg beacon) noexcept;

#if KELVRIN_RECORDS_BY_VALUE
#include "plugin_module.h"

// The test programs linked with the plug-in's objects hold records and pass
// their addresses, as on x64. On x86 a non-null record goes on to the export by
// value; a null one, which no x86 host can send, goes to the module as the x64
// export would hand it on.
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

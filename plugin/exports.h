// The sixteen entry points the host looks up by name. C linkage, plain names,
// the platform's standard calling convention; nothing unwinds across them.
#pragma once

#include <cstdint>

#include "host_records.h"

#if defined(_WIN32)
#define ATC_EXPORT extern "C" __declspec(dllexport)
#else
#define ATC_EXPORT extern "C" __attribute__((visibility("default")))
#endif

ATC_EXPORT void Load() noexcept;
ATC_EXPORT void Dispose() noexcept;
ATC_EXPORT int32_t GetPluginVersion() noexcept;
ATC_EXPORT void SetVehicleSpec(const VehicleSpec* spec) noexcept;
ATC_EXPORT void Initialize(int32_t initialState) noexcept;
ATC_EXPORT Handles Elapse(const VehicleState* state, int32_t* panel, int32_t* sound) noexcept;
ATC_EXPORT void SetPower(int32_t notch) noexcept;
ATC_EXPORT void SetBrake(int32_t notch) noexcept;
ATC_EXPORT void SetReverser(int32_t position) noexcept;
ATC_EXPORT void KeyDown(int32_t key) noexcept;
ATC_EXPORT void KeyUp(int32_t key) noexcept;
ATC_EXPORT void HornBlow(int32_t horn) noexcept;
ATC_EXPORT void DoorOpen() noexcept;
ATC_EXPORT void DoorClose() noexcept;
ATC_EXPORT void SetSignal(int32_t aspect) noexcept;
ATC_EXPORT void SetBeaconData(const BeaconData* beacon) noexcept;

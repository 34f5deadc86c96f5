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

#include "exports.h"

#include "plugin_module.h"

ATC_EXPORT void Load() noexcept {}
ATC_EXPORT void Dispose() noexcept {}
ATC_EXPORT int32_t GetPluginVersion() noexcept { return PLUGIN_INTERFACE_VERSION; }
ATC_EXPORT void SetVehicleSpec(const VehicleSpec* spec) noexcept { StoreVehicleSpec(spec); }
ATC_EXPORT void Initialize(int32_t) noexcept { StartRun(); }
ATC_EXPORT Handles Elapse(const VehicleState* state, int32_t* panel, int32_t* sound) noexcept {
  return RunFrame(state, panel, sound);
}
ATC_EXPORT void SetPower(int32_t notch) noexcept { StoreDriverPower(notch); }
ATC_EXPORT void SetBrake(int32_t notch) noexcept { StoreDriverBrake(notch); }
ATC_EXPORT void SetReverser(int32_t position) noexcept { StoreDriverReverser(position); }
ATC_EXPORT void KeyDown(int32_t key) noexcept { OnKeyDown(key); }
ATC_EXPORT void KeyUp(int32_t) noexcept {}
ATC_EXPORT void HornBlow(int32_t) noexcept {}
ATC_EXPORT void DoorOpen() noexcept {}
ATC_EXPORT void DoorClose() noexcept {}
ATC_EXPORT void SetSignal(int32_t aspect) noexcept { OnSignal(aspect); }
ATC_EXPORT void SetBeaconData(const BeaconData* beacon) noexcept { OnBeacon(beacon); }

#include "exports.h"

#include "plugin_module.h"

ATC_EXPORT void ATC_CALL Load() noexcept {}
ATC_EXPORT void ATC_CALL Dispose() noexcept {}
ATC_EXPORT int32_t ATC_CALL GetPluginVersion() noexcept { return PLUGIN_INTERFACE_VERSION; }
ATC_EXPORT void ATC_CALL SetVehicleSpec(VehicleSpecArg spec) noexcept {
  StoreVehicleSpec(ReceivedRecord(spec));
}
ATC_EXPORT void ATC_CALL Initialize(int32_t) noexcept { StartRun(); }
ATC_EXPORT Handles ATC_CALL Elapse(VehicleStateArg state, int32_t* panel, int32_t* sound) noexcept {
  return RunFrame(ReceivedRecord(state), panel, sound);
}
ATC_EXPORT void ATC_CALL SetPower(int32_t notch) noexcept { StoreDriverPower(notch); }
ATC_EXPORT void ATC_CALL SetBrake(int32_t notch) noexcept { StoreDriverBrake(notch); }
ATC_EXPORT void ATC_CALL SetReverser(int32_t position) noexcept { StoreDriverReverser(position); }
ATC_EXPORT void ATC_CALL KeyDown(int32_t key) noexcept { OnKeyDown(key); }
ATC_EXPORT void ATC_CALL KeyUp(int32_t) noexcept {}
ATC_EXPORT void ATC_CALL HornBlow(int32_t) noexcept {}
ATC_EXPORT void ATC_CALL DoorOpen() noexcept {}
ATC_EXPORT void ATC_CALL DoorClose() noexcept {}
ATC_EXPORT void ATC_CALL SetSignal(int32_t aspect) noexcept { OnSignal(aspect); }
ATC_EXPORT void ATC_CALL SetBeaconData(BeaconDataArg beacon) noexcept {
  OnBeacon(ReceivedRecord(beacon));
}

// Hosts hold the entry points as the types of entry_points.h: these must name
// these very functions, convention and records included, or this will not
// compile.
template <typename EntryPoint>
constexpr bool HostsHold(EntryPoint) {
  return true;
}
static_assert(HostsHold<SetVehicleSpecEntryPoint>(&SetVehicleSpec));
static_assert(HostsHold<ElapseEntryPoint>(&Elapse));
static_assert(HostsHold<SetBeaconDataEntryPoint>(&SetBeaconData));
static_assert(HostsHold<GetPluginVersionEntryPoint>(&GetPluginVersion));
static_assert(HostsHold<KeyDownEntryPoint>(&KeyDown));

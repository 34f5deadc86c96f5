// The x86 DLL against a caller that does not share this compiler's view of it:
// msvc_caller.c, built by clang for Microsoft's x86 ABI, calls each entry point
// with its records by value and reports how far the stack pointer moved.
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <string>

#include "build_path.h"
#include "host_records.h"
#include "loaded_plugin.h"

extern "C" {
int CallNoArguments(void* entry);
int CallVersion(void* entry, int32_t* version);
int CallInteger(void* entry, int32_t argument);
int CallVehicleSpec(void* entry, const VehicleSpecRecord* spec);
int CallElapse(void* entry, const VehicleState* state, int32_t* panel, int32_t* sound,
               Handles* handles);
int CallBeacon(void* entry, const BeaconData* beacon);
}

namespace {

using Offsets = std::map<std::string, int>;

// Every entry point once, the record takers last and with all-zero records: a
// callee that reads them as addresses sees nulls and runs on. Gives how far
// each call left the stack pointer off.
Offsets StackOffsets(const LoadedPlugin& plugin) {
  const auto entry = [&](const char* name) { return plugin.Address(name); };
  std::array<int32_t, PANEL_ARRAY_MIN_LENGTH> panel{};
  std::array<int32_t, SOUND_ARRAY_MIN_LENGTH> sound{};
  Handles handles{};
  const VehicleState state{};
  const BeaconData noBeacon{};
  const VehicleSpecRecord noSpec{};
  int32_t version = 0;
  Offsets offsets;
  for (const char* name : {"Load", "Dispose", "DoorOpen", "DoorClose"}) {
    offsets[name] = CallNoArguments(entry(name));
  }
  for (const char* name : {"Initialize", "SetPower", "SetBrake", "SetReverser", "KeyDown", "KeyUp",
                           "HornBlow", "SetSignal"}) {
    offsets[name] = CallInteger(entry(name), 0);
  }
  offsets["GetPluginVersion"] = CallVersion(entry("GetPluginVersion"), &version);
  offsets["Elapse"] = CallElapse(entry("Elapse"), &state, panel.data(), sound.data(), &handles);
  offsets["SetBeaconData"] = CallBeacon(entry("SetBeaconData"), &noBeacon);
  offsets["SetVehicleSpec"] = CallVehicleSpec(entry("SetVehicleSpec"), &noSpec);
  return offsets;
}

Offsets Balanced() {
  Offsets offsets;
  for (const char* name : {"Load", "Dispose", "DoorOpen", "DoorClose", "Initialize", "SetPower",
                           "SetBrake", "SetReverser", "KeyDown", "KeyUp", "HornBlow", "SetSignal",
                           "GetPluginVersion", "Elapse", "SetBeaconData", "SetVehicleSpec"}) {
    offsets[name] = 0;
  }
  return offsets;
}

TEST(X86Abi, EveryEntryPointPopsWhatTheCallerPushedAndTheRecordsArrive) {
  ScopedTrainFolder folder(BuildPath(KELVRIN_LIBRARY_FILE), std::nullopt);
  const LoadedPlugin plugin(folder.Library());
  ASSERT_TRUE(plugin.Loaded()) << plugin.Error();
  ASSERT_EQ(StackOffsets(plugin), Balanced()) << "no records sent while the stack is off";

  // Real records: the service notch count (the host's other fields follow
  // it), the speed, the arrays and the beacon arrive where the plug-in reads
  // them, and the handles come back through the result address.
  const auto entry = [&](const char* name) { return plugin.Address(name); };
  std::array<int32_t, PANEL_ARRAY_MIN_LENGTH> panel{};
  std::array<int32_t, SOUND_ARRAY_MIN_LENGTH> sound{};
  Handles handles{};
  const auto frame = [&](float speedKmh) {
    VehicleState state{};
    state.Speed = speedKmh;
    return CallElapse(entry("Elapse"), &state, panel.data(), sound.data(), &handles);
  };
  int32_t version = 0;
  EXPECT_EQ(CallVersion(entry("GetPluginVersion"), &version), 0);
  EXPECT_EQ(version, PLUGIN_INTERFACE_VERSION);
  const VehicleSpecRecord spec{{8}, {5, -1, -1, -1}};
  const BeaconData resetBeacon{600, {}, 1};
  EXPECT_EQ(CallVehicleSpec(entry("SetVehicleSpec"), &spec), 0);
  EXPECT_EQ(CallInteger(entry("Initialize"), 0), 0);
  EXPECT_EQ(CallInteger(entry("SetBrake"), 0), 0);
  panel.fill(-1);
  sound.fill(-1);
  EXPECT_EQ(frame(0.0f), 0);
  // Restricted position after power-on: the ATC brake, one past the emergency notch 9.
  EXPECT_EQ((std::array{handles.Brake, handles.Power, handles.Reverser, handles.AuxiliaryCommand}),
            (std::array<int32_t, 4>{10, 0, 0, 2}));
  EXPECT_EQ(panel[35], 1);  // restricted lamp
  EXPECT_EQ(sound[5], SOUND_PLAY);
  // The reset beacon acts only at a stand, as the last frame's speed tells.
  for (const float speedKmh : {5.0f, 0.0f}) {
    EXPECT_EQ(frame(speedKmh), 0);
    EXPECT_EQ(CallBeacon(entry("SetBeaconData"), &resetBeacon), 0);
    EXPECT_EQ(frame(speedKmh), 0);
    EXPECT_EQ(handles.Brake == 9, speedKmh == 0.0f) << speedKmh << " km/h";
  }
}

// The same caller against a build that takes its records by address: the
// three record takers pop four bytes where the caller pushed the whole
// record, so the caller sees the difference. The check above would fail it.
TEST(X86Abi, RecordsTakenByAddressLeaveTheStackPointerOff) {
  ScopedTrainFolder folder(BuildPath(KELVRIN_BY_ADDRESS_FILE), std::nullopt);
  const LoadedPlugin plugin(folder.Library());
  ASSERT_TRUE(plugin.Loaded()) << plugin.Error();
  Offsets expected = Balanced();
  expected["Elapse"] = -36;
  expected["SetBeaconData"] = -12;
  expected["SetVehicleSpec"] = -16;
  EXPECT_EQ(StackOffsets(plugin), expected);
}

}  // namespace

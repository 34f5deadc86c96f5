// The x86 DLL against a caller that does not share this compiler's view of it:
// msvc_caller.c, built by clang for Microsoft's x86 ABI, calls each entry point
// with its records by value and reports how far the stack pointer moved.
// KELVRIN_DLL in the environment names another build to call.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>

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

TEST(X86Abi, EveryEntryPointPopsWhatTheCallerPushedAndTheRecordsArrive) {
  TrainFolder folder(
      BuildPath(std::getenv("KELVRIN_DLL") ? std::getenv("KELVRIN_DLL") : KELVRIN_LIBRARY_FILE),
      std::nullopt);
  const LoadedPlugin plugin(folder.Library());
  ASSERT_TRUE(plugin.Loaded()) << plugin.Error();
  const auto entry = [&](const char* name) { return plugin.Address(name); };
  std::array<int32_t, PANEL_ARRAY_MIN_LENGTH> panel{};
  std::array<int32_t, SOUND_ARRAY_MIN_LENGTH> sound{};
  Handles handles{};
  const auto frame = [&](float speedKmh) {
    VehicleState state{};
    state.Speed = speedKmh;
    return CallElapse(entry("Elapse"), &state, panel.data(), sound.data(), &handles);
  };

  const auto expectBalanced = [](const char* name, int offset) {
    EXPECT_EQ(offset, 0) << name << " left the stack pointer off by " << offset << " bytes";
  };

  // Every entry point, the record takers last and with all-zero records: a
  // callee that reads them as addresses sees nulls and runs on.
  for (const char* name : {"Load", "Dispose", "DoorOpen", "DoorClose"}) {
    expectBalanced(name, CallNoArguments(entry(name)));
  }
  for (const char* name : {"Initialize", "SetPower", "SetBrake", "SetReverser", "KeyDown", "KeyUp",
                           "HornBlow", "SetSignal"}) {
    expectBalanced(name, CallInteger(entry(name), 0));
  }
  int32_t version = 0;
  const BeaconData noBeacon{};
  const VehicleSpecRecord noSpec{};
  expectBalanced("GetPluginVersion", CallVersion(entry("GetPluginVersion"), &version));
  expectBalanced("Elapse", frame(0.0f));
  expectBalanced("SetBeaconData", CallBeacon(entry("SetBeaconData"), &noBeacon));
  expectBalanced("SetVehicleSpec", CallVehicleSpec(entry("SetVehicleSpec"), &noSpec));
  EXPECT_EQ(version, PLUGIN_INTERFACE_VERSION);
  ASSERT_FALSE(HasFailure()) << "no records sent while the stack is off";

  // Real records: the service notch count (the host's other fields follow
  // it), the speed, the arrays and the beacon arrive where the plug-in reads
  // them, and the handles come back through the result address.
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

}  // namespace

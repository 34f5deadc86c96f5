// Checks that a change made for speed changes no result: loads two builds of
// the plug-in side by side, drives both with the same random host calls
// (options files, vehicle specs, signals, beacons, keys, handles, speeds
// around every threshold) and compares the returned handles and the whole
// panel and sound arrays after every frame.
//
// Usage: frame_diff BEFORE/KELVRIN.so AFTER/KELVRIN.so [FRAMES] [SEED]
// Each library is copied into a temporary folder of its own, beside the
// options file this program writes there.
#include <dlfcn.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>

#include "host_records.h"
#include "published_numbers.h"

namespace {

namespace fs = std::filesystem;

constexpr int PanelLength = 256;
constexpr int SoundLength = 128;
constexpr int32_t Unwritten = -777777;

struct Plugin {
  fs::path folder;
  void* library = nullptr;
  void (*Load)();
  void (*SetVehicleSpec)(const VehicleSpec*);
  void (*Initialize)(int32_t);
  Handles (*Elapse)(const VehicleState*, int32_t*, int32_t*);
  void (*SetPower)(int32_t);
  void (*SetBrake)(int32_t);
  void (*SetReverser)(int32_t);
  void (*KeyDown)(int32_t);
  void (*KeyUp)(int32_t);
  void (*SetSignal)(int32_t);
  void (*SetBeaconData)(const BeaconData*);
  int32_t Panel[PanelLength];
  int32_t Sound[SoundLength];
};

template <class Function>
bool Bind(void* library, const char* name, Function& function) {
  function = reinterpret_cast<Function>(dlsym(library, name));
  if (function == nullptr) {
    std::fprintf(stderr, "frame_diff: %s not exported\n", name);
  }
  return function != nullptr;
}

bool Open(const char* libraryPath, Plugin& plugin) {
  char folderTemplate[] = "/tmp/frame_diff.XXXXXX";
  if (mkdtemp(folderTemplate) == nullptr) {
    return false;
  }
  plugin.folder = folderTemplate;
  const fs::path copy = plugin.folder / "KELVRIN.so";
  fs::copy_file(libraryPath, copy);
  plugin.library = dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (plugin.library == nullptr) {
    std::fprintf(stderr, "frame_diff: %s\n", dlerror());
    return false;
  }
  void* l = plugin.library;
  return Bind(l, "Load", plugin.Load) && Bind(l, "SetVehicleSpec", plugin.SetVehicleSpec) &&
         Bind(l, "Initialize", plugin.Initialize) && Bind(l, "Elapse", plugin.Elapse) &&
         Bind(l, "SetPower", plugin.SetPower) && Bind(l, "SetBrake", plugin.SetBrake) &&
         Bind(l, "SetReverser", plugin.SetReverser) && Bind(l, "KeyDown", plugin.KeyDown) &&
         Bind(l, "KeyUp", plugin.KeyUp) && Bind(l, "SetSignal", plugin.SetSignal) &&
         Bind(l, "SetBeaconData", plugin.SetBeaconData);
}

class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint32_t Next() {
    state_ = state_ * 6364136223846793005u + 1442695040888963407u;
    return static_cast<uint32_t>(state_ >> 33);
  }
  int32_t Below(int32_t n) { return static_cast<int32_t>(Next() % static_cast<uint32_t>(n)); }

 private:
  uint64_t state_;
};

const double Limits[] = {0, 15, 25, 45, 55, 65, 75, 90, 100, 110, 120};

// Speeds on and around every threshold, standstill, rolling back, unknown.
float PickSpeedKmh(Random& random) {
  const double limit = Limits[random.Below(11)];
  switch (random.Below(10)) {
    case 0:
      return 0.0f;
    case 1:
      return -static_cast<float>(random.Below(1000)) / 100.0f;
    case 2:
      return std::numeric_limits<float>::quiet_NaN();
    case 3:
      return static_cast<float>(limit);
    case 4:
      return static_cast<float>(limit - 0.625);
    case 5:
      return static_cast<float>(limit - 0.625 + (random.Below(3) - 1) * 0.001);
    case 6:
      return static_cast<float>(limit + (random.Below(3) - 1) * 0.001);
    default:
      return static_cast<float>(random.Below(13000)) / 100.0f;
  }
}

void WriteOptions(Random& random, Plugin* plugins) {
  std::string text = std::string("[") + IniSection + "]\n";
  if (random.Below(2) != 0) {
    text += std::string(IniKeyUse120Signal) + "=" + std::to_string(random.Below(2)) + "\n";
  }
  if (random.Below(2) != 0) {
    text += std::string(IniKeyUseAts) + "=" + std::to_string(random.Below(2)) + "\n";
  }
  if (random.Below(2) != 0) {
    text += std::string(IniKeyAtcBrakeNotch) + "=" + std::to_string(random.Below(12)) + "\n";
  }
  for (int p = 0; p < 2; ++p) {
    std::ofstream(plugins[p].folder / IniFileName) << text;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 5) {
    std::fprintf(stderr, "usage: %s BEFORE/KELVRIN.so AFTER/KELVRIN.so [frames] [seed]\n", argv[0]);
    return 2;
  }
  const long frames = argc >= 4 ? std::strtol(argv[3], nullptr, 10) : 2000000;
  Random random(argc >= 5 ? std::strtoull(argv[4], nullptr, 10) : 1);

  static Plugin plugins[2];
  for (int p = 0; p < 2; ++p) {
    if (!Open(argv[1 + p], plugins[p])) {
      return 2;
    }
  }

  VehicleState state{};
  long compared = 0;
  int status = 0;
  for (long frame = 0; frame < frames && status == 0; ++frame) {
    // Every so often a new run, with new options and a new train.
    const bool newRun = frame % 5000 == 0;
    if (newRun) {
      WriteOptions(random, plugins);
    }
    const VehicleSpec spec{random.Below(10)};
    const int32_t event = random.Below(12);
    const int32_t value = static_cast<int32_t>(random.Next() >> 4);
    const BeaconData beacon{value % 3 == 0 ? ResetBeaconType : value % 700,
                            {},
                            value % 4 == 0 ? 0 : ResetBeaconParameter};
    const int32_t keys[] = {KeyModeDown, KeyModeUp, KeyRestrict, KeyCutOut, 0};
    state.Speed = PickSpeedKmh(random);
    for (Plugin& plugin : plugins) {
      if (newRun) {
        plugin.Load();
        plugin.SetVehicleSpec(&spec);
        plugin.Initialize(0);
      }
      switch (event) {
        case 0:
          // Every aspect, two below them and one above.
          plugin.SetSignal(value % (LastAspect - FirstAspect + 4) + FirstAspect - 2);
          break;
        case 1:
          plugin.KeyDown(keys[value % 5]);
          plugin.KeyUp(keys[value % 5]);
          break;
        case 2:
          plugin.SetBrake(value % (spec.ServiceNotches + 3));
          break;
        case 3:
          plugin.SetPower(value % 6);
          break;
        case 4:
          plugin.SetReverser(value % 3 - 1);
          break;
        case 5:
          plugin.SetBeaconData(&beacon);
          break;
        default:
          break;
      }
      std::fill(std::begin(plugin.Panel), std::end(plugin.Panel), Unwritten);
      std::fill(std::begin(plugin.Sound), std::end(plugin.Sound), Unwritten);
    }
    const Handles before = plugins[0].Elapse(&state, plugins[0].Panel, plugins[0].Sound);
    const Handles after = plugins[1].Elapse(&state, plugins[1].Panel, plugins[1].Sound);
    if (std::memcmp(&before, &after, sizeof before) != 0 ||
        std::memcmp(plugins[0].Panel, plugins[1].Panel, sizeof plugins[0].Panel) != 0 ||
        std::memcmp(plugins[0].Sound, plugins[1].Sound, sizeof plugins[0].Sound) != 0) {
      std::fprintf(stderr, "frame_diff: frame %ld differs (speed %g)\n", frame,
                   static_cast<double>(state.Speed));
      status = 1;
    }
    ++compared;
  }
  for (Plugin& plugin : plugins) {
    fs::remove_all(plugin.folder);
  }
  if (status == 0) {
    std::printf("frame_diff: %ld frames, handles, panel and sounds identical\n", compared);
  }
  return status;
}

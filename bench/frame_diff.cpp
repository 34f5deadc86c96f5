// Checks that a change made for speed changes no result: loads two builds of
// the plug-in side by side, drives both with the same random host calls
// (options files, vehicle specs, signals, beacons, keys, handles, speeds
// around every threshold) and compares the returned handles and the whole
// panel and sound arrays after every frame.
//
// Usage: frame_diff BEFORE/KELVRIN.so AFTER/KELVRIN.so [FRAMES] [SEED]
// Each library is copied into a train's folder of its own, beside the options
// file this program writes there, and loaded as the host loads it.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>
#include <string>

#include "loaded_plugin.h"
#include "published_numbers.h"

namespace {

constexpr int PanelLength = 256;
constexpr int SoundLength = 128;
constexpr int32_t Unwritten = -777777;

struct Plugin {
  loader::TrainFolder Folder;
  std::optional<LoadedPlugin> Library;
  int32_t Panel[PanelLength];
  int32_t Sound[SoundLength];
};

bool Open(const char* libraryPath, Plugin& plugin) {
  std::string error = loader::MakeTrainFolder(libraryPath, std::nullopt, plugin.Folder);
  if (error.empty()) {
    error = plugin.Library.emplace(plugin.Folder.Library).Error();
  }
  if (!error.empty()) {
    std::fprintf(stderr, "frame_diff: %s\n", error.c_str());
  }
  return error.empty();
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
    std::ofstream(plugins[p].Folder.Library.parent_path() / IniFileName) << text;
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
  const auto close = [] {
    for (Plugin& plugin : plugins) {
      plugin.Library.reset();
      loader::RemoveTrainFolder(plugin.Folder);
    }
  };
  if (!Open(argv[1], plugins[0]) || !Open(argv[2], plugins[1])) {
    close();
    return 2;
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
      const PluginEntryPoints& api = plugin.Library->Api();
      if (newRun) {
        api.Load();
        api.SetVehicleSpec(&spec);
        api.Initialize(0);
      }
      switch (event) {
        case 0:
          // Every aspect, two below them and one above.
          api.SetSignal(value % (LastAspect - FirstAspect + 4) + FirstAspect - 2);
          break;
        case 1:
          api.KeyDown(keys[value % 5]);
          api.KeyUp(keys[value % 5]);
          break;
        case 2:
          api.SetBrake(value % (spec.ServiceNotches + 3));
          break;
        case 3:
          api.SetPower(value % 6);
          break;
        case 4:
          api.SetReverser(value % 3 - 1);
          break;
        case 5:
          api.SetBeaconData(&beacon);
          break;
        default:
          break;
      }
      std::fill(std::begin(plugin.Panel), std::end(plugin.Panel), Unwritten);
      std::fill(std::begin(plugin.Sound), std::end(plugin.Sound), Unwritten);
    }
    const Handles before =
        plugins[0].Library->Api().Elapse(&state, plugins[0].Panel, plugins[0].Sound);
    const Handles after =
        plugins[1].Library->Api().Elapse(&state, plugins[1].Panel, plugins[1].Sound);
    if (std::memcmp(&before, &after, sizeof before) != 0 ||
        std::memcmp(plugins[0].Panel, plugins[1].Panel, sizeof plugins[0].Panel) != 0 ||
        std::memcmp(plugins[0].Sound, plugins[1].Sound, sizeof plugins[0].Sound) != 0) {
      std::fprintf(stderr, "frame_diff: frame %ld differs (speed %g)\n", frame,
                   static_cast<double>(state.Speed));
      status = 1;
    }
    ++compared;
  }
  close();
  if (status == 0) {
    std::printf("frame_diff: %ld frames, handles, panel and sounds identical\n", compared);
  }
  return status;
}

// Plays a counterexample's host calls (one per line, as scripts/prove.sh
// writes them into calls.txt) against the built library, loaded as a host
// loads it, and prints what every frame handed back.
//
//   replay build/default/plugin/KELVRIN.so build/proof/faults/fault1/calls.txt
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>

#include "loaded_plugin.h"
#include "options_files.h"
#include "published_numbers.h"

namespace {

const OptionsFile* FindOptions(const std::string& name) {
  for (const OptionsFile& file : OptionsFiles) {
    if (name == file.name)
      return &file;
  }
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: replay KELVRIN.so calls.txt\n");
    return 2;
  }
  std::ifstream calls(argv[2]);
  if (!calls) {
    std::fprintf(stderr, "replay: cannot read %s\n", argv[2]);
    return 2;
  }
  // A folder of its own, whose KELVRIN.ini each Initialize line rewrites.
  ScopedTrainFolder folder(argv[1], std::nullopt);
  const std::filesystem::path ini = folder.Library().parent_path() / IniFileName;
  LoadedPlugin plugin(folder.Library());
  if (!plugin.Loaded()) {
    std::fprintf(stderr, "replay: %s\n", plugin.Error().c_str());
    return 2;
  }
  const PluginEntryPoints& api = plugin.Api();
  // The calls that take one number, and those that take nothing.
  const std::map<std::string, SetPowerEntryPoint> numbered = {
      {"SetPower", api.SetPower},  {"SetBrake", api.SetBrake}, {"SetReverser", api.SetReverser},
      {"KeyDown", api.KeyDown},    {"KeyUp", api.KeyUp},       {"HornBlow", api.HornBlow},
      {"SetSignal", api.SetSignal}};
  const std::map<std::string, LoadEntryPoint> plain = {{"Load", api.Load},
                                                       {"Dispose", api.Dispose},
                                                       {"DoorOpen", api.DoorOpen},
                                                       {"DoorClose", api.DoorClose}};

  std::string line;
  int frame = 0;
  while (std::getline(calls, line)) {
    std::istringstream in(line);
    std::string name, arg1, arg2;
    in >> name >> arg1 >> arg2;
    if (name.empty())
      continue;
    std::printf("%-40s", line.c_str());
    const bool numeric =
        !arg1.empty() && arg1 != "null" && name != "Initialize" && name != "Elapse";
    const int32_t a = numeric ? static_cast<int32_t>(std::stol(arg1)) : 0;
    if (name == "SetVehicleSpec") {
      const VehicleSpec spec{a};
      api.SetVehicleSpec(arg1 == "null" ? nullptr : &spec);
    } else if (name == "Initialize") {
      const OptionsFile* options = FindOptions(arg1);
      std::filesystem::remove(ini);
      if (options != nullptr && options->text != nullptr) {
        std::ofstream(ini, std::ios::binary) << options->text;
      }
      api.Initialize(0);
    } else if (name == "Elapse") {
      VehicleState state{};
      state.Speed = std::strtof(arg1.c_str(), nullptr);
      int32_t panel[256] = {}, sound[128] = {};
      const Handles out = api.Elapse(&state, panel, sound);
      std::printf(
          "frame %d: brake %d power %d reverser %d aux %d | limit %d, lamps: ATC %d ATS %d "
          "restricted %d active %d section %d brake %d emergency %d cut-out %d | sounds 5:%d "
          "110:%d 111:%d",
          ++frame, out.Brake, out.Power, out.Reverser, out.AuxiliaryCommand, panel[72], panel[34],
          panel[33], panel[35], panel[52], panel[53], panel[57], panel[58], panel[59], sound[5],
          sound[110], sound[111]);
    } else if (numbered.contains(name)) {
      numbered.at(name)(a);
    } else if (plain.contains(name)) {
      plain.at(name)();
    } else if (name == "SetBeaconData") {
      BeaconData beacon{};
      beacon.Type = a;
      beacon.Parameter = arg2.empty() ? 0 : static_cast<int32_t>(std::stol(arg2));
      api.SetBeaconData(arg1 == "null" ? nullptr : &beacon);
    } else if (name == "GetPluginVersion") {
      std::printf("0x%x", static_cast<unsigned>(api.GetPluginVersion()));
    } else {
      std::fprintf(stderr, "\nreplay: unknown call %s\n", name.c_str());
      return 2;
    }
    std::printf("\n");
  }
  return 0;
}

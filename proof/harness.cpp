// The glue between SPIN and the plug-in: kv_call runs host call number k of
// the alphabet through the plug-in's exported entry points, with the module
// rebuilt from the state SPIN restored, checks the rules after it, and hands
// the module back to SPIN's state.
#include "harness.h"

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>

#include "alphabet.h"
#include "exports.h"
#include "module_records.h"
#include "options_files.h"
#include "published_numbers.h"
#include "rules.h"
#include "state_abstraction.h"
#include "trail.h"

namespace proof {

namespace {

std::string OptionsDir;

void WriteOptionsFiles() {
  char dir[] = "/tmp/kelvrin-proof-XXXXXX";
  if (mkdtemp(dir) == nullptr) {
    std::perror("mkdtemp");
    std::exit(2);
  }
  OptionsDir = dir;
  for (const OptionsFile& file : OptionsFiles) {
    if (file.text == nullptr)
      continue;
    const std::string path = OptionsDir + "/" + file.name + ".ini";
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr || std::fputs(file.text, out) < 0 || std::fclose(out) != 0) {
      std::perror(path.c_str());
      std::exit(2);
    }
  }
}

void RemoveOptionsFiles() {
  for (const OptionsFile& file : OptionsFiles) {
    if (file.text != nullptr) {
      std::remove((OptionsDir + "/" + file.name + ".ini").c_str());
    }
  }
  rmdir(OptionsDir.c_str());
}

// The file beside the library, as the host's train folder holds it when the run
// starts: the checker points the module's path at one of the prepared files.
void PlaceOptionsFile(int index) {
  const OptionsFile& file = OptionsFiles[index];
  const std::string path = OptionsDir + "/" + (file.text ? file.name : "missing") + ".ini";
  std::snprintf(Module.IniPath, sizeof Module.IniPath, "%s", path.c_str());
}

// Before the verifier takes its first state: the module as loaded, and the host
// view of it (no frame yet, standing still).
struct Start {
  Start() {
    WriteOptionsFiles();
    std::atexit(RemoveOptionsFiles);
    HostView& h = Host();
    h.standstill = 1;
    if (Checked(SoundsOnce))
      h.firstFrame = 1;
    Project();
  }
};

// Runs one call; 0 or the rule broken.
int Run(const Action& act) {
  HostView& h = Host();
  static ModuleRecords before;
  std::memcpy(static_cast<void*>(&before), &Module, sizeof before);
  bool idle = false;  // the call must leave every byte as it was
  switch (act.kind) {
    case KLoad:
      Load();
      idle = true;
      break;
    case KDispose:
      Dispose();
      idle = true;
      break;
    case KGetPluginVersion:
      RULE(IdleCallsChangeNothing, GetPluginVersion() == PLUGIN_INTERFACE_VERSION);
      idle = true;
      break;
    case KSetVehicleSpec: {
      const VehicleSpec spec{act.a};
      SetVehicleSpec(&spec);
      h.emergencyNotch = EmergencyNotchFor(act.a);
      // New vehicle data puts the handles at the emergency notch, no power, forward.
      Exacts().hostDriver = {h.emergencyNotch, 0, 1};
      break;
    }
    case KSetVehicleSpecNull:
      SetVehicleSpec(nullptr);
      idle = true;
      break;
    case KInitialize:
      PlaceOptionsFile(act.a);
      Initialize(0);
      h.useAts = OptionsFiles[act.a].useAts;
      h.atcNotch = AtcBrakeNotchInUse(OptionsFiles[act.a].atcNotchRead, h.emergencyNotch);
      NoteReset();
      break;
    case KElapse: {
      int32_t panel[PanelLength], sound[SoundLength];
      std::fill(std::begin(panel), std::end(panel), Untouched);
      std::fill(std::begin(sound), std::end(sound), Untouched);
      SetPower(act.a);
      SetReverser(act.b);
      Exacts().hostDriver.Power = act.a;
      Exacts().hostDriver.Reverser = act.b;
      VehicleState state{};
      state.Speed = act.speed;
      const Handles out = Elapse(&state, panel, sound);
      if (readtrail)
        PrintFrame(out, panel);
      const VehicleState stored = Module.CurrentState;
      RULE(StateRanges, std::memcmp(&stored, &state, sizeof state) == 0);
      if (const int broken = CheckFrame(before.Controller, out, panel, sound, act.speed)) {
        return broken;
      }
      break;
    }
    case KSetBrake:
      SetBrake(act.a);
      Exacts().hostDriver.Brake = act.a;
      h.driverAtEmergency = act.a == h.emergencyNotch;
      break;
    case KKeyDown:
      KeyDown(act.a);
      idle = !Known(AnsweredKeys, act.a);
      break;
    case KKeyUp:
      KeyUp(act.a);
      idle = true;
      break;
    case KHornBlow:
      HornBlow(act.a);
      idle = true;
      break;
    case KDoorOpen:
      DoorOpen();
      idle = true;
      break;
    case KDoorClose:
      DoorClose();
      idle = true;
      break;
    case KSetSignal:
      NoteSignal(act.a);
      SetSignal(act.a);
      Exacts().hostLastAspect = act.a;
      break;
    case KSetBeaconData: {
      BeaconData beacon{};
      beacon.Type = act.a;
      beacon.Parameter = act.b;
      SetBeaconData(&beacon);
      const bool reset = act.a == ResetBeaconType && act.b == ResetBeaconParameter && h.standstill;
      if (reset) {
        NoteReset();
      } else {
        idle = true;
      }
      break;
    }
    case KSetBeaconDataNull:
      SetBeaconData(nullptr);
      idle = true;
      break;
  }
  if (idle) {
    RULE(IdleCallsChangeNothing, std::memcmp(&before, &Module, sizeof before) == 0);
  }
  // Cut-out cycles leave PermitB and the others of its kind unwritten.
  const bool normalFrame = act.kind == KElapse && !before.Controller.CutOutSwitch;
  if (const int broken = CheckRanges(normalFrame))
    return broken;
  return CheckAbstraction(normalFrame);
}

const Start start;

}  // namespace

}  // namespace proof

extern "C" int kv_call(int action) {
  const proof::Action& act = proof::Alphabet().at(static_cast<size_t>(action));
  if (readtrail)
    proof::PrintCall(act);
  proof::Restore();
  const int broken = proof::Run(act);
  proof::Project();
  return broken;
}

extern "C" int kv_action_count(void) { return static_cast<int>(proof::Alphabet().size()); }

// Drives the sixteen entry points with whatever sequence and arguments the
// fuzzer makes up, and after every frame checks what must hold whatever came
// before: the handles handed back, the panel and sound values, and the
// indices written. The module starts afresh for every input, as after loading.
//
// Alongside the module runs a small record of what the host has told it (the
// driver's handles, the notches, the options, the selector, the switches and
// the last aspect). Everything it predicts follows from those inputs alone;
// what rests on the supervision channels' history (the permits, the emergency
// latch) is only checked where the rules pin it down.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "exports.h"
#include "harness.h"
#include "module_records.h"
#include "platform.h"

namespace {

// Larger than the host's minimum, so that stray writes land where they are seen.
constexpr int PanelLength = 300, SoundLength = 160;
constexpr int32_t Untouched = 0x7A5E11ED;
// Each speed step's limit.
constexpr int StepLimitKmh[] = {25, 0, 15, 25, 45, 55, 65, 75, 90, 100, 110, 0, 120};
int StepOfAspect(int32_t aspect) {
  const AspectRow* row = FindAspect(aspect);
  return row != nullptr ? row->SpeedStep : SpeedStepNoCode;
}
int32_t Above(int32_t notch) { return static_cast<int32_t>(static_cast<uint32_t>(notch) + 1u); }
bool AtcSection(int step) { return step >= 1 && step <= 10; }

// What the host has told the module since Initialize.
struct HostView {
  DriverHandles driver{};
  int32_t emergencyNotch = 0, atcBrakeNotch = 0, mode = ModeRestricted, lastSignal = 0;
  bool useAts = false, use120 = false, restrict = false, cutOut = false;
  bool brakeAtEmergency = false, brakeApplied = false;  // as the last SetBrake left them
  int step = 0;                                         // decoded by the next normal cycle
  float speed = 0.0f;                                   // the last one handed over
  double limit = 0.0;                                   // shown, and kept while cut out
  bool reset = true, beaconReset = false;               // before the frame to come
  std::array<bool, 3> sounds{};                         // change, ATC code, aspect 10 requested
};

void ApplyReset(HostView& host, bool beacon) {
  host.mode = beacon ? ModeAtc : host.useAts ? ModeAts : ModeRestricted;
  host.restrict = host.cutOut = host.brakeAtEmergency = host.brakeApplied = false;
  host.step = 0, host.limit = 0.0, host.reset = true, host.beaconReset = beacon, host.sounds = {};
}

void CheckFrame(HostView& host, const Handles& out, const int32_t* panel, const int32_t* sound) {
  const DriverHandles& d = host.driver;
  const bool normal = !host.cutOut, section = AtcSection(host.step);
  const bool hidden = !normal || (host.mode == ModeAts && !section);
  const bool emergency = out.Brake == host.emergencyNotch && out.Power == 0;
  const bool service = out.Brake == std::max(host.atcBrakeNotch, d.Brake);
  // The ATC's service brake never weakens the driver's; the latch gives the
  // emergency notch; power goes with either; the reverser goes to neutral
  // only under the service brake with the driver's brake released.
  EXPECT(Module.AtcBrakeNotch == host.atcBrakeNotch);
  EXPECT(out.Brake == d.Brake || service || emergency);
  EXPECT(out.Power == d.Power || out.Power == 0);
  EXPECT(out.Brake == d.Brake || out.Power == 0);
  EXPECT(out.Reverser == d.Reverser || (out.Reverser == 0 && d.Brake == 0 && out.Power == 0));
  EXPECT(out.AuxiliaryCommand == 2 || (out.AuxiliaryCommand == 0 && emergency));
  EXPECT(std::memcmp(&out, &Module.OutputHandles, sizeof out) == 0);
  EXPECT(normal || std::memcmp(&out, &d, sizeof d) == 0);  // cut out: the driver's handles
  // Hidden (cut out, or ATS outside an ATC section): no service brake.
  EXPECT(!hidden || (out.AuxiliaryCommand == 2 && (out.Brake == d.Brake || emergency)));
  // The first cycle after Initialize votes on cleared channels.
  EXPECT(!(host.reset && !host.beaconReset && !hidden) ||
         (out.Power == 0 && (service || emergency)));
  // The emergency notch held by the driver releases the latch every cycle;
  // without it, no code or the stop aspect in ATC, and the cycle after the
  // reset beacon, latch it.
  const bool stopLatch = normal && host.mode == ModeAtc && !host.restrict &&
                         (host.step == SpeedStepNoCode || host.step == SpeedStepStop);
  EXPECT(!(normal && host.brakeAtEmergency) || out.AuxiliaryCommand == 2);
  EXPECT(!((stopLatch || (normal && host.beaconReset)) && !host.brakeAtEmergency) || emergency);
  if (normal) {
    host.limit = host.step == SpeedStep110Or120 && host.use120 ? 120 : StepLimitKmh[host.step];
    host.limit = host.restrict || (host.mode != ModeAtc && host.limit > 25) ? 25 : host.limit;
  }
  if (panel != nullptr) {
    std::array<int32_t, PanelLength> want;
    want.fill(Untouched);
    want[PanelModeAts] = host.mode == ModeAts, want[PanelModeAtc] = host.mode == ModeAtc;
    want[PanelModeRestricted] = host.mode == ModeRestricted, want[PanelActive] = normal;
    want[PanelCutOut] = !normal, want[PanelAtcSignal] = normal && section;
    want[PanelRestrict] = normal && host.restrict;
    for (int step = 0; step < PanelStepLampCount; ++step) {
      want[PanelStepLamp[step]] = normal && host.mode == ModeAtc && host.step == step;
    }
    want[PanelSpeedLimit] = static_cast<int32_t>(host.limit);
    // The brake and emergency lamps: dark where hidden, the emergency lamp
    // with the emergency notch, lit for a latch the driver does not release.
    want[PanelBrake] = hidden ? 0 : panel[PanelBrake] & 1;
    want[PanelEmergency] = hidden || host.brakeAtEmergency ? 0
                           : stopLatch                     ? 1
                                       : panel[PanelEmergency] & (emergency ? 1 : 0);
    if (host.useAts) {  // the ready lamp is only ever lit
      want[PanelAtsRunning] = host.mode == ModeAts && !section;
      want[PanelAtsReady] = want[PanelAtsRunning] ? panel[PanelAtsReady] : 1;
    }
    EXPECT(std::equal(want.begin(), want.end(), panel));
  }
  if (sound != nullptr) {
    // Each request for one frame, "stop" only after a reset; the three slots
    // alone. The chime is the controller's to time.
    std::array<int32_t, SoundLength> want;
    want.fill(Untouched);
    const int32_t idle = host.reset ? SOUND_STOP : SOUND_CONTINUE;
    want[SoundChange] = host.sounds[0] || sound[SoundChange] == SOUND_PLAY ? SOUND_PLAY : idle;
    want[SoundAtcCode] = host.sounds[1] ? SOUND_PLAY : idle;
    want[SoundAspect120] = host.sounds[2] ? SOUND_PLAY : idle;
    EXPECT(std::equal(want.begin(), want.end(), sound));
  }
  host.reset = host.beaconReset = false;
  host.sounds = {};
}

int32_t Choose(FuzzedDataProvider& in, int32_t low, int32_t high) {
  return in.ConsumeBool() ? in.ConsumeIntegralInRange<int32_t>(low, high)
                          : in.ConsumeIntegral<int32_t>();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  HostView host;
  Module = ModuleRecords{};
  AttachModule(&Module, false);
  const std::string& iniPath = ScratchFile("fuzz");
  std::strcpy(Module.IniPath, iniPath.c_str());
  std::remove(iniPath.c_str());
  while (in.remaining_bytes() > 0) {
    const int32_t value = Choose(in, -2, 40);
    switch (in.ConsumeIntegralInRange<int>(0, 9)) {
      case 0: {  // SetVehicleSpec
        const VehicleSpec spec{value};
        const bool given = in.ConsumeBool();
        SetVehicleSpec(given ? &spec : nullptr);
        if (given) {
          host.emergencyNotch = Above(spec.ServiceNotches);
          host.driver = {host.emergencyNotch, 0, 1};
        }
        break;
      }
      case 1: {  // Initialize with an options file of known values; another
                 // section's keys and a repeated key are not read
        const std::array<int32_t, 3> options{in.ConsumeBool() ? value : 0, Choose(in, -1, 1),
                                             Choose(in, -2, 12)};
        std::string text = "[Other]\nUseATS=1\n[ settings ]\r\n";
        const char* keys[] = {"use120signal", "UseATS", "ATCBRAKENOTCH"};
        for (int k = 0; k < 3; ++k) {
          text +=
              std::string(keys[k]) + " = " + std::to_string(options[k]) + "\n" + keys[k] + "=7\n";
        }
        std::ofstream(iniPath, std::ios::binary) << text;
        Initialize(value);
        host.use120 = options[0] != 0;
        host.useAts = options[1] != 0;
        host.atcBrakeNotch = options[2] >= 1 ? options[2] : Above(host.emergencyNotch);
        EXPECT(Module.Controller.Use120Signal == host.use120);
        EXPECT(Module.Controller.UseAts == host.useAts);
        ApplyReset(host, false);
        break;
      }
      case 2:
      case 3: {  // a frame, sometimes with a record missing
        const int missing = in.ConsumeIntegralInRange<int>(0, 5);
        VehicleState state{};
        state.Speed = std::bit_cast<float>(in.ConsumeIntegral<uint32_t>());
        int32_t panel[PanelLength], sound[SoundLength];
        std::fill_n(panel, PanelLength, Untouched);
        std::fill_n(sound, SoundLength, Untouched);
        const Handles out = Elapse(missing == 0 ? nullptr : &state, missing == 1 ? nullptr : panel,
                                   missing == 2 ? nullptr : sound);
        host.speed = missing == 0 ? host.speed : state.Speed;
        CheckFrame(host, out, missing == 1 ? nullptr : panel, missing == 2 ? nullptr : sound);
        break;
      }
      case 4:
        SetBrake(host.driver.Brake = in.ConsumeBool() ? host.emergencyNotch : value);
        host.brakeAtEmergency = host.driver.Brake == host.emergencyNotch;
        host.brakeApplied = host.driver.Brake > 0;
        break;
      case 5:
        SetPower(host.driver.Power = value);
        SetReverser(host.driver.Reverser = Choose(in, -1, 1));
        break;
      case 6: {  // cab keys
        const int32_t key = value % 10 + 5;
        KeyDown(key);
        const bool mayLeaveAtc = !AtcSection(host.step) && host.brakeApplied;
        if (key == KeyModeDown && host.useAts && host.mode == ModeAts) {
          host.mode = ModeRestricted;
        } else if (key == KeyModeDown && host.mode == ModeAtc && mayLeaveAtc) {
          host.mode = host.useAts ? ModeAts : ModeRestricted;
        } else if (key == KeyModeUp) {
          host.mode = host.useAts && host.mode == ModeRestricted ? ModeAts : ModeAtc;
        }
        host.restrict = host.restrict != (key == KeyRestrict);
        host.cutOut = host.cutOut != (key == KeyCutOut);
        break;
      }
      case 7: {  // signal aspects
        SetSignal(value);
        host.step = StepOfAspect(value);
        host.sounds[0] |=
            (host.lastSignal >= FirstAspect || value >= FirstAspect) && value != host.lastSignal;
        host.sounds[1] |= AtcSection(host.step) && host.mode != ModeAtc;
        host.sounds[2] |= value == Aspect120;
        host.lastSignal = value;
        break;
      }
      case 8: {  // beacons, the reset beacon among them, taken only at standstill
        const BeaconData beacon{in.ConsumeBool() ? ResetBeaconType : value,
                                {},
                                in.ConsumeBool() ? ResetBeaconParameter : value};
        const bool given = in.ConsumeBool();
        SetBeaconData(given ? &beacon : nullptr);
        if (given && beacon.Type == ResetBeaconType && beacon.Parameter == ResetBeaconParameter &&
            host.speed == 0.0f) {
          ApplyReset(host, true);
        }
        break;
      }
      default: {  // entry points that do nothing, and a thread notification
        static ModuleRecords before;
        std::memcpy(static_cast<void*>(&before), &Module, sizeof Module);
        Load(), Dispose(), KeyUp(value), HornBlow(value), DoorOpen(), DoorClose();
        AttachModule(&Module, false);
        EXPECT(GetPluginVersion() == 0x20000);
        EXPECT(std::memcmp(&before, &Module, sizeof Module) == 0);
        break;
      }
    }
  }
  return 0;
}

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
#include <unistd.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "exports.h"
#include "module_records.h"
#include "platform.h"

namespace {

// Larger than the host's minimum so that stray writes land in the array,
// where the untouched-index check sees them.
constexpr int PanelLength = 300;
constexpr int SoundLength = 160;
constexpr int32_t Untouched = 0x7A5E11ED;

constexpr int PanelModeAts = 33;
constexpr int PanelModeAtc = 34;
constexpr int PanelModeRestricted = 35;
constexpr int PanelActive = 52;
constexpr int PanelAtcSignal = 53;
constexpr int PanelRestrict = 56;
constexpr int PanelBrake = 57;
constexpr int PanelEmergency = 58;
constexpr int PanelCutOut = 59;
constexpr int PanelSpeedLimit = 72;
constexpr int PanelAtsRunning = 247;
constexpr int PanelAtsReady = 249;
constexpr int PanelStepLamp[] = {70, 71, 74, 76, 80, 82, 84, 86, 89, 91, 93};
constexpr int PanelWrittenAlways[] = {33, 34, 35, 52, 53, 56, 57, 58, 59, 72, 70,
                                      71, 74, 76, 80, 82, 84, 86, 89, 91, 93};
constexpr int SoundChange = 5;
constexpr int SoundAtcCode = 110;
constexpr int SoundAspect10 = 111;

// Speed step of each aspect 10..36 (0: no ATC code), and the aspects that mark
// an ATC section.
constexpr int StepOfAspect[] = {12, 1, 0, 2, 0, 3, 0, 0, 0,  4, 0,  5, 0, 6,
                                0,  7, 0, 0, 8, 0, 9, 0, 10, 0, 10, 0, 11};
constexpr double StepLimitKmh[] = {25, 0, 15, 25, 45, 55, 65, 75, 90, 100, 110, 0, 120};

int StepOf(int32_t aspect) { return aspect >= 10 && aspect <= 36 ? StepOfAspect[aspect - 10] : 0; }
bool IsAtcSpeedAspect(int32_t aspect) {
  const int step = StepOf(aspect);
  return step >= 1 && step <= 10;
}

[[noreturn]] void Broken(const char* what, int line) {
  std::fprintf(stderr, "invariant broken (line %d): %s\n", line, what);
  std::abort();
}
#define EXPECT(cond)           \
  do {                         \
    if (!(cond)) {             \
      Broken(#cond, __LINE__); \
    }                          \
  } while (0)

// What one frame showed.
struct Frame {
  Handles out;
  DriverHandles driver;
  bool normal;        // the cycle ran its normal path (not cut out)
  bool atsOutside;    // ATS position outside an ATC section: no service brake
  double limitShown;  // panel 72
  float speed;        // the speed the cycle supervised: the latest one handed over
};

// What the host has told the module, and the consequences that follow from it
// without the supervision's history.
struct HostView {
  DriverHandles driver{0, 0, 0};
  int32_t emergencyNotch = 0;
  int32_t atcBrakeNotch = 0;
  bool useAts = false;
  bool use120 = false;
  int32_t mode = ModeRestricted;
  bool restrict = false;
  bool cutOut = false;
  bool inAtcSection = false;
  bool brakeAtEmergency = false;
  bool brakeApplied = false;
  int speedStep = 0;  // decoded by the next normal cycle
  int32_t lastSignal = 0;
  float speed = 0.0f;  // CurrentState.Speed
  double frozenLimit = 0.0;
  // Since the previous frame:
  bool reset = true;  // sounds may show "stop"
  bool powerOnReset = false;
  bool beaconReset = false;
  bool atcCodeSound = false;
  bool aspect10Sound = false;
  bool changeSound = false;
  // The last two frames.
  bool havePrevious = false;
  Frame previous{};
  bool overspeedBrakeDue = false;  // the previous frame's brake was forced by an overspeed
};

std::string g_iniPath;

void ResetModule(HostView& host) {
  Module = ModuleRecords{};
  AttachModule(&Module, false);
  std::strncpy(Module.IniPath, g_iniPath.c_str(), IniPathCapacity - 1);
  host = HostView{};
}

void ApplyReset(HostView& host, bool beacon) {
  host.mode = beacon ? ModeAtc : (host.useAts ? ModeAts : ModeRestricted);
  host.restrict = false;
  host.cutOut = false;
  host.inAtcSection = false;
  host.brakeAtEmergency = false;
  host.brakeApplied = false;
  host.speedStep = 0;
  host.frozenLimit = 0.0;
  host.reset = true;
  host.powerOnReset = !beacon;
  host.beaconReset = beacon;
  host.atcCodeSound = host.aspect10Sound = host.changeSound = false;
}

// Writes an options file whose values are known, in the forms the profile
// reader accepts, and remembers what Initialize must make of it.
void WriteOptions(FuzzedDataProvider& in, bool& use120, bool& useAts, int32_t& brakeNotch,
                  bool& brakeNotchGiven) {
  std::string text;
  if (in.ConsumeBool()) {
    text += "[Other]\nUseATS=1\nATCBrakeNotch=3\n";  // another section's keys are not ours
  }
  text += in.ConsumeBool() ? "[Settings]\n" : "[ settings ]\r\n";
  const char* keys[] = {"Use120Signal", "UseATS", "ATCBrakeNotch"};
  int32_t values[3] = {0, 0, 0};
  bool given[3] = {false, false, false};
  for (int k = 0; k < 3; ++k) {
    if (!in.ConsumeBool()) {
      continue;
    }
    given[k] = true;
    values[k] = in.ConsumeBool() ? in.ConsumeIntegralInRange<int32_t>(-2, 12)
                                 : in.ConsumeIntegral<int32_t>();
    std::string key = keys[k];
    if (in.ConsumeBool()) {
      for (char& c : key) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
          c = static_cast<char>(c ^ 0x20);  // the other letter case
        }
      }
    }
    text += key + (in.ConsumeBool() ? " = " : "=") + std::to_string(values[k]) + "\n";
    if (in.ConsumeBool()) {
      text += key + "=77\n";  // a repeated key: the first one counts
    }
  }
  FILE* file = std::fopen(g_iniPath.c_str(), "wb");
  if (file == nullptr) {
    std::abort();
  }
  std::fwrite(text.data(), 1, text.size(), file);
  std::fclose(file);
  use120 = given[0] && values[0] != 0;
  useAts = given[1] && values[1] != 0;
  brakeNotchGiven = given[2];
  brakeNotch = values[2];
}

float InterestingSpeed(FuzzedDataProvider& in) {
  static const std::vector<float> speeds = [] {
    std::vector<float> v = {0.0f,
                            -0.0f,
                            std::numeric_limits<float>::quiet_NaN(),
                            -std::numeric_limits<float>::quiet_NaN(),
                            std::numeric_limits<float>::signaling_NaN(),
                            std::numeric_limits<float>::infinity(),
                            -std::numeric_limits<float>::infinity(),
                            std::numeric_limits<float>::denorm_min(),
                            -std::numeric_limits<float>::denorm_min(),
                            std::numeric_limits<float>::min(),
                            std::numeric_limits<float>::max(),
                            -std::numeric_limits<float>::max(),
                            -5.0f,
                            std::nextafter(-5.0f, -10.0f),
                            -5.01f,
                            -100.0f};
    for (double limit : StepLimitKmh) {
      const float l = static_cast<float>(limit);
      v.push_back(l);
      v.push_back(std::nextafter(l, 1000.0f));
      v.push_back(l - 0.625f);
      v.push_back(std::nextafter(l - 0.625f, 1000.0f));
      v.push_back(l - 0.3f);
    }
    return v;
  }();
  return speeds[in.ConsumeIntegralInRange<size_t>(0, speeds.size() - 1)];
}

// The checks of one frame. `host` holds what the host told the module before
// this frame; the sounds and the one-frame consequences are cleared after.
void CheckFrame(HostView& host, const Handles& out, const int32_t* panel, const int32_t* sound) {
  const DriverHandles& d = host.driver;
  const bool normal = !host.cutOut;
  const bool atsOutside = normal && host.mode == ModeAts && !host.inAtcSection;

  // The handles: each field the driver's or the override, never anything else.
  EXPECT(out.Brake == d.Brake || out.Brake == Module.AtcBrakeNotch ||
         out.Brake == host.emergencyNotch);
  EXPECT(Module.AtcBrakeNotch == host.atcBrakeNotch);
  EXPECT(out.Power == d.Power || out.Power == 0);
  EXPECT(out.Brake == d.Brake || out.Power == 0);
  EXPECT(out.Reverser == d.Reverser || (out.Reverser == 0 && d.Brake == 0 && out.Power == 0));
  EXPECT(out.AuxiliaryCommand == 0 || out.AuxiliaryCommand == 2);
  EXPECT(out.AuxiliaryCommand == 2 || (out.Brake == host.emergencyNotch && out.Power == 0));
  EXPECT(std::memcmp(&out, &Module.OutputHandles, sizeof out) == 0);

  // Cut out: the driver's handles pass unchanged.
  if (!normal) {
    EXPECT(out.Brake == d.Brake && out.Power == d.Power && out.Reverser == d.Reverser &&
           out.AuxiliaryCommand == 2);
  }
  // The driver's brake at the emergency notch releases the latch in every
  // normal cycle: the brake is never forced to the emergency notch by it.
  if (normal && host.brakeAtEmergency) {
    EXPECT(out.AuxiliaryCommand == 2);
    EXPECT(out.Brake == d.Brake || out.Brake == Module.AtcBrakeNotch);
  }
  // In the ATS position outside an ATC section the service brake stays off.
  if (atsOutside) {
    EXPECT(out.Brake == d.Brake || out.Brake == host.emergencyNotch);
    EXPECT(out.AuxiliaryCommand == 2);
  }
  // ATC without a code, or at the stop aspect, and no restriction: the
  // emergency brake, unless the driver holds the emergency notch.
  const bool stopStep = host.speedStep == 0 || host.speedStep == 11;
  if (normal && host.mode == ModeAtc && stopStep && !host.restrict && !host.brakeAtEmergency) {
    EXPECT(out.Brake == host.emergencyNotch && out.Power == 0);
  }
  // The first cycle after Initialize votes on cleared channels: service brake.
  if (normal && host.powerOnReset && !atsOutside) {
    EXPECT(out.Power == 0 &&
           (out.Brake == Module.AtcBrakeNotch || out.Brake == host.emergencyNotch));
  }
  // The first cycle after the reset beacon latches the emergency brake.
  if (normal && host.beaconReset && !host.brakeAtEmergency) {
    EXPECT(out.Brake == host.emergencyNotch && out.Power == 0);
  }
  // Overspeed in the previous normal frame: no permit in this one.
  const Frame& p = host.previous;
  const bool previousOverspeed =
      host.havePrevious && p.normal && static_cast<double>(p.speed) > p.limitShown;
  const bool overspeedBrake = previousOverspeed && normal && !atsOutside;
  if (overspeedBrake) {
    EXPECT(out.Power == 0 &&
           (out.Brake == Module.AtcBrakeNotch || out.Brake == host.emergencyNotch));
  }
  // Rolling back with the reverser forward in the previous normal frame: the
  // emergency brake in this one, in any position.
  const bool previousRollback =
      host.havePrevious && p.normal && p.driver.Reverser == 1 && p.speed < -5.0f;
  if (previousRollback && normal && !host.reset && !host.brakeAtEmergency) {
    EXPECT(out.Brake == host.emergencyNotch && out.Power == 0);
  }

  // The limit this frame: the step's, capped outside ATC, forced by the
  // restriction switch; a cut-out frame shows the last one.
  double limit = host.frozenLimit;
  if (normal) {
    limit = (host.speedStep == 10 && host.use120) ? 120.0 : StepLimitKmh[host.speedStep];
    if (host.mode != ModeAtc && limit > 25.0) {
      limit = 25.0;
    }
    if (host.restrict) {
      limit = 25.0;
    }
    host.frozenLimit = limit;
  }

  if (panel != nullptr) {
    bool written[PanelLength] = {};
    for (int index : PanelWrittenAlways) {
      written[index] = true;
    }
    EXPECT(panel[PanelSpeedLimit] == static_cast<int32_t>(limit));
    for (int index : PanelWrittenAlways) {
      if (index != PanelSpeedLimit) {
        EXPECT(panel[index] == 0 || panel[index] == 1);
      }
    }
    EXPECT(panel[PanelModeAts] == (host.mode == ModeAts));
    EXPECT(panel[PanelModeAtc] == (host.mode == ModeAtc));
    EXPECT(panel[PanelModeRestricted] == (host.mode == ModeRestricted));
    EXPECT(panel[PanelActive] == normal);
    EXPECT(panel[PanelCutOut] == !normal);
    EXPECT(panel[PanelAtcSignal] == (normal && host.inAtcSection));
    EXPECT(panel[PanelRestrict] == (normal && host.restrict));
    for (int step = 0; step < 11; ++step) {
      const bool lit = normal && host.mode == ModeAtc && host.speedStep == step;
      EXPECT(panel[PanelStepLamp[step]] == lit);
    }
    // The emergency lamp shows the latch: the emergency notch, no power.
    if (panel[PanelEmergency] == 1) {
      EXPECT(out.Brake == host.emergencyNotch && out.Power == 0);
    }
    if (!normal || atsOutside || host.brakeAtEmergency) {
      EXPECT(panel[PanelEmergency] == 0);
    }
    if (normal && host.mode == ModeAtc && stopStep && !host.restrict && !host.brakeAtEmergency) {
      EXPECT(panel[PanelEmergency] == 1);
    }
    if (!normal || atsOutside) {
      EXPECT(panel[PanelBrake] == 0);
    }
    // The brake lamp follows the service brake one frame late.
    if (host.overspeedBrakeDue && normal && !atsOutside && !host.reset) {
      EXPECT(panel[PanelBrake] == 1);
    }
    if (host.useAts) {
      written[PanelAtsRunning] = true;
      const bool running = host.mode == ModeAts && !host.inAtcSection;
      EXPECT(panel[PanelAtsRunning] == running);
      if (!running) {
        written[PanelAtsReady] = true;
        EXPECT(panel[PanelAtsReady] == 1);
      }
    }
    for (int index = 0; index < PanelLength; ++index) {
      if (!written[index]) {
        EXPECT(panel[index] == Untouched);
      }
    }
  }

  if (sound != nullptr) {
    for (int index = 0; index < SoundLength; ++index) {
      if (index == SoundChange || index == SoundAtcCode || index == SoundAspect10) {
        EXPECT(sound[index] == SOUND_STOP || sound[index] == SOUND_PLAY ||
               sound[index] == SOUND_CONTINUE);
        EXPECT(sound[index] != SOUND_STOP || host.reset);
      } else {
        EXPECT(sound[index] == Untouched);
      }
    }
    // Sounds 110 and 111 are raised only by aspects, each for one frame.
    const int32_t idle = host.reset ? SOUND_STOP : SOUND_CONTINUE;
    EXPECT(sound[SoundAtcCode] == (host.atcCodeSound ? SOUND_PLAY : idle));
    EXPECT(sound[SoundAspect10] == (host.aspect10Sound ? SOUND_PLAY : idle));
    if (host.changeSound) {
      EXPECT(sound[SoundChange] == SOUND_PLAY);
    }
  }

  host.previous = Frame{out, host.driver, normal, atsOutside, limit, host.speed};
  host.havePrevious = true;
  host.overspeedBrakeDue = overspeedBrake;
  host.reset = host.powerOnReset = host.beaconReset = false;
  host.atcCodeSound = host.aspect10Sound = host.changeSound = false;
}

void RunElapse(FuzzedDataProvider& in, HostView& host, float speed, bool withState, bool withPanel,
               bool withSound) {
  VehicleState state;
  std::memset(&state, in.ConsumeIntegral<uint8_t>(), sizeof state);
  state.Speed = speed;
  int32_t panel[PanelLength];
  int32_t sound[SoundLength];
  for (int32_t& value : panel) {
    value = Untouched;
  }
  for (int32_t& value : sound) {
    value = Untouched;
  }
  if (withState) {
    host.speed = speed;
  }
  const Handles out = Elapse(withState ? &state : nullptr, withPanel ? panel : nullptr,
                             withSound ? sound : nullptr);
  if (withState) {
    EXPECT(std::memcmp(&Module.CurrentState, &state, sizeof state) == 0);
  }
  CheckFrame(host, out, withPanel ? panel : nullptr, withSound ? sound : nullptr);
}

// An entry point that does nothing, or a thread notification, must leave
// every module record as it was.
template <typename Call>
void ExpectNoChange(Call call) {
  static ModuleRecords before;
  std::memcpy(static_cast<void*>(&before), &Module, sizeof Module);
  call();
  EXPECT(std::memcmp(&before, &Module, sizeof Module) == 0);
}

int32_t ChooseNotch(FuzzedDataProvider& in, const HostView& host) {
  switch (in.ConsumeIntegralInRange<int>(0, 4)) {
    case 0:
      return host.emergencyNotch;
    case 1:
      return 0;
    case 2:
      return in.ConsumeIntegralInRange<int32_t>(-2, 12);
    default:
      return in.ConsumeIntegral<int32_t>();
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* dir = std::getenv("TMPDIR");
  g_iniPath = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/kelvrin-fuzz-" +
              std::to_string(getpid()) + ".ini";
  if (g_iniPath.size() >= static_cast<size_t>(IniPathCapacity)) {
    g_iniPath = "/tmp/kelvrin-fuzz-" + std::to_string(getpid()) + ".ini";
  }
  std::atexit([] { std::remove(g_iniPath.c_str()); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  HostView host;
  ResetModule(host);
  std::remove(g_iniPath.c_str());

  while (in.remaining_bytes() > 0) {
    switch (in.ConsumeIntegralInRange<int>(0, 15)) {
      case 0: {  // SetVehicleSpec, a notch count or nothing
        if (in.ConsumeIntegralInRange<int>(0, 7) == 0) {
          ExpectNoChange([] { SetVehicleSpec(nullptr); });
          break;
        }
        VehicleSpec spec{in.ConsumeBool() ? in.ConsumeIntegralInRange<int32_t>(-1, 10)
                                          : in.ConsumeIntegral<int32_t>()};
        SetVehicleSpec(&spec);
        host.emergencyNotch = static_cast<int32_t>(static_cast<uint32_t>(spec.ServiceNotches) + 1u);
        host.driver = {host.emergencyNotch, 0, 1};
        break;
      }
      case 1: {  // Initialize, with an options file of known content, or none
        bool use120 = false;
        bool useAts = false;
        int32_t brakeNotch = 0;
        bool brakeNotchGiven = false;
        switch (in.ConsumeIntegralInRange<int>(0, 3)) {
          case 0:
            std::remove(g_iniPath.c_str());
            break;
          case 1:
            Module.IniPath[0] = '\0';
            break;
          default:
            std::strncpy(Module.IniPath, g_iniPath.c_str(), IniPathCapacity - 1);
            WriteOptions(in, use120, useAts, brakeNotch, brakeNotchGiven);
            break;
        }
        Initialize(in.ConsumeIntegral<int32_t>());
        std::strncpy(Module.IniPath, g_iniPath.c_str(), IniPathCapacity - 1);
        host.use120 = use120;
        host.useAts = useAts;
        host.atcBrakeNotch =
            brakeNotchGiven ? brakeNotch
                            : static_cast<int32_t>(static_cast<uint32_t>(host.emergencyNotch) + 1u);
        EXPECT(Module.Controller.Use120Signal == use120);
        EXPECT(Module.Controller.UseAts == useAts);
        ApplyReset(host, false);
        break;
      }
      case 2:
      case 3:
      case 4:
        RunElapse(in, host, std::bit_cast<float>(in.ConsumeIntegral<uint32_t>()), true, true, true);
        break;
      case 5:
      case 6:
        RunElapse(in, host, InterestingSpeed(in), true, true, true);
        break;
      case 7: {  // a frame with a record missing
        const int which = in.ConsumeIntegralInRange<int>(0, 2);
        RunElapse(in, host, host.speed, which != 0, which != 1, which != 2);
        break;
      }
      case 8: {
        const int32_t notch = ChooseNotch(in, host);
        SetBrake(notch);
        host.driver.Brake = notch;
        host.brakeAtEmergency = notch == host.emergencyNotch;
        host.brakeApplied = notch > 0;
        break;
      }
      case 9: {
        const int32_t notch = in.ConsumeBool() ? in.ConsumeIntegralInRange<int32_t>(-1, 5)
                                               : in.ConsumeIntegral<int32_t>();
        SetPower(notch);
        host.driver.Power = notch;
        break;
      }
      case 10: {
        const int32_t position = in.ConsumeBool() ? in.ConsumeIntegralInRange<int32_t>(-1, 1)
                                                  : in.ConsumeIntegral<int32_t>();
        SetReverser(position);
        host.driver.Reverser = position;
        break;
      }
      case 11: {  // cab keys
        const int32_t key = in.ConsumeBool() ? in.ConsumeIntegralInRange<int32_t>(4, 14)
                                             : in.ConsumeIntegral<int32_t>();
        KeyDown(key);
        if (key == 5) {
          const bool mayLeaveAtc = !host.inAtcSection && host.brakeApplied;
          if (host.useAts) {
            if (host.mode == ModeAts) {
              host.mode = ModeRestricted;
            } else if (host.mode == ModeAtc && mayLeaveAtc) {
              host.mode = ModeAts;
            }
          } else if (mayLeaveAtc) {
            host.mode = ModeRestricted;
          }
        } else if (key == 6) {
          host.mode = !host.useAts ? ModeAtc : host.mode == ModeRestricted ? ModeAts : ModeAtc;
        } else if (key == 12) {
          host.restrict = !host.restrict;
        } else if (key == 13) {
          host.cutOut = !host.cutOut;
        }
        break;
      }
      case 12: {  // signal aspects
        const int32_t aspect = in.ConsumeBool() ? in.ConsumeIntegralInRange<int32_t>(8, 38)
                                                : in.ConsumeIntegral<int32_t>();
        SetSignal(aspect);
        host.speedStep = StepOf(aspect);
        host.inAtcSection = IsAtcSpeedAspect(aspect);
        if (host.inAtcSection && host.mode != ModeAtc) {
          host.atcCodeSound = true;
        }
        if (aspect == 10) {
          host.aspect10Sound = true;
        }
        if ((host.lastSignal >= 10 || aspect >= 10) && aspect != host.lastSignal) {
          host.changeSound = true;
        }
        host.lastSignal = aspect;
        break;
      }
      case 13: {  // beacons, the reset beacon among them
        if (in.ConsumeIntegralInRange<int>(0, 7) == 0) {
          ExpectNoChange([] { SetBeaconData(nullptr); });
          break;
        }
        BeaconData beacon;
        std::memset(&beacon, in.ConsumeIntegral<uint8_t>(), sizeof beacon);
        const bool reset = in.ConsumeBool();
        beacon.Type = reset ? 600 : in.ConsumeIntegral<int32_t>();
        beacon.Parameter = reset ? 1 : in.ConsumeIntegral<int32_t>();
        SetBeaconData(&beacon);
        if (beacon.Type == 600 && beacon.Parameter == 1 && host.speed == 0.0f) {
          ApplyReset(host, true);
        }
        break;
      }
      case 14: {  // entry points that do nothing
        const int32_t argument = in.ConsumeIntegral<int32_t>();
        switch (in.ConsumeIntegralInRange<int>(0, 6)) {
          case 0:
            ExpectNoChange([] { Load(); });
            break;
          case 1:
            ExpectNoChange([] { Dispose(); });
            break;
          case 2:
            ExpectNoChange([argument] { KeyUp(argument); });
            break;
          case 3:
            ExpectNoChange([argument] { HornBlow(argument); });
            break;
          case 4:
            ExpectNoChange([] { DoorOpen(); });
            break;
          case 5:
            ExpectNoChange([] { DoorClose(); });
            break;
          default:
            ExpectNoChange([] { EXPECT(GetPluginVersion() == 0x20000); });
            break;
        }
        break;
      }
      default:  // a thread notification between host calls
        ExpectNoChange([] { AttachModule(&Module, false); });
        break;
    }
  }
  return 0;
}

// The host as the checker plays it: the alphabet of host calls, each run
// against the plug-in's own code, and the rules checked after every call.
//
// SPIN restores kv_state on every backtrack and compares states by it: every
// byte of the module's records that a later call reads before writing it,
// plus the few bits of history the rules need; the module is rebuilt from it
// before every call. What is left out of the comparison, and why no call can
// tell it apart, is in proof/README.md.
//
// KV_PROPERTY selects the rule checked (0: all of them); the history a rule
// needs is kept only while that rule is checked, so each search stores the
// states its own rule needs and no more.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "exports.h"
#include "harness.h"
#include "module_records.h"
#include "options_files.h"

// Set by SPIN's verifier while it replays a trail.
extern "C" int readtrail;

#ifndef KV_PROPERTY
#define KV_PROPERTY 0
#endif

namespace {

// Rule numbers, as in docs/safety.md.
enum Rule {
  BrakeNeverWeaker = 1,
  PowerCutWithOverride = 2,
  OverspeedBrakesNextFrame = 3,
  EmergencyHeld = 4,
  SoundsOnce = 5,
  PanelIndices = 6,
  StateRanges = 7,
  // 8 is the sanitizer build of the whole search, which checks no rule of its own.
  RollbackEmergency = 9,
  NoCodeEmergency = 10,
  IdleCallsChangeNothing = 11,
  MajorityNeverLost = 12,
  PermitCopiesAgree = 13,
};

constexpr bool Checked(int rule) { return KV_PROPERTY == 0 || KV_PROPERTY == rule; }

template <typename Values, typename T>
constexpr bool Known(const Values& values, T v) {
  return std::find(std::begin(values), std::end(values), v) != std::end(values);
}

// ---------------------------------------------------------------- the alphabet

enum Kind {
  KLoad,
  KDispose,
  KGetPluginVersion,
  KSetVehicleSpec,
  KSetVehicleSpecNull,
  KInitialize,
  KElapse,
  KSetBrake,
  KKeyDown,
  KKeyUp,
  KHornBlow,
  KDoorOpen,
  KDoorClose,
  KSetSignal,
  KSetBeaconData,
  KSetBeaconDataNull,
};

struct Action {
  Kind kind;
  int32_t a = 0, b = 0;
  float speed = 0.0F;
};

// Limits the cycle can set: the steps' limits, the 25 km/h cap.
constexpr double LimitsKmh[] = {0, 15, 25, 45, 55, 65, 75, 90, 100, 110, 120};
constexpr bool EveryLimitListed() {
  for (const AspectRow& row : AspectTable) {
    if (!Known(LimitsKmh, static_cast<double>(row.LimitKmh)))
      return false;
  }
  return Known(LimitsKmh, RestrictedLimitKmh) &&
         Known(LimitsKmh, static_cast<double>(Step110LimitWith120SignalKmh));
}
static_assert(EveryLimitListed(), "a limit of the aspect table is missing from LimitsKmh");
// Those the alphabet's aspects reach (checked after every normal frame), and
// so those the speeds cover: in the full alphabet every one.
#ifndef KV_REDUCED
constexpr const auto& CoveredLimitsKmh = LimitsKmh;
#else
constexpr double CoveredLimitsKmh[] = {0, 25, 100};
#endif

#ifndef KV_REDUCED
// Every comparison the code makes on a speed, in km/h: each channel's
// "no greater than" against the limit and against the limit less the margin,
// for every limit; the rollback's strict "below -5"; the beacon's "equal to 0".
std::vector<double> SpeedThresholds() {
  std::vector<double> at;
  for (const double limit : CoveredLimitsKmh) {
    at.push_back(limit - ChannelMarginKmh);
    at.push_back(limit);
  }
  std::sort(at.begin(), at.end());
  return at;
}
#endif

std::vector<float> Speeds() {
  std::vector<float> speeds;
  const float inf = std::numeric_limits<float>::infinity();
#ifndef KV_REDUCED
  // One speed in each interval the thresholds cut the line into, taken just
  // above the threshold that opens it, where a comparison made strict by
  // mistake would show; then the ends, 0 itself and NaN. No comparison tells
  // two speeds of one interval apart (proof/README.md).
  speeds.push_back(std::nextafter(RollbackSpeedKmh, -inf));  // below -5, as -inf
  speeds.push_back(RollbackSpeedKmh);                        // -5 to -0.625
  speeds.push_back(0.0F);                                    // as -0.0
  for (const double t : SpeedThresholds())
    speeds.push_back(std::nextafter(static_cast<float>(t), inf));  // above 120: as +inf
  speeds.push_back(std::numeric_limits<float>::quiet_NaN());       // fails every comparison
#else
  // The limits the reduced alphabet's aspects and the 25 km/h cap can set.
  for (const double limit : CoveredLimitsKmh) {
    // At and just above the limit, and at and just above the limit less the
    // margin: each channel compares "greater than" its threshold.
    const auto atLimit = static_cast<float>(limit);
    const auto atMargin = static_cast<float>(limit - ChannelMarginKmh);
    speeds.push_back(atMargin);
    speeds.push_back(std::nextafter(atMargin, inf));
    speeds.push_back(atLimit);
    speeds.push_back(std::nextafter(atLimit, inf));
  }
  speeds.push_back(-std::numeric_limits<float>::infinity());
  speeds.push_back(std::numeric_limits<float>::quiet_NaN());
#endif
  return speeds;
}

#ifndef KV_REDUCED
constexpr int32_t ServiceNotchCounts[] = {4, 8};  // emergency notches 5 and 9
// Each side of 0, of every ATC notch the options give (4, 9, 11, and the
// defaults 6 and 10) and of both emergency notches (5, 9).
constexpr int32_t BrakeNotches[] = {-1, 0, 1, 4, 5, 6, 7, 9, 10, 11, 12};
// Every aspect of the table, the last before it and the first past it, and both
// extremes; the state store compares them by class (AspectClass), so members
// of a class add transitions, not states.
std::vector<int32_t> FullAspects() {
  std::vector<int32_t> aspects{INT32_MIN};
  for (int32_t a = FirstAspect - 1; a <= LastAspect + 1; ++a)
    aspects.push_back(a);
  aspects.push_back(INT32_MAX);
  return aspects;
}
const std::vector<int32_t> Aspects = FullAspects();
constexpr int32_t Reversers[] = {1, 0, -1};
#else
constexpr int32_t ServiceNotchCounts[] = {8};
constexpr int32_t BrakeNotches[] = {0, 1, 9, 10};
// No code, a code from 45 to 100 km/h (100), the stop aspect.
constexpr int32_t Aspect100Kmh = 30;
static_assert(FindAspect(Aspect100Kmh)->LimitKmh == 100);
constexpr int32_t Aspects[] = {FirstAspect - 1, Aspect100Kmh, AspectStop};
// 0 and 1: what the reverser is before any vehicle data and after it.
constexpr int32_t Reversers[] = {1, 0};
#endif

constexpr bool InAlphabet(const OptionsFile& file) {
#ifdef KV_REDUCED
  return std::string_view(file.name) == "none" || std::string_view(file.name) == "ats";
#else
  (void)file;
  return true;
#endif
}

// The brake notches hold both sides of every equality the code tests on them:
// every emergency notch (0 before any vehicle data) with the one above it; and
// every ATC notch the alphabet's options give under each emergency notch.
constexpr bool BrakeNotchesCover(int32_t emergency) {
  if (!Known(BrakeNotches, emergency) || !Known(BrakeNotches, NotchAbove(emergency)))
    return false;
  for (const OptionsFile& file : OptionsFiles) {
    if (InAlphabet(file) && !Known(BrakeNotches, AtcBrakeNotchInUse(file.atcNotchRead, emergency)))
      return false;
  }
  return true;
}
constexpr bool BrakeNotchesCoverTheNotches() {
  bool covered = BrakeNotchesCover(0);
  for (const int32_t count : ServiceNotchCounts)
    covered = covered && BrakeNotchesCover(EmergencyNotchFor(count));
  return covered;
}
static_assert(BrakeNotchesCoverTheNotches());
#ifndef KV_REDUCED
constexpr int32_t PowerNotches[] = {0, 1};
#else
// 0 as vehicle data leaves it, 1 to show whether it is cut.
constexpr int32_t PowerNotches[] = {0, 1};
#endif
// The keys the plug-in answers, and one it ignores.
constexpr int32_t AnsweredKeys[] = {KeyModeDown, KeyModeUp, KeyRestrict, KeyCutOut};
constexpr int32_t IgnoredKey = 4;
static_assert(!Known(AnsweredKeys, IgnoredKey));
constexpr int32_t Keys[] = {KeyModeDown, KeyModeUp, KeyRestrict, KeyCutOut, IgnoredKey};
// The reset beacon, its parameter wrong, and another type with the parameter.
constexpr int32_t Beacons[][2] = {{ResetBeaconType, ResetBeaconParameter},
                                  {ResetBeaconType, 0},
                                  {ResetBeaconType + 1, ResetBeaconParameter}};
static_assert(ResetBeaconParameter != 0);

std::vector<Action> MakeAlphabet() {
  std::vector<Action> all;
  all.push_back({KLoad});
  all.push_back({KGetPluginVersion});
  for (const int32_t n : ServiceNotchCounts)
    all.push_back({KSetVehicleSpec, n});
  all.push_back({KSetVehicleSpecNull});
  for (size_t i = 0; i < std::size(OptionsFiles); ++i) {
    if (InAlphabet(OptionsFiles[i]))
      all.push_back({KInitialize, static_cast<int32_t>(i)});
  }
  // The power and the reverser are read by the frame alone, so each frame
  // comes with its own (proof/README.md): SetPower and SetReverser, then Elapse.
  for (const float s : Speeds())
    for (const int32_t p : PowerNotches)
      for (const int32_t r : Reversers)
        all.push_back({KElapse, p, r, s});
  for (const int32_t b : BrakeNotches)
    all.push_back({KSetBrake, b});
  for (const int32_t k : Keys)
    all.push_back({KKeyDown, k});
  all.push_back({KKeyUp, KeyCutOut});
#ifndef KV_REDUCED
  all.push_back({KDispose});
  all.push_back({KHornBlow, 0});
  all.push_back({KDoorOpen});
  all.push_back({KDoorClose});
#endif
  for (const int32_t a : Aspects)
    all.push_back({KSetSignal, a});
  for (const auto& beacon : Beacons) {
#ifdef KV_REDUCED
    if (beacon[0] != ResetBeaconType)
      continue;
#endif
    all.push_back({KSetBeaconData, beacon[0], beacon[1]});
  }
  all.push_back({KSetBeaconDataNull});
  return all;
}

const std::vector<Action> Alphabet = MakeAlphabet();

// ------------------------------------------------------------- what is tracked

// What the host has told the plug-in, and the history the rules read. Plain
// bytes, part of the compared state.
struct HostView {
  int32_t emergencyNotch;
  int32_t atcNotch;           // what the options and the notches at Initialize give
  uint8_t useAts;             // as the last Initialize configured it
  uint8_t standstill;         // the last frame's speed compares equal to 0
  uint8_t driverAtEmergency;  // the last SetBrake since the last reset gave the emergency notch
  // History, each kept only while its rule is checked.
  uint8_t resetSinceFrame;    // a power-on or beacon reset since the last frame
  uint8_t overspeedMeasured;  // the last frame was normal and its speed above its limit (or NaN)
  uint8_t rollbackMeasured;   // the last frame was normal, rolling back with the reverser forward
  uint8_t latchAfterFrame;    // the emergency latch as the last frame left it
  uint8_t firstFrame;         // no frame since construction or the last reset
  uint8_t soundDue[SoundSlotCount];  // requested by SetSignal since the last frame
};

// The controller's fields that a later call reads before it writes them, in
// declared order. The others are written by every cycle before anything reads
// them (SpeedStep, MajorityHealthy, PermitB, RollbackSeen, RestrictApplied,
// the lamps, StepLamps, SoundOut), or are constant (the two references,
// checked after every call): no call can tell states apart by them.
struct FieldSpan {
  size_t offset, size;
};
#define KV_FIELD(f) \
  FieldSpan { offsetof(AtcController, f), sizeof(AtcController::f) }
constexpr FieldSpan LiveFields[] = {
    KV_FIELD(ChannelOk),
    KV_FIELD(RollbackBits),
    KV_FIELD(ChannelHealthy),
    KV_FIELD(PoweredUp),
    KV_FIELD(PermitA),
    KV_FIELD(ChannelVote),
    KV_FIELD(SoundRequest),
    KV_FIELD(UseAts),
    KV_FIELD(Use120Signal),
    KV_FIELD(BrakeAtEmergency),
    KV_FIELD(BrakeApplied),
    KV_FIELD(InAtcSection),
    KV_FIELD(Mode),
    KV_FIELD(RestrictSwitch),
    KV_FIELD(CutOutSwitch),
    KV_FIELD(Active),
    KV_FIELD(ServiceBrakeCommand),
    KV_FIELD(EmergencyLatch),
};
// The limit and the step flags are kept apart too (Exact, below).
constexpr FieldSpan WrittenFirstFields[] = {
    KV_FIELD(SpeedStep),    KV_FIELD(MajorityHealthy), KV_FIELD(PermitB),
    KV_FIELD(RollbackSeen), KV_FIELD(RestrictApplied), KV_FIELD(AtcSignalLamp),
    KV_FIELD(BrakeLamp),    KV_FIELD(EmergencyLamp),   KV_FIELD(RestrictLamp),
    KV_FIELD(StepLamps),    KV_FIELD(SoundOut),
};
#undef KV_FIELD
template <size_t N>
constexpr size_t Bytes(const FieldSpan (&fields)[N]) {
  size_t n = 0;
  for (const FieldSpan& f : fields)
    n += f.size;
  return n;
}
// Every field is in one list or the other (LastSignal is kept apart, below): a
// new field changes the sum and stops the build until it is placed.
static_assert(Bytes(LiveFields) + Bytes(WrittenFirstFields) + sizeof(int32_t) + sizeof(double) +
                      StepFlagCount ==
                  155,
              "place the controller's new field in LiveFields or WrittenFirstFields");

// A code whose step has a lamp of its own and whose limit lies above the
// restricted cap and below the step the 120 km/h option changes: 45 to 100 km/h.
constexpr bool CodeFrom45To100(const AspectRow& row) {
  return row.AtcCode && row.LimitKmh > RestrictedLimitKmh && row.SpeedStep < SpeedStep110Or120;
}

// The aspects no decision tells apart but by equality with the next aspect: a
// renaming of them inside the alphabet maps every call sequence to one the
// search also makes, with the same outcome of every rule. The state store
// compares the class, named by its first aspect; the module keeps the exact
// aspect.
constexpr int32_t AspectClass(int32_t aspect) {
  if (!AspectSetsStep(aspect)) {
    // No step: below the table (0, as before any signal) or from its start up.
    if (aspect < FirstAspect)
      return 0;
    for (const AspectRow& first : AspectTable) {
      if (first.StepFlag == NoStepFlag)
        return first.Aspect;
    }
  }
  const AspectRow& row = *FindAspect(aspect);
  for (const AspectRow& first : AspectTable) {
    if (CodeFrom45To100(row) ? CodeFrom45To100(first) : first.StepFlag == row.StepFlag)
      return first.Aspect;
  }
  return aspect;
}

int32_t OptionAtcNotch(int index, int32_t emergencyNotch);

// The emergency notches the alphabet gives (0 before any vehicle data), and the
// ATC notches: 0 before the first Initialize, then each option's under each of
// those.
std::vector<int32_t> MakeEmergencyNotches() {
  std::vector<int32_t> notches{0};
  for (const int32_t n : ServiceNotchCounts)
    notches.push_back(NotchAbove(n));
  return notches;
}
const std::vector<int32_t>& EmergencyNotches() {
  static const std::vector<int32_t> notches = MakeEmergencyNotches();
  return notches;
}
std::vector<int32_t> MakeAtcNotches() {
  std::vector<int32_t> notches{0};
  for (const int32_t e : EmergencyNotches())
    for (size_t i = 0; i < std::size(OptionsFiles); ++i)
      notches.push_back(OptionAtcNotch(static_cast<int>(i), e));
  std::sort(notches.begin(), notches.end());
  notches.erase(std::unique(notches.begin(), notches.end()), notches.end());
  return notches;
}
const std::vector<int32_t>& AtcNotches() {
  static const std::vector<int32_t> notches = MakeAtcNotches();
  return notches;
}
bool StepFlagsFollowLastAspect(const AtcController& c) {
  const AspectRow* row = FindAspect(c.LastSignal);
  for (int i = 0; i < StepFlagCount; ++i) {
    const bool own = row != nullptr && row->StepFlag == i;
    if (c.StepFlags[i] != 0 && !own)
      return false;
  }
  return true;
}

// The driver's brakes no decision tells apart while they stand: the code and
// the rules compare the driver's notch with 0 (`> 0`, `== 0`, `>= 0`), with
// the emergency notch (`==`, `<=`), and with the ATC notch only through the max
// of the two and `>=` on it, which come out alike on either side of nothing but
// "below the ATC notch". No two driver's notches are ever compared with each
// other. So notches that agree on all of these against the emergency notch in
// force (which only SetVehicleSpec changes, and it sets the brake too) and
// against every ATC notch an Initialize can give are one class: renaming
// members maps every call sequence to one the search makes, every rule's
// outcome unchanged. The module keeps the exact notch.
int32_t BrakeClass(int32_t notch, int32_t emergencyNotch) {
  int32_t cls = notch < 0 ? 0 : notch == 0 ? 1 : 2;
  cls = cls * 3 + (notch < emergencyNotch ? 0 : notch == emergencyNotch ? 1 : 2);
  for (const int32_t atc : AtcNotches())
    cls = cls * 2 + (notch >= atc ? 1 : 0);
  return cls;
}

struct Matched {
  uint8_t controller[Bytes(LiveFields)];
  int32_t lastSignalClass;
  uint8_t stepFlagSet;       // the step flags, as the last aspect's row or clear (checked)
  int32_t driverBrakeClass;  // BrakeClass of the driver's brake
  int32_t emergencyNotch, atcBrakeNotch;
  uint8_t standstill;  // the stored speed, as the reset beacon's test reads it
  HostView host;
};

// Restored with the state but not compared: the exact last aspect, as the
// module and as the host keep it (always equal, checked after every call, so
// the class compared stands for both), and the exact speed of the last frame
// (nothing reads it again but the standstill test, which the compared state
// holds).
//
// The driver's brake, compared by BrakeClass; the power and the reverser,
// which every frame sets before it reads them; the limit of the last normal
// cycle, which no decision reads again (proof/README.md says why for each).
// The module's copy and the host's are checked equal after every call.
struct Exact {
  double speedLimit;
  int32_t lastSignal;
  int32_t hostLastAspect;  // the last SetSignal argument
  float speed;
  DriverHandles driver;      // the module's
  DriverHandles hostDriver;  // what the host last said
  std::array<uint8_t, StepFlagCount> stepFlags;
};

}  // namespace

static_assert(sizeof(Matched) == KV_STATE_BYTES);
static_assert(sizeof(Exact) == KV_EXACT_BYTES);

extern "C" {
unsigned char kv_state[KV_STATE_BYTES];
unsigned char kv_exact[KV_EXACT_BYTES];
}

namespace {

Matched& State() { return *reinterpret_cast<Matched*>(kv_state); }
Exact& Exacts() { return *reinterpret_cast<Exact*>(kv_exact); }
// The host view lives inside the compared bytes, so SPIN restores it.
HostView& Host() { return State().host; }

// The module's records from the tracked bytes, before every call: SPIN has
// just restored those bytes to the state the call starts from.
void Restore() {
  const Matched& m = State();
  auto* bytes = reinterpret_cast<unsigned char*>(&Module.Controller);
  size_t at = 0;
  for (const FieldSpan& f : LiveFields) {
    std::memcpy(bytes + f.offset, m.controller + at, f.size);
    at += f.size;
  }
  Module.Controller.LastSignal = Exacts().lastSignal;
  Module.Controller.SpeedLimit = Exacts().speedLimit;
  Module.Controller.StepFlags = Exacts().stepFlags;
  Module.DriverHandles = Exacts().driver;
  Module.EmergencyNotch = m.emergencyNotch;
  Module.AtcBrakeNotch = m.atcBrakeNotch;
  Module.CurrentState = VehicleState{};
  Module.CurrentState.Speed = Exacts().speed;
}

// The tracked bytes from the module's records, after every call.
void Project() {
  Matched& m = State();
  const auto* bytes = reinterpret_cast<const unsigned char*>(&Module.Controller);
  size_t at = 0;
  for (const FieldSpan& f : LiveFields) {
    std::memcpy(m.controller + at, bytes + f.offset, f.size);
    at += f.size;
  }
  m.lastSignalClass = AspectClass(Module.Controller.LastSignal);
  m.driverBrakeClass = BrakeClass(Module.DriverHandles.Brake, Module.EmergencyNotch);
  m.emergencyNotch = Module.EmergencyNotch;
  m.atcBrakeNotch = Module.AtcBrakeNotch;
  m.standstill = Module.CurrentState.Speed == 0.0F;
  Exacts().lastSignal = Module.Controller.LastSignal;
  Exacts().speed = Module.CurrentState.Speed;
  Exacts().speedLimit = Module.Controller.SpeedLimit;
  Exacts().stepFlags = Module.Controller.StepFlags;
  m.stepFlagSet = 0;
  for (const uint8_t f : Module.Controller.StepFlags)
    m.stepFlagSet |= f;
  Exacts().driver = Module.DriverHandles;
}

// -------------------------------------------------------------- options files

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

int32_t OptionAtcNotch(int index, int32_t emergencyNotch) {
  return AtcBrakeNotchInUse(OptionsFiles[index].atcNotchRead, emergencyNotch);
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

// ------------------------------------------------------------------ printing

void PrintCall(const Action& act) {
  switch (act.kind) {
    case KLoad:
      std::printf("CALL Load\n");
      break;
    case KDispose:
      std::printf("CALL Dispose\n");
      break;
    case KGetPluginVersion:
      std::printf("CALL GetPluginVersion\n");
      break;
    case KSetVehicleSpec:
      std::printf("CALL SetVehicleSpec %d\n", act.a);
      break;
    case KSetVehicleSpecNull:
      std::printf("CALL SetVehicleSpec null\n");
      break;
    case KInitialize:
      std::printf("CALL Initialize %s\n", OptionsFiles[act.a].name);
      break;
    case KElapse:
      // The frame's power and reverser, as calls of their own where they change.
      if (act.a != Exacts().hostDriver.Power)
        std::printf("CALL SetPower %d\n", act.a);
      if (act.b != Exacts().hostDriver.Reverser)
        std::printf("CALL SetReverser %d\n", act.b);
      std::printf("CALL Elapse %.9g\n", static_cast<double>(act.speed));
      break;
    case KSetBrake:
      std::printf("CALL SetBrake %d\n", act.a);
      break;
    case KKeyDown:
      std::printf("CALL KeyDown %d\n", act.a);
      break;
    case KKeyUp:
      std::printf("CALL KeyUp %d\n", act.a);
      break;
    case KHornBlow:
      std::printf("CALL HornBlow %d\n", act.a);
      break;
    case KDoorOpen:
      std::printf("CALL DoorOpen\n");
      break;
    case KDoorClose:
      std::printf("CALL DoorClose\n");
      break;
    case KSetSignal:
      std::printf("CALL SetSignal %d\n", act.a);
      break;
    case KSetBeaconData:
      std::printf("CALL SetBeaconData %d %d\n", act.a, act.b);
      break;
    case KSetBeaconDataNull:
      std::printf("CALL SetBeaconData null\n");
      break;
  }
  std::fflush(stdout);
}

// The search stops at the first rule broken, so this prints once per run.
int Broken(int rule, const char* what, int line) {
  std::printf("BROKEN rule %d (host_model.cpp:%d): %s\n", rule, line, what);
  std::fflush(stdout);
  return rule;
}
#define RULE(rule, cond)                    \
  do {                                      \
    if (Checked(rule) && !(cond))           \
      return Broken(rule, #cond, __LINE__); \
  } while (0)

// ---------------------------------------------------------------- the rules

// Longer than the host lends, so that a write past the published indices
// lands where rule 6 sees it.
constexpr int PanelLength = 300, SoundLength = 160;
static_assert(PanelLength > PANEL_ARRAY_MIN_LENGTH && SoundLength > SOUND_ARRAY_MIN_LENGTH);
// Every panel and sound entry holds this before the frame; rule 6 requires it
// after the frame wherever the plug-in may not write.
constexpr int32_t Untouched = 0x7A5E11ED;

// Where rule 6 lets the frame step write, written out here on purpose as an
// independent check of published_numbers.h, which the plug-in writes by: the
// trains' panel and sound files are wired to these numbers, so a change there
// must be made here too, by hand, or the build stops.
constexpr int ExpectedPanelLamps[] = {33, 34, 35, 52, 53, 56, 57, 58, 59, 70,
                                      71, 74, 76, 80, 82, 84, 86, 89, 91, 93};
constexpr int ExpectedPanelLimit = 72, ExpectedPanelAtsRunning = 247, ExpectedPanelAtsReady = 249;
constexpr int ExpectedSoundIndices[SoundSlotCount] = {5, 110, 111};

constexpr int PublishedModeAndBrakeLamps[] = {PanelModeAts, PanelModeAtc,   PanelModeRestricted,
                                              PanelActive,  PanelAtcSignal, PanelRestrict,
                                              PanelBrake,   PanelEmergency, PanelCutOut};
constexpr bool ExpectedPanelIsPublished() {
  const int* stepLamps = std::begin(ExpectedPanelLamps) + std::size(PublishedModeAndBrakeLamps);
  return std::size(ExpectedPanelLamps) ==
             std::size(PublishedModeAndBrakeLamps) + std::size(PanelStepLamp) &&
         std::equal(std::begin(PublishedModeAndBrakeLamps), std::end(PublishedModeAndBrakeLamps),
                    std::begin(ExpectedPanelLamps)) &&
         std::equal(std::begin(PanelStepLamp), std::end(PanelStepLamp), stepLamps) &&
         ExpectedPanelLimit == PanelSpeedLimit && ExpectedPanelAtsRunning == PanelAtsRunning &&
         ExpectedPanelAtsReady == PanelAtsReady &&
         std::equal(std::begin(SoundIndex), std::end(SoundIndex), std::begin(ExpectedSoundIndices),
                    std::end(ExpectedSoundIndices));
}
static_assert(ExpectedPanelIsPublished(), "published_numbers.h moved a panel or sound index");

// What the frame step may write at each panel index.
enum PanelKind : uint8_t { PanelNever, PanelLamp, PanelNumber, PanelAtsLamp, PanelOnlyLit };
std::array<PanelKind, PanelLength> MakePanelKinds() {
  std::array<PanelKind, PanelLength> kinds{};
  for (const int p : ExpectedPanelLamps)
    kinds[p] = PanelLamp;
  kinds[ExpectedPanelLimit] = PanelNumber;
  kinds[ExpectedPanelAtsRunning] = PanelAtsLamp;
  kinds[ExpectedPanelAtsReady] = PanelOnlyLit;
  return kinds;
}
const std::array<PanelKind, PanelLength> PanelKinds = MakePanelKinds();

bool IsFlag(uint8_t v) { return v <= 1; }
bool IsLamp(int64_t v) { return v == 0 || v == 1; }
bool IsSound(int32_t v) { return v == SOUND_STOP || v == SOUND_PLAY || v == SOUND_CONTINUE; }
bool AtcSpeedAspect(int32_t a) {
  const AspectRow* row = FindAspect(a);
  return row != nullptr && row->AtcCode;
}

// Ranges of every field, after every call. The fields every normal cycle
// writes before it reads them may hold another path's values between frames
// (the checker restores only what a call can read), so relations that
// involve them are checked right after a normal frame.
int CheckRanges(bool afterFrame) {
  const AtcController& c = Module.Controller;
  RULE(StateRanges, c.Mode >= ModeRestricted && c.Mode <= ModeAtc);
  int flags = 0;
  for (const uint8_t f : c.StepFlags) {
    RULE(StateRanges, IsFlag(f));
    flags += f;
  }
  RULE(StateRanges, flags <= 1);
  RULE(StateRanges, c.SpeedStep >= 0 && c.SpeedStep < SpeedStepCount);
  int lamps = 0;
  for (const uint32_t l : c.StepLamps) {
    RULE(StateRanges, l <= 1);
    lamps += static_cast<int>(l);
  }
  RULE(StateRanges, lamps <= 1);
  for (int ch = 0; ch < ChannelCount; ++ch) {
    RULE(StateRanges,
         IsFlag(c.ChannelOk[ch]) && IsFlag(c.ChannelHealthy[ch]) && IsFlag(c.ChannelVote[ch]));
  }
  for (int i = 0; i < RollbackEntryCount; ++i) {
    RULE(StateRanges, IsFlag(c.RollbackBits[i]) && IsFlag(c.RollbackSeen[i]));
  }
  RULE(StateRanges, IsFlag(c.MajorityHealthy) && IsFlag(c.PoweredUp) && IsFlag(c.PermitA) &&
                        IsFlag(c.PermitB) && IsFlag(c.RestrictApplied) && IsFlag(c.UseAts) &&
                        IsFlag(c.Use120Signal) && IsFlag(c.BrakeAtEmergency) &&
                        IsFlag(c.BrakeApplied) && IsFlag(c.InAtcSection) &&
                        IsFlag(c.RestrictSwitch) && IsFlag(c.CutOutSwitch) &&
                        IsFlag(c.ServiceBrakeCommand) && IsFlag(c.EmergencyLatch));
  RULE(StateRanges, IsLamp(c.Active) && IsLamp(c.AtcSignalLamp) && IsLamp(c.BrakeLamp) &&
                        IsLamp(c.EmergencyLamp) && IsLamp(c.RestrictLamp));
  RULE(StateRanges, c.PoweredUp || c.Active == 0);
  for (int s = 0; s < SoundSlotCount; ++s) {
    RULE(StateRanges, IsSound(c.SoundRequest[s]) && IsSound(c.SoundOut[s]));
  }
  bool knownLimit = false;
  for (const double l : LimitsKmh)
    knownLimit = knownLimit || c.SpeedLimit == l;
  RULE(StateRanges, knownLimit);
  RULE(StateRanges, c.StateRef == &Module.CurrentState && c.HandlesRef == &Module.DriverHandles);
  if (afterFrame)
    RULE(PermitCopiesAgree, c.PermitA == c.PermitB);
  return 0;
}

int CheckFrame(const AtcController& before, const Handles& out, const int32_t* panel,
               const int32_t* sound, float speed) {
  HostView& h = Host();
  const AtcController& c = Module.Controller;
  const bool cutOut = panel[PanelCutOut] == 1;
  const bool atsOutsideSection = panel[PanelModeAts] == 1 && panel[PanelAtcSignal] == 0;
  const bool emergencyOut = out.Brake == h.emergencyNotch && out.Power == 0;

  RULE(PanelIndices, std::memcmp(&out, &Module.OutputHandles, sizeof out) == 0);

  // 1: the ATC adds braking, never takes it away.
  if (out.Brake != Exacts().hostDriver.Brake && Exacts().hostDriver.Brake >= 0 &&
      Exacts().hostDriver.Brake <= h.emergencyNotch) {
    RULE(BrakeNeverWeaker, out.Brake >= Exacts().hostDriver.Brake);
  }
  // 2: every override of the driver's handles goes with the power off.
  if (out.Brake != Exacts().hostDriver.Brake || out.Reverser != Exacts().hostDriver.Reverser) {
    RULE(PowerCutWithOverride, out.Power == 0);
  }
  RULE(PowerCutWithOverride, out.Power == Exacts().hostDriver.Power || out.Power == 0);
  RULE(PowerCutWithOverride, out.Reverser == Exacts().hostDriver.Reverser ||
                                 (out.Reverser == 0 && Exacts().hostDriver.Brake == 0));
  RULE(PowerCutWithOverride,
       out.AuxiliaryCommand == 2 || (out.AuxiliaryCommand == 0 && emergencyOut));

  // 3: an overspeed measured in one frame brakes the next.
  RULE(OverspeedBrakesNextFrame, Module.AtcBrakeNotch == h.atcNotch);
  if (Checked(OverspeedBrakesNextFrame) && h.overspeedMeasured && !cutOut && !atsOutsideSection) {
    RULE(OverspeedBrakesNextFrame,
         out.Power == 0 && (out.Brake == h.emergencyNotch || out.Brake >= h.atcNotch));
  }
  // 4: the emergency brake holds until the driver, the cut-out switch or a reset releases it.
  if (Checked(EmergencyHeld) && h.latchAfterFrame && !h.resetSinceFrame && !h.driverAtEmergency &&
      !cutOut) {
    RULE(EmergencyHeld, emergencyOut && c.EmergencyLatch);
  }
  // 9: rolling back with the reverser forward gives the emergency notch next frame.
  if (Checked(RollbackEmergency) && h.rollbackMeasured && !h.resetSinceFrame &&
      !h.driverAtEmergency && !cutOut) {
    RULE(RollbackEmergency, emergencyOut);
  }
  // 10: ATC without a code, or at the stop aspect, without the restriction switch.
  if (!cutOut && panel[PanelModeAtc] == 1 && panel[PanelRestrict] == 0 &&
      (panel[PanelStepLamp[SpeedStepNoCode]] == 1 || c.SpeedStep == SpeedStepStop) &&
      !h.driverAtEmergency) {
    RULE(NoCodeEmergency, emergencyOut && panel[PanelEmergency] == 1);
  }

  // 6: the panel and sound indices written, and their values.
  for (int i = 0; i < PanelLength; ++i) {
    switch (PanelKinds[i]) {
      case PanelLamp:
        RULE(PanelIndices, IsLamp(panel[i]));
        break;
      case PanelNumber:
        RULE(PanelIndices, panel[i] >= 0 && panel[i] <= Step110LimitWith120SignalKmh);
        break;
      case PanelAtsLamp:
        RULE(PanelIndices, h.useAts ? IsLamp(panel[i]) : panel[i] == Untouched);
        break;
      case PanelOnlyLit:
        RULE(PanelIndices, panel[i] == Untouched || (h.useAts && panel[i] == 1));
        break;
      default:
        RULE(PanelIndices, panel[i] == Untouched);
        break;
    }
  }
  for (int i = 0; i < SoundLength; ++i) {
    if (!Known(ExpectedSoundIndices, i)) {
      RULE(PanelIndices, sound[i] == Untouched);
    }
  }

  // 5: each request in exactly one frame; "stop" only in the first frame after a reset.
  for (int s = 0; s < SoundSlotCount; ++s) {
    const int32_t v = sound[SoundIndex[s]];
    RULE(SoundsOnce, IsSound(v));
    RULE(SoundsOnce, v != SOUND_STOP || h.firstFrame);
    RULE(SoundsOnce, v != SOUND_CONTINUE || !h.firstFrame);
    RULE(SoundsOnce, !h.soundDue[s] || v == SOUND_PLAY);
    if (s != ChangeSoundSlot) {
      RULE(SoundsOnce, v != SOUND_PLAY || h.soundDue[s]);
    }
    RULE(SoundsOnce, before.SoundRequest[s] != SOUND_PLAY || v == SOUND_PLAY);
    RULE(SoundsOnce, c.SoundRequest[s] == SOUND_CONTINUE);
  }

  // Facts the code states: the health test never acts, so the lost-majority
  // trigger never fires.
  if (!before.CutOutSwitch) {
    RULE(MajorityNeverLost, c.MajorityHealthy == 1 && c.ChannelHealthy[ChannelA] &&
                                c.ChannelHealthy[ChannelB] && c.ChannelHealthy[ChannelC]);
  }
  RULE(MajorityNeverLost, c.ChannelOk[ChannelA] == c.ChannelOk[ChannelB] &&
                              c.ChannelOk[ChannelB] == c.ChannelOk[ChannelC]);

  // History for the next frame.
  const bool normal = !cutOut;
  const double limit = panel[PanelSpeedLimit];
  if (Checked(OverspeedBrakesNextFrame)) {
    h.overspeedMeasured = normal && !(static_cast<double>(speed) <= limit);
  }
  if (Checked(RollbackEmergency)) {
    h.rollbackMeasured = normal && Exacts().hostDriver.Reverser == 1 && speed < RollbackSpeedKmh;
  }
  if (Checked(EmergencyHeld))
    h.latchAfterFrame = c.EmergencyLatch;
  if (Checked(SoundsOnce)) {
    h.firstFrame = 0;
    for (uint8_t& due : h.soundDue)
      due = 0;
  }
  h.resetSinceFrame = 0;
  h.standstill = speed == 0.0F;
  return 0;
}

void NoteReset() {
  HostView& h = Host();
  h.driverAtEmergency = 0;
  if (Checked(EmergencyHeld) || Checked(RollbackEmergency))
    h.resetSinceFrame = 1;
  if (Checked(SoundsOnce)) {
    h.firstFrame = 1;
    for (uint8_t& due : h.soundDue)
      due = 0;
  }
}

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
      h.emergencyNotch = NotchAbove(act.a);
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
      h.atcNotch = OptionAtcNotch(act.a, h.emergencyNotch);
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
      if (readtrail) {
        std::printf("FRAME brake %d power %d reverser %d aux %d | limit %d\n", out.Brake, out.Power,
                    out.Reverser, out.AuxiliaryCommand, panel[PanelSpeedLimit]);
      }
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
      if (Checked(SoundsOnce)) {
        h.soundDue[Aspect10SoundSlot] |= act.a == Aspect120;
        h.soundDue[AtcCodeSoundSlot] |= AtcSpeedAspect(act.a) && Module.Controller.Mode != ModeAtc;
        h.soundDue[ChangeSoundSlot] |=
            (Exacts().hostLastAspect >= FirstAspect || act.a >= FirstAspect) &&
            act.a != Exacts().hostLastAspect;
      }
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
  // The state store compares the last aspect by class only, for the module's
  // copy and the host's alike: in every search, whatever its rule, the two
  // must be the same aspect, or comparing the class would merge states a
  // later SetSignal tells apart.
  if (Exacts().hostLastAspect != Module.Controller.LastSignal) {
    return Broken(StateRanges, "the host's last aspect is the module's", __LINE__);
  }
  // The step flags are compared only as set or clear: with the last aspect
  // compared by class, that stands for them only while they are clear or the
  // last aspect's own row.
  if (!StepFlagsFollowLastAspect(Module.Controller)) {
    return Broken(StateRanges, "the step flags are clear or the last aspect's", __LINE__);
  }
  // The speeds cover the limits the alphabet's aspects reach, no others.
  if (normalFrame && !Known(CoveredLimitsKmh, Module.Controller.SpeedLimit)) {
    return Broken(StateRanges, "the frame's limit is one the speeds cover", __LINE__);
  }
  // The same for the driver's handles, compared by the brake's class alone.
  if (std::memcmp(&Module.DriverHandles, &Exacts().hostDriver, sizeof(DriverHandles)) != 0) {
    return Broken(StateRanges, "the driver's handles are what the host last said", __LINE__);
  }
  // The brake's class stands for every member only with the notches the
  // alphabet gives (BrakeClass).
  if (!Known(EmergencyNotches(), Module.EmergencyNotch) ||
      !Known(AtcNotches(), Module.AtcBrakeNotch)) {
    return Broken(StateRanges, "the emergency and ATC notches are the alphabet's", __LINE__);
  }
  return 0;
}

const Start start;

}  // namespace

extern "C" int kv_call(int action) {
  const Action& act = Alphabet.at(static_cast<size_t>(action));
  if (readtrail)
    PrintCall(act);
  Restore();
  const int broken = Run(act);
  Project();
  return broken;
}

extern "C" int kv_action_count(void) { return static_cast<int>(Alphabet.size()); }

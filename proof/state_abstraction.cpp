// The classes by which the state store compares the last aspect and the
// driver's brake, the module rebuilt from the tracked bytes and projected
// back into them, and the checks that keep the classes sound.
#include "state_abstraction.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <vector>

#include "alphabet.h"
#include "module_records.h"
#include "options_files.h"
#include "published_numbers.h"
#include "rules.h"

extern "C" {
unsigned char kv_state[KV_STATE_BYTES];
unsigned char kv_exact[KV_EXACT_BYTES];
}

namespace proof {

namespace {

// A code whose step has a lamp of its own and whose limit lies above the
// restricted cap and below the step the 120 km/h option changes: 45 to 100 km/h.
constexpr bool CodeFrom45To100(const AspectRow& row) {
  return row.AtcCode && row.LimitKmh > RestrictedLimitKmh && row.SpeedStep < SpeedStep110Or120;
}

// The class of an aspect, named by its first aspect (README.md: LastSignal).
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

// The emergency notches the alphabet gives (0 before any vehicle data), and the
// ATC notches: 0 before the first Initialize, then each option's under each of
// those.
std::vector<int32_t> MakeEmergencyNotches() {
  std::vector<int32_t> notches{0};
  for (const int32_t n : ServiceNotchCounts)
    notches.push_back(EmergencyNotchFor(n));
  return notches;
}
const std::vector<int32_t>& EmergencyNotches() {
  static const std::vector<int32_t> notches = MakeEmergencyNotches();
  return notches;
}
std::vector<int32_t> MakeAtcNotches() {
  std::vector<int32_t> notches{0};
  for (const int32_t e : EmergencyNotches())
    for (const OptionsFile& file : OptionsFiles)
      notches.push_back(AtcBrakeNotchInUse(file.atcNotchRead, e));
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

// The class of a driver's brake (README.md: DriverHandles.Brake): its outcome
// against 0, against the emergency notch in force, and `>=` every ATC notch an
// Initialize can give.
int32_t BrakeClass(int32_t notch, int32_t emergencyNotch) {
  int32_t cls = notch < 0 ? 0 : notch == 0 ? 1 : 2;
  cls = cls * 3 + (notch < emergencyNotch ? 0 : notch == emergencyNotch ? 1 : 2);
  for (const int32_t atc : AtcNotches())
    cls = cls * 2 + (notch >= atc ? 1 : 0);
  return cls;
}

}  // namespace

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

int CheckAbstraction(bool normalFrame) {
  if (Exacts().hostLastAspect != Module.Controller.LastSignal) {
    return Broken(StateRanges, "the host's last aspect is the module's", __FILE_NAME__, __LINE__);
  }
  if (!StepFlagsFollowLastAspect(Module.Controller)) {
    return Broken(StateRanges, "the step flags are clear or the last aspect's", __FILE_NAME__,
                  __LINE__);
  }
  if (normalFrame && !Known(CoveredLimitsKmh, Module.Controller.SpeedLimit)) {
    return Broken(StateRanges, "the frame's limit is one the speeds cover", __FILE_NAME__,
                  __LINE__);
  }
  if (std::memcmp(&Module.DriverHandles, &Exacts().hostDriver, sizeof(DriverHandles)) != 0) {
    return Broken(StateRanges, "the driver's handles are what the host last said", __FILE_NAME__,
                  __LINE__);
  }
  if (!Known(EmergencyNotches(), Module.EmergencyNotch) ||
      !Known(AtcNotches(), Module.AtcBrakeNotch)) {
    return Broken(StateRanges, "the emergency and ATC notches are the alphabet's", __FILE_NAME__,
                  __LINE__);
  }
  return 0;
}

}  // namespace proof

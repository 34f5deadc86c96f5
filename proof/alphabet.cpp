// The alphabet's arguments, and the checks that tie them to the numbers the
// plug-in publishes.
#include "alphabet.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>
#include <vector>

#include "atc_controller.h"
#include "options_files.h"
#include "published_numbers.h"

namespace proof {

namespace {

// LimitsKmh holds every limit of the aspect table, the cap and the 120 km/h
// option's.
constexpr bool EveryLimitListed() {
  for (const AspectRow& row : AspectTable) {
    if (!Known(LimitsKmh, static_cast<double>(row.LimitKmh)))
      return false;
  }
  return Known(LimitsKmh, RestrictedLimitKmh) &&
         Known(LimitsKmh, static_cast<double>(Step110LimitWith120SignalKmh));
}
static_assert(EveryLimitListed(), "a limit of the aspect table is missing from LimitsKmh");

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
// Each side of 0, of every ATC notch the options give and of both emergency
// notches (BrakeNotchesCoverTheNotches, below).
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
constexpr int32_t BrakeNotches[] = {0, 1, 9, 10};
// No code, a code from 45 to 100 km/h (100), the stop aspect.
constexpr int32_t Aspect100Kmh = 30;
static_assert(FindAspect(Aspect100Kmh)->LimitKmh == 100);
constexpr int32_t Aspects[] = {FirstAspect - 1, Aspect100Kmh, AspectStop};
// The limits they reach: the stop aspect's, the cap without a code, the code's.
static_assert(CoveredLimitsKmh[0] == FindAspect(AspectStop)->LimitKmh &&
              CoveredLimitsKmh[1] == RestrictedLimitKmh &&
              CoveredLimitsKmh[2] == FindAspect(Aspect100Kmh)->LimitKmh);
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
// 0 as vehicle data leaves it, 1 to show whether it is cut.
constexpr int32_t PowerNotches[] = {0, 1};
constexpr int32_t IgnoredKey = 4;  // answered by nothing
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

}  // namespace

const std::vector<Action>& Alphabet() {
  static const std::vector<Action> all = MakeAlphabet();
  return all;
}

}  // namespace proof

// The alphabet: the host calls the checker may make at any step, each with the
// arguments that cover every decision the code takes on it (README.md, "The
// alphabet"). Built with -DKV_REDUCED, the reduced alphabet of the CI run.
#pragma once

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <vector>

#include "published_numbers.h"

namespace proof {

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

// One host call. KElapse: power a, reverser b, then a frame at the speed.
// KInitialize: a indexes OptionsFiles. KSetBeaconData: type a, parameter b.
struct Action {
  Kind kind;
  int32_t a = 0, b = 0;
  float speed = 0.0F;
};

template <typename Values, typename T>
constexpr bool Known(const Values& values, T v) {
  return std::find(std::begin(values), std::end(values), v) != std::end(values);
}

// Limits the cycle can set: the steps' limits, the 25 km/h cap.
inline constexpr double LimitsKmh[] = {0, 15, 25, 45, 55, 65, 75, 90, 100, 110, 120};
// Those the alphabet's aspects reach (checked after every normal frame), and
// so those the speeds cover: in the full alphabet every one.
#ifndef KV_REDUCED
inline constexpr const auto& CoveredLimitsKmh = LimitsKmh;
#else
inline constexpr double CoveredLimitsKmh[] = {0, 25, 100};
#endif

#ifndef KV_REDUCED
inline constexpr int32_t ServiceNotchCounts[] = {4, 8};  // emergency notches 5 and 9
#else
inline constexpr int32_t ServiceNotchCounts[] = {8};
#endif

// The keys the plug-in answers; every other KeyDown must change nothing.
inline constexpr int32_t AnsweredKeys[] = {KeyModeDown, KeyModeUp, KeyRestrict, KeyCutOut};

// Call number k of SPIN's alternatives is Alphabet()[k].
const std::vector<Action>& Alphabet();

}  // namespace proof

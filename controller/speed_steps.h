// The speed step that the step flags select, and that step's limit. Inline,
// so that the cycle decodes without a call and keeps the fields it has read.
#pragma once

#include <array>
#include <cstdint>
#include <iterator>

#include "atc_controller.h"

// The step of each flag. The flags of the 55, 65 and 75 km/h aspects lie at
// 3, 5 and 4, out of order with their steps.
inline constexpr int32_t StepOfFlag[] = {10, 9, 8, 5, 7, 6, 4, 3, 2, 1, 11, 12};
static_assert(std::size(StepOfFlag) == StepFlagCount);

// Limit of each speed step, km/h. Step 10 is 110 unless the 120 km/h signal
// option is configured.
inline constexpr double StepLimitKmh[] = {25, 0, 15, 25, 45, 55, 65, 75, 90, 100, 110, 0, 120};
static_assert(std::size(StepLimitKmh) == SpeedStepCount);

// At most one flag is set: the signal handler clears them all before it sets
// the aspect's own. The step is that flag's, or no code without one.
inline int32_t DecodeSpeedStep(const std::array<uint8_t, StepFlagCount>& stepFlags) {
  for (int flag = 0; flag < StepFlagCount; ++flag) {
    if (stepFlags[flag]) {
      return StepOfFlag[flag];
    }
  }
  return SpeedStepNoCode;
}

inline double SpeedStepLimitKmh(int32_t speedStep, bool use120Signal) {
  if (speedStep == SpeedStep110Or120 && use120Signal) {
    return Step110LimitWith120SignalKmh;
  }
  return StepLimitKmh[speedStep];
}

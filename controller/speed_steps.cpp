#include <iterator>

#include "atc_controller.h"

namespace {

struct StepDecoding {
  int flagIndex;
  int32_t speedStep;
};

// Searched top to bottom; the first set flag decides. The flags of the 55, 65
// and 75 km/h aspects lie at 3, 5 and 4, out of order with their steps.
constexpr StepDecoding StepDecodingOrder[] = {
    {11, 12}, {10, 11}, {9, 1}, {8, 2}, {7, 3}, {6, 4},
    {3, 5},   {5, 6},   {4, 7}, {2, 8}, {1, 9}, {0, 10},
};
static_assert(std::size(StepDecodingOrder) == StepFlagCount);

// Limit of each speed step, km/h. Step 10 is 110 unless the 120 km/h signal
// option is configured.
constexpr double StepLimitKmh[] = {25, 0, 15, 25, 45, 55, 65, 75, 90, 100, 110, 0, 120};
static_assert(std::size(StepLimitKmh) == SpeedStepCount);

// Each aspect's flag decodes to the step, and that step has the limit, that
// the host's side of the table publishes.
constexpr bool AgreesWithAspectTable() {
  for (const AspectRow& aspect : AspectTable) {
    if (aspect.StepFlag == NoStepFlag) {
      continue;
    }
    bool decoded = false;
    for (const StepDecoding& row : StepDecodingOrder) {
      decoded = decoded || (row.flagIndex == aspect.StepFlag && row.speedStep == aspect.SpeedStep);
    }
    if (!decoded || StepLimitKmh[aspect.SpeedStep] != aspect.LimitKmh) {
      return false;
    }
  }
  return StepLimitKmh[SpeedStepNoCode] == RestrictedLimitKmh;
}
static_assert(AgreesWithAspectTable());

}  // namespace

int32_t DecodeSpeedStep(const std::array<uint8_t, StepFlagCount>& stepFlags) {
  for (const StepDecoding& row : StepDecodingOrder) {
    if (stepFlags[row.flagIndex]) {
      return row.speedStep;
    }
  }
  return SpeedStepNoCode;
}

double SpeedStepLimitKmh(int32_t speedStep, bool use120Signal) {
  if (speedStep == SpeedStep110Or120 && use120Signal) {
    return Step110LimitWith120SignalKmh;
  }
  return StepLimitKmh[speedStep];
}

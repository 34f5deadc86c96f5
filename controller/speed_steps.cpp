#include "speed_steps.h"

namespace {

// Each aspect's flag decodes to the step, and that step has the limit, that
// the host's side of the table publishes.
constexpr bool AgreesWithAspectTable() {
  for (const AspectRow& aspect : AspectTable) {
    if (aspect.StepFlag == NoStepFlag) {
      continue;
    }
    if (StepOfFlag[aspect.StepFlag] != aspect.SpeedStep ||
        StepLimitKmh[aspect.SpeedStep] != aspect.LimitKmh) {
      return false;
    }
  }
  return StepLimitKmh[SpeedStepNoCode] == RestrictedLimitKmh;
}
static_assert(AgreesWithAspectTable());

}  // namespace

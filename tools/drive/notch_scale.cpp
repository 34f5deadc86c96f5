#include "notch_scale.h"

#include <fmt/format.h>

#include "run_analysis.h"

namespace drive {

NotchScale ScaleOf(const TrainSpec& train) {
  return NotchScale{NotchAbove(EmergencyNotchOf(train)), train.PowerNotches};
}

bool BrakeOnScale(const NotchScale& scale, int32_t brake) {
  return brake >= 0 && brake <= scale.DeepestBrake;
}

bool PowerOnScale(const NotchScale& scale, int32_t power) {
  return power >= 0 && power <= scale.HighestPower;
}

void NoteOffScale(const NotchScale& scale, const FrameRecord& row, OffScaleNotches& seen) {
  const Handles& back = row.Returned;
  if (BrakeOnScale(scale, back.Brake) && PowerOnScale(scale, back.Power)) {
    return;
  }
  if (seen.Frames++ == 0) {
    seen.FirstTimeS = row.TimeS;
    seen.First = back;
  }
}

std::string OffScaleWarning(const NotchScale& scale, const OffScaleNotches& seen,
                            int32_t emergencyNotch) {
  if (seen.Frames == 0) {
    return "";
  }
  std::string what;
  if (!BrakeOnScale(scale, seen.First.Brake)) {
    what = fmt::format("brake notch {}{}", seen.First.Brake,
                       seen.First.Brake > 0
                           ? fmt::format(" ({})", NotchName(seen.First.Brake, emergencyNotch))
                           : "");
  }
  if (!PowerOnScale(scale, seen.First.Power)) {
    what += fmt::format("{}power notch {}", what.empty() ? "" : " and ", seen.First.Power);
  }
  return fmt::format(
      "the plug-in handed back {} at {:.2f} s, beyond the train's notches (brake 0 to {}, power "
      "0 to P{}); {} frames in all had a notch beyond them, which the page draws at the edge of "
      "its notch chart",
      what, seen.FirstTimeS, NotchName(scale.DeepestBrake, emergencyNotch), scale.HighestPower,
      seen.Frames);
}

}  // namespace drive

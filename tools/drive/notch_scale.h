// The scale a train's notches lie on: brake from 0 to the notch above the
// emergency notch (the ATC's own notch by default), power from 0 to the
// highest notch. The plug-in may hand back any integer; the page draws a
// notch beyond the scale at its edge, and the summary names it.
#pragma once

#include <cstddef>
#include <string>

#include "run_record.h"
#include "scenario.h"

namespace drive {

struct NotchScale {
  int32_t DeepestBrake = 0;
  int32_t HighestPower = 0;
};

NotchScale ScaleOf(const TrainSpec& train);

bool BrakeOnScale(const NotchScale& scale, int32_t brake);
bool PowerOnScale(const NotchScale& scale, int32_t power);

// The frames of a run whose handed-back brake or power lay beyond the scale.
struct OffScaleNotches {
  size_t Frames = 0;
  double FirstTimeS = 0.0;
  Handles First{};  // as handed back in the first of them
};

void NoteOffScale(const NotchScale& scale, const FrameRecord& row, OffScaleNotches& seen);

// The summary's warning about them; empty when every notch lay on the scale.
std::string OffScaleWarning(const NotchScale& scale, const OffScaleNotches& seen,
                            int32_t emergencyNotch);

}  // namespace drive

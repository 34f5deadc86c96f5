// A driver who follows the limit the cab shows: power up to a little under it,
// hold it with power and the service brake, and answer a change of the limit
// after a reaction time. Never the emergency notch: that is the ATC's to use.
#pragma once

#include "run_record.h"
#include "scenario.h"

namespace drive {

struct FollowDriverState {
  int32_t SeenLimitKmh = -1;  // the limit acted on; -1 before any is shown
  int32_t ShownLimitKmh = -1;
  double ShownSinceS = 0.0;
  // A scripted handle move holds until a limit shown later than reaction_s
  // after it: the move's own signal does not hand the handles back at once.
  bool Scripted = false;
  double ScriptedAtS = 0.0;
  // The last move of a notch: when, and the limit shown then.
  double MovedAtS = -1e9;  // never
  int32_t MovedUnderKmh = -1;
};

// A person moves a handle at most this often, unless the limit shown has
// changed since the last move.
inline constexpr double NotchHoldS = 1.0;

// Moves the driver's power and brake for the next frame from the cab as it
// was after the last frame.
void FollowLimit(const DriverSettings& settings, const TrainSpec& train, const CabIndication& cab,
                 double nowS, double speedKmh, FollowDriverState& state, DriverHandles& driver);

}  // namespace drive

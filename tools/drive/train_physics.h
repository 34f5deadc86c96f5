// The train as a point mass on a graded track. Accelerations are in km/h per
// second, speeds in km/h (negative while moving backwards), positions in metres.
#pragma once

#include "host_records.h"
#include "scenario.h"

namespace drive {

struct TrainMotion {
  double SpeedKmh = 0.0;
  double PositionM = 0.0;
};

// Tractive acceleration of a power notch at a speed, before the reverser's sign.
double TractionKmhps(const TrainSpec& train, int32_t powerNotch, double speedKmh);

// Braking of a brake notch: service notches pro rata, the emergency notch and
// anything above it the emergency rate, 0 and below nothing.
double BrakeKmhps(const TrainSpec& train, int32_t brakeNotch);

// Running resistance at a speed, always opposing the motion.
double ResistanceKmhps(const TrainSpec& train, double speedKmh);

// Acceleration that a gradient gives, forward positive: a rising grade pulls back.
double GradientKmhps(double permille);

// Advances the train by one frame under the handles the host applies. Brake
// and resistance oppose the motion and never reverse it: a train that comes
// to rest stays at exactly 0 km/h until traction or gravity overcome them.
void StepTrain(const TrainSpec& train, const Handles& applied, double gradientPermille,
               double frameS, TrainMotion& motion);

}  // namespace drive

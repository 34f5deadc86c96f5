#include "train_physics.h"

#include <algorithm>
#include <cmath>

namespace drive {
namespace {

constexpr double GravityMps2 = 9.80665;
constexpr double MpsToKmh = 3.6;

double Sign(double value) { return value > 0.0 ? 1.0 : (value < 0.0 ? -1.0 : 0.0); }

}  // namespace

double TractionKmhps(const TrainSpec& train, int32_t powerNotch, double speedKmh) {
  if (powerNotch <= 0) {
    return 0.0;
  }
  const double share = std::min(1.0, static_cast<double>(powerNotch) / train.PowerNotches);
  // Constant effort up to the base speed, constant power above it.
  const double fade =
      std::min(1.0, train.ConstantPowerFromKmh / std::max(std::abs(speedKmh), 1e-9));
  return share * train.AccelerationKmhps * fade;
}

double BrakeKmhps(const TrainSpec& train, int32_t brakeNotch) {
  if (brakeNotch <= 0) {
    return 0.0;
  }
  if (brakeNotch > train.ServiceNotches) {
    return train.EmergencyDecelerationKmhps;
  }
  return train.ServiceDecelerationKmhps * brakeNotch / train.ServiceNotches;
}

double ResistanceKmhps(const TrainSpec& train, double speedKmh) {
  const double share = speedKmh / 100.0;
  return train.RollingResistanceKmhps + train.AirResistanceAt100KmhKmhps * share * share;
}

double GradientKmhps(double permille) { return -permille / 1000.0 * GravityMps2 * MpsToKmh; }

void StepTrain(const TrainSpec& train, const Handles& applied, double gradientPermille,
               double frameS, TrainMotion& motion) {
  const double v = motion.SpeedKmh;
  const double pushing = Sign(applied.Reverser) * TractionKmhps(train, applied.Power, v) +
                         GradientKmhps(gradientPermille);
  const double holding = BrakeKmhps(train, applied.Brake) + ResistanceKmhps(train, v);

  double acceleration = 0.0;
  if (v == 0.0) {
    // At rest the brake and the resistance hold whatever they can.
    const double excess = std::abs(pushing) - holding;
    acceleration = excess > 0.0 ? Sign(pushing) * excess : 0.0;
  } else {
    acceleration = pushing - Sign(v) * holding;
  }
  double next = v + acceleration * frameS;
  if (v != 0.0 && Sign(next) != Sign(v)) {
    next = 0.0;  // brought to rest within the frame
  }
  motion.PositionM += (v + next) / 2.0 / MpsToKmh * frameS;
  motion.SpeedKmh = next;
}

}  // namespace drive

// The point-mass train the examples rely on; how it brakes to rest, holds and
// rolls back on a grade, the examples show.
#include <gtest/gtest.h>

#include "train_physics.h"

namespace drive {
namespace {

TEST(TrainPhysics, NotchesBrakeProRataPowerFadesAboveTheConstantPowerSpeedAndFollowsTheReverser) {
  const TrainSpec train{.ServiceNotches = 8, .PowerNotches = 5};
  EXPECT_DOUBLE_EQ(BrakeKmhps(train, 4), train.ServiceDecelerationKmhps / 2);
  EXPECT_DOUBLE_EQ(BrakeKmhps(train, 8), train.ServiceDecelerationKmhps);
  EXPECT_DOUBLE_EQ(BrakeKmhps(train, 9), train.EmergencyDecelerationKmhps);
  EXPECT_DOUBLE_EQ(TractionKmhps(train, 5, 2 * train.ConstantPowerFromKmh),
                   train.AccelerationKmhps / 2);
  // A second of full power from rest, on the level, against the rolling resistance.
  for (const int32_t reverser : {1, 0, -1}) {
    TrainMotion motion;
    StepTrain(train, {0, 5, reverser, 2}, 0.0, 1.0, motion);
    EXPECT_DOUBLE_EQ(motion.SpeedKmh,
                     reverser * (train.AccelerationKmhps - train.RollingResistanceKmhps))
        << "reverser " << reverser;
  }
}

}  // namespace
}  // namespace drive

// The point-mass train the examples rely on.
#include <gtest/gtest.h>

#include "train_physics.h"

namespace drive {
namespace {

// The speed after some seconds at 60 frames a second, from `start` under the
// handles {brake, power, reverser} on a grade; `start` ends where the train is.
double SpeedAfter(double seconds, Handles applied, double permille, TrainMotion& start) {
  const TrainSpec train{.ServiceNotches = 8, .PowerNotches = 5};
  for (int i = 0; i < static_cast<int>(seconds * 60); ++i) {
    StepTrain(train, applied, permille, 1.0 / 60, start);
  }
  return start.SpeedKmh;
}

TEST(TrainPhysics, EmergencyNotchBrakesHardestAndPowerFadesAboveTheConstantPowerSpeed) {
  const TrainSpec train{.ServiceNotches = 8, .PowerNotches = 5};
  EXPECT_DOUBLE_EQ(BrakeKmhps(train, 4), train.ServiceDecelerationKmhps / 2);
  EXPECT_DOUBLE_EQ(BrakeKmhps(train, 9), train.EmergencyDecelerationKmhps);
  EXPECT_DOUBLE_EQ(TractionKmhps(train, 5, 2 * train.ConstantPowerFromKmh),
                   train.AccelerationKmhps / 2);
}

TEST(TrainPhysics, BrakeStopsTheTrainAndHoldsItWhereGravityWouldRollItBack) {
  TrainMotion braked{60.0, 0.0};
  EXPECT_EQ(SpeedAfter(30, {8, 0, 1, 2}, 0.0, braked), 0.0);
  // 60 km/h at about 4 km/h/s: some 15 s and 125 m.
  EXPECT_NEAR(braked.PositionM, 60 / 3.6 * 15 / 2, 10.0);
  TrainMotion held{0.0, 100.0};
  EXPECT_EQ(SpeedAfter(5, {4, 0, 1, 2}, 35.0, held), 0.0);
  TrainMotion released{0.0, 100.0};
  EXPECT_LT(SpeedAfter(5, {0, 0, 1, 2}, 35.0, released), -5.0);
  EXPECT_LT(released.PositionM, 100.0);
}

TEST(TrainPhysics, PowerMovesTheTrainTheWayTheReverserPoints) {
  TrainMotion forward, neutral, backward;
  EXPECT_GT(SpeedAfter(5, {0, 5, 1, 2}, 0.0, forward), 10.0);
  EXPECT_EQ(SpeedAfter(5, {0, 5, 0, 2}, 0.0, neutral), 0.0);
  EXPECT_LT(SpeedAfter(5, {0, 5, -1, 2}, 0.0, backward), -10.0);
}

}  // namespace
}  // namespace drive

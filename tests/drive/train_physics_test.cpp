// The point-mass train the examples rely on: brakes stop it and hold it,
// gravity rolls it back, the emergency notch brakes hardest.
#include <gtest/gtest.h>

#include "train_physics.h"

namespace drive {
namespace {

TrainSpec Train() {
  TrainSpec train;
  train.ServiceNotches = 8;
  train.PowerNotches = 5;
  return train;
}

Handles Applied(int32_t brake, int32_t power, int32_t reverser = 1) {
  return Handles{brake, power, reverser, 2};
}

double RunFor(double seconds, const Handles& applied, double permille, TrainMotion& motion) {
  const double frameS = 1.0 / 60;
  for (int i = 0; i < static_cast<int>(seconds * 60); ++i) {
    StepTrain(Train(), applied, permille, frameS, motion);
  }
  return motion.SpeedKmh;
}

TEST(TrainPhysics, BrakeNotchesBrakeProRataAndEmergencyHardest) {
  const TrainSpec train = Train();
  EXPECT_EQ(BrakeKmhps(train, 0), 0.0);
  EXPECT_DOUBLE_EQ(BrakeKmhps(train, 4), train.ServiceDecelerationKmhps / 2);
  EXPECT_DOUBLE_EQ(BrakeKmhps(train, 8), train.ServiceDecelerationKmhps);
  EXPECT_DOUBLE_EQ(BrakeKmhps(train, 9), train.EmergencyDecelerationKmhps);
  EXPECT_DOUBLE_EQ(BrakeKmhps(train, 10), train.EmergencyDecelerationKmhps);
}

TEST(TrainPhysics, TractionFadesAboveTheConstantPowerSpeed) {
  const TrainSpec train = Train();
  EXPECT_DOUBLE_EQ(TractionKmhps(train, 5, 20), train.AccelerationKmhps);
  EXPECT_DOUBLE_EQ(TractionKmhps(train, 5, 2 * train.ConstantPowerFromKmh),
                   train.AccelerationKmhps / 2);
  EXPECT_EQ(TractionKmhps(train, 0, 20), 0.0);
}

TEST(TrainPhysics, BrakedTrainComesToRestAndStaysAtExactlyZero) {
  TrainMotion motion{60.0, 0.0};
  EXPECT_EQ(RunFor(30, Applied(8, 0), 0.0, motion), 0.0);
  // 60 km/h at about 4 km/h/s: some 15 s and 125 m.
  EXPECT_NEAR(motion.PositionM, 60 / 3.6 * 15 / 2, 10.0);
}

TEST(TrainPhysics, ReleasedTrainRollsBackOnARisingGradeAndTheBrakeHoldsIt) {
  TrainMotion held{0.0, 100.0};
  EXPECT_EQ(RunFor(5, Applied(4, 0), 35.0, held), 0.0);
  TrainMotion released{0.0, 100.0};
  EXPECT_LT(RunFor(5, Applied(0, 0), 35.0, released), -5.0);
  EXPECT_LT(released.PositionM, 100.0);
}

TEST(TrainPhysics, PowerMovesTheTrainTheWayTheReverserPoints) {
  TrainMotion forward{0.0, 0.0};
  EXPECT_GT(RunFor(5, Applied(0, 5, 1), 0.0, forward), 10.0);
  TrainMotion backward{0.0, 0.0};
  EXPECT_LT(RunFor(5, Applied(0, 5, -1), 0.0, backward), -10.0);
  TrainMotion neutral{0.0, 0.0};
  EXPECT_EQ(RunFor(5, Applied(0, 5, 0), 0.0, neutral), 0.0);
}

}  // namespace
}  // namespace drive

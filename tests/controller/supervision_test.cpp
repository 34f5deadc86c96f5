// The speed steps the flags select, with the caps of the selector and the
// restriction switch, and one supervision pass: the channels' hysteresis and
// the rollback detector.
#include <algorithm>
#include <limits>
#include <tuple>

#include "atc_fixture.h"

namespace {

TEST_F(AtcTest, StepFlagsSetStepLimitAndLampInEveryMode) {
  struct Row {
    int flag;
    int32_t step;
    double limit, limit120;  // km/h, without and with the 120 km/h signal option
  };
  // The flags of aspects 21, 23 and 25 lie at 3, 5 and 4, out of order.
  const Row table[] = {{11, 12, 120, 120},   {10, 11, 0, 0}, {9, 1, 0, 0},     {8, 2, 15, 15},
                       {7, 3, 25, 25},       {6, 4, 45, 45}, {3, 5, 55, 55},   {5, 6, 65, 65},
                       {4, 7, 75, 75},       {2, 8, 90, 90}, {1, 9, 100, 100}, {0, 10, 110, 120},
                       {NoAspect, 0, 25, 25}};
  for (const Row& row : table) {
    for (const int32_t mode : {ModeRestricted, ModeAts, ModeAtc}) {
      for (const uint8_t use120 : {0, 1}) {
        for (const uint8_t restrict : {0, 1}) {
          PowerOn(mode, row.flag);
          atc.Use120Signal = use120;
          atc.RestrictSwitch = restrict;
          RunCycle(atc);
          double limit = use120 ? row.limit120 : row.limit;
          limit = restrict ? 25.0 : mode == ModeAtc ? limit : std::min(limit, 25.0);
          std::array<uint32_t, SpeedStepCount> lamps{};
          lamps[static_cast<size_t>(row.step)] = mode == ModeAtc;
          EXPECT_EQ(std::tie(atc.SpeedStep, atc.SpeedLimit, atc.StepLamps, atc.RestrictLamp),
                    std::tie(row.step, limit, lamps, restrict))
              << "flag " << row.flag << ", mode " << mode << ", 120 " << use120 << ", " << restrict;
        }
      }
    }
  }
}

// A pass leaves all three channel entries equal. Each channel passes up to the
// limit while both siblings passed, else only 0.625 km/h below it.
TEST_F(AtcTest, ChannelsPassWithHysteresisAndRollbackNeedsReverserForward) {
  struct Row {
    double limit;
    Bits3 before;
    float speed;
    int32_t reverser;
    uint8_t ok, rollback;
  };
  const Row table[] = {
      {45, {1, 1, 1}, 45.0f, 1, 1, 0},
      {45, {1, 1, 1}, 45.01f, 1, 0, 0},
      {45, {0, 0, 0}, 44.5f, 1, 0, 0},
      {45, {0, 0, 0}, 44.375f, 1, 1, 0},
      {45, {0, 1, 1}, 44.7f, 1, 1, 0},
      {45, {1, 1, 0}, 44.7f, 1, 0, 0},
      {45, {1, 1, 1}, std::numeric_limits<float>::quiet_NaN(), 1, 0, 0},
      {25, {1, 1, 1}, -5.0f, 1, 1, 0},
      {25, {1, 1, 1}, -5.01f, 1, 1, 1},
      {25, {1, 1, 1}, -30.0f, 0, 1, 0},
      {25, {1, 1, 1}, -30.0f, -1, 1, 0},
  };
  for (const Row& row : table) {
    atc.SpeedLimit = row.limit;
    atc.ChannelOk = row.before;
    handles.Reverser = row.reverser;
    state.Speed = row.speed;
    SuperviseSpeed(atc);
    EXPECT_EQ(std::tuple(atc.ChannelOk, atc.RollbackBits),
              std::tuple(Bits3{row.ok, row.ok, row.ok}, std::array{row.rollback, row.rollback}))
        << "limit " << row.limit << ", speed " << row.speed << ", reverser " << row.reverser;
  }
}

}  // namespace

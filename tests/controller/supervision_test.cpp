// One supervision pass: the channels' hysteresis and the rollback detector.
// (The limits of the speed steps, with the caps of the selector and the
// restriction switch, are checked through the exports by the guide suite.)
#include <limits>
#include <tuple>

#include "atc_fixture.h"

namespace {

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

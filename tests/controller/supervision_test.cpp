// One supervision pass: the three channels' verdicts with their hysteresis,
// and the rollback detector.
#include "atc_fixture.h"

namespace {

struct ChannelCase {
  const char* name;
  double limitKmh;
  Bits3 before;
  float speedKmh;
  uint8_t after;  // all three entries end equal
};

void PrintTo(const ChannelCase& c, std::ostream* os) {
  *os << c.name;
}

const ChannelCase ChannelCases[] = {
    {"AtLimitStaysWithin", 45.0, {1, 1, 1}, 45.0f, 1},
    {"JustAboveLimitClearsAll", 45.0, {1, 1, 1}, 45.01f, 0},
    {"InsideMarginStaysClear", 45.0, {0, 0, 0}, 44.5f, 0},
    {"MarginBelowLimitSetsAll", 45.0, {0, 0, 0}, 44.375f, 1},
    {"InsideMarginWithSiblingsSetSetsAll", 45.0, {0, 1, 1}, 44.7f, 1},
    {"InsideMarginWithSiblingsSplitClearsAll", 45.0, {1, 1, 0}, 44.7f, 0},
    {"StandstillUnderZeroLimitStaysClear", 0.0, {0, 0, 0}, 0.0f, 0},
    {"StandstillUnderZeroLimitStaysSet", 0.0, {1, 1, 1}, 0.0f, 1},
    {"LimitDroppedBelowSpeedClearsAll", 25.0, {1, 1, 1}, 40.0f, 0},
    {"NaNSpeedCountsAsOverspeed", 45.0, {1, 1, 1}, NaNSpeed, 0},
};

class ChannelPass : public AtcTest, public testing::WithParamInterface<ChannelCase> {};

TEST_P(ChannelPass, LeavesAllChannelsAgreeing) {
  const ChannelCase& c = GetParam();
  atc.SpeedLimit = c.limitKmh;
  atc.ChannelOk = c.before;
  Supervise(c.speedKmh);
  EXPECT_EQ(atc.ChannelOk, Bits3({c.after, c.after, c.after}));
}

INSTANTIATE_TEST_SUITE_P(Supervision, ChannelPass, testing::ValuesIn(ChannelCases), ParamName{});

struct RollbackCase {
  const char* name;
  int32_t reverser;
  float speedKmh;
  uint8_t rollback;
};

void PrintTo(const RollbackCase& c, std::ostream* os) {
  *os << c.name;
}

const RollbackCase RollbackCases[] = {
    {"ForwardAtMinus5IsNoRollback", 1, -5.0f, 0},    {"ForwardBelowMinus5IsRollback", 1, -5.01f, 1},
    {"NeutralNeverRollsBack", 0, -30.0f, 0},         {"ReverseNeverRollsBack", -1, -30.0f, 0},
    {"ForwardMovingAheadIsNoRollback", 1, 30.0f, 0}, {"NaNSpeedIsNoRollback", 1, NaNSpeed, 0},
};

class RollbackPass : public AtcTest, public testing::WithParamInterface<RollbackCase> {};

TEST_P(RollbackPass, SetsBothEntriesAlike) {
  const RollbackCase& c = GetParam();
  atc.SpeedLimit = 25.0;
  for (const uint8_t before : {0, 1}) {
    atc.RollbackBits = {before, before};
    handles.Reverser = c.reverser;
    Supervise(c.speedKmh);
    EXPECT_EQ(atc.RollbackBits, Bits2({c.rollback, c.rollback}))
        << "entries before " << int{before};
  }
}

INSTANTIATE_TEST_SUITE_P(Supervision, RollbackPass, testing::ValuesIn(RollbackCases), ParamName{});

}  // namespace

// The emergency latch: what sets it, what releases it, and the channel health
// whose loss sets it.
#include "atc_fixture.h"

namespace {

struct TriggerCase {
  const char* name;
  int32_t mode;
  int flag;
  uint8_t restrict;
  uint8_t latched;
  double limitKmh;
};

void PrintTo(const TriggerCase& c, std::ostream* os) {
  *os << c.name;
}

const TriggerCase TriggerCases[] = {
    {"NoCodeInAtc", ModeAtc, NoAspect, 0, 1, 25.0},
    {"StopAspectInAtc", ModeAtc, Aspect36Flag, 0, 1, 0.0},
    {"NoCodeWithRestrictionSwitch", ModeAtc, NoAspect, 1, 0, 25.0},
    {"StopAspectWithRestrictionSwitch", ModeAtc, Aspect36Flag, 1, 0, 25.0},
    {"ZeroLimitAspect11", ModeAtc, Aspect11Flag, 0, 0, 0.0},
    {"NoCodeInRestricted", ModeRestricted, NoAspect, 0, 0, 25.0},
    {"StopAspectInAts", ModeAts, Aspect36Flag, 0, 0, 0.0},
};

class StepTrigger : public AtcTest, public testing::WithParamInterface<TriggerCase> {};

TEST_P(StepTrigger, LatchesOnlyInAtcWithoutRestriction) {
  const TriggerCase& c = GetParam();
  PowerOn(c.mode);
  Signal(c.flag);
  atc.InAtcSection = 1;
  atc.RestrictSwitch = c.restrict;
  Cycle(0.0f);
  Cycle(0.0f);
  EXPECT_EQ(atc.EmergencyLatch, c.latched);
  EXPECT_EQ(atc.EmergencyLamp, c.latched);
  EXPECT_EQ(atc.SpeedLimit, c.limitKmh);
}

INSTANTIATE_TEST_SUITE_P(Emergency, StepTrigger, testing::ValuesIn(TriggerCases), ParamName{});

TEST_F(AtcTest, LatchHoldsUntilBrakeAtEmergency) {
  RunningUnder100();
  Signal(NoAspect);  // code lost
  Cycle(0.0f);
  EXPECT_EQ(atc.EmergencyLatch, 1);
  EXPECT_EQ(atc.EmergencyLamp, 1);
  EXPECT_EQ(atc.ServiceBrakeCommand, 1);
  EXPECT_EQ(atc.PermitA, 1);
  EXPECT_TRUE(ChangeSound());

  Cycle(0.0f);  // trigger still holding: no further request
  EXPECT_EQ(atc.EmergencyLatch, 1);
  EXPECT_FALSE(ChangeSound());

  Signal(Aspect30Flag);  // code back: the latch stays
  for (int i = 0; i < 2; ++i) {
    Cycle(0.0f);
    EXPECT_EQ(atc.EmergencyLatch, 1);
    EXPECT_EQ(atc.ServiceBrakeCommand, 1);
    EXPECT_FALSE(ChangeSound());
  }

  atc.BrakeAtEmergency = 1;
  Cycle(0.0f);
  EXPECT_EQ(atc.EmergencyLatch, 0);
  EXPECT_EQ(atc.EmergencyLamp, 0);
  EXPECT_EQ(atc.ServiceBrakeCommand, 0);
  EXPECT_TRUE(ChangeSound());

  atc.BrakeAtEmergency = 0;
  Cycle(0.0f);
  EXPECT_EQ(atc.EmergencyLatch, 0);
  EXPECT_FALSE(ChangeSound());
}

TEST_F(AtcTest, BrakeHeldAtEmergencySetsAndClearsLatchEveryCycle) {
  RunningUnder100();
  atc.BrakeAtEmergency = 1;
  Signal(NoAspect);
  for (int i = 0; i < 3; ++i) {
    Cycle(0.0f);
    EXPECT_EQ(atc.EmergencyLatch, 0);
    EXPECT_EQ(atc.EmergencyLamp, 0);
    EXPECT_EQ(atc.ServiceBrakeCommand, 0);
    EXPECT_TRUE(ChangeSound());
  }
}

TEST_F(AtcTest, RollbackWithReverserForwardLatchesNextCycleInAnyMode) {
  for (const int32_t mode : {ModeRestricted, ModeAts, ModeAtc}) {
    SCOPED_TRACE(testing::Message() << "mode " << mode);
    PowerOn(mode);
    Signal(Aspect30Flag);
    Cycle(0.0f);
    Cycle(0.0f);

    Cycle(-6.0f);  // measured
    EXPECT_EQ(atc.EmergencyLatch, 0);
    Cycle(-6.0f);
    EXPECT_EQ(atc.EmergencyLatch, 1);
    EXPECT_TRUE(ChangeSound());
    // Outside an ATC section the ATS position shows neither lamp nor brake.
    const int32_t shown = mode == ModeAts ? 0 : 1;
    EXPECT_EQ(atc.EmergencyLamp, shown);
    EXPECT_EQ(atc.ServiceBrakeCommand, shown);
  }
}

TEST_F(AtcTest, AtsOutsideAtcSectionHidesLatchThatStaysSet) {
  RunningUnder100();
  Signal(NoAspect);
  Cycle(0.0f);
  ASSERT_EQ(atc.EmergencyLatch, 1);

  atc.Mode = ModeAts;
  atc.InAtcSection = 0;
  for (int i = 0; i < 2; ++i) {
    Cycle(0.0f);
    EXPECT_EQ(atc.EmergencyLatch, 1);
    EXPECT_EQ(atc.EmergencyLamp, 0);
    EXPECT_EQ(atc.BrakeLamp, 0);
    EXPECT_EQ(atc.ServiceBrakeCommand, 0);
  }

  atc.InAtcSection = 1;
  Cycle(0.0f);
  EXPECT_EQ(atc.EmergencyLamp, 1);
  EXPECT_EQ(atc.ServiceBrakeCommand, 1);

  atc.InAtcSection = 0;
  atc.BrakeAtEmergency = 1;
  Cycle(0.0f);
  EXPECT_EQ(atc.EmergencyLatch, 0);
}

TEST_F(AtcTest, BeaconResetLatchesEmergencyOnNextCycle) {
  for (const uint8_t inSection : {0, 1}) {
    SCOPED_TRACE(testing::Message() << "InAtcSection " << int{inSection});
    RunningUnder100();
    Reset(atc, BeaconReset);
    Signal(Aspect30Flag);  // an aspect arriving before the cycle changes nothing
    atc.InAtcSection = inSection;
    Cycle(0.0f);
    EXPECT_EQ(atc.EmergencyLatch, 1);
    EXPECT_EQ(atc.EmergencyLamp, 1);
    EXPECT_EQ(atc.ServiceBrakeCommand, 1);
    EXPECT_TRUE(ChangeSound());
    EXPECT_EQ(atc.PermitA, 1);
    EXPECT_EQ(atc.PermitB, 1);
    EXPECT_EQ(atc.AtcSignalLamp, inSection);
    EXPECT_EQ(atc.SpeedLimit, 100.0);
    EXPECT_EQ(atc.RollbackSeen, Bits2({1, 1}));

    atc.BrakeAtEmergency = 1;
    Cycle(0.0f);
    EXPECT_EQ(atc.EmergencyLatch, 0);
    EXPECT_EQ(atc.ServiceBrakeCommand, 0);
  }
}

// Channel health. A pass always leaves the three entries equal, so the tests
// put disagreeing entries in by hand, as a failing channel would.
class ChannelHealth : public AtcTest {
 protected:
  // A loses health alone, then C, which takes the majority with it.
  void LoseMajority() {
    RunningUnder100();
    atc.ChannelOk = {0, 1, 1};
    Cycle(0.0f);  // voted here, judged next cycle
    EXPECT_EQ(atc.ChannelHealthy, Bits3({1, 1, 1}));
    Cycle(0.0f);
    EXPECT_EQ(atc.ChannelHealthy, Bits3({0, 1, 1}));
    EXPECT_EQ(atc.MajorityHealthy, 1);
    EXPECT_EQ(atc.PermitA, 1);
    EXPECT_EQ(atc.EmergencyLatch, 0);
    Cycle(0.0f);
    EXPECT_EQ(atc.ChannelHealthy, Bits3({0, 1, 1}));  // lost for good

    atc.ChannelOk = {1, 0, 1};  // votes A 0 (unhealthy), B 0, C 1: C alone
    Cycle(0.0f);
    EXPECT_EQ(atc.PermitA, 0);  // one vote of three grants nothing
    EXPECT_EQ(atc.ServiceBrakeCommand, 1);
    EXPECT_EQ(atc.EmergencyLatch, 0);
    Cycle(0.0f);
    EXPECT_EQ(atc.ChannelHealthy, Bits3({0, 1, 0}));
    EXPECT_EQ(atc.MajorityHealthy, 0);
    EXPECT_EQ(atc.PermitA, 0);
    EXPECT_EQ(atc.EmergencyLatch, 1);
    EXPECT_EQ(atc.ServiceBrakeCommand, 1);
    EXPECT_TRUE(ChangeSound());
  }
};

TEST_F(ChannelHealth, MajorityLossLatchesEmergencyAndStaysLost) {
  LoseMajority();
  Cycle(0.0f);  // B's vote now stands alone too
  EXPECT_EQ(atc.ChannelHealthy, Bits3({0, 0, 0}));
  atc.BrakeAtEmergency = 1;
  for (int i = 0; i < 3; ++i) {
    Cycle(0.0f);
    EXPECT_EQ(atc.ChannelHealthy, Bits3({0, 0, 0}));
    EXPECT_EQ(atc.MajorityHealthy, 0);
    EXPECT_EQ(atc.ServiceBrakeCommand, 1);
    EXPECT_TRUE(ChangeSound());  // latched and released every cycle
  }
}

TEST_F(ChannelHealth, FirstCycleAfterCutOutRestoresHealthBeforeJudging) {
  LoseMajority();  // votes left: A 0, B 1, C 0
  atc.CutOutSwitch = 1;
  Cycle(0.0f);
  atc.CutOutSwitch = 0;
  Cycle(0.0f);
  // All taken as healthy, then judged on the votes before the cut-out: B's
  // lone vote costs it its health again.
  EXPECT_EQ(atc.ChannelHealthy, Bits3({1, 0, 1}));
  EXPECT_EQ(atc.MajorityHealthy, 1);
  EXPECT_EQ(atc.PermitA, 1);
  EXPECT_EQ(atc.EmergencyLatch, 0);
  EXPECT_EQ(atc.ServiceBrakeCommand, 0);
}

TEST_F(ChannelHealth, ResetsRestoreHealth) {
  LoseMajority();
  Reset(atc, BeaconReset);
  Signal(Aspect30Flag);
  Cycle(0.0f);
  EXPECT_EQ(atc.ChannelHealthy, Bits3({1, 1, 1}));
  EXPECT_EQ(atc.MajorityHealthy, 1);

  LoseMajority();
  PowerOn(ModeAtc);
  Signal(Aspect30Flag);
  Cycle(0.0f);
  EXPECT_EQ(atc.ChannelHealthy, Bits3({1, 1, 1}));
  EXPECT_EQ(atc.MajorityHealthy, 1);
  EXPECT_EQ(atc.EmergencyLatch, 0);
}

}  // namespace

// The emergency latch: what sets it, what releases it, where it is hidden, and
// the channel health whose loss sets it. Rows are {permit, brake, brake lamp,
// latch, emergency lamp, change sound}.
#include "atc_fixture.h"

namespace {

TEST_F(AtcTest, NoCodeAndStopAspectLatchOnlyInAtcWithoutRestrictionSwitch) {
  struct Row {
    int32_t mode;
    int flag;
    uint8_t restrict, latched;
  };
  for (const Row& r : {Row{ModeAtc, NoAspect, 0, 1}, Row{ModeAtc, Aspect36Flag, 0, 1},
                       Row{ModeAtc, NoAspect, 1, 0}, Row{ModeAtc, Aspect36Flag, 1, 0},
                       Row{ModeAtc, Aspect11Flag, 0, 0}, Row{ModeRestricted, NoAspect, 0, 0},
                       Row{ModeAts, Aspect36Flag, 0, 0}}) {
    SCOPED_TRACE(testing::Message()
                 << "mode " << r.mode << ", flag " << r.flag << ", switch " << int{r.restrict});
    PowerOn(r.mode, r.flag);
    atc.InAtcSection = 1;
    atc.RestrictSwitch = r.restrict;
    Cycle(0.0f, 2);
    EXPECT_EQ(atc.EmergencyLatch, r.latched);
    EXPECT_EQ(atc.EmergencyLamp, r.latched);
  }
}

TEST_F(AtcTest, OnlyBrakeAtEmergencyReleasesLatchAndHeldThereClearsItEveryCycle) {
  RunningUnder100();
  Signal(NoAspect);  // code lost
  ExpectCycles(0.0f, {{1, 1, 0, 1, 1, 1}, {1, 1, 1, 1, 1, 0}});
  Signal(Aspect30Flag);  // code back: the latch stays
  ExpectCycles(0.0f, {{1, 1, 1, 1, 1, 0}});
  atc.BrakeAtEmergency = 1;
  ExpectCycles(0.0f, {{1, 0, 1, 0, 0, 1}, {1, 0, 0, 0, 0, 0}});
  Signal(NoAspect);  // set and cleared again within every cycle
  ExpectCycles(0.0f, {{1, 0, 0, 0, 0, 1}, {1, 0, 0, 0, 0, 1}});
  atc.BrakeAtEmergency = 0;
  ExpectCycles(0.0f, {{1, 1, 0, 1, 1, 1}});
}

TEST_F(AtcTest, RollbackWithReverserForwardLatchesNextCycleInAnyMode) {
  for (const int32_t mode : {ModeRestricted, ModeAts, ModeAtc}) {
    SCOPED_TRACE(mode);
    PowerOn(mode, Aspect30Flag);
    Cycle(0.0f, 2);
    const int s = mode == ModeAts ? 0 : 1;  // ATS outside an ATC section: hidden
    ExpectCycles(-6.0f, {{1, 0, 0, 0, 0, 0}, {1, s, 0, 1, s, 1}});
  }
}

TEST_F(AtcTest, AtsOutsideAtcSectionKeepsBrakeAndLampsOffWhileLatchStaysSet) {
  RunningUnder100();
  Signal(NoAspect);
  Cycle();
  atc.Mode = ModeAts;
  atc.InAtcSection = 0;
  ExpectCycles(0.0f, {{1, 0, 0, 1, 0, 0}, {1, 0, 0, 1, 0, 0}});
  atc.InAtcSection = 1;
  ExpectCycles(0.0f, {{1, 1, 0, 1, 1, 0}});
  atc.InAtcSection = 0;
  atc.BrakeAtEmergency = 1;
  ExpectCycles(0.0f, {{1, 0, 0, 0, 0, 1}});
}

TEST_F(AtcTest, BeaconResetLatchesEmergencyOnNextCycle) {
  for (const uint8_t inSection : {0, 1}) {
    SCOPED_TRACE(int{inSection});
    RunningUnder100();
    Reset(atc, BeaconReset);
    Signal(Aspect30Flag);  // an aspect arriving before the cycle changes nothing
    atc.InAtcSection = inSection;
    ExpectCycles(0.0f, {{1, 1, 0, 1, 1, 1}});
    EXPECT_EQ(atc.AtcSignalLamp, inSection);
    EXPECT_EQ(atc.SpeedLimit, 100.0);
    atc.BrakeAtEmergency = 1;
    ExpectCycles(0.0f, {{1, 0, 1, 0, 0, 1}});
  }
}

class ChannelHealth : public AtcTest {
 protected:
  // A loses its health alone, then C, which takes the majority with it. A pass
  // always leaves the entries equal, so they are set by hand, as a failing
  // channel would leave them; each is voted in one cycle and judged the next.
  void LoseMajority() {
    RunningUnder100();
    atc.ChannelOk = {0, 1, 1};
    ExpectCycles(0.0f, {{1, 0, 0, 0, 0, 0}, {1, 0, 0, 0, 0, 0}});
    EXPECT_EQ(atc.ChannelHealthy, Bits3({0, 1, 1}));
    atc.ChannelOk = {1, 0, 1};  // votes A 0 (unhealthy), B 0, C 1: one vote grants nothing
    ExpectCycles(0.0f, {{0, 1, 0, 0, 0, 1}, {0, 1, 1, 1, 1, 1}});
    EXPECT_EQ(atc.ChannelHealthy, Bits3({0, 1, 0}));  // votes left: A 0, B 1, C 0
  }
};

TEST_F(ChannelHealth, LostHealthStaysLostUntilBeaconReset) {
  LoseMajority();
  atc.BrakeAtEmergency = 1;
  for (int i = 0; i < 3; ++i) {
    ExpectCycles(0.0f, {{0, 1, 1, 0, 0, 1}});  // latched and released every cycle
    EXPECT_EQ(atc.ChannelHealthy, Bits3({0, 0, 0}));
  }
  Reset(atc, BeaconReset);
  Signal(Aspect30Flag);
  Cycle();
  EXPECT_EQ(atc.ChannelHealthy, Bits3({1, 1, 1}));
  EXPECT_EQ(atc.MajorityHealthy, 1);
}

TEST_F(ChannelHealth, FirstCycleAfterCutOutRestoresHealthBeforeJudging) {
  LoseMajority();
  atc.CutOutSwitch = 1;
  Cycle();
  atc.CutOutSwitch = 0;
  // All taken as healthy, then judged on the votes before the cut-out: B's
  // lone vote costs it its health again; the majority holds.
  ExpectCycles(0.0f, {{1, 0, 0, 0, 0, 1}});
  EXPECT_EQ(atc.ChannelHealthy, Bits3({1, 0, 1}));
}

}  // namespace

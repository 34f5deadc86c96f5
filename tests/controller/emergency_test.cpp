// The emergency latch: what releases it, where it is hidden, and the channel
// health whose loss sets it. (No code and the stop aspect, which set it in
// ATC, are checked through the exports by the guide suite.)
#include "atc_fixture.h"

namespace {

TEST_F(AtcTest, OnlyBrakeAtEmergencyReleasesLatchAndHeldThereClearsItEveryCycle) {
  RunningUnder100();
  Signal(NoAspect);  // code lost
  ExpectCycles(0.0f, {{.permit = 1, .service = 1, .latch = 1, .emergencyLamp = 1, .chime = 1},
                      {.permit = 1, .service = 1, .brakeLamp = 1, .latch = 1, .emergencyLamp = 1}});
  Signal(Aspect30Flag);  // code back: the latch stays
  ExpectCycles(0.0f, {{.permit = 1, .service = 1, .brakeLamp = 1, .latch = 1, .emergencyLamp = 1}});
  atc.BrakeAtEmergency = 1;
  ExpectCycles(0.0f, {{.permit = 1, .brakeLamp = 1, .chime = 1}, {.permit = 1}});
  Signal(NoAspect);  // set and cleared again within every cycle
  ExpectCycles(0.0f, {{.permit = 1, .chime = 1}, {.permit = 1, .chime = 1}});
  atc.BrakeAtEmergency = 0;
  ExpectCycles(0.0f, {{.permit = 1, .service = 1, .latch = 1, .emergencyLamp = 1, .chime = 1}});
}

// Power-on in every position, then a rollback: in ATS outside an ATC section
// the latch brakes but its lamp and the service brake stay dark.
TEST_F(AtcTest, RollbackWithReverserForwardLatchesNextCycleInAnyMode) {
  for (const int32_t mode : {ModeRestricted, ModeAts, ModeAtc}) {
    PowerOn(mode, Aspect30Flag);
    const int s = mode != ModeAts;
    ExpectCycles(0.0f, {{.service = s, .chime = 1}, {.permit = 1, .brakeLamp = s, .chime = 1}});
    ExpectCycles(-6.0f, {{.permit = 1},
                         {.permit = 1, .service = s, .latch = 1, .emergencyLamp = s, .chime = 1}});
    EXPECT_EQ(atc.AtcSignalLamp, 0);
    atc.InAtcSection = 1;
    ExpectCycles(-6.0f,
                 {{.permit = 1, .service = 1, .brakeLamp = s, .latch = 1, .emergencyLamp = 1}});
  }
}

// B loses its health alone, then C, which takes the majority with it. A pass
// always leaves the entries equal, so they are set by hand, as a failing
// channel would leave them; each is voted in one cycle and judged the next.
TEST_F(AtcTest, LostHealthStaysLostUntilCutInOrBeaconReset) {
  for (const bool beacon : {false, true}) {
    RunningUnder100();
    atc.ChannelOk = {1, 0, 1};
    ExpectCycles(0.0f, {{.permit = 1}, {.permit = 1}});
    EXPECT_EQ(atc.ChannelHealthy, Bits3({1, 0, 1}));
    atc.ChannelOk = {0, 1, 1};  // votes A 0, B 0 (unhealthy), C 1: one vote grants nothing
    ExpectCycles(0.0f,
                 {{.service = 1, .chime = 1},
                  {.service = 1, .brakeLamp = 1, .latch = 1, .emergencyLamp = 1, .chime = 1}});
    EXPECT_EQ(atc.ChannelHealthy, Bits3({1, 0, 0}));  // votes left: A 1, B 0, C 0
    if (!beacon) {
      // Cut out and in: all taken as healthy, then judged on the votes before
      // the cut-out: A's lone vote costs it its health again, for good.
      atc.CutOutSwitch = 1;
      RunCycle(atc);
      atc.CutOutSwitch = 0;
      ExpectCycles(0.0f, {{.permit = 1, .chime = 1}, {.permit = 1}});
      EXPECT_EQ(atc.ChannelHealthy, Bits3({0, 1, 1}));
      continue;
    }
    atc.BrakeAtEmergency = 1;
    ExpectCycles(0.0f,
                 {{.service = 1, .brakeLamp = 1, .chime = 1}});  // latched and released every cycle
    EXPECT_EQ(atc.ChannelHealthy, Bits3({0, 0, 0}));
    Reset(atc, BeaconReset);
    RunCycle(atc);
    EXPECT_EQ(atc.ChannelHealthy, Bits3({1, 1, 1}));
  }
}

// States no host call brings about, set by hand as a fault would leave them:
// the rollback detector latches only when both its entries saw the rollback,
// and a lost power-up flag withdraws both permit copies, announced, until the
// next first cycle.
TEST_F(AtcTest, RollbackEntriesMustAgreeAndLostPowerUpWithdrawsPermit) {
  for (const std::array<uint8_t, RollbackEntryCount> seen :
       {std::array<uint8_t, RollbackEntryCount>{1, 0}, {0, 1}, {1, 1}}) {
    RunningUnder100();
    atc.RollbackBits = seen;
    const int latch = seen[0] & seen[1];
    ExpectCycles(
        0.0f,
        {{.permit = 1, .service = latch, .latch = latch, .emergencyLamp = latch, .chime = latch}});
  }
  RunningUnder100();
  atc.PoweredUp = 0;
  ExpectCycles(0.0f, {{.service = 1, .chime = 1}, {.service = 1, .brakeLamp = 1}});
  atc.CutOutSwitch = 1;
  RunCycle(atc);
  atc.CutOutSwitch = 0;
  ExpectCycles(0.0f, {{.permit = 1, .chime = 1}});
}

}  // namespace

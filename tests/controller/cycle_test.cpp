// The cycle's timing: overspeed and its release, the cut-out switch, and what
// the two resets leave. (The power-on cycles open every scenario.)
#include <cstddef>
#include <cstring>
#include <limits>
#include <tuple>

#include "atc_fixture.h"

namespace {

// An unknown speed fails every channel, deliberately: the train loses its
// permit as at overspeed rather than keep it.
TEST_F(AtcTest, OverspeedAndNaNSpeedBringServiceBrakeNextCycleReleasedBelowMargin) {
  RunningUnder100();
  ExpectCycles(100.0f, {{.permit = 1}});  // at the limit: within
  ExpectCycles(100.5f, {{.permit = 1}, {.service = 1, .chime = 1}});
  ExpectCycles(99.4f, {{.service = 1, .brakeLamp = 1}});  // inside the margin: not yet
  ExpectCycles(
      99.375f,
      {{.service = 1, .brakeLamp = 1}, {.permit = 1, .brakeLamp = 1, .chime = 1}, {.permit = 1}});
  ExpectCycles(std::numeric_limits<float>::quiet_NaN(),
               {{.permit = 1}, {.service = 1, .chime = 1}});
}

TEST_F(AtcTest, CutOutSwitchesEverythingOffAndCutInIsAFirstCycle) {
  Reset(atc, BeaconReset);  // running, latched, with the restriction switch on
  Signal(Aspect30Flag);
  atc.RestrictSwitch = atc.InAtcSection = 1;
  ExpectCycles(0.0f, {{.permit = 1, .service = 1, .latch = 1, .emergencyLamp = 1, .chime = 1}});
  // Neither decoding nor supervision runs while cut out.
  atc.CutOutSwitch = 1;
  Signal(Aspect36Flag);
  ExpectCycles(150.0f, {{.permit = 1, .chime = 1}, {.permit = 1}});
  EXPECT_EQ(
      std::tie(atc.Active, atc.AtcSignalLamp, atc.RestrictLamp, atc.SpeedStep, atc.SpeedLimit),
      std::tuple(0, 0, 0, 9, 25.0));
  EXPECT_EQ(atc.StepLamps, (std::array<uint32_t, SpeedStepCount>{}));
  // Cut back in: all healthy again, voting the verdicts left before.
  atc.CutOutSwitch = 0;
  Signal(Aspect30Flag);
  ExpectCycles(0.0f, {{.permit = 1, .chime = 1}});
  EXPECT_EQ(atc.ChannelHealthy, Bits3({1, 1, 1}));
  EXPECT_EQ(std::tie(atc.Active, atc.AtcSignalLamp, atc.StepLamps[9]), std::tuple(1, 1, 1u));
}

auto Fields(const AtcController& a) {
  return std::tie(a.SpeedStep, a.LastSignal, a.ChannelOk, a.RollbackBits, a.ChannelHealthy,
                  a.MajorityHealthy, a.PoweredUp, a.PermitA, a.PermitB, a.ChannelVote,
                  a.RollbackSeen, a.RestrictApplied, a.StepFlags, a.SoundRequest, a.SpeedLimit,
                  a.UseAts, a.Use120Signal, a.BrakeAtEmergency, a.BrakeApplied, a.InAtcSection,
                  a.Mode, a.RestrictSwitch, a.CutOutSwitch, a.Active, a.AtcSignalLamp, a.BrakeLamp,
                  a.EmergencyLamp, a.RestrictLamp, a.StepLamps, a.ServiceBrakeCommand,
                  a.EmergencyLatch, a.SoundOut, a.StateRef, a.HandlesRef);
}

// Any kind but the beacon's is a power-on reset.
TEST_F(AtcTest, ResetsKeepOnlyLastAspectOptionsAndReferences) {
  for (const int32_t kind : {PowerOnReset, BeaconReset, 2}) {
    for (const uint8_t useAts : {0, 1}) {
      std::memset(static_cast<void*>(&atc), 1, offsetof(AtcController, StateRef));
      atc.UseAts = useAts;
      AtcController want;  // as constructed, but for what a reset keeps
      want.LastSignal = atc.LastSignal;
      want.UseAts = useAts;
      want.Use120Signal = atc.Use120Signal;
      want.Mode = useAts ? ModeAts : ModeRestricted;
      want.StateRef = atc.StateRef;
      want.HandlesRef = atc.HandlesRef;
      if (kind == BeaconReset) {  // running in ATC, healthy, with a rollback seen
        want.ChannelOk = want.ChannelHealthy = want.ChannelVote = {1, 1, 1};
        want.RollbackBits = want.RollbackSeen = {1, 1};
        want.MajorityHealthy = want.PoweredUp = want.PermitA = want.PermitB = 1;
        want.Mode = ModeAtc;
        want.Active = want.AtcSignalLamp = 1;
      }
      Reset(atc, kind);
      EXPECT_EQ(Fields(atc), Fields(want)) << "kind " << kind << ", UseAts " << int{useAts};
    }
  }
}

}  // namespace

// The cycle's timing: power-on, overspeed and its release, the cut-out switch,
// the hand-over of sound requests, and what the two resets leave.
#include <cstddef>
#include <cstring>
#include <tuple>

#include "atc_fixture.h"

namespace {

using Sounds = std::array<int32_t, SoundSlotCount>;
constexpr Sounds AllContinue{SOUND_CONTINUE, SOUND_CONTINUE, SOUND_CONTINUE};

TEST_F(AtcTest, PowerOnGrantsPermitOnSecondCycleAndLampFollowsOneLate) {
  for (const int32_t mode : {ModeRestricted, ModeAts}) {
    SCOPED_TRACE(mode);
    PowerOn(mode);
    Cycle();
    EXPECT_EQ(atc.SoundOut, (Sounds{SOUND_PLAY, SOUND_STOP, SOUND_STOP}));
    EXPECT_EQ(atc.SpeedLimit, 25.0);
    EXPECT_EQ(atc.ChannelHealthy, Bits3({1, 1, 1}));
    // In ATS outside an ATC section the ATC neither brakes nor lights a lamp.
    const int s = mode == ModeAts ? 0 : 1;
    EXPECT_EQ(Now(), (Outputs{0, s, 0, 0, 0, 1}));
    ExpectCycles(0.0f, {{1, 0, s, 0, 0, 1}, {1, 0, 0, 0, 0, 0}});
    EXPECT_EQ(atc.SoundOut, AllContinue);
    EXPECT_EQ(atc.AtcSignalLamp, 0);
  }
}

TEST_F(AtcTest, OverspeedBringsServiceBrakeNextCycleAndReleasesBelowMargin) {
  RunningUnder100();
  ASSERT_EQ(atc.SpeedLimit, 100.0);
  ExpectCycles(100.0f, {{1, 0, 0, 0, 0, 0}});  // at the limit: within
  ExpectCycles(100.5f, {{1, 0, 0, 0, 0, 0}, {0, 1, 0, 0, 0, 1}});
  ExpectCycles(99.4f, {{0, 1, 1, 0, 0, 0}});  // inside the margin: not yet
  ExpectCycles(99.375f, {{0, 1, 1, 0, 0, 0}, {1, 0, 1, 0, 0, 1}, {1, 0, 0, 0, 0, 0}});
}

// An unknown speed fails every channel, deliberately: the train loses its
// permit as at overspeed rather than keep it. It is no rollback.
TEST_F(AtcTest, NaNSpeedBringsServiceBrakeNextCycle) {
  RunningUnder100();
  ExpectCycles(NaNSpeed, {{1, 0, 0, 0, 0, 0}, {0, 1, 0, 0, 0, 1}, {0, 1, 1, 0, 0, 0}});
}

TEST_F(AtcTest, CutOutSwitchesEverythingOffAndCutInIsAFirstCycle) {
  // Running with the emergency latch set and the restriction switch on.
  Reset(atc, BeaconReset);
  Signal(Aspect30Flag);
  atc.InAtcSection = 1;
  atc.RestrictSwitch = 1;
  Cycle(0.0f, 2);
  ASSERT_EQ(Now(), (Outputs{1, 1, 1, 1, 1, 0}));
  ASSERT_EQ(atc.RestrictLamp, 1);
  ASSERT_EQ(atc.StepLamps[9], 1u);
  ASSERT_EQ(atc.SpeedLimit, 25.0);

  // Neither decoding nor supervision runs while cut out.
  atc.CutOutSwitch = 1;
  atc.RestrictSwitch = 0;
  Signal(Aspect36Flag);
  ExpectCycles(150.0f, {{1, 0, 0, 0, 0, 1}, {1, 0, 0, 0, 0, 0}});
  EXPECT_EQ(std::tie(atc.Active, atc.AtcSignalLamp, atc.RestrictLamp), std::tuple(0, 0, 0));
  EXPECT_EQ(atc.StepLamps, (std::array<uint32_t, SpeedStepCount>{}));
  EXPECT_EQ(atc.SpeedStep, 9);
  EXPECT_EQ(atc.SpeedLimit, 25.0);

  // Cut back in: all healthy again, voting the verdicts left before.
  atc.CutOutSwitch = 0;
  Signal(Aspect30Flag);
  ExpectCycles(0.0f, {{1, 0, 0, 0, 0, 1}});
  EXPECT_EQ(atc.ChannelHealthy, Bits3({1, 1, 1}));
  EXPECT_EQ(std::tie(atc.Active, atc.AtcSignalLamp, atc.StepLamps[9]), std::tuple(1, 1, 1u));
}

TEST_F(AtcTest, SoundRequestsReachSoundOutForOneCycle) {
  RunningUnder100();
  for (const uint8_t cutOut : {0, 1}) {
    atc.CutOutSwitch = cutOut;
    atc.SoundRequest = {SOUND_CONTINUE, SOUND_PLAY, SOUND_PLAY};
    Cycle();  // the first cut-out cycle announces itself
    EXPECT_EQ(atc.SoundOut, (Sounds{cutOut ? SOUND_PLAY : SOUND_CONTINUE, SOUND_PLAY, SOUND_PLAY}));
    Cycle();
    EXPECT_EQ(atc.SoundOut, AllContinue);
  }
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

// Every field zero but the sounds, which say stop, and what a reset keeps.
AtcController PoweredOn(const AtcController& kept) {
  AtcController want;
  std::memset(static_cast<void*>(&want), 0, offsetof(AtcController, StateRef));
  want.SoundRequest = want.SoundOut = {SOUND_STOP, SOUND_STOP, SOUND_STOP};
  want.LastSignal = kept.LastSignal;
  want.UseAts = kept.UseAts;
  want.Use120Signal = kept.Use120Signal;
  want.Mode = kept.UseAts ? ModeAts : ModeRestricted;
  want.StateRef = kept.StateRef;
  want.HandlesRef = kept.HandlesRef;
  return want;
}

TEST_F(AtcTest, ResetsKeepOnlyLastAspectOptionsAndReferences) {
  EXPECT_EQ(Fields(AtcController{}), Fields(PoweredOn(AtcController{})));
  // Any kind but the beacon's is a power-on reset.
  for (const int32_t kind : {PowerOnReset, BeaconReset, 2, -1}) {
    for (const uint8_t useAts : {0, 1}) {
      SCOPED_TRACE(testing::Message() << "kind " << kind << ", UseAts " << int{useAts});
      std::memset(static_cast<void*>(&atc), 1, offsetof(AtcController, StateRef));
      atc.UseAts = useAts;
      AtcController want = PoweredOn(atc);
      if (kind == BeaconReset) {  // running in ATC, healthy, with a rollback seen
        want.ChannelOk = want.ChannelHealthy = want.ChannelVote = {1, 1, 1};
        want.RollbackBits = want.RollbackSeen = {1, 1};
        want.MajorityHealthy = want.PoweredUp = want.PermitA = want.PermitB = 1;
        want.Mode = ModeAtc;
        want.Active = want.AtcSignalLamp = 1;
      }
      Reset(atc, kind);
      EXPECT_EQ(Fields(atc), Fields(want));
    }
  }
}

}  // namespace

// What construction and the two resets leave in every field of the record.
#include "atc_fixture.h"

namespace {

constexpr std::array<int32_t, SoundSlotCount> AllStop{SOUND_STOP, SOUND_STOP, SOUND_STOP};

// Every field away from its reset value; the fields a reset must keep carry
// values of their own.
void MakeDirty(AtcController& atc) {
  atc.SpeedStep = 7;
  atc.LastSignal = 25;
  atc.ChannelOk = {1, 0, 1};
  atc.RollbackBits = {1, 0};
  atc.ChannelHealthy = {0, 1, 0};
  atc.MajorityHealthy = 1;
  atc.PoweredUp = 1;
  atc.PermitA = 1;
  atc.PermitB = 1;
  atc.ChannelVote = {1, 0, 1};
  atc.RollbackSeen = {0, 1};
  atc.RestrictApplied = 1;
  atc.StepFlags.fill(0);
  atc.StepFlags[4] = 1;
  atc.SoundRequest = {SOUND_PLAY, SOUND_CONTINUE, SOUND_PLAY};
  atc.SpeedLimit = 75.0;
  atc.UseAts = 1;
  atc.Use120Signal = 1;
  atc.BrakeAtEmergency = 1;
  atc.BrakeApplied = 1;
  atc.InAtcSection = 1;
  atc.Mode = ModeAtc;
  atc.RestrictSwitch = 1;
  atc.CutOutSwitch = 1;
  atc.Active = 1;
  atc.AtcSignalLamp = 1;
  atc.BrakeLamp = 1;
  atc.EmergencyLamp = 1;
  atc.RestrictLamp = 1;
  atc.StepLamps.fill(1);
  atc.ServiceBrakeCommand = 1;
  atc.EmergencyLatch = 1;
  atc.SoundOut = {SOUND_PLAY, SOUND_PLAY, SOUND_CONTINUE};
}

// The fields that both resets set; `running` selects the beacon reset's
// values (healthy, permitted, active) over the power-on ones.
void ExpectResetFields(const AtcController& atc, bool running, int32_t mode) {
  const uint8_t r = running ? 1 : 0;
  EXPECT_EQ(atc.SpeedStep, 0);
  EXPECT_EQ(atc.ChannelOk, Bits3({r, r, r}));
  EXPECT_EQ(atc.RollbackBits, Bits2({r, r}));
  EXPECT_EQ(atc.ChannelHealthy, Bits3({r, r, r}));
  EXPECT_EQ(atc.MajorityHealthy, r);
  EXPECT_EQ(atc.PoweredUp, r);
  EXPECT_EQ(atc.PermitA, r);
  EXPECT_EQ(atc.PermitB, r);
  EXPECT_EQ(atc.ChannelVote, Bits3({r, r, r}));
  EXPECT_EQ(atc.RollbackSeen, Bits2({r, r}));
  EXPECT_EQ(atc.RestrictApplied, 0);
  EXPECT_EQ(atc.StepFlags, (std::array<uint8_t, StepFlagCount>{}));
  EXPECT_EQ(atc.SoundRequest, AllStop);
  EXPECT_EQ(atc.SpeedLimit, 0.0);
  EXPECT_EQ(atc.BrakeAtEmergency, 0);
  EXPECT_EQ(atc.BrakeApplied, 0);
  EXPECT_EQ(atc.InAtcSection, 0);
  EXPECT_EQ(atc.Mode, mode);
  EXPECT_EQ(atc.RestrictSwitch, 0);
  EXPECT_EQ(atc.CutOutSwitch, 0);
  EXPECT_EQ(atc.Active, r);
  EXPECT_EQ(atc.AtcSignalLamp, r);
  EXPECT_EQ(atc.BrakeLamp, 0);
  EXPECT_EQ(atc.EmergencyLamp, 0);
  EXPECT_EQ(atc.RestrictLamp, 0);
  EXPECT_EQ(atc.StepLamps, (std::array<uint32_t, SpeedStepCount>{}));
  EXPECT_EQ(atc.ServiceBrakeCommand, 0);
  EXPECT_EQ(atc.EmergencyLatch, 0);
  EXPECT_EQ(atc.SoundOut, AllStop);
}

}  // namespace

TEST(AtcConstruction, StartsInactiveWithNothingLatched) {
  const AtcController atc;
  ExpectResetFields(atc, false, ModeRestricted);
  EXPECT_EQ(atc.LastSignal, 0);
  EXPECT_EQ(atc.UseAts, 0);
  EXPECT_EQ(atc.Use120Signal, 0);
  EXPECT_EQ(atc.StateRef, nullptr);
  EXPECT_EQ(atc.HandlesRef, nullptr);
}

TEST_F(AtcTest, PowerOnResetClearsEverythingButConfigurationAndReferences) {
  // Every kind other than the beacon's is a power-on reset.
  for (const int32_t kind : {PowerOnReset, 2, -1}) {
    for (const uint8_t useAts : {0, 1}) {
      SCOPED_TRACE(testing::Message() << "kind " << kind << ", UseAts " << int{useAts});
      MakeDirty(atc);
      atc.UseAts = useAts;
      Reset(atc, kind);
      ExpectResetFields(atc, false, useAts ? ModeAts : ModeRestricted);
      EXPECT_EQ(atc.LastSignal, 25);
      EXPECT_EQ(atc.UseAts, useAts);
      EXPECT_EQ(atc.Use120Signal, 1);
      EXPECT_EQ(atc.StateRef, &state);
      EXPECT_EQ(atc.HandlesRef, &handles);
    }
  }
}

TEST_F(AtcTest, BeaconResetLeavesHealthyPermittedAtcWithRollbackSeen) {
  for (const uint8_t useAts : {0, 1}) {
    SCOPED_TRACE(testing::Message() << "UseAts " << int{useAts});
    MakeDirty(atc);
    // Away from the values the beacon reset sets to 1 as well.
    atc.ChannelOk = {0, 1, 0};
    atc.MajorityHealthy = atc.PoweredUp = atc.PermitA = atc.PermitB = 0;
    atc.Active = atc.AtcSignalLamp = 0;
    atc.Mode = ModeRestricted;
    atc.UseAts = useAts;
    Reset(atc, BeaconReset);
    ExpectResetFields(atc, true, ModeAtc);
    EXPECT_EQ(atc.LastSignal, 25);
    EXPECT_EQ(atc.UseAts, useAts);
    EXPECT_EQ(atc.Use120Signal, 1);
    EXPECT_EQ(atc.StateRef, &state);
    EXPECT_EQ(atc.HandlesRef, &handles);
  }
}

// The cycle's timing: power-on, overspeed and its release, the cut-out switch
// and the hand-over of sound requests.
#include "atc_fixture.h"

namespace {

constexpr std::array<int32_t, SoundSlotCount> AllContinue{SOUND_CONTINUE, SOUND_CONTINUE,
                                                          SOUND_CONTINUE};

TEST_F(AtcTest, PowerOnGrantsPermitOnSecondCycle) {
  PowerOn(ModeRestricted);

  Cycle(0.0f);
  EXPECT_EQ(atc.SoundOut,
            (std::array<int32_t, SoundSlotCount>{SOUND_PLAY, SOUND_STOP, SOUND_STOP}));
  EXPECT_EQ(atc.PermitA, 0);
  EXPECT_EQ(atc.ServiceBrakeCommand, 1);
  EXPECT_EQ(atc.BrakeLamp, 0);
  EXPECT_EQ(atc.EmergencyLatch, 0);
  EXPECT_EQ(atc.SpeedLimit, 25.0);
  EXPECT_EQ(atc.StepLamps, (std::array<uint32_t, SpeedStepCount>{}));
  EXPECT_EQ(atc.Active, 1);
  EXPECT_EQ(atc.ChannelHealthy, Bits3({1, 1, 1}));

  Cycle(0.0f);
  EXPECT_EQ(atc.PermitA, 1);
  EXPECT_EQ(atc.PermitB, 1);
  EXPECT_EQ(atc.SoundOut,
            (std::array<int32_t, SoundSlotCount>{SOUND_PLAY, SOUND_CONTINUE, SOUND_CONTINUE}));
  EXPECT_EQ(atc.ServiceBrakeCommand, 0);
  EXPECT_EQ(atc.BrakeLamp, 1);

  Cycle(0.0f);
  EXPECT_EQ(atc.BrakeLamp, 0);
  EXPECT_EQ(atc.SoundOut, AllContinue);
}

TEST_F(AtcTest, PowerOnInAtsOutsideAtcSectionKeepsBrakeOff) {
  PowerOn(ModeAts);
  for (int cycle = 1; cycle <= 3; ++cycle) {
    Cycle(0.0f);
    SCOPED_TRACE(testing::Message() << "cycle " << cycle);
    EXPECT_EQ(atc.PermitA, cycle == 1 ? 0 : 1);
    EXPECT_EQ(atc.ServiceBrakeCommand, 0);
    EXPECT_EQ(atc.BrakeLamp, 0);
    EXPECT_EQ(atc.EmergencyLamp, 0);
    EXPECT_EQ(atc.AtcSignalLamp, 0);
  }
}

TEST_F(AtcTest, OverspeedBringsServiceBrakeNextFrameAndLampTheFrameAfter) {
  RunningUnder100();
  ASSERT_EQ(atc.SpeedStep, 9);
  ASSERT_EQ(atc.SpeedLimit, 100.0);

  Cycle(100.0f);  // at the limit: still within
  EXPECT_EQ(atc.ChannelOk, Bits3({1, 1, 1}));

  Cycle(100.5f);  // measured, not yet acted on
  EXPECT_EQ(atc.ChannelOk, Bits3({0, 0, 0}));
  EXPECT_EQ(atc.PermitA, 1);
  EXPECT_EQ(atc.ServiceBrakeCommand, 0);
  EXPECT_FALSE(ChangeSound());

  Cycle(100.5f);
  EXPECT_EQ(atc.PermitA, 0);
  EXPECT_EQ(atc.PermitB, 0);
  EXPECT_EQ(atc.ServiceBrakeCommand, 1);
  EXPECT_TRUE(ChangeSound());
  EXPECT_EQ(atc.BrakeLamp, 0);
  EXPECT_EQ(atc.EmergencyLatch, 0);

  Cycle(99.4f);  // inside the hysteresis margin: not yet within
  EXPECT_EQ(atc.BrakeLamp, 1);
  EXPECT_EQ(atc.ChannelOk, Bits3({0, 0, 0}));
  EXPECT_FALSE(ChangeSound());

  Cycle(99.375f);  // within again, acted on next frame
  EXPECT_EQ(atc.ChannelOk, Bits3({1, 1, 1}));
  EXPECT_EQ(atc.ServiceBrakeCommand, 1);

  Cycle(99.375f);
  EXPECT_EQ(atc.PermitA, 1);
  EXPECT_EQ(atc.ServiceBrakeCommand, 0);
  EXPECT_TRUE(ChangeSound());
  EXPECT_EQ(atc.BrakeLamp, 1);

  Cycle(99.375f);
  EXPECT_EQ(atc.BrakeLamp, 0);
}

TEST_F(AtcTest, NaNSpeedBringsServiceBrakeNextFrame) {
  RunningUnder100();
  Cycle(NaNSpeed);
  EXPECT_EQ(atc.ChannelOk, Bits3({0, 0, 0}));
  EXPECT_EQ(atc.RollbackBits, Bits2({0, 0}));
  EXPECT_EQ(atc.ServiceBrakeCommand, 0);

  Cycle(NaNSpeed);
  EXPECT_EQ(atc.PermitA, 0);
  EXPECT_EQ(atc.ServiceBrakeCommand, 1);
  EXPECT_TRUE(ChangeSound());
  EXPECT_EQ(atc.EmergencyLatch, 0);  // NaN is no rollback
}

TEST_F(AtcTest, CutOutSwitchesOffAndFreezesLimit) {
  // Running with the emergency latch set, the restriction switch on and the
  // brake lamp lit.
  Reset(atc, BeaconReset);
  Signal(Aspect30Flag);
  atc.InAtcSection = 1;
  atc.RestrictSwitch = 1;
  Cycle(0.0f);
  Cycle(0.0f);
  ASSERT_EQ(atc.EmergencyLatch, 1);
  ASSERT_EQ(atc.BrakeLamp, 1);
  ASSERT_EQ(atc.EmergencyLamp, 1);
  ASSERT_EQ(atc.RestrictLamp, 1);
  ASSERT_EQ(atc.StepLamps[9], 1u);
  ASSERT_EQ(atc.SpeedLimit, 25.0);

  // Neither decoding nor supervision runs while cut out.
  atc.CutOutSwitch = 1;
  atc.RestrictSwitch = 0;
  Signal(Aspect36Flag);
  Cycle(150.0f);
  EXPECT_TRUE(ChangeSound());
  EXPECT_EQ(atc.Active, 0);
  EXPECT_EQ(atc.AtcSignalLamp, 0);
  EXPECT_EQ(atc.BrakeLamp, 0);
  EXPECT_EQ(atc.EmergencyLamp, 0);
  EXPECT_EQ(atc.RestrictLamp, 0);
  EXPECT_EQ(atc.StepLamps, (std::array<uint32_t, SpeedStepCount>{}));
  EXPECT_EQ(atc.ServiceBrakeCommand, 0);
  EXPECT_EQ(atc.EmergencyLatch, 0);
  EXPECT_EQ(atc.SpeedStep, 9);
  EXPECT_EQ(atc.SpeedLimit, 25.0);
  EXPECT_EQ(atc.ChannelOk, Bits3({1, 1, 1}));
  EXPECT_EQ(atc.PermitA, 1);

  Cycle(150.0f);
  EXPECT_FALSE(ChangeSound());
  EXPECT_EQ(atc.Active, 0);
  EXPECT_EQ(atc.SpeedLimit, 25.0);
}

TEST_F(AtcTest, CutInIsFirstCycleVotingVerdictsLeftBeforeCutOut) {
  RunningUnder100();
  atc.CutOutSwitch = 1;
  Cycle(0.0f);
  Cycle(0.0f);

  atc.CutOutSwitch = 0;
  Cycle(0.0f);
  EXPECT_TRUE(ChangeSound());
  EXPECT_EQ(atc.Active, 1);
  EXPECT_EQ(atc.PoweredUp, 1);
  EXPECT_EQ(atc.ChannelHealthy, Bits3({1, 1, 1}));
  EXPECT_EQ(atc.PermitA, 1);  // the verdicts of the last pass before the cut-out
  EXPECT_EQ(atc.ServiceBrakeCommand, 0);
  EXPECT_EQ(atc.StepLamps[9], 1u);
  EXPECT_EQ(atc.AtcSignalLamp, 1);
}

TEST_F(AtcTest, SoundRequestsReachSoundOutForOneCycle) {
  RunningUnder100();
  atc.SoundRequest = {SOUND_PLAY, SOUND_PLAY, SOUND_PLAY};
  Cycle(0.0f);
  EXPECT_EQ(atc.SoundOut,
            (std::array<int32_t, SoundSlotCount>{SOUND_PLAY, SOUND_PLAY, SOUND_PLAY}));
  EXPECT_EQ(atc.SoundRequest, AllContinue);
  Cycle(0.0f);
  EXPECT_EQ(atc.SoundOut, AllContinue);

  // The cut-out path hands requests over as well.
  atc.SoundRequest[AtcCodeSoundSlot] = SOUND_PLAY;
  atc.CutOutSwitch = 1;
  Cycle(0.0f);
  EXPECT_EQ(atc.SoundOut,
            (std::array<int32_t, SoundSlotCount>{SOUND_PLAY, SOUND_PLAY, SOUND_CONTINUE}));
  Cycle(0.0f);
  EXPECT_EQ(atc.SoundOut, AllContinue);
}

}  // namespace

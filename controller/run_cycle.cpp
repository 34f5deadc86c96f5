#include "atc_controller.h"
#include "speed_steps.h"

namespace {

// Several requests in one cycle amount to one.
void RequestChangeSound(AtcController& atc) { atc.SoundRequest[ChangeSoundSlot] = SOUND_PLAY; }

void ClearCommandsAndLamps(AtcController& atc) {
  atc.Active = 0;
  atc.AtcSignalLamp = 0;
  atc.BrakeLamp = 0;
  atc.EmergencyLamp = 0;
  atc.RestrictLamp = 0;
  atc.StepLamps.fill(0);
  atc.ServiceBrakeCommand = 0;
  atc.EmergencyLatch = 0;
}

// Cut-out: the ATC is switched off and lets the driver's handles through. The
// supervision does not run, and the limit, step, mode, channel verdicts, health
// and permits stay as they were, to be voted again when the ATC is cut back in.
void RunCutOutCycle(AtcController& atc) {
  // Only the first cut-out frame after running announces the change.
  if (atc.Active == 1) {
    RequestChangeSound(atc);
  }
  ClearCommandsAndLamps(atc);
}

using ChannelFlags = std::array<uint8_t, ChannelCount>;

// The channel flags hold 0 or 1, so that the bitwise operators below combine
// them as the logical ones would, without a branch for each flag.
// Two or more: A and B, or C with either of them.
uint8_t TwoOrMoreSet(const ChannelFlags& flags) {
  return (flags[ChannelA] & flags[ChannelB]) |
         (flags[ChannelC] & (flags[ChannelA] | flags[ChannelB]));
}

// The first normal cycle after power-on or a cut-out restores every
// channel's health; any later cycle carries the health latches forward.
ChannelFlags HealthBeforeTest(AtcController& atc) {
  if (atc.Active == 0) [[unlikely]] {
    atc.PoweredUp = 1;
    RequestChangeSound(atc);
    return {1, 1, 1};
  }
  return atc.ChannelHealthy;
}

// A channel stays healthy while its previous vote agrees with at least one
// sibling's. A channel that loses its health keeps it lost until the next
// first cycle or beacon reset.
void JudgeChannelHealth(AtcController& atc, const ChannelFlags& wasHealthy) {
  const ChannelFlags vote = atc.ChannelVote;
  // A vote of 0 or 1 that differs from both siblings' is alone.
  const auto agrees = [&](int ch, int sib1, int sib2) {
    return !((vote[ch] ^ vote[sib1]) & (vote[ch] ^ vote[sib2]));
  };
  atc.ChannelHealthy[ChannelA] = wasHealthy[ChannelA] & agrees(ChannelA, ChannelB, ChannelC);
  atc.ChannelHealthy[ChannelB] = wasHealthy[ChannelB] & agrees(ChannelB, ChannelA, ChannelC);
  atc.ChannelHealthy[ChannelC] = wasHealthy[ChannelC] & agrees(ChannelC, ChannelA, ChannelB);
}

// The verdicts voted are those of the previous frame's supervision pass:
// this cycle's pass runs only after the limit of this frame is known.
void CastVotes(AtcController& atc) {
  for (int ch = 0; ch < ChannelCount; ++ch) {
    atc.ChannelVote[ch] = atc.ChannelOk[ch] & atc.ChannelHealthy[ch];
  }
}

// Two copies of the permit, evaluated alike; the service brake is released
// only while both hold.
uint8_t EvaluatePermit(const AtcController& atc) {
  return atc.PoweredUp & atc.MajorityHealthy & TwoOrMoreSet(atc.ChannelVote);
}

// The limit of the decoded step, capped in the restricted and ATS
// positions (0 and 15 km/h stay), and forced to 25 km/h by the restriction
// switch in every position and at every step.
void SetLimitAndStepLamps(AtcController& atc) {
  atc.StepLamps.fill(0);
  if (atc.Mode == ModeAtc) {
    atc.StepLamps[atc.SpeedStep] = 1;
  }
  double limit = SpeedStepLimitKmh(atc.SpeedStep, atc.Use120Signal);
  if ((atc.Mode == ModeRestricted || atc.Mode == ModeAts) && limit > RestrictedLimitKmh) {
    limit = RestrictedLimitKmh;
  }
  if (atc.RestrictApplied) {
    limit = RestrictedLimitKmh;
  }
  atc.SpeedLimit = limit;
}

// The emergency brake latches on: no ATC code or the 0 km/h stop aspect in
// ATC without the restriction switch; a lost healthy majority; or a rollback
// seen by both detector entries in the previous pass.
void LatchEmergencyOnTrigger(AtcController& atc) {
  // The steps that hold the train, one bit each: a single test for both.
  constexpr uint32_t stopSteps = (1U << SpeedStepNoCode) | (1U << SpeedStepStop);
  const bool stopStep = ((stopSteps >> atc.SpeedStep) & 1U) != 0;
  const bool trigger = (stopStep && !atc.RestrictApplied && atc.Mode == ModeAtc) ||
                       !atc.MajorityHealthy || (atc.RollbackSeen[0] && atc.RollbackSeen[1]);
  if (trigger) {
    if (!atc.EmergencyLatch) {
      RequestChangeSound(atc);
    }
    atc.EmergencyLatch = 1;
  }
}

// The driver's brake at the emergency notch releases the latch. It runs
// after the trigger, so while the handle is held there the latch ends every
// cycle clear, even with the trigger holding.
void ReleaseEmergencyByDriver(AtcController& atc) {
  if (atc.BrakeAtEmergency) {
    if (atc.EmergencyLatch) {
      RequestChangeSound(atc);
    }
    atc.EmergencyLatch = 0;
  }
}

// In the ATS position outside an ATC section the ATC's service brake and
// lamps stay off; the emergency latch keeps its value and still brakes the
// train. Elsewhere the brake lamp follows the command one cycle late.
void CommandServiceBrake(AtcController& atc) {
  if (atc.Mode == ModeAts && !atc.InAtcSection) {
    atc.BrakeLamp = 0;
    atc.EmergencyLamp = 0;
    atc.ServiceBrakeCommand = 0;
    return;
  }
  atc.BrakeLamp = atc.ServiceBrakeCommand;
  atc.EmergencyLamp = atc.EmergencyLatch;
  // Both permit copies are evaluated from the same votes in the same cycle, so
  // the second is never clear while the first is set; it guards against a
  // copy that a fault corrupts, which no test can bring about.
  const bool bothPermits = atc.PermitA & atc.PermitB;
  atc.ServiceBrakeCommand = atc.EmergencyLatch | !bothPermits;
}

// Each step reads what the steps before it decided. The channels' health is
// judged on the verdicts the last supervision pass left, and only healthy
// channels vote; both permits follow from the votes. The rollback and the
// restriction switch are sampled once, before anything reads them. The step,
// its limit and the latch's triggers (no code or the stop step, a lost
// majority, a rollback both channels saw) come next; the driver's release
// follows the trigger, so a handle held at emergency wins; the service brake
// after both, as the latch overrides it. The permit's sound and the lamps
// come last, showing what this cycle decided.
void RunNormalCycle(AtcController& atc) {
  const uint8_t permitOnEntry = atc.PermitA;
  const ChannelFlags wasHealthy = HealthBeforeTest(atc);
  JudgeChannelHealth(atc, wasHealthy);
  atc.MajorityHealthy = TwoOrMoreSet(atc.ChannelHealthy);
  CastVotes(atc);
  atc.PermitA = EvaluatePermit(atc);
  atc.PermitB = EvaluatePermit(atc);
  // Sampled before this cycle's supervision pass overwrites them.
  atc.RollbackSeen = atc.RollbackBits;
  atc.RestrictApplied = atc.RestrictSwitch;
  atc.SpeedStep = DecodeSpeedStep(atc.StepFlags);
  SetLimitAndStepLamps(atc);
  LatchEmergencyOnTrigger(atc);
  ReleaseEmergencyByDriver(atc);
  CommandServiceBrake(atc);
  // Granting and losing the permit are both announced.
  if (atc.PermitA != permitOnEntry) {
    RequestChangeSound(atc);
  }
  atc.Active = 1;
  atc.RestrictLamp = atc.RestrictApplied;
  atc.AtcSignalLamp = atc.InAtcSection;
}

// Each request reaches the host in exactly one frame; later frames carry
// "continue" until the next request.
void HandOverSounds(AtcController& atc) {
  atc.SoundOut = atc.SoundRequest;
  atc.SoundRequest.fill(SOUND_CONTINUE);
}

}  // namespace

// The supervision pass of a normal cycle comes last: its verdicts are voted in
// the next cycle, and nothing in this one reads them.
void RunCycle(AtcController& atc) {
  if (atc.CutOutSwitch) {
    RunCutOutCycle(atc);
    HandOverSounds(atc);
    return;
  }
  RunNormalCycle(atc);
  HandOverSounds(atc);
  SuperviseSpeed(atc);
}

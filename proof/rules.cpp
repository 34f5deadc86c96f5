// The rules checked after every call and every frame, what they expect of
// the panel and the sounds, and the history they read.
#include "rules.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "alphabet.h"
#include "module_records.h"
#include "published_numbers.h"
#include "state_abstraction.h"

namespace proof {

namespace {

// Where rule 6 lets the frame step write, written out here on purpose as an
// independent check of published_numbers.h, which the plug-in writes by: the
// trains' panel and sound files are wired to these numbers, so a change there
// must be made here too, by hand, or the build stops.
constexpr int ExpectedPanelLamps[] = {33, 34, 35, 52, 53, 56, 57, 58, 59, 70,
                                      71, 74, 76, 80, 82, 84, 86, 89, 91, 93};
constexpr int ExpectedPanelLimit = 72, ExpectedPanelAtsRunning = 247, ExpectedPanelAtsReady = 249;
constexpr int ExpectedSoundIndices[SoundSlotCount] = {5, 110, 111};

constexpr int PublishedModeAndBrakeLamps[] = {PanelModeAts, PanelModeAtc,   PanelModeRestricted,
                                              PanelActive,  PanelAtcSignal, PanelRestrict,
                                              PanelBrake,   PanelEmergency, PanelCutOut};
constexpr bool ExpectedPanelIsPublished() {
  const int* stepLamps = std::begin(ExpectedPanelLamps) + std::size(PublishedModeAndBrakeLamps);
  return std::size(ExpectedPanelLamps) ==
             std::size(PublishedModeAndBrakeLamps) + std::size(PanelStepLamp) &&
         std::equal(std::begin(PublishedModeAndBrakeLamps), std::end(PublishedModeAndBrakeLamps),
                    std::begin(ExpectedPanelLamps)) &&
         std::equal(std::begin(PanelStepLamp), std::end(PanelStepLamp), stepLamps) &&
         ExpectedPanelLimit == PanelSpeedLimit && ExpectedPanelAtsRunning == PanelAtsRunning &&
         ExpectedPanelAtsReady == PanelAtsReady &&
         std::equal(std::begin(SoundIndex), std::end(SoundIndex), std::begin(ExpectedSoundIndices),
                    std::end(ExpectedSoundIndices));
}
static_assert(ExpectedPanelIsPublished(), "published_numbers.h moved a panel or sound index");

// What the frame step may write at each panel index.
enum PanelKind : uint8_t { PanelNever, PanelLamp, PanelNumber, PanelAtsLamp, PanelOnlyLit };
std::array<PanelKind, PanelLength> MakePanelKinds() {
  std::array<PanelKind, PanelLength> kinds{};
  for (const int p : ExpectedPanelLamps)
    kinds[p] = PanelLamp;
  kinds[ExpectedPanelLimit] = PanelNumber;
  kinds[ExpectedPanelAtsRunning] = PanelAtsLamp;
  kinds[ExpectedPanelAtsReady] = PanelOnlyLit;
  return kinds;
}
const std::array<PanelKind, PanelLength> PanelKinds = MakePanelKinds();

bool IsFlag(uint8_t v) { return v <= 1; }
bool IsLamp(int64_t v) { return v == 0 || v == 1; }
bool IsSound(int32_t v) { return v == SOUND_STOP || v == SOUND_PLAY || v == SOUND_CONTINUE; }
bool AtcSpeedAspect(int32_t a) {
  const AspectRow* row = FindAspect(a);
  return row != nullptr && row->AtcCode;
}

}  // namespace

// The fields every normal cycle writes before it reads them may hold another
// path's values between frames (the checker restores only what a call can
// read), so relations that involve them are checked right after a normal
// frame.
int CheckRanges(bool afterFrame) {
  const AtcController& c = Module.Controller;
  RULE(StateRanges, c.Mode >= ModeRestricted && c.Mode <= ModeAtc);
  int flags = 0;
  for (const uint8_t f : c.StepFlags) {
    RULE(StateRanges, IsFlag(f));
    flags += f;
  }
  RULE(StateRanges, flags <= 1);
  RULE(StateRanges, c.SpeedStep >= 0 && c.SpeedStep < SpeedStepCount);
  int lamps = 0;
  for (const uint32_t l : c.StepLamps) {
    RULE(StateRanges, l <= 1);
    lamps += static_cast<int>(l);
  }
  RULE(StateRanges, lamps <= 1);
  for (int ch = 0; ch < ChannelCount; ++ch) {
    RULE(StateRanges,
         IsFlag(c.ChannelOk[ch]) && IsFlag(c.ChannelHealthy[ch]) && IsFlag(c.ChannelVote[ch]));
  }
  for (int i = 0; i < RollbackEntryCount; ++i) {
    RULE(StateRanges, IsFlag(c.RollbackBits[i]) && IsFlag(c.RollbackSeen[i]));
  }
  RULE(StateRanges, IsFlag(c.MajorityHealthy) && IsFlag(c.PoweredUp) && IsFlag(c.PermitA) &&
                        IsFlag(c.PermitB) && IsFlag(c.RestrictApplied) && IsFlag(c.UseAts) &&
                        IsFlag(c.Use120Signal) && IsFlag(c.BrakeAtEmergency) &&
                        IsFlag(c.BrakeApplied) && IsFlag(c.InAtcSection) &&
                        IsFlag(c.RestrictSwitch) && IsFlag(c.CutOutSwitch) &&
                        IsFlag(c.ServiceBrakeCommand) && IsFlag(c.EmergencyLatch));
  RULE(StateRanges, IsLamp(c.Active) && IsLamp(c.AtcSignalLamp) && IsLamp(c.BrakeLamp) &&
                        IsLamp(c.EmergencyLamp) && IsLamp(c.RestrictLamp));
  RULE(StateRanges, c.PoweredUp || c.Active == 0);
  for (int s = 0; s < SoundSlotCount; ++s) {
    RULE(StateRanges, IsSound(c.SoundRequest[s]) && IsSound(c.SoundOut[s]));
  }
  bool knownLimit = false;
  for (const double l : LimitsKmh)
    knownLimit = knownLimit || c.SpeedLimit == l;
  RULE(StateRanges, knownLimit);
  RULE(StateRanges, c.StateRef == &Module.CurrentState && c.HandlesRef == &Module.DriverHandles);
  if (afterFrame)
    RULE(PermitCopiesAgree, c.PermitA == c.PermitB);
  return 0;
}

int CheckFrame(const AtcController& before, const Handles& out, const int32_t* panel,
               const int32_t* sound, float speed) {
  HostView& h = Host();
  const AtcController& c = Module.Controller;
  const bool cutOut = panel[PanelCutOut] == 1;
  const bool atsOutsideSection = panel[PanelModeAts] == 1 && panel[PanelAtcSignal] == 0;
  const bool emergencyOut = out.Brake == h.emergencyNotch && out.Power == 0;

  RULE(PanelIndices, std::memcmp(&out, &Module.OutputHandles, sizeof out) == 0);

  // 1: the ATC adds braking, never takes it away.
  if (out.Brake != Exacts().hostDriver.Brake && Exacts().hostDriver.Brake >= 0 &&
      Exacts().hostDriver.Brake <= h.emergencyNotch) {
    RULE(BrakeNeverWeaker, out.Brake >= Exacts().hostDriver.Brake);
  }
  // 2: every override of the driver's handles goes with the power off.
  if (out.Brake != Exacts().hostDriver.Brake || out.Reverser != Exacts().hostDriver.Reverser) {
    RULE(PowerCutWithOverride, out.Power == 0);
  }
  RULE(PowerCutWithOverride, out.Power == Exacts().hostDriver.Power || out.Power == 0);
  RULE(PowerCutWithOverride, out.Reverser == Exacts().hostDriver.Reverser ||
                                 (out.Reverser == 0 && Exacts().hostDriver.Brake == 0));
  RULE(PowerCutWithOverride,
       out.AuxiliaryCommand == 2 || (out.AuxiliaryCommand == 0 && emergencyOut));

  // 3: an overspeed measured in one frame brakes the next.
  RULE(OverspeedBrakesNextFrame, Module.AtcBrakeNotch == h.atcNotch);
  if (Checked(OverspeedBrakesNextFrame) && h.overspeedMeasured && !cutOut && !atsOutsideSection) {
    RULE(OverspeedBrakesNextFrame,
         out.Power == 0 && (out.Brake == h.emergencyNotch || out.Brake >= h.atcNotch));
  }
  // 4: the emergency brake holds until the driver, the cut-out switch or a reset releases it.
  if (Checked(EmergencyHeld) && h.latchAfterFrame && !h.resetSinceFrame && !h.driverAtEmergency &&
      !cutOut) {
    RULE(EmergencyHeld, emergencyOut && c.EmergencyLatch);
  }
  // 9: rolling back with the reverser forward gives the emergency notch next frame.
  if (Checked(RollbackEmergency) && h.rollbackMeasured && !h.resetSinceFrame &&
      !h.driverAtEmergency && !cutOut) {
    RULE(RollbackEmergency, emergencyOut);
  }
  // 10: ATC without a code, or at the stop aspect, without the restriction switch.
  if (!cutOut && panel[PanelModeAtc] == 1 && panel[PanelRestrict] == 0 &&
      (panel[PanelStepLamp[SpeedStepNoCode]] == 1 || c.SpeedStep == SpeedStepStop) &&
      !h.driverAtEmergency) {
    RULE(NoCodeEmergency, emergencyOut && panel[PanelEmergency] == 1);
  }

  // 6: the panel and sound indices written, and their values.
  for (int i = 0; i < PanelLength; ++i) {
    switch (PanelKinds[i]) {
      case PanelLamp:
        RULE(PanelIndices, IsLamp(panel[i]));
        break;
      case PanelNumber:
        RULE(PanelIndices, panel[i] >= 0 && panel[i] <= Step110LimitWith120SignalKmh);
        break;
      case PanelAtsLamp:
        RULE(PanelIndices, h.useAts ? IsLamp(panel[i]) : panel[i] == Untouched);
        break;
      case PanelOnlyLit:
        RULE(PanelIndices, panel[i] == Untouched || (h.useAts && panel[i] == 1));
        break;
      default:
        RULE(PanelIndices, panel[i] == Untouched);
        break;
    }
  }
  for (int i = 0; i < SoundLength; ++i) {
    if (!Known(ExpectedSoundIndices, i)) {
      RULE(PanelIndices, sound[i] == Untouched);
    }
  }

  // 5: each request in exactly one frame; "stop" only in the first frame after a reset.
  for (int s = 0; s < SoundSlotCount; ++s) {
    const int32_t v = sound[SoundIndex[s]];
    RULE(SoundsOnce, IsSound(v));
    RULE(SoundsOnce, v != SOUND_STOP || h.firstFrame);
    RULE(SoundsOnce, v != SOUND_CONTINUE || !h.firstFrame);
    RULE(SoundsOnce, !h.soundDue[s] || v == SOUND_PLAY);
    if (s != ChangeSoundSlot) {
      RULE(SoundsOnce, v != SOUND_PLAY || h.soundDue[s]);
    }
    RULE(SoundsOnce, before.SoundRequest[s] != SOUND_PLAY || v == SOUND_PLAY);
    RULE(SoundsOnce, c.SoundRequest[s] == SOUND_CONTINUE);
  }

  // Facts the code states: the health test never acts, so the lost-majority
  // trigger never fires.
  if (!before.CutOutSwitch) {
    RULE(MajorityNeverLost, c.MajorityHealthy == 1 && c.ChannelHealthy[ChannelA] &&
                                c.ChannelHealthy[ChannelB] && c.ChannelHealthy[ChannelC]);
  }
  RULE(MajorityNeverLost, c.ChannelOk[ChannelA] == c.ChannelOk[ChannelB] &&
                              c.ChannelOk[ChannelB] == c.ChannelOk[ChannelC]);

  // History for the next frame.
  const bool normal = !cutOut;
  const double limit = panel[PanelSpeedLimit];
  if (Checked(OverspeedBrakesNextFrame)) {
    h.overspeedMeasured = normal && !(static_cast<double>(speed) <= limit);
  }
  if (Checked(RollbackEmergency)) {
    h.rollbackMeasured = normal && Exacts().hostDriver.Reverser == 1 && speed < RollbackSpeedKmh;
  }
  if (Checked(EmergencyHeld))
    h.latchAfterFrame = c.EmergencyLatch;
  if (Checked(SoundsOnce)) {
    h.firstFrame = 0;
    for (uint8_t& due : h.soundDue)
      due = 0;
  }
  h.resetSinceFrame = 0;
  h.standstill = speed == 0.0F;
  return 0;
}

void NoteReset() {
  HostView& h = Host();
  h.driverAtEmergency = 0;
  if (Checked(EmergencyHeld) || Checked(RollbackEmergency))
    h.resetSinceFrame = 1;
  if (Checked(SoundsOnce)) {
    h.firstFrame = 1;
    for (uint8_t& due : h.soundDue)
      due = 0;
  }
}

void NoteSignal(int32_t aspect) {
  if (Checked(SoundsOnce)) {
    HostView& h = Host();
    h.soundDue[Aspect10SoundSlot] |= aspect == Aspect120;
    h.soundDue[AtcCodeSoundSlot] |= AtcSpeedAspect(aspect) && Module.Controller.Mode != ModeAtc;
    h.soundDue[ChangeSoundSlot] |=
        (Exacts().hostLastAspect >= FirstAspect || aspect >= FirstAspect) &&
        aspect != Exacts().hostLastAspect;
  }
}

int Broken(int rule, const char* what, const char* file, int line) {
  std::printf("BROKEN rule %d (%s:%d): %s\n", rule, file, line, what);
  std::fflush(stdout);
  return rule;
}

}  // namespace proof

// What the track tells the train: signal aspects select a speed step, and the
// reset beacon, passed at standstill, resets the ATC.
#include "module_records.h"
#include "plugin_module.h"

namespace {

constexpr int32_t FirstAspect = 10;
constexpr int32_t LastAspect = 36;
constexpr int32_t Aspect120 = 10;  // step 12, outside an ATC section
constexpr int NoFlag = -1;

struct AspectRow {
  int stepFlag;       // element of StepFlags the aspect sets, or NoFlag
  bool atcSpeedCode;  // marks an ATC section
};

// Aspects 10 to 36. A row without a flag clears the ATC code (speed step 0).
constexpr AspectRow AspectTable[] = {
    {11, false},      // 10: 120 km/h (step 12)
    {9, true},        // 11: 0 km/h (step 1)
    {NoFlag, false},  // 12
    {8, true},        // 13: 15 km/h
    {NoFlag, false},  // 14
    {7, true},        // 15: 25 km/h
    {NoFlag, false},  // 16
    {NoFlag, false},  // 17
    {NoFlag, false},  // 18
    {6, true},        // 19: 45 km/h
    {NoFlag, false},  // 20
    {3, true},        // 21: 55 km/h
    {NoFlag, false},  // 22
    {5, true},        // 23: 65 km/h
    {NoFlag, false},  // 24
    {4, true},        // 25: 75 km/h
    {NoFlag, false},  // 26
    {NoFlag, false},  // 27
    {2, true},        // 28: 90 km/h
    {NoFlag, false},  // 29
    {1, true},        // 30: 100 km/h
    {NoFlag, false},  // 31
    {0, true},        // 32: 110 or 120 km/h
    {NoFlag, false},  // 33
    {0, true},        // 34: 110 or 120 km/h
    {NoFlag, false},  // 35
    {10, false},      // 36: 0 km/h stop (step 11)
};
static_assert(sizeof(AspectTable) / sizeof(AspectTable[0]) == LastAspect - FirstAspect + 1);

constexpr int32_t ResetBeaconType = 600;
constexpr int32_t ResetBeaconParameter = 1;

void ApplyAspect(AtcController& atc, int32_t aspect) {
  if (aspect < FirstAspect || aspect > LastAspect) {
    return;
  }
  const AspectRow& row = AspectTable[aspect - FirstAspect];
  if (row.stepFlag == NoFlag) {
    return;
  }
  atc.StepFlags[row.stepFlag] = 1;
  if (row.atcSpeedCode) {
    atc.InAtcSection = 1;
    // An ATC code while the selector is elsewhere: prompt the driver.
    if (atc.Mode != ModeAtc) {
      atc.SoundRequest[AtcCodeSoundSlot] = SOUND_PLAY;
    }
  } else if (aspect == Aspect120) {
    atc.SoundRequest[Aspect10SoundSlot] = SOUND_PLAY;
  }
}

}  // namespace

void OnSignal(int32_t aspect) {
  AtcController& atc = Module.Controller;
  atc.StepFlags.fill(0);
  atc.InAtcSection = 0;
  ApplyAspect(atc, aspect);
  // Any change of aspect that involves an ATC-range aspect is announced; a
  // pending request stays pending otherwise.
  if ((atc.LastSignal >= FirstAspect || aspect >= FirstAspect) && aspect != atc.LastSignal) {
    atc.SoundRequest[ChangeSoundSlot] = SOUND_PLAY;
  }
  atc.LastSignal = aspect;
}

// The standstill test uses the speed of the latest frame; +0 and -0 are
// standstill, an unknown speed is not.
void OnBeacon(const BeaconData* beacon) {
  if (beacon == nullptr) {
    return;
  }
  if (beacon->Type == ResetBeaconType && beacon->Parameter == ResetBeaconParameter &&
      Module.CurrentState.Speed == 0.0F) {
    Reset(Module.Controller, BeaconReset);
  }
}

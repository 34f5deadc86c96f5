// What the track tells the train: signal aspects select a speed step, and the
// reset beacon, passed at standstill, resets the ATC.
#include "module_records.h"
#include "plugin_module.h"
#include "published_numbers.h"

namespace {

void ApplyAspect(AtcController& atc, int32_t aspect) {
  const AspectRow* row = FindAspect(aspect);
  if (row == nullptr || row->StepFlag == NoStepFlag) {
    return;
  }
  atc.StepFlags[row->StepFlag] = 1;
  if (row->AtcCode) {
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

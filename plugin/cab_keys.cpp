// The driver's cab controls: the mode selector and two toggle switches. Every
// key acts once per press; releasing a key does nothing.
#include "module_records.h"
#include "plugin_module.h"
#include "published_numbers.h"

namespace {

// The selector leaves ATC only outside an ATC section with the driver's brake
// applied: to ATS where that position is fitted, else straight to restricted.
// From ATS it steps down to restricted without conditions.
void StepModeDown(AtcController& atc) {
  const bool mayLeaveAtc = !atc.InAtcSection && atc.BrakeApplied;
  if (atc.UseAts) {
    if (atc.Mode == ModeAts) {
      atc.Mode = ModeRestricted;
    } else if (atc.Mode == ModeAtc && mayLeaveAtc) {
      atc.Mode = ModeAts;
    }
  } else if (mayLeaveAtc) {
    atc.Mode = ModeRestricted;
  }
}

// Stepping up has no conditions. Without the ATS position there are only two,
// so ATC is the next position up from anywhere; with it, restricted steps to
// ATS and ATS to ATC.
void StepModeUp(AtcController& atc) {
  if (!atc.UseAts || atc.Mode == ModeAts) {
    atc.Mode = ModeAtc;
  } else if (atc.Mode == ModeRestricted) {
    atc.Mode = ModeAts;
  }
}

}  // namespace

void OnKeyDown(int32_t key) {
  AtcController& atc = Module.Controller;
  switch (key) {
    case KeyModeDown:
      StepModeDown(atc);
      break;
    case KeyModeUp:
      StepModeUp(atc);
      break;
    case KeyRestrict:
      atc.RestrictSwitch = !atc.RestrictSwitch;
      break;
    case KeyCutOut:
      atc.CutOutSwitch = !atc.CutOutSwitch;
      break;
    default:
      break;
  }
}

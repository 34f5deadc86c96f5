// One frame: the controller's cycle, then its verdicts in the host's terms.
#include <algorithm>
#include <array>

#include "module_records.h"
#include "plugin_module.h"
#include "published_numbers.h"

namespace {

static_assert(PanelStepLampCount <= SpeedStepCount);
// The controller's sound slots, in the order the host's sounds are listed.
static_assert(SoundCount == SoundSlotCount);
static_assert(SoundIndex[ChangeSoundSlot] == SoundChange);
static_assert(SoundIndex[AtcCodeSoundSlot] == SoundAtcCode);
static_assert(SoundIndex[Aspect10SoundSlot] == SoundAspect120);

// The ATC may add braking but never take it away: its service brake gives the
// stronger of its own notch and the driver's, so a driver who has already gone
// further, up to the emergency notch, keeps that application.
int32_t ServiceBrakeNotch(int32_t driverBrake) {
  return std::max(Module.AtcBrakeNotch, driverBrake);
}

// Without a command the driver's handles pass. Under one, each field by its
// own rule, all from the driver's handles as the host last set them: the
// emergency latch overrides the service brake, and the reverser rule looks at
// the driver's own brake, not at the notch handed back. Every outcome:
//
//   command              brake                         power     reverser        aux
//   none                 driver's                      driver's  driver's        2
//   service brake        max(ATCBrakeNotch, driver's)  0         0 if the driver 2
//                                                                brakes not at
//                                                                all, else his
//   emergency latch      emergency notch               0         driver's        2
//   service + emergency  emergency notch               0         as for service  0
Handles ComposeHandles(const AtcController& atc, const DriverHandles& driver) {
  const bool service = atc.ServiceBrakeCommand;
  const bool emergency = atc.EmergencyLatch;
  Handles out{driver.Brake, driver.Power, driver.Reverser, 2};
  if (!service && !emergency) {
    return out;
  }
  out.Brake = emergency ? Module.EmergencyNotch : ServiceBrakeNotch(driver.Brake);
  out.Power = 0;
  if (service) {
    if (driver.Brake == 0) {
      out.Reverser = 0;
    }
    if (emergency) {
      out.AuxiliaryCommand = 0;
    }
  }
  return out;
}

// The mode lamp of each selector position, by Mode (always 0, 1 or 2).
constexpr int ModeLampOf[] = {PanelModeRestricted, PanelModeAts, PanelModeAtc};
static_assert(ModeRestricted == 0 && ModeAts == 1 && ModeAtc == 2);

// Every value is read before the first store: the host's array might alias
// anything, so a store would otherwise make the compiler read the next field
// again, and it could not copy neighbouring values together.
void WritePanel(const AtcController& atc, int32_t* panel) {
  const int modeLamp = ModeLampOf[atc.Mode];
  const int32_t active = atc.Active;
  const int32_t atcSignal = atc.AtcSignalLamp;
  const int32_t restrict = atc.RestrictLamp;
  const int32_t brake = atc.BrakeLamp;
  const int32_t emergency = atc.EmergencyLamp;
  const int32_t cutOut = atc.CutOutSwitch;
  const auto speedLimit = static_cast<int32_t>(atc.SpeedLimit);
  const int32_t step = atc.SpeedStep;
  const uint32_t lamp = atc.StepLamps[step];
  // One mode lamp is lit: all three dark, then the selector's own.
  panel[PanelModeAts] = 0;
  panel[PanelModeAtc] = 0;
  panel[PanelModeRestricted] = 0;
  panel[modeLamp] = 1;
  panel[PanelActive] = active;
  panel[PanelAtcSignal] = atcSignal;
  panel[PanelRestrict] = restrict;
  panel[PanelBrake] = brake;
  panel[PanelEmergency] = emergency;
  panel[PanelCutOut] = cutOut;
  panel[PanelSpeedLimit] = speedLimit;
  // The cycle lights at most the lamp of SpeedStep: all dark, then that one
  // as the cycle left it, if it has a place on the panel.
  for (const int index : PanelStepLamp) {
    panel[index] = 0;
  }
  if (step < PanelStepLampCount) {
    panel[PanelStepLamp[step]] = static_cast<int32_t>(lamp);
  }
}

// Only with the ATS position configured. The ready lamp is only ever lit:
// once the host has seen 1 there it keeps it.
void WriteAtsLamps(const AtcController& atc, int32_t* panel) {
  if (atc.Mode == ModeAts && !atc.InAtcSection) {
    panel[PanelAtsRunning] = 1;
  } else {
    panel[PanelAtsRunning] = 0;
    panel[PanelAtsReady] = 1;
  }
}

void WriteSounds(const AtcController& atc, int32_t* sound) {
  const std::array<int32_t, SoundSlotCount> out = atc.SoundOut;
  for (int slot = 0; slot < SoundSlotCount; ++slot) {
    sound[SoundIndex[slot]] = out[slot];
  }
}

}  // namespace

// A host that hands over no state gets the frame run on the state it handed
// last; missing panel or sound arrays are simply not written.
Handles RunFrame(const VehicleState* state, int32_t* panel, int32_t* sound) noexcept {
  AtcController& atc = Module.Controller;
  if (state != nullptr) {
    Module.CurrentState = *state;
  }
  RunCycle(atc);
  const Handles output = ComposeHandles(atc, Module.DriverHandles);
  Module.OutputHandles = output;
  if (panel != nullptr) {
    WritePanel(atc, panel);
    if (atc.UseAts) {
      WriteAtsLamps(atc, panel);
    }
  }
  if (sound != nullptr) {
    WriteSounds(atc, sound);
  }
  return output;
}

// One frame: the controller's cycle, then its verdicts in the host's terms.
#include <algorithm>

#include "module_records.h"
#include "plugin_module.h"

namespace {

// Panel indices the frame step writes; nothing else in the panel is touched.
constexpr int PanelModeAts = 33;
constexpr int PanelModeAtc = 34;
constexpr int PanelModeRestricted = 35;
constexpr int PanelActive = 52;
constexpr int PanelAtcSignal = 53;
constexpr int PanelRestrict = 56;
constexpr int PanelBrake = 57;
constexpr int PanelEmergency = 58;
constexpr int PanelCutOut = 59;
constexpr int PanelSpeedLimit = 72;
constexpr int PanelAtsRunning = 247;
constexpr int PanelAtsReady = 249;

// Lamps of speed steps 0 to 10; steps 11 and 12 have no panel place.
constexpr int PanelStepLamp[] = {70, 71, 74, 76, 80, 82, 84, 86, 89, 91, 93};
constexpr int PanelStepLampCount = sizeof(PanelStepLamp) / sizeof(PanelStepLamp[0]);
static_assert(PanelStepLampCount == 11);
static_assert(PanelStepLampCount <= SpeedStepCount);
static_assert(PanelAtsReady < PANEL_ARRAY_MIN_LENGTH);

// Host sounds fed from SoundOut, in its order.
constexpr int SoundIndex[] = {5, 110, 111};
static_assert(sizeof(SoundIndex) / sizeof(SoundIndex[0]) == SoundSlotCount);
static_assert(111 < SOUND_ARRAY_MIN_LENGTH);

// The ATC may add braking but never take it away: its service brake gives the
// stronger of its own notch and the driver's, so a driver who has already gone
// further, up to the emergency notch, keeps that application.
int32_t ServiceBrakeNotch(int32_t driverBrake) {
  return std::max(Module.AtcBrakeNotch, driverBrake);
}

// Each field by its own rule, all from the driver's handles as the host last
// set them. The emergency latch overrides everything. The reverser rule looks
// at the driver's own brake, not at the notch handed back.
Handles ComposeHandles(const AtcController& atc, const DriverHandles& driver) {
  const bool service = atc.ServiceBrakeCommand;
  const bool emergency = atc.EmergencyLatch;
  Handles out;
  out.Brake = emergency ? Module.EmergencyNotch
              : service ? ServiceBrakeNotch(driver.Brake)
                        : driver.Brake;
  out.Power = (service || emergency) ? 0 : driver.Power;
  out.Reverser = (service && driver.Brake == 0) ? 0 : driver.Reverser;
  out.AuxiliaryCommand = (service && emergency) ? 0 : 2;
  return out;
}

void WritePanel(const AtcController& atc, int32_t* panel) {
  // Read once: the host's array might alias anything, so each store would
  // otherwise make the compiler read the field again.
  const int32_t mode = atc.Mode;
  panel[PanelModeAts] = mode == ModeAts;
  panel[PanelModeAtc] = mode == ModeAtc;
  panel[PanelModeRestricted] = mode == ModeRestricted;
  panel[PanelActive] = atc.Active;
  panel[PanelAtcSignal] = atc.AtcSignalLamp;
  panel[PanelRestrict] = atc.RestrictLamp;
  panel[PanelBrake] = atc.BrakeLamp;
  panel[PanelEmergency] = atc.EmergencyLamp;
  panel[PanelCutOut] = atc.CutOutSwitch;
  for (int step = 0; step < PanelStepLampCount; ++step) {
    panel[PanelStepLamp[step]] = static_cast<int32_t>(atc.StepLamps[step]);
  }
  panel[PanelSpeedLimit] = static_cast<int32_t>(atc.SpeedLimit);
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
  for (int slot = 0; slot < SoundSlotCount; ++slot) {
    sound[SoundIndex[slot]] = atc.SoundOut[slot];
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

// A frame as the host sees it: the cab read off the panel, and whether the ATC
// acts in it.
#include "run_record.h"

namespace drive {

CabIndication ReadCabPanel(const int32_t* panel) {
  CabIndication cab;
  cab.ModeAts = panel[PanelModeAts];
  cab.ModeAtc = panel[PanelModeAtc];
  cab.ModeRestricted = panel[PanelModeRestricted];
  cab.AtcActive = panel[PanelActive];
  cab.AtcSignal = panel[PanelAtcSignal];
  cab.Restrict = panel[PanelRestrict];
  cab.BrakeLamp = panel[PanelBrake];
  cab.EmergencyLamp = panel[PanelEmergency];
  cab.CutOut = panel[PanelCutOut];
  cab.LimitKmh = panel[PanelSpeedLimit];
  cab.AtsRunning = panel[PanelAtsRunning];
  cab.AtsReady = panel[PanelAtsReady];
  for (int step = 0; step < PanelStepLampCount; ++step) {
    cab.StepLamps[step] = panel[PanelStepLamp[step]];
  }
  return cab;
}

Intervention ClassifyIntervention(const DriverHandles& driver, const Handles& returned,
                                  const CabIndication& cab, int32_t emergencyNotch) {
  const bool handlesDiffer = returned.Brake != driver.Brake || returned.Power != driver.Power ||
                             returned.Reverser != driver.Reverser;
  if (!handlesDiffer && !cab.BrakeLamp && !cab.EmergencyLamp) {
    return Intervention::None;
  }
  return cab.EmergencyLamp || (returned.Brake == emergencyNotch && driver.Brake < emergencyNotch)
             ? Intervention::Emergency
             : Intervention::Service;
}

}  // namespace drive

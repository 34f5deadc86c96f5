// The driver's handles as the host reports them, stored unchecked: any notch or
// reverser value reaches the host again through the frame step.
#include "module_records.h"
#include "plugin_module.h"

// The driver starts at the emergency notch with no power and the reverser
// forward. The brake flags are left alone until the host's first SetBrake.
void StoreVehicleSpec(const VehicleSpec* spec) {
  if (spec == nullptr) {
    return;
  }
  Module.EmergencyNotch = EmergencyNotchFor(spec->ServiceNotches);
  Module.DriverHandles = {Module.EmergencyNotch, 0, 1};
}

void StoreDriverBrake(int32_t notch) {
  Module.DriverHandles.Brake = notch;
  Module.Controller.BrakeAtEmergency = notch == Module.EmergencyNotch;
  Module.Controller.BrakeApplied = notch > 0;
}

void StoreDriverPower(int32_t notch) { Module.DriverHandles.Power = notch; }

void StoreDriverReverser(int32_t position) { Module.DriverHandles.Reverser = position; }

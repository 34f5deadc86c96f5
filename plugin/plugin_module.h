// What the entry points hand their work to.
#pragma once

#include <cstdint>

#include "host_records.h"

// Driver's handles and the train's notches.
void StoreVehicleSpec(const VehicleSpec* spec);
void StoreDriverBrake(int32_t notch);
void StoreDriverPower(int32_t notch);
void StoreDriverReverser(int32_t position);

// One frame: the controller's cycle and the values handed back to the host.
Handles RunFrame(const VehicleState* state, int32_t* panel, int32_t* sound) noexcept;

// Track events.
void OnSignal(int32_t aspect);
void OnBeacon(const BeaconData* beacon);

// Cab keys.
void OnKeyDown(int32_t key);

// Options from the INI file, then a power-on reset.
void StartRun();

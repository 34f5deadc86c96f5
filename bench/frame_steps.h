// The three frame steps the bench measures: Elapse, the ATC cycle alone, and
// the floor. Called through pointers, as the host calls the exports, so that
// a build with link-time optimisation cannot fold them into the loop.
#pragma once

#include "atc_controller.h"
#include "exports.h"
#include "frame_floor.h"

inline Handles (*volatile const ElapseEntry)(const VehicleState*, int32_t*, int32_t*) = &Elapse;
inline void (*volatile const RunCycleEntry)(AtcController&) = &RunCycle;
inline Handles (*volatile const FloorEntry)(const VehicleState*, int32_t*, int32_t*) = &FrameFloor;

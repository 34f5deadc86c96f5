// The least a frame step can do: what no implementation of it can avoid.
#pragma once

#include <cstdint>

#include "host_records.h"

// Copies the 40-byte state, writes the 21 panel values and 3 sound values the
// frame step writes (taken ready-made from a record, nothing computed) and
// returns a copy of the handles. Kept out of line, as Elapse is.
Handles FrameFloor(const VehicleState* state, int32_t* panel, int32_t* sound);

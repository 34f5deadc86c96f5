// The host's side of a run: the calls in the host's order, one Elapse per
// frame at a fixed frame rate, the scenario's events between frames, the
// panel and sound arrays, and the train moved by the handles that come back.
#pragma once

#include <functional>

#include "plugin_library.h"
#include "run_record.h"
#include "scenario.h"

namespace drive {

// The host's vehicle record: the plug-in reads only ServiceNotches, the rest
// is filled as a host would.
struct HostVehicleSpec {
  int32_t ServiceNotches = 0;
  int32_t PowerNotches = 0;
  int32_t OtherHostFields[3] = {};
};

// Receives each frame as soon as it has run, with the record so far (its
// events fired up to and including this frame).
using FrameSink = std::function<void(const FrameRecord& row, const RunRecord& record)>;

// Plays the scenario against loaded entry points: Load, SetVehicleSpec,
// Initialize, the driver's starting handles, then frame after frame until the
// scenario's duration or end position is reached, and Dispose.
RunRecord RunScenario(const Scenario& scenario, const PluginEntryPoints& api,
                      const FrameSink& sink);

}  // namespace drive

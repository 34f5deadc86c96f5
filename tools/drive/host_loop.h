// The host's side of a run: the calls in the host's order, one Elapse per
// frame at a fixed frame rate, the scenario's events between frames, the
// panel and sound arrays, and the train moved by the handles that come back.
#pragma once

#include <functional>
#include <optional>

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

// What the person at the controls does before a frame. Their moves are
// events like the scripted ones, so that a session can be written down and
// played again frame for frame: the source appends its event to the
// scenario's list, after the scripted events, and names it here.
struct FrameInput {
  bool Stop = false;            // the run ends before this frame
  std::optional<size_t> Event;  // fires before the frame's scripted events
};
using InputSource = std::function<FrameInput(int64_t frame, double nowS)>;

// Plays the scenario against loaded entry points: Load, SetVehicleSpec,
// Initialize, the driver's starting handles, then frame after frame until the
// scenario's duration or end position is reached (or the input source stops
// the run), and Dispose.
RunRecord RunScenario(const Scenario& scenario, const PluginEntryPoints& api, const FrameSink& sink,
                      const InputSource& input = {});

}  // namespace drive

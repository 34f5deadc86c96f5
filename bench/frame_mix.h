// The frames the plug-in is measured on: a train run through the exported entry
// points, in one of four steady situations or in a mix of all four with the
// host's events between frames. Shared by the benchmark and the instruction
// counter so that both measure the same frames.
#pragma once

#include <cstdint>

#include "host_records.h"

// The host's side of a frame: the state it hands over and the arrays it lends.
struct HostFrame {
  VehicleState State{};
  int32_t Panel[PANEL_ARRAY_MIN_LENGTH]{};
  int32_t Sound[SOUND_ARRAY_MIN_LENGTH]{};
};

enum class Scenario {
  Mix,             // the four below in one 100-frame script, events between frames
  AtcRunning,      // ATC, 100 km/h step, 80 km/h: supervision passing
  Overspeed,       // ATC, 100 km/h step, 103 km/h: service brake held
  EmergencyLatch,  // ATC, 0 km/h stop aspect: emergency latch and service brake
  CutOut,          // cut-out switch set: the driver's handles pass
};
inline constexpr int ScenarioCount = 5;
const char* ScenarioName(Scenario scenario);

// What the host does between two frames; at most two per frame.
enum class HostEvent : uint8_t {
  None,
  CutOutKey,
  SignalAtc100,
  SignalStop,
  BrakeReleased,
  BrakeEmergency,
  PowerNotch4,
  PowerOff,
};

struct ScriptFrame {
  float SpeedKmh;
  HostEvent Events[2];
};

struct FrameScript {
  const ScriptFrame* Frames;
  int Length;
};

// Starts a fresh run with the default options (the INI file is not read),
// brings the train into the scenario and settles it there; returns the frames
// to play over and over. Leaves Module as the script's first frame expects it.
FrameScript EnterScenario(Scenario scenario, HostFrame& host);

// The host's calls that come before a frame of a script.
void ApplyHostEvents(const ScriptFrame& frame);

// What the last frame left the controller doing, for checking that a scenario
// is what it claims.
enum class FrameKind { Running, ServiceBrake, Emergency, CutOut, Other };
inline constexpr int FrameKindCount = 5;
FrameKind ClassifyLastFrame();
const char* FrameKindName(FrameKind kind);

// The kind of frame each steady scenario is made of (the mix: Other).
FrameKind SteadyKind(Scenario scenario);

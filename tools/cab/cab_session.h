// The cab: a person drives the scenario's track from the keyboard. Their
// handle moves and cab keys become events of the scenario as they happen, so
// that the session can be written down as a scenario and played again.
#pragma once

#include <chrono>
#include <cstdint>
#include <ostream>
#include <string>

#include "host_loop.h"
#include "run_record.h"
#include "scenario.h"

namespace drive {

// Keys beyond the characters: what the terminal layer hands over for the
// arrows and the like, and for a resize or a signal to stop.
enum CabKeyCode : int {
  CabNoKey = -1,
  CabKeyUp = 0x100,
  CabKeyDown,
  CabKeyLeft,
  CabKeyRight,
  CabKeyPageUp,
  CabKeyPageDown,
  CabKeyEnd,
  CabKeyResize,
  CabKeyInterrupt,  // Ctrl-C, or a signal to end
};

inline constexpr int CabTimeScaleMax = 8;

struct CabSession {
  Scenario* Setup = nullptr;  // the cab's own copy, which gains the person's events
  size_t ScriptedEvents = 0;  // the scenario's own, before any of the person's
  DriverHandles Driver;       // as the host has them, the moves of this frame included
  EventActions Pending;       // moves since the last frame
  bool Quit = false;
  bool Paused = false;
  int TimeScale = 1;  // 1, 2, 4 or 8 times real time
  // What the screen shows: the latest frame and what came of it.
  bool HaveFrame = false;
  FrameRecord Last;
  std::string Cause;
  bool SawAts = false;   // an ATS lamp has lit: UseATS is on
  size_t NextEvent = 0;  // the next scripted event to fire
  double LastFiredS = 0.0;
  std::chrono::steady_clock::time_point SoundPlayedAt[SoundCount] = {};
};

// Readies a scenario for the cab: the person drives, so the scripted handle
// moves go (and events left with nothing to do), and the run lasts until the
// person quits or the train reaches the end position.
void PrepareCabScenario(Scenario& scenario);

CabSession StartCabSession(Scenario& prepared);

// One key of the person's; keys that mean nothing in the cab are ignored.
void CabKey(CabSession& session, int key);

// The person's moves since the last frame, as an event of its own, or the
// end of the run once they quit (never before the second frame, so that the
// recording's duration plays the same frames).
FrameInput TakeCabInput(CabSession& session, int64_t frame, double nowS);

// Notes a frame that has run, for the screen.
void NoteCabFrame(CabSession& session, const FrameRecord& row, const RunRecord& record,
                  const std::string& cause);

// The real-time cab on the terminal: paces the frames by a steady clock at
// the scenario's frame rate, reads the keys and draws the screen.
InputSource TerminalCabInput(CabSession& session);

// The session as a scenario: the original's train, options and track, and
// every event that fired (signals, beacons, keys and the person's moves) at
// the time it fired, so that the drive tool plays it again frame for frame.
void WriteCabRecording(std::ostream& out, const Scenario& played, const RunRecord& record,
                       const std::string& fromPath);

}  // namespace drive

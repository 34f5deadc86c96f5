// The cab as the drive command runs it: one run whose driver is the person at
// the terminal, and the session kept as a scenario beside the run's files.
// Each call does nothing when no cab is on, so the command needs to know no
// more than whether one is.
#pragma once

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>

#include "cab_session.h"

namespace drive {

struct CabRun {
  std::optional<CabSession> Session;  // none: no cab on this run
};

// Readies the run's scenario for the cab and starts the session; false with
// a message on err when stdin and stdout are not a terminal.
bool StartCab(Scenario& setup, CabRun& cab, std::ostream& err);

// Takes the terminal for the run's frames; false with a message on err when
// it cannot be set up.
bool CabBeginRun(const CabRun& cab, std::ostream& err);

// A frame that has run, for the screen.
void CabFrame(CabRun& cab, const FrameRecord& row, const RunRecord& record,
              const std::string& cause);

// The person's keys as the run's input, at the pace of the clock.
InputSource CabInput(CabRun& cab);

// Gives the terminal back.
void CabEndRun(const CabRun& cab);

// Where the session goes: <scenario name>-cab.toml in the run's folder.
std::filesystem::path CabRecordingPath(const std::filesystem::path& dir, const Scenario& setup);

}  // namespace drive

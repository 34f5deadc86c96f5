#include "cab_run.h"

#include "cab_terminal.h"

namespace drive {

bool StartCab(Scenario& setup, CabRun& cab, std::ostream& err) {
  if (!TerminalAttached()) {
    err << "drive: --cab needs a terminal on stdin and stdout, not a pipe or a file\n";
    return false;
  }
  PrepareCabScenario(setup);
  cab.Session = StartCabSession(setup);
  return true;
}

bool CabBeginRun(const CabRun& cab, std::ostream& err) {
  if (cab.Session && !TerminalOpen()) {
    err << "drive: the terminal cannot be set up for the cab\n";
    return false;
  }
  return true;
}

void CabFrame(CabRun& cab, const FrameRecord& row, const RunRecord& record,
              const std::string& cause) {
  if (cab.Session) {
    NoteCabFrame(*cab.Session, row, record, cause);
  }
}

InputSource CabInput(CabRun& cab) {
  return cab.Session ? TerminalCabInput(*cab.Session) : InputSource{};
}

void CabEndRun(const CabRun& cab) {
  if (cab.Session) {
    TerminalClose();
  }
}

std::filesystem::path CabRecordingPath(const std::filesystem::path& dir, const Scenario& setup) {
  return dir / (setup.Name + "-cab.toml");
}

}  // namespace drive

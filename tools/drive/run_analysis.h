// Reading a run's frames for what matters to a driver or a train author: when
// the ATC took over and let go, how far the speed went over the limit, where
// the train stopped, and what the cab showed and sounded.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "run_record.h"
#include "scenario.h"

namespace drive {

// A stretch of frames in which the ATC overrode the driver in one way.
struct InterventionSpan {
  Intervention Kind = Intervention::None;
  size_t StartFrame = 0;
  size_t EndFrame = 0;  // first frame without it; Frames.size() if it lasted to the end
  bool Released = false;
  double PeakOverLimitKmh = 0.0;  // highest speed above the limit from just before it until its end
  std::string ReleasedBy;         // e.g. "speed under the limit", "cut-out switch"
};

struct StopRecord {
  size_t Frame = 0;  // first frame at rest
  Intervention Under = Intervention::None;
  int32_t AppliedBrake = 0;  // returned brake notch in the frame before
};

// A change of what the cab shows, e.g. "mode ATC", "emergency lamp on".
struct CabChange {
  size_t Frame = 0;
  std::string What;
  bool BrakeLamp = false;  // the brake lamp follows every intervention; summaries skip it
};

struct SoundCommand {
  size_t Frame = 0;
  int Slot = 0;  // 0, 1, 2 for host sounds 5, 110, 111
  int32_t Command = 0;
};

struct RunAnalysis {
  std::vector<InterventionSpan> Interventions;
  std::vector<StopRecord> Stops;
  std::vector<CabChange> CabChanges;
  std::vector<SoundCommand> Sounds;  // every SOUND_PLAY and SOUND_STOP
  double MaxSpeedKmh = 0.0;
  double MinSpeedKmh = 0.0;
  double MaxOverLimitKmh = 0.0;  // over supervised frames only; 0 if never over
  size_t MaxOverLimitFrame = 0;
};

// True while the ATC supervises the speed: active, not cut out, and not in the
// ATS position outside an ATC section (where the ATC's brake stays off).
bool Supervised(const CabIndication& cab);

// The mode the cab's selector lamps show: "ATC", "ATS", "restricted" or "-".
const char* ModeName(const CabIndication& cab);

const char* InterventionName(Intervention kind);

RunAnalysis AnalyseRun(const RunRecord& record);

}  // namespace drive

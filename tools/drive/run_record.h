// What a run leaves behind: one record per frame, as the host saw it, handed
// on as the run goes (a long run is never held whole), and the events that
// fired. The analysis, the CSV trace and the chart all read these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "host_records.h"
#include "published_numbers.h"
#include "scenario.h"

namespace drive {

// The cab panel as the train's panel file would wire it: the elements the
// plug-in writes, read back after each frame.
struct CabIndication {
  int32_t ModeAts = 0;
  int32_t ModeAtc = 0;
  int32_t ModeRestricted = 0;
  int32_t AtcActive = 0;
  int32_t AtcSignal = 0;
  int32_t Restrict = 0;
  int32_t BrakeLamp = 0;
  int32_t EmergencyLamp = 0;
  int32_t CutOut = 0;
  int32_t LimitKmh = 0;
  int32_t AtsRunning = 0;
  int32_t AtsReady = 0;
  int32_t StepLamps[PanelStepLampCount] = {};  // in step order, as PanelStepLamp
};

// Reads the cab panel from the host's panel array (at least 250 entries).
CabIndication ReadCabPanel(const int32_t* panel);

// What the ATC did to the train in a frame, as the cab shows it.
enum class Intervention { None, Service, Emergency };

// Its word in the trace, the reports and the summary's brake column: empty
// for none.
constexpr const char* InterventionWord(Intervention kind) {
  return kind == Intervention::Service     ? "service"
         : kind == Intervention::Emergency ? "emergency"
                                           : "";
}

struct FrameRecord {
  int64_t Frame = 0;
  double TimeS = 0.0;
  double PositionM = 0.0;
  double SpeedKmh = 0.0;  // as handed to Elapse
  double GradientPermille = 0.0;
  DriverHandles Driver{};  // as the host last reported them
  Handles Returned{};      // what Elapse returned and the host applied
  Intervention Acting = Intervention::None;
  CabIndication Cab;
  int32_t Sounds[SoundCount] = {};  // the sound array at SoundIndex after the frame
  size_t FirstFiredEvent = 0;       // events fired just before this frame:
  size_t FiredEventCount = 0;       // RunRecord::Fired[First .. First + Count)
};

struct FiredEvent {
  size_t EventIndex = 0;  // into Scenario::Events
  int64_t Frame = 0;
  double TimeS = 0.0;
  double PositionM = 0.0;
  double SpeedKmh = 0.0;
};

// What ended a run.
enum class RunEnd {
  Time,      // the scenario's duration
  Position,  // the train reached the end position
  Quit,      // the driver quit the cab
};

struct RunRecord {
  int32_t PluginVersion = 0;
  int32_t EmergencyNotch = 0;
  double FrameS = 0.0;
  size_t FrameCount = 0;
  std::vector<FiredEvent> Fired;
  RunEnd EndReason = RunEnd::Time;
};

// Classifies a frame: the ATC acts while the handles it returns differ from
// the driver's or its brake or emergency lamp is lit. The lamps follow the
// command a frame late, and they show what the handles can't when the driver
// already brakes harder (the service brake hands back the stronger of its own
// notch and the driver's); in the ATS position outside an ATC section the
// emergency latch brakes with both lamps dark. The emergency lamp, or the
// emergency notch returned where the driver had less, is the emergency brake.
Intervention ClassifyIntervention(const DriverHandles& driver, const Handles& returned,
                                  const CabIndication& cab, int32_t emergencyNotch);

// The i-th event that fired in a frame, as the scenario wrote it.
inline const ScenarioEvent& FiredInFrame(const Scenario& setup, const RunRecord& record,
                                         const FrameRecord& row, size_t i) {
  return setup.Events[record.Fired[row.FirstFiredEvent + i].EventIndex];
}

}  // namespace drive

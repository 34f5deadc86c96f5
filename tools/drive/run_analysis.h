// Reading a run's frames, as they come, for what matters to a driver or a
// train author: when the ATC took over and why, when it let go, where the
// train stopped, what the cab showed and sounded, and what in the scenario
// did nothing. The plug-in stays a black box: every cause is read off what
// the host sees, the frames before an intervention, the events that fired,
// the step lamps, the speed and the reverser.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "run_record.h"
#include "scenario.h"

namespace drive {

// Why the ATC took over, as far as the host can tell.
enum class Cause {
  StartOfRun,         // the first frame: the ATC grants no permit before it has run once
  Overspeed,          // measured over the limit in the frame before
  NoCode,             // in ATC without an ATC code
  StopCode,           // the stop code, aspect 36
  HeldByStopCode,     // standing at the stop code: the brake holds the train, nothing is over
  HeldAtLimit,        // overspeed applications in a row, no change of limit between them
  Rollback,           // rolling back faster than 5 km/h with the reverser forward
  ResetBeacon,        // the reset beacon at standstill
  RestrictionSwitch,  // the switch forced the limit down to 25 km/h
  SelectorChange,     // the selector moved to a lower limit
  Unseen,             // nothing the host saw explains it
};

// A frame's place and speed, kept where the whole frame is not.
struct Moment {
  double TimeS = 0.0;
  double PositionM = 0.0;
  double SpeedKmh = 0.0;
  int32_t LimitKmh = 0;
  size_t Frame = 0;
};

// A stretch of frames in which the ATC overrode the driver in one way, for one cause.
struct InterventionSpan {
  Intervention Kind = Intervention::None;
  Cause Why = Cause::Unseen;
  std::string CauseText;   // e.g. "overspeed: 101.3 km/h over 100 by 1.3"
  std::string CauseLabel;  // short, for the chart: "overspeed +1.3"
  int32_t Notch = 0;       // the brake notch handed back as it began
  Moment Start;
  Moment End;  // the first frame without it; only its Frame, the frame count, if never released
  double LowestPositionM = 0.0;
  double HighestPositionM = 0.0;
  bool Released = false;
  std::string ReleasedBy;   // e.g. "speed under the limit", "cut-out switch"
  size_t Applications = 1;  // brake applications merged into it (held at the limit)
};

// One drop of the limit in force (a lower code, the restriction switch or the
// selector) and how the ATC brought the train under the new limit.
struct BrakingRow {
  Moment At;  // the frame the lower limit first showed; SpeedKmh: the speed at the drop
  int32_t LimitBeforeKmh = 0;
  int32_t LimitAfterKmh = 0;
  std::string Why;                   // e.g. "aspect 30", "restriction switch", "selector"
  std::optional<Moment> UnderLimit;  // at or under the new limit; at rest for a 0 km/h code
  double PeakOverKmh = 0.0;          // highest speed above the new limit
  std::optional<Moment> Released;    // the ATC let go
  int32_t Notch = 0;                 // the strongest notch handed back meanwhile
  bool Overtaken = false;            // the next drop came before the train was under this one
};

struct StopRecord {
  Moment At;  // first frame at rest
  Intervention Under = Intervention::None;
  int32_t AppliedBrake = 0;  // returned brake notch in the frame before
  int32_t DriverBrake = 0;   // the driver's, in the frame before
};

// What changed in the cab in one frame, e.g. "mode ATC; emergency lamp on".
struct CabChange {
  Moment At;
  std::string What;
};

// How often the plug-in played or stopped a sound, and the first times.
struct SoundTally {
  size_t Count = 0;
  std::vector<double> FirstTimesS;
};

// A run keeps the first warnings, and counts the rest: a scenario of many
// events can give one for each firing.
inline constexpr size_t WarningsKept = 50;

struct RunAnalysis {
  std::vector<InterventionSpan> Interventions;
  std::vector<BrakingRow> Braking;
  std::vector<StopRecord> Stops;
  // Of the first changes, the brake lamp left out: it follows every
  // intervention, and the trace has it. CabChangesDropped more.
  std::vector<CabChange> CabChanges;
  size_t CabChangesDropped = 0;
  SoundTally SoundPlays[SoundCount];  // in the order of SoundIndex
  SoundTally SoundStops[SoundCount];
  std::vector<std::string> FiredNotes;  // per fired event: what the ATC made of it, or empty
  std::vector<std::string> Warnings;    // the first WarningsKept
  size_t WarningsLeftOut = 0;           // and how many more there were
  std::vector<size_t> NeverFired;       // into Scenario::Events
  std::string ChimeNote;                // why sound 5 rang in frame after frame, if it did
  size_t FrameCount = 0;
  Moment First;
  FrameRecord Last;
  double MaxSpeedKmh = 0.0;
  double MinSpeedKmh = 0.0;
  double MaxOverLimitKmh = 0.0;  // over supervised frames with a code only; 0 if never over
  Moment MaxOverLimit;
};

// The speed as the plug-in sees it: the host hands it over as a float.
double SpeedSeen(const FrameRecord& row);

// The step lamp lit, in step order as PanelStepLamp; -1 with all dark.
int LitStep(const CabIndication& cab);

// True while the ATC supervises the speed: active, not cut out, and not in the
// ATS position outside an ATC section (where the ATC's brake stays off).
bool Supervised(const CabIndication& cab);

// The mode the cab's selector lamps show: "ATC", "ATS", "restricted" or "-".
const char* ModeName(const CabIndication& cab);

const char* InterventionName(Intervention kind);

// "B3", "EB", "EB+1" for a brake notch of a train with this emergency notch.
std::string NotchName(int32_t notch, int32_t emergencyNotch);

// Takes the frames one by one, keeping only the few latest.
class RunAnalyser {
 public:
  RunAnalyser(const Scenario& scenario, int32_t emergencyNotch);

  void Add(const FrameRecord& row, const RunRecord& record);

  // The cause of the intervention in the latest frame; empty without one.
  const std::string& CurrentCause() const;

  // Closes the last intervention and adds the run's warnings.
  RunAnalysis Finish(const RunRecord& record);

 private:
  void NoteEvents(const FrameRecord& row, const FrameRecord* previous, const RunRecord& record);
  void TrackInterventions(const FrameRecord& row);
  void Open(const FrameRecord& row);
  void Close(const FrameRecord& after, std::string releasedBy);
  void Infer(const FrameRecord& row, InterventionSpan& span) const;
  void TrackCab(const FrameRecord& row, const FrameRecord* previous);
  void TrackBraking(const FrameRecord& row, const FrameRecord* previous, const RunRecord& record);
  void AddChange(const FrameRecord& row, std::string what, bool brakeLamp = false);
  void TrackWarnings(const FrameRecord& row, const FrameRecord* previous, const RunRecord& record);
  void NoteRise(const FrameRecord& last);
  void Keep(InterventionSpan span);
  void Warn(std::string warning);
  const FrameRecord* Before(size_t back) const;  // 1: the frame before the latest

  const Scenario& Setup;
  int32_t EmergencyNotch;
  RunAnalysis Result;
  std::array<FrameRecord, 4> Recent{};  // a ring of the latest frames
  size_t Seen = 0;
  size_t CabChangesSeen = 0;  // the brake lamp's too
  std::optional<InterventionSpan> OpenSpan;
  std::optional<int32_t> LastAspect;  // as the host last sent it; cleared by the reset beacon
  bool CodeForgotten = false;
  std::optional<size_t> ResetFrame;
  size_t LimitFrame = 0;            // the frame the limit in force first showed
  std::optional<Moment> RiseStart;  // the speed rising under the ATC's service brake since
  size_t ChimeFrames = 0;           // frames in a row with the chime at the emergency notch
  Moment ChimeFrom;
  std::string NoCause;
};

}  // namespace drive

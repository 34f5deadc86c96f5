// Reading a run's frames, as they come, for what matters to a driver or a
// train author: when the ATC took over and why, when it let go, where the
// train stopped, what the cab showed and sounded, and what in the scenario
// did nothing. The plug-in stays a black box: every cause is read off what
// the host sees, the frames before an intervention, the events that fired,
// the step lamps, the speed and the reverser.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
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
  HeldAtRest,         // standing at a 0 km/h limit: the ATC's brake holds the train
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

// An intervention: a run of consecutive frames in which the ATC acts, as the
// cab shows it (ClassifyIntervention). It can change kind or cause on its way
// (an overspeed brake, then a lower code, then holding the train at rest):
// it stays one, and its cause says what it became.
struct InterventionSpan {
  Intervention Kind = Intervention::None;  // the emergency brake if any frame had it
  Cause Why = Cause::Unseen;               // why it began
  // Both held once in the analysis' texts: a long run repeats a few causes
  // a hundred thousand times.
  std::string_view CauseText;   // why it began and what it became: "overspeed: ...; then ..."
  std::string_view CauseLabel;  // short, for the page: "overspeed +1.3"
  int32_t Notch = 0;            // the highest brake notch handed back
  Moment Start;
  Moment End;  // the first frame without it; only its Frame, the frame count, if never released
  double LowestPositionM = 0.0;
  double HighestPositionM = 0.0;
  bool Released = false;
  const char* ReleasedBy = "";  // e.g. "speed under the limit", "cut-out switch"
  size_t ThenCount = 0;         // what it became, as far as CauseText tells it
};

// How the drop's limit ended for the ATC's brake.
enum class Release {
  Released,              // the intervention the drop began ended within the new limit's time
  NoIntervention,        // the drop began none
  HeldWhenLimitChanged,  // still braking at the first frame the new limit was no longer in force
  StillAppliedAtEnd,     // still braking at the end of the run, the new limit in force
};

// One drop of the limit in force (a lower code, the restriction switch or the
// selector) and how the ATC brought the train under the new limit, while that
// limit was in force: from the drop's frame up to the first frame that is not
// supervised or shows another limit.
struct BrakingRow {
  Moment At;  // the frame the lower limit first showed; SpeedKmh: the speed at the drop
  int32_t LimitBeforeKmh = 0;
  int32_t LimitAfterKmh = 0;
  std::string Why;            // e.g. "aspect 30", "restriction switch", "selector"
  double InForceToS = 0.0;    // time of the first frame it no longer was, or of the last frame
  bool InForceAtEnd = false;  // the run ended under it
  std::optional<Moment> UnderLimit;  // at or under the new limit; at rest for a 0 km/h code
  double PeakOverKmh = 0.0;          // highest speed above the new limit, while in force
  size_t Span = 0;                   // the intervention the drop began, from 1; 0: none
  std::optional<Moment> Released;    // that intervention's end, if within the limit's time
  int32_t Notch = 0;                 // its highest brake notch, while the limit was in force
  Release Outcome = Release::NoIntervention;
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
  // The spans' cause texts, each once; shared, so that a copy's spans still
  // point at texts that live.
  std::shared_ptr<std::set<std::string, std::less<>>> Texts =
      std::make_shared<std::set<std::string, std::less<>>>();
  // The first InterventionsKept spans, for the summary and the page; each
  // span goes to OnSpan as it closes, so that interventions.csv has them all.
  std::vector<InterventionSpan> Interventions;
  size_t InterventionCount = 0;  // every span of the run
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

// The words of braking.csv's release column: "released", "no intervention", ...
const char* ReleaseName(Release outcome);

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
// A run can hold a hundred thousand interventions, and --compare keeps eight
// runs until the last is played: the reports keep the first ones.
inline constexpr size_t InterventionsKept = 5000;

class RunAnalyser {
 public:
  RunAnalyser(const Scenario& scenario, int32_t emergencyNotch);

  // Handed every span as it closes, with its number from 1.
  std::function<void(const InterventionSpan&, size_t)> OnSpan;

  void Add(const FrameRecord& row, const RunRecord& record);

  // The cause of the intervention in the latest frame; empty without one.
  const std::string& CurrentCause() const;

  // Closes the last intervention and adds the run's warnings.
  RunAnalysis Finish(const RunRecord& record);

 private:
  void NoteEvents(const FrameRecord& row, const FrameRecord* previous, const RunRecord& record);
  void TrackInterventions(const FrameRecord& row, const FrameRecord* previous,
                          const RunRecord& record);
  void Open(const FrameRecord& row);
  void Close(const FrameRecord& after);
  void Then(const FrameRecord& row, const std::string& text, const char* label);
  void TellThens();
  void Keep();  // the open span, its texts held once, into the result
  void NoteBecoming(const FrameRecord& row, const FrameRecord& previous, const RunRecord& record);
  struct Inferred {
    Cause Why;
    std::string Text;
    std::string Label;
  };
  Inferred Infer(const FrameRecord& row) const;
  std::string CodeAtRest() const;
  void TrackCab(const FrameRecord& row, const FrameRecord* previous);
  void TrackBraking(const FrameRecord& row, const FrameRecord* previous, const RunRecord& record);
  void EndDrop(BrakingRow& drop, const FrameRecord& row);
  void AddChange(const FrameRecord& row, std::string what, bool brakeLamp = false);
  void TrackWarnings(const FrameRecord& row, const FrameRecord* previous, const RunRecord& record);
  void NoteRise();
  size_t OpenSpanNumber() const;  // 0 without one
  void Warn(std::string warning);
  const FrameRecord* Before(size_t back) const;  // 1: the frame before the latest

  const Scenario& Setup;
  int32_t EmergencyNotch;
  RunAnalysis Result;
  std::array<FrameRecord, 4> Recent{};  // a ring of the latest frames
  size_t Seen = 0;
  size_t CabChangesSeen = 0;  // the brake lamp's too
  std::optional<InterventionSpan> OpenSpan;
  std::optional<InterventionSpan> DropSpan;  // the open drop's span, once it has closed
  std::string OpenText;  // the open span's CauseText and CauseLabel as they grow
  std::string OpenLabel;
  std::vector<std::string> OpenThens;  // what the open span became, each said once
  struct PendingThen {
    size_t Frame;
    std::string Text;
    std::string Label;
  };
  std::vector<PendingThen> PendingThens;     // of the latest frame, told if the next goes on
  std::optional<size_t> LastEmergencyFrame;  // the open span's latest emergency frame
  int32_t AtcNotchSeen = 0;  // the open span's own service notch, where the handles showed it
  std::optional<int32_t> LastAspect;  // as the host last sent it; cleared by the reset beacon
  bool CodeForgotten = false;
  std::optional<size_t> ResetFrame;
  // The speed rising under the ATC's service brake since RiseStart, over gradients from
  // RiseGradientLow to RiseGradientHigh (those of the frames each rise started from).
  std::optional<Moment> RiseStart;
  FrameRecord RiseLast;
  double RiseGradientLow = 0.0;
  double RiseGradientHigh = 0.0;
  size_t RiseSpan = 0;
  bool DropOpen = false;   // the latest drop's limit is in force
  size_t ChimeFrames = 0;  // frames in a row with the chime at the emergency notch
  Moment ChimeFrom;
  std::string NoCause;
};

}  // namespace drive

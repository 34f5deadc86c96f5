#include "run_analysis.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <initializer_list>

namespace drive {
namespace {

// Frames before an intervention that may hold what caused it: the ATC
// measures in one frame and brakes in the next.
constexpr size_t LeadFrames = 2;

constexpr size_t CabChangesKept = 2000;
constexpr size_t SoundTimesKept = 8;

// Slower than this at a 0 km/h code the train stands: the brake holds it.
constexpr double StandingKmh = 1.0;

// An intervention's cause tells this many of the things it became, then "...".
constexpr size_t ThensTold = 6;

// Longer than this, a rise of the speed under the service brake is no lag.
constexpr double RiseWarnS = 3.0;

// A chime in this many frames in a row is no announcement but a loop.
constexpr size_t ChimeLoopFrames = 10;

Moment MomentOf(const FrameRecord& row) {
  return Moment{row.TimeS, row.PositionM, row.SpeedKmh, row.Cab.LimitKmh,
                static_cast<size_t>(row.Frame)};
}

// How far the plug-in measured the train over the limit shown.
double OverBy(const FrameRecord& row) { return SpeedSeen(row) - row.Cab.LimitKmh; }

// A limit lower than in the frame before, with the train measured over it.
bool LowerLimitOver(const FrameRecord* lead, const FrameRecord* earlier) {
  return lead != nullptr && earlier != nullptr && lead->Cab.LimitKmh < earlier->Cab.LimitKmh &&
         OverBy(*lead) > 0;
}

bool HeldByStop(const FrameRecord& row) {
  return row.Cab.LimitKmh == 0 && std::abs(row.SpeedKmh) < StandingKmh;
}

std::string At(const Moment& at) {
  return fmt::format("{:.2f} s, {:.1f} m", at.TimeS, at.PositionM);
}

// Where an event came from, for a warning: its line in the file, or the cab,
// whose moves the person made at the controls.
std::string EventPlace(const ScenarioEvent& event) {
  return event.Line > 0 ? "line " + std::to_string(event.Line) : std::string("the cab");
}

// A speed to as many digits as it takes to show that it is not 0.
std::string SpeedText(double kmh) {
  return std::abs(kmh) >= 0.1 || kmh == 0.0 ? fmt::format("{:.1f}", kmh)
                                            : fmt::format("{:.2g}", kmh);
}

// What lowered the limit: an event fired just before the frame the display
// moved or the one before it, as the ATC may read a new code a frame late.
std::string DropCause(const Scenario& setup, const RunRecord& record,
                      std::initializer_list<const FrameRecord*> frames) {
  for (const FrameRecord* row : frames) {
    for (size_t i = 0; i < row->FiredEventCount; ++i) {
      const EventActions& fired = FiredInFrame(setup, record, *row, i).Actions;
      if (fired.Signal) {
        return "aspect " + std::to_string(*fired.Signal);
      }
      for (const KeyPress& key : fired.Keys) {
        if (key.Index == KeyRestrict || key.Index == KeyModeDown || key.Index == KeyModeUp) {
          return key.Index == KeyRestrict ? "restriction switch" : "selector";
        }
      }
    }
  }
  return "limit display";
}

// In ATC without the restriction switch and without a speed code the limit
// shown is not what the ATC brakes for: the emergency brake is.
bool CodeMissing(const CabIndication& cab) {
  const int step = LitStep(cab);
  return cab.ModeAtc && !cab.Restrict && (step == 0 || (step < 0 && cab.LimitKmh == 0));
}

void Tally(SoundTally& tally, double timeS) {
  if (tally.FirstTimesS.size() < SoundTimesKept) {
    tally.FirstTimesS.push_back(timeS);
  }
  ++tally.Count;
}

// What in the scenario the ATC will ignore or misread, found before the run.
std::vector<std::string> ScenarioWarnings(const Scenario& scenario) {
  std::vector<std::string> warnings;
  for (const ScenarioEvent& event : scenario.Events) {
    const std::string line = "line " + std::to_string(event.Line) + ": ";
    const EventActions& a = event.Actions;
    if (a.Signal && !AspectSetsStep(*a.Signal)) {
      warnings.push_back(line + "aspect " + std::to_string(*a.Signal) +
                         " carries no ATC code: in ATC the ATC takes it as no code and applies "
                         "the emergency brake (unless the restriction switch is on); elsewhere "
                         "the limit is 25 km/h");
    }
    if (a.Beacon && a.Beacon->Type == ResetBeaconType &&
        a.Beacon->Parameter != ResetBeaconParameter) {
      warnings.push_back(fmt::format(
          "{}beacon type {} {} never resets the ATC; the reset beacon is parameter = {}", line,
          ResetBeaconType,
          a.Beacon->ParameterGiven
              ? fmt::format("with parameter {}", a.Beacon->Parameter)
              : std::string("without a parameter is passed with parameter 0, which"),
          ResetBeaconParameter));
    }
  }
  return warnings;
}

}  // namespace

double SpeedSeen(const FrameRecord& row) {
  return static_cast<double>(static_cast<float>(row.SpeedKmh));
}

int LitStep(const CabIndication& cab) {
  for (int step = 0; step < PanelStepLampCount; ++step) {
    if (cab.StepLamps[step]) {
      return step;
    }
  }
  return -1;
}

bool Supervised(const CabIndication& cab) {
  const bool ats = !cab.ModeAtc && cab.ModeAts;  // as ModeName and the trace read the lamps
  return cab.AtcActive && !cab.CutOut && !(ats && !cab.AtcSignal);
}

const char* ModeName(const CabIndication& cab) {
  return cab.ModeAtc ? "ATC" : cab.ModeAts ? "ATS" : cab.ModeRestricted ? "restricted" : "-";
}

const char* InterventionName(Intervention kind) {
  return kind == Intervention::Service     ? "service brake"
         : kind == Intervention::Emergency ? "emergency brake"
                                           : "none";
}

std::string NotchName(int32_t notch, int32_t emergencyNotch) {
  if (notch <= 0) {
    return "0";
  }
  if (notch < emergencyNotch) {
    return fmt::format("B{}", notch);
  }
  return notch == emergencyNotch ? "EB" : fmt::format("EB+{}", notch - emergencyNotch);
}

const char* ReleaseName(Release outcome) {
  switch (outcome) {
    case Release::Released:
      return "released";
    case Release::NoIntervention:
      return "no intervention";
    case Release::HeldWhenLimitChanged:
      return "held when the limit changed";
    case Release::StillAppliedAtEnd:
      return "still applied at the end";
  }
  return "";
}

RunAnalyser::RunAnalyser(const Scenario& scenario, int32_t emergencyNotch)
    : Setup(scenario), EmergencyNotch(emergencyNotch) {
  for (std::string& warning : ScenarioWarnings(scenario)) {
    Warn(std::move(warning));
  }
}

const FrameRecord* RunAnalyser::Before(size_t back) const {
  return back < Seen && back < Recent.size() ? &Recent[(Seen - 1 - back) % Recent.size()] : nullptr;
}

const std::string& RunAnalyser::CurrentCause() const { return OpenSpan ? OpenText : NoCause; }

size_t RunAnalyser::OpenSpanNumber() const { return OpenSpan ? Result.InterventionCount + 1 : 0; }

void RunAnalyser::Add(const FrameRecord& row, const RunRecord& record) {
  Recent[Seen % Recent.size()] = row;
  ++Seen;
  const FrameRecord* previous = Before(1);
  NoteEvents(row, previous, record);
  TrackInterventions(row, previous, record);
  TrackCab(row, previous);
  TrackBraking(row, previous, record);
  TrackWarnings(row, previous, record);
  if (Seen == 1) {
    Result.First = MomentOf(row);
  }
  Result.MaxSpeedKmh = std::max(Result.MaxSpeedKmh, row.SpeedKmh);
  Result.MinSpeedKmh = std::min(Result.MinSpeedKmh, row.SpeedKmh);
  const double over = row.SpeedKmh - row.Cab.LimitKmh;
  if (Supervised(row.Cab) && !CodeMissing(row.Cab) && !HeldByStop(row) &&
      over > Result.MaxOverLimitKmh) {
    Result.MaxOverLimitKmh = over;
    Result.MaxOverLimit = MomentOf(row);
  }
  if (previous != nullptr && row.SpeedKmh == 0.0 && previous->SpeedKmh != 0.0) {
    Result.Stops.push_back(StopRecord{MomentOf(row), previous->Acting, previous->Returned.Brake,
                                      previous->Driver.Brake});
  }
  for (int slot = 0; slot < SoundCount; ++slot) {
    if (row.Sounds[slot] == SOUND_PLAY) {
      Tally(Result.SoundPlays[slot], row.TimeS);
    } else if (row.Sounds[slot] == SOUND_STOP) {
      Tally(Result.SoundStops[slot], row.TimeS);
    }
  }
  Result.Last = row;
}

// The aspect in force and the reset beacon, as the host sent them. The
// plug-in tests the standstill against the speed of the frame before.
void RunAnalyser::NoteEvents(const FrameRecord& row, const FrameRecord* previous,
                             const RunRecord& record) {
  const double speedBefore = previous != nullptr ? SpeedSeen(*previous) : 0.0;
  for (size_t i = 0; i < row.FiredEventCount; ++i) {
    const ScenarioEvent& event = FiredInFrame(Setup, record, row, i);
    std::string note;
    if (event.Actions.Signal) {
      LastAspect = *event.Actions.Signal;
      CodeForgotten = false;
    }
    const std::optional<BeaconPass>& beacon = event.Actions.Beacon;
    if (beacon && beacon->Type == ResetBeaconType && beacon->Parameter == ResetBeaconParameter) {
      if (speedBefore != 0.0) {
        note = "ignored: the train was moving";
        Warn(fmt::format(
            "{}: reset beacon ignored: the train was moving ({} km/h in the frame before, "
            "as the plug-in saw it)",
            EventPlace(event), SpeedText(speedBefore)));
      } else {
        LastAspect.reset();
        CodeForgotten = true;
        ResetFrame = static_cast<size_t>(row.Frame);
      }
    }
    Result.FiredNotes.push_back(note);
  }
}

// The code a train at rest at a 0 km/h limit stands at, as the host sent it.
std::string RunAnalyser::CodeAtRest() const {
  if (LastAspect == AspectStop) {
    return fmt::format("the stop code (aspect {})", AspectStop);
  }
  if (LastAspect && AspectSetsStep(*LastAspect)) {
    return fmt::format("the 0 km/h code (aspect {})", *LastAspect);
  }
  return CodeForgotten ? "the 0 km/h limit (no code since the reset beacon)"
                       : "the 0 km/h limit (no ATC code)";
}

RunAnalyser::Inferred RunAnalyser::Infer(const FrameRecord& row) const {
  // The lamps light a frame after the command: where the driver already
  // brakes harder, the first frame's brake shows only then.
  const bool handlesDiffer = row.Returned.Brake != row.Driver.Brake ||
                             row.Returned.Power != row.Driver.Power ||
                             row.Returned.Reverser != row.Driver.Reverser;
  if (row.Frame == 0 || (row.Frame == 1 && !handlesDiffer)) {
    return {Cause::StartOfRun, "start of run (no permit yet)", "start"};
  }
  if (ResetFrame && static_cast<size_t>(row.Frame) - *ResetFrame <= 1) {
    return {Cause::ResetBeacon, "reset beacon at standstill", "reset beacon"};
  }
  // One walk over the lead frames, the latest first: rolling back, a lower
  // limit measured and what lowered it, the frame most over the limit.
  const FrameRecord *lowered = nullptr, *worst = nullptr;
  bool switched = false;  // the restriction switch lowered it, not the selector
  for (size_t back = 1; back <= LeadFrames && Before(back) != nullptr; ++back) {
    const FrameRecord& lead = *Before(back);
    const FrameRecord* earlier = Before(back + 1);
    if (SpeedSeen(lead) < RollbackSpeedKmh && lead.Driver.Reverser == 1) {
      return {Cause::Rollback, fmt::format("rollback: {:.2f} km/h backwards", -lead.SpeedKmh),
              "rollback"};
    }
    if (lowered == nullptr && LowerLimitOver(&lead, earlier)) {
      switched = lead.Cab.Restrict && !earlier->Cab.Restrict;
      lowered =
          switched || std::string(ModeName(lead.Cab)) != ModeName(earlier->Cab) ? &lead : nullptr;
    }
    if (OverBy(lead) > 0 && (worst == nullptr || OverBy(lead) > OverBy(*worst))) {
      worst = &lead;
    }
  }
  if (row.Acting == Intervention::Emergency && row.Cab.ModeAtc && !row.Cab.Restrict) {
    if (LastAspect == AspectStop) {
      return {Cause::StopCode, fmt::format("stop code (aspect {})", AspectStop), "stop code"};
    }
    if (!LastAspect || !AspectSetsStep(*LastAspect)) {
      const std::string which = LastAspect      ? "aspect " + std::to_string(*LastAspect)
                                : CodeForgotten ? "none since the reset beacon"
                                                : "no aspect yet";
      return {Cause::NoCode, "no ATC code (" + which + ")", "no code"};
    }
  }
  if (lowered != nullptr) {
    const std::string at = fmt::format(" at {:.1f} km/h", lowered->SpeedKmh);
    if (switched) {
      return {Cause::RestrictionSwitch, "restriction switch: limit forced to 25" + at,
              "restriction switch"};
    }
    return {Cause::SelectorChange,
            fmt::format("selector to {}: limit {}{}", ModeName(lowered->Cab), lowered->Cab.LimitKmh,
                        at),
            "selector"};
  }
  if (HeldByStop(row) && (worst == nullptr || HeldByStop(*worst))) {
    return {Cause::HeldAtRest, "held at rest by " + CodeAtRest(), "held at 0"};
  }
  if (worst != nullptr) {
    const double over = worst->SpeedKmh - worst->Cab.LimitKmh;
    return {Cause::Overspeed,
            fmt::format("overspeed: {:.2f} km/h, limit {} km/h, {}", worst->SpeedKmh,
                        worst->Cab.LimitKmh,
                        over < 0.01 ? "less than 0.01 over" : fmt::format("{:.2f} over", over)),
            over < 0.1 ? std::string("overspeed") : fmt::format("overspeed +{:.1f}", over)};
  }
  return {Cause::Unseen, "not seen from outside", "cause not seen"};
}

void RunAnalyser::Open(const FrameRecord& row) {
  InterventionSpan span;
  span.Kind = row.Acting;
  span.Start = MomentOf(row);
  span.Notch = row.Returned.Brake;
  span.LowestPositionM = span.HighestPositionM = row.PositionM;
  Inferred cause = Infer(row);
  span.Why = cause.Why;
  OpenText = std::move(cause.Text);
  OpenLabel = std::move(cause.Label);
  OpenThens = {OpenLabel};  // the label it began with, kept first
  OpenSpan = std::move(span);
  AtcNotchSeen = 0;
  LastEmergencyFrame.reset();
}

void RunAnalyser::Close(const FrameRecord& after) {
  OpenSpan->End = MomentOf(after);
  OpenSpan->Released = true;
  const bool emergency = LastEmergencyFrame && after.Frame - *LastEmergencyFrame <= 2;
  OpenSpan->ReleasedBy =
      after.Cab.CutOut                                     ? "cut-out switch"
      : OpenSpan->Why == Cause::StartOfRun                 ? "the first permit"
      : emergency && after.Driver.Brake == EmergencyNotch  ? "driver's emergency position"
      : !emergency && after.SpeedKmh <= after.Cab.LimitKmh ? "speed under the limit"
                                                           : "the ATC";
  Keep();
  PendingThens.clear();
}

void RunAnalyser::Keep() {
  OpenSpan->CauseText = *Result.Texts->insert(std::move(OpenText)).first;
  OpenSpan->CauseLabel = *Result.Texts->insert(std::move(OpenLabel)).first;
  const size_t number = ++Result.InterventionCount;
  if (OnSpan) {
    OnSpan(*OpenSpan, number);
  }
  if (DropOpen && Result.Braking.back().Span == number) {
    DropSpan = OpenSpan;
  }
  if (Result.Interventions.size() < InterventionsKept) {
    Result.Interventions.push_back(*OpenSpan);
  }
  OpenSpan.reset();
}

// What the open intervention became in a frame is told once the next frame
// shows it still on: the brake lamp goes dark a frame after the brake is let
// go, and that last frame tells nothing. Each thing is told once (by its
// label), a few of them at most; the chart's label names how it began and
// the latest.
void RunAnalyser::Then(const FrameRecord& row, const std::string& text, const char* label) {
  PendingThens.push_back({static_cast<size_t>(row.Frame), text, label});
}

void RunAnalyser::TellThens() {
  InterventionSpan& span = *OpenSpan;
  for (const PendingThen& then : PendingThens) {
    if (std::find(OpenThens.begin(), OpenThens.end(), then.Label) != OpenThens.end()) {
      continue;
    }
    OpenThens.push_back(then.Label);
    if (span.ThenCount == ThensTold) {
      OpenText += "; ...";
    }
    if (span.ThenCount++ >= ThensTold) {
      continue;
    }
    OpenText += (then.Frame == span.Start.Frame ? "; " : "; then ") + then.Text;
    OpenLabel = OpenThens.front() + ", then " + then.Label;
  }
  PendingThens.clear();
}

// What the open intervention became in this frame: the ATC braking although
// the driver brakes harder (the handles show nothing, the lamp does), a lower
// limit, the emergency brake or the service brake again, the train held at
// rest at a 0 km/h limit.
void RunAnalyser::NoteBecoming(const FrameRecord& row, const FrameRecord& previous,
                               const RunRecord& record) {
  if (row.Acting == Intervention::Service && row.Returned.Brake > row.Driver.Brake) {
    AtcNotchSeen = row.Returned.Brake;
  }
  const bool first = static_cast<size_t>(row.Frame) == OpenSpan->Start.Frame;
  // The handles the driver's and the brake lamp lit: the ATC brakes with a
  // notch no stronger than the driver's, or it has just let go (the lamp goes
  // dark a frame late), which a notch of its own seen stronger tells.
  if (row.Acting == Intervention::Service && row.Cab.BrakeLamp && row.Driver.Brake > 0 &&
      row.Returned.Brake == row.Driver.Brake && AtcNotchSeen < row.Driver.Brake) {
    Then(row,
         fmt::format("ATC service brake, the driver's {} {}",
                     NotchName(row.Driver.Brake, EmergencyNotch),
                     AtcNotchSeen == 0 ? "at least as strong" : "stronger"),
         "driver's brake stronger");
  }
  if (first) {
    return;
  }
  if (Supervised(row.Cab) && Supervised(previous.Cab) && row.Cab.LimitKmh < previous.Cab.LimitKmh) {
    const std::string label = fmt::format("lower limit {}", row.Cab.LimitKmh);
    Then(row,
         fmt::format("a lower limit, {} km/h ({})", row.Cab.LimitKmh,
                     DropCause(Setup, record, {&row, &previous})),
         label.c_str());
  }
  if (row.Acting == Intervention::Emergency && previous.Acting != Intervention::Emergency) {
    Then(row, "the emergency brake: " + Infer(row).Text, "emergency brake");
  } else if (row.Acting == Intervention::Service && previous.Acting == Intervention::Emergency) {
    Then(row, "the service brake", "service brake");
  }
  if (row.SpeedKmh == 0.0 && row.Cab.LimitKmh == 0) {
    Then(row, "holding the train at rest at " + CodeAtRest(), "held at 0");
  }
}

// An intervention is a run of frames in which the ATC acts; the first frame
// without ends it.
void RunAnalyser::TrackInterventions(const FrameRecord& row, const FrameRecord* previous,
                                     const RunRecord& record) {
  if (OpenSpan && row.Acting == Intervention::None) {
    Close(row);
  }
  if (row.Acting == Intervention::None) {
    return;
  }
  if (!OpenSpan) {
    Open(row);
  }
  TellThens();
  NoteBecoming(row, previous != nullptr ? *previous : row, record);
  InterventionSpan& span = *OpenSpan;
  if (row.Acting == Intervention::Emergency) {
    span.Kind = Intervention::Emergency;
    LastEmergencyFrame = static_cast<size_t>(row.Frame);
  }
  span.Notch = std::max(span.Notch, row.Returned.Brake);
  span.LowestPositionM = std::min(span.LowestPositionM, row.PositionM);
  span.HighestPositionM = std::max(span.HighestPositionM, row.PositionM);
}

// What the host can tell went wrong in the run: a service brake that cannot
// hold the train, a selector press the plug-in refused, a chime in a loop.
void RunAnalyser::TrackWarnings(const FrameRecord& row, const FrameRecord* previous,
                                const RunRecord& record) {
  if (previous == nullptr) {
    return;
  }
  // Without the closed loop the speed profile drives the train, not the brake.
  // Each rise comes from the gradient of the frame it started from.
  if (Setup.Run.Loop == LoopKind::Closed && row.Acting == Intervention::Service &&
      previous->Acting == Intervention::Service && row.SpeedKmh > previous->SpeedKmh) {
    if (!RiseStart) {
      RiseStart = MomentOf(*previous);
      RiseGradientLow = RiseGradientHigh = previous->GradientPermille;
      RiseSpan = OpenSpanNumber();
    }
    RiseGradientLow = std::min(RiseGradientLow, previous->GradientPermille);
    RiseGradientHigh = std::max(RiseGradientHigh, previous->GradientPermille);
    RiseLast = row;
  } else {
    NoteRise();
  }
  // The selector leaves ATC only outside an ATC section and with the
  // driver's brake applied; any other press leaves the mode lamps as they were.
  for (size_t i = 0; i < row.FiredEventCount; ++i) {
    const ScenarioEvent& event = FiredInFrame(Setup, record, row, i);
    for (const KeyPress& key : event.Actions.Keys) {
      if (key.Index != KeyModeDown || !previous->Cab.ModeAtc || !row.Cab.ModeAtc ||
          (!row.Cab.AtcSignal && row.Driver.Brake != 0)) {
        continue;
      }
      Warn(fmt::format(
          "{}: selector down at {} refused: {}; the selector leaves ATC only outside an ATC "
          "section, with the brake applied",
          EventPlace(event), At(MomentOf(row)),
          row.Cab.AtcSignal ? "inside an ATC section" : "the brake was released"));
    }
  }
  const bool chime = row.Sounds[0] == SOUND_PLAY && row.Driver.Brake >= EmergencyNotch;
  ChimeFrames = chime ? ChimeFrames + 1 : 0;
  if (ChimeFrames == 1) {
    ChimeFrom = MomentOf(row);
  }
  if (ChimeFrames == ChimeLoopFrames && Result.ChimeNote.empty()) {
    Result.ChimeNote = fmt::format(
        "sound {} in every frame from {}: the driver holds the emergency notch while the ATC's "
        "emergency trigger holds (no code or the stop code in ATC), so every cycle latches the "
        "emergency brake, the driver's notch releases it again, and the ATC announces both",
        SoundIndex[0], At(ChimeFrom));
  }
}

// Called when the speed stops rising under the service brake.
void RunAnalyser::NoteRise() {
  if (RiseStart && RiseLast.TimeS - RiseStart->TimeS > RiseWarnS) {
    const std::string gradient = RiseGradientLow == RiseGradientHigh
                                     ? fmt::format("a gradient of {:g} per mille", RiseGradientLow)
                                     : fmt::format("gradients from {:g} to {:g} per mille",
                                                   RiseGradientLow, RiseGradientHigh);
    Warn(fmt::format(
        "{}: intervention {}: the ATC's service brake ({}) cannot hold the train: {:.1f} to "
        "{:.1f} km/h in {:.1f} s on {}",
        At(*RiseStart), RiseSpan, NotchName(RiseLast.Returned.Brake, EmergencyNotch),
        RiseStart->SpeedKmh, RiseLast.SpeedKmh, RiseLast.TimeS - RiseStart->TimeS, gradient));
  }
  RiseStart.reset();
}

void RunAnalyser::AddChange(const FrameRecord& row, std::string what, bool brakeLamp) {
  std::vector<CabChange>& changes = Result.CabChanges;
  if (CabChangesSeen++ >= CabChangesKept) {
    ++Result.CabChangesDropped;
  } else if (!changes.empty() && changes.back().At.Frame == static_cast<size_t>(row.Frame)) {
    changes.back().What += brakeLamp ? "" : "; " + what;
  } else if (!brakeLamp) {
    changes.push_back(CabChange{MomentOf(row), std::move(what)});
  }
}

void RunAnalyser::TrackCab(const FrameRecord& row, const FrameRecord* previous) {
  const CabIndication before = previous != nullptr ? previous->Cab : CabIndication{};
  const CabIndication& now = row.Cab;
  using C = CabIndication;
  static const std::pair<int32_t C::*, std::string> lamps[] = {
      {&C::AtcActive, "ATC active lamp"},
      {&C::AtcSignal, "ATC signal lamp"},
      {&C::Restrict, "restriction lamp"},
      {&C::BrakeLamp, "ATC brake lamp"},
      {&C::EmergencyLamp, "emergency lamp"},
      {&C::CutOut, "cut-out lamp"},
      {&C::AtsRunning, fmt::format("ATS lamp ({})", PanelAtsRunning)},
      {&C::AtsReady, fmt::format("ATS ready lamp ({})", PanelAtsReady)},
  };
  if (std::string(ModeName(now)) != ModeName(before)) {
    AddChange(row, std::string("mode ") + ModeName(now));
  }
  for (const auto& [lamp, name] : lamps) {
    if (before.*lamp != now.*lamp) {
      AddChange(row, name + (now.*lamp ? " on" : " off"), lamp == &C::BrakeLamp);
    }
  }
  const int step = LitStep(now);
  if (step != LitStep(before)) {
    AddChange(row, step < 0 ? std::string("step lamps dark")
                            : std::string("step lamp ") + PanelStepLampShows[step]);
  }
  if (now.LimitKmh != before.LimitKmh || previous == nullptr) {
    AddChange(row, "limit " + std::to_string(now.LimitKmh) + " km/h");
  }
}

// The drop's limit is no longer in force from this frame on: how the
// intervention it began stood then.
void RunAnalyser::EndDrop(BrakingRow& drop, const FrameRecord& row) {
  drop.InForceToS = row.TimeS;
  DropOpen = false;
  if (drop.Span == 0) {
    drop.Outcome = Release::NoIntervention;
  } else if (drop.Span == OpenSpanNumber()) {
    drop.Outcome = Release::HeldWhenLimitChanged;
  } else {
    drop.Outcome = Release::Released;
    drop.Released = DropSpan->End;
  }
}

// A drop is read off the limit display, so that a code, the switch and the
// selector all count alike. Its figures are taken while its limit is in
// force. The intervention it began is the one in progress at the drop, or
// else the first to start before the train is under the new limit.
void RunAnalyser::TrackBraking(const FrameRecord& row, const FrameRecord* previous,
                               const RunRecord& record) {
  if (DropOpen &&
      (!Supervised(row.Cab) || row.Cab.LimitKmh != Result.Braking.back().LimitAfterKmh)) {
    EndDrop(Result.Braking.back(), row);
  }
  if (previous != nullptr && Supervised(row.Cab) && Supervised(previous->Cab) &&
      row.Cab.LimitKmh < previous->Cab.LimitKmh) {
    BrakingRow& opened = Result.Braking.emplace_back();
    opened.At = MomentOf(row);
    opened.LimitBeforeKmh = previous->Cab.LimitKmh;
    opened.LimitAfterKmh = row.Cab.LimitKmh;
    opened.Why = DropCause(Setup, record, {&row, previous});
    opened.Span = OpenSpanNumber();
    DropOpen = true;
    DropSpan.reset();
  }
  if (!DropOpen) {
    return;
  }
  BrakingRow& drop = Result.Braking.back();
  if (!drop.UnderLimit &&
      (drop.LimitAfterKmh == 0 ? row.SpeedKmh == 0.0 : row.SpeedKmh <= drop.LimitAfterKmh)) {
    drop.UnderLimit = MomentOf(row);
  }
  drop.PeakOverKmh = std::max(drop.PeakOverKmh, row.SpeedKmh - drop.LimitAfterKmh);
  if (drop.Span == 0 && !drop.UnderLimit && OpenSpan &&
      OpenSpan->Start.Frame == static_cast<size_t>(row.Frame)) {
    drop.Span = OpenSpanNumber();
  }
  if (drop.Span != 0 && drop.Span == OpenSpanNumber()) {
    drop.Notch = std::max(drop.Notch, row.Returned.Brake);
  }
}

void RunAnalyser::Warn(std::string warning) {
  if (Result.Warnings.size() < WarningsKept) {
    Result.Warnings.push_back(std::move(warning));
  } else {
    ++Result.WarningsLeftOut;
  }
}

RunAnalysis RunAnalyser::Finish(const RunRecord& record) {
  if (OpenSpan) {
    TellThens();
    OpenSpan->End.Frame = Seen;
    Keep();
  }
  if (DropOpen) {
    BrakingRow& drop = Result.Braking.back();
    drop.InForceToS = Result.Last.TimeS;
    drop.InForceAtEnd = true;
    DropOpen = false;
    if (drop.Span == 0) {
      drop.Outcome = Release::NoIntervention;
    } else if (DropSpan->Released) {
      drop.Outcome = Release::Released;
      drop.Released = DropSpan->End;
    } else {
      drop.Outcome = Release::StillAppliedAtEnd;
    }
  }
  NoteRise();
  // A long run keeps a hundred thousand spans or drops, and --compare keeps
  // eight runs' worth until the last set is written: no room to spare.
  Result.Interventions.shrink_to_fit();
  Result.Braking.shrink_to_fit();
  Result.FrameCount = Seen;
  std::vector<bool> fired(Setup.Events.size(), false);
  for (const FiredEvent& event : record.Fired) {
    fired[event.EventIndex] = true;
  }
  for (size_t i = 0; i < Setup.Events.size(); ++i) {
    if (!fired[i]) {
      const ScenarioEvent& event = Setup.Events[i];
      Result.NeverFired.push_back(i);
      Warn(fmt::format("line {}: event never fired ({}): {}", event.Line,
                       DescribeTrigger(event.When), DescribeActions(event.Actions)));
    }
  }
  return std::move(Result);
}

}  // namespace drive

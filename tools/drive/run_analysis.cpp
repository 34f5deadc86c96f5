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

// Overspeed applications no further apart than this, under one limit, are the
// driver holding power at the limit.
constexpr double HeldGapS = 5.0;

// Slower than this at a 0 km/h code the train stands: the brake holds it.
constexpr double StandingKmh = 1.0;

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

// What lowered the limit: an event fired just before the frame the display
// moved or the one before it, as the ATC may read a new code a frame late.
std::string DropCause(const Scenario& setup, const RunRecord& record,
                      std::initializer_list<const FrameRecord*> frames) {
  for (const FrameRecord* row : frames) {
    for (size_t i = 0; i < row->FiredEventCount; ++i) {
      const EventActions& fired =
          setup.Events[record.Fired[row->FirstFiredEvent + i].EventIndex].Actions;
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

std::string ReleaseCause(const FrameRecord& after, Intervention kind, int32_t emergencyNotch) {
  const bool emergency = kind == Intervention::Emergency;
  return after.Cab.CutOut                                     ? "cut-out switch"
         : emergency && after.Driver.Brake == emergencyNotch  ? "driver's emergency position"
         : !emergency && after.SpeedKmh <= after.Cab.LimitKmh ? "speed under the limit"
                                                              : "the ATC";
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
  return cab.AtcActive && !cab.CutOut && !(cab.ModeAts && !cab.AtcSignal);
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

RunAnalyser::RunAnalyser(const Scenario& scenario, int32_t emergencyNotch)
    : Setup(scenario), EmergencyNotch(emergencyNotch) {
  for (std::string& warning : ScenarioWarnings(scenario)) {
    Warn(std::move(warning));
  }
}

const FrameRecord* RunAnalyser::Before(size_t back) const {
  return back < Seen && back < Recent.size() ? &Recent[(Seen - 1 - back) % Recent.size()] : nullptr;
}

const std::string& RunAnalyser::CurrentCause() const {
  return OpenSpan ? OpenSpan->CauseText : NoCause;
}

void RunAnalyser::Add(const FrameRecord& row, const RunRecord& record) {
  Recent[Seen % Recent.size()] = row;
  ++Seen;
  const FrameRecord* previous = Before(1);
  NoteEvents(row, previous, record);
  TrackInterventions(row);
  TrackCab(row, previous);
  TrackBraking(row, previous, record);
  TrackWarnings(row, previous, record);
  if (previous == nullptr || row.Cab.LimitKmh != previous->Cab.LimitKmh) {
    LimitFrame = static_cast<size_t>(row.Frame);
  }
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
    const ScenarioEvent& event = Setup.Events[record.Fired[row.FirstFiredEvent + i].EventIndex];
    std::string note;
    if (event.Actions.Signal) {
      LastAspect = *event.Actions.Signal;
      CodeForgotten = false;
    }
    const std::optional<BeaconPass>& beacon = event.Actions.Beacon;
    if (beacon && beacon->Type == ResetBeaconType && beacon->Parameter == ResetBeaconParameter) {
      if (speedBefore != 0.0) {
        note = "ignored: the train was moving";
        Warn(fmt::format("line {}: reset beacon ignored: the train was moving ({:.1f} km/h)",
                         event.Line, speedBefore));
      } else {
        LastAspect.reset();
        CodeForgotten = true;
        ResetFrame = static_cast<size_t>(row.Frame);
      }
    }
    Result.FiredNotes.push_back(note);
  }
}

void RunAnalyser::Infer(const FrameRecord& row, InterventionSpan& span) const {
  auto set = [&span](Cause why, std::string text, std::string label) {
    span.Why = why;
    span.CauseText = std::move(text);
    span.CauseLabel = std::move(label);
  };
  if (row.Frame == 0) {
    return set(Cause::StartOfRun, "start of run (no permit yet)", "start");
  }
  if (ResetFrame && static_cast<size_t>(row.Frame) - *ResetFrame <= 1) {
    return set(Cause::ResetBeacon, "reset beacon at standstill", "reset beacon");
  }
  // One walk over the lead frames, the latest first: rolling back, a lower
  // limit measured and what lowered it, the frame most over the limit.
  const FrameRecord *lowered = nullptr, *worst = nullptr;
  bool switched = false;  // the restriction switch lowered it, not the selector
  for (size_t back = 1; back <= LeadFrames && Before(back) != nullptr; ++back) {
    const FrameRecord& lead = *Before(back);
    const FrameRecord* earlier = Before(back + 1);
    if (SpeedSeen(lead) < RollbackSpeedKmh && lead.Driver.Reverser == 1) {
      return set(Cause::Rollback, fmt::format("rollback: {:.2f} km/h backwards", -lead.SpeedKmh),
                 "rollback");
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
  if ((span.Kind == Intervention::Emergency || row.Cab.EmergencyLamp) && row.Cab.ModeAtc &&
      !row.Cab.Restrict) {
    if (LastAspect == AspectStop) {
      return set(Cause::StopCode, fmt::format("stop code (aspect {})", AspectStop), "stop code");
    }
    if (!LastAspect || !AspectSetsStep(*LastAspect)) {
      const std::string which = LastAspect      ? "aspect " + std::to_string(*LastAspect)
                                : CodeForgotten ? "none since the reset beacon"
                                                : "no aspect yet";
      return set(Cause::NoCode, "no ATC code (" + which + ")", "no code");
    }
  }
  if (lowered != nullptr) {
    const std::string at = fmt::format(" at {:.1f} km/h", lowered->SpeedKmh);
    return switched ? set(Cause::RestrictionSwitch, "restriction switch: limit forced to 25" + at,
                          "restriction switch")
                    : set(Cause::SelectorChange,
                          fmt::format("selector to {}: limit {}{}", ModeName(lowered->Cab),
                                      lowered->Cab.LimitKmh, at),
                          "selector");
  }
  if (worst != nullptr && HeldByStop(*worst)) {
    return set(Cause::HeldByStopCode,
               fmt::format("held by the stop code: standing ({:.2f} km/h)", worst->SpeedKmh),
               "held by stop code");
  }
  if (worst != nullptr) {
    const double over = worst->SpeedKmh - worst->Cab.LimitKmh;
    return set(Cause::Overspeed,
               fmt::format("overspeed: {:.2f} km/h, limit {} km/h, {}", worst->SpeedKmh,
                           worst->Cab.LimitKmh,
                           over < 0.01 ? "less than 0.01 over" : fmt::format("{:.2f} over", over)),
               over < 0.1 ? std::string("overspeed") : fmt::format("overspeed +{:.1f}", over));
  }
  set(Cause::Unseen, "not seen from outside", "?");
}

void RunAnalyser::Open(const FrameRecord& row) {
  InterventionSpan span;
  span.Kind = row.Acting;
  span.Start = MomentOf(row);
  span.Notch = row.Returned.Brake;
  span.LowestPositionM = span.HighestPositionM = row.PositionM;
  Infer(row, span);
  OpenSpan = std::move(span);
}

void RunAnalyser::Close(const FrameRecord& after, std::string releasedBy) {
  OpenSpan->End = MomentOf(after);
  OpenSpan->Released = true;
  OpenSpan->ReleasedBy = std::move(releasedBy);
  Keep(std::move(*OpenSpan));
  OpenSpan.reset();
}

// An overspeed application soon after the last one released, the limit the
// same all along, joins it: the driver is holding power at the limit, and one
// span tells that better than dozens.
void RunAnalyser::Keep(InterventionSpan span) {
  InterventionSpan* last = Result.Interventions.empty() ? nullptr : &Result.Interventions.back();
  if (last == nullptr || span.Why != Cause::Overspeed || !last->Released ||
      last->Kind != span.Kind ||
      (last->Why != Cause::Overspeed && last->Why != Cause::HeldAtLimit) ||
      last->Start.LimitKmh != span.Start.LimitKmh || LimitFrame > last->Start.Frame ||
      span.Start.TimeS - last->End.TimeS > HeldGapS) {
    Result.Interventions.push_back(std::move(span));
    return;
  }
  // The new application's end and release, the held span's start.
  span.Why = Cause::HeldAtLimit;
  span.Applications = last->Applications + 1;
  span.Notch = std::max(last->Notch, span.Notch);
  span.Start = last->Start;
  span.LowestPositionM = std::min(last->LowestPositionM, span.LowestPositionM);
  span.HighestPositionM = std::max(last->HighestPositionM, span.HighestPositionM);
  *last = std::move(span);
  last->CauseText =
      fmt::format("held at the limit: {} brake applications, from {} to {}", last->Applications,
                  At(last->Start), last->Released ? At(last->End) : std::string("the end"));
  last->CauseLabel = fmt::format("held at limit x{}", last->Applications);
}

// A span ends when the handles come back or the kind changes, and a service
// brake span also when a new, lower limit takes over from the one it braked for.
void RunAnalyser::TrackInterventions(const FrameRecord& row) {
  if (OpenSpan && row.Acting != OpenSpan->Kind) {
    Close(row, row.Acting == Intervention::None
                   ? ReleaseCause(row, OpenSpan->Kind, EmergencyNotch)
                   : std::string("giving way to the ") + InterventionName(row.Acting));
  }
  if (OpenSpan && OpenSpan->Kind == Intervention::Service && LowerLimitOver(Before(1), Before(2))) {
    Close(row, "a lower limit");
  }
  if (row.Acting == Intervention::None) {
    return;
  }
  if (!OpenSpan) {
    Open(row);
  }
  InterventionSpan& span = *OpenSpan;
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
  if (Setup.Run.Loop == LoopKind::Closed && row.Acting == Intervention::Service &&
      previous->Acting == Intervention::Service && row.SpeedKmh > previous->SpeedKmh) {
    RiseStart = RiseStart.value_or(MomentOf(*previous));
  } else {
    NoteRise(*previous);
  }
  // The selector leaves ATC only outside an ATC section and with the
  // driver's brake applied; any other press leaves the mode lamps as they were.
  for (size_t i = 0; i < row.FiredEventCount; ++i) {
    const ScenarioEvent& event = Setup.Events[record.Fired[row.FirstFiredEvent + i].EventIndex];
    for (const KeyPress& key : event.Actions.Keys) {
      if (key.Index != KeyModeDown || !previous->Cab.ModeAtc || !row.Cab.ModeAtc ||
          (!row.Cab.AtcSignal && row.Driver.Brake != 0)) {
        continue;
      }
      Warn(fmt::format(
          "line {}: selector down at {} refused: {}; the selector leaves ATC only outside an ATC "
          "section, with the brake applied",
          event.Line, At(MomentOf(row)),
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

// Called when the speed stops rising under the service brake, with the last
// frame of the rise.
void RunAnalyser::NoteRise(const FrameRecord& last) {
  if (RiseStart && last.TimeS - RiseStart->TimeS > RiseWarnS) {
    Warn(fmt::format(
        "{}: the ATC's service brake ({}) cannot hold the train: {:.1f} to {:.1f} km/h in "
        "{:.1f} s on a gradient of {:g} per mille",
        At(*RiseStart), NotchName(last.Returned.Brake, EmergencyNotch), RiseStart->SpeedKmh,
        last.SpeedKmh, last.TimeS - RiseStart->TimeS, last.GradientPermille));
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

// A drop is read off the limit display, so that a code, the switch and the
// selector all count alike.
void RunAnalyser::TrackBraking(const FrameRecord& row, const FrameRecord* previous,
                               const RunRecord& record) {
  if (previous != nullptr && Supervised(row.Cab) && Supervised(previous->Cab) &&
      row.Cab.LimitKmh < previous->Cab.LimitKmh) {
    if (!Result.Braking.empty()) {
      Result.Braking.back().Overtaken = !Result.Braking.back().UnderLimit;
    }
    BrakingRow& opened = Result.Braking.emplace_back();
    opened.At = MomentOf(row);
    opened.LimitBeforeKmh = previous->Cab.LimitKmh;
    opened.LimitAfterKmh = row.Cab.LimitKmh;
    opened.Why = DropCause(Setup, record, {&row, previous});
  }
  // The latest drop stays open until the next one or the end of the run.
  if (Result.Braking.empty()) {
    return;
  }
  BrakingRow& drop = Result.Braking.back();
  if (!drop.UnderLimit &&
      (drop.LimitAfterKmh == 0 ? row.SpeedKmh == 0.0 : row.SpeedKmh <= drop.LimitAfterKmh)) {
    drop.UnderLimit = MomentOf(row);
  }
  drop.PeakOverKmh = std::max(drop.PeakOverKmh, row.SpeedKmh - drop.LimitAfterKmh);
  if (drop.Released) {
  } else if (row.Acting != Intervention::None) {
    drop.Notch = std::max(drop.Notch, row.Returned.Brake);
  } else if (drop.Notch > 0) {  // the ATC braked since the drop
    drop.Released = MomentOf(row);
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
    OpenSpan->End.Frame = Seen;
    Keep(std::move(*OpenSpan));
    OpenSpan.reset();
  }
  NoteRise(Result.Last);
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

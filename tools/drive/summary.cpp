// The terminal summary: a few short sections, each line starting with the time
// and position so that it can be found in the trace and on the chart.
#include <fmt/format.h>

#include <algorithm>
#include <utility>

#include "reports.h"

namespace drive {
namespace {

constexpr size_t CabLinesShown = 24;
constexpr size_t InterventionLinesShown = 16;

void WriteMore(std::ostream& out, size_t total, size_t shown) {
  if (total > shown) {
    out << "  ... " << total - shown << " more in the trace\n";
  }
}

// "  12.35 s   612.4 m" for a moment of the run.
std::string Where(const Moment& at) {
  return fmt::format("{:8.2f} s {:8.1f} m", at.TimeS, at.PositionM);
}

void WriteHeader(std::ostream& out, const RunContext& run) {
  out << run.Setup.Title << "\n";
  if (!run.Setup.Description.empty()) {
    out << "  " << run.Setup.Description << "\n";
  }
  for (const auto& [name, text] : RunHeader(run)) {
    out << fmt::format("  {:<9} {}\n", name, text);
    if (name == "plug-in") {
      out << "  options   as the plug-in read them (" << run.OptionsFrom << ")\n";
      for (const std::string& option : run.OptionLines) {
        out << "    " << option << "\n";
      }
    }
  }
}

void WriteInterventions(std::ostream& out, const RunContext& run, const RunAnalysis& analysis) {
  const int32_t emergency = run.Record.EmergencyNotch;
  out << "\nATC interventions: " << analysis.InterventionCount << "\n";
  if (!analysis.Interventions.empty()) {
    out << "    #     from s   from m  brake      notch    km/h  limit     to s     to m    km/h  "
           "released by                      cause\n";
  }
  const size_t shown = std::min(analysis.Interventions.size(), InterventionLinesShown);
  for (size_t i = 0; i < shown; ++i) {
    const InterventionSpan& span = analysis.Interventions[i];
    out << fmt::format("  {:>3} {:10.2f} {:8.1f}  {:<9}  {:<5}  {:6.1f}  {:5}", i + 1,
                       span.Start.TimeS, span.Start.PositionM, InterventionWord(span.Kind),
                       NotchName(span.Notch, emergency), span.Start.SpeedKmh, span.Start.LimitKmh);
    // A span still applied at the end fills the same columns with dashes.
    const auto end = [&](double value, const char* format) {
      return span.Released ? fmt::format(fmt::runtime(format), value) : std::string("-");
    };
    out << fmt::format(" {:>8} {:>8}  {:>6}  {:<31}", end(span.End.TimeS, "{:.2f}"),
                       end(span.End.PositionM, "{:.1f}"), end(span.End.SpeedKmh, "{:.1f}"),
                       span.Released ? span.ReleasedBy : "still applied at the end");
    out << "  " << span.CauseText << "\n";
  }
  WriteMore(out, analysis.InterventionCount, shown);
  if (analysis.MaxOverLimitKmh > 0.0) {
    const Moment& worst = analysis.MaxOverLimit;
    out << fmt::format(
        "  highest speed over the limit while supervised: {:.2f} km/h, at {:.2f} s, {:.1f} m "
        "({:.1f} km/h, limit {})\n",
        analysis.MaxOverLimitKmh, worst.TimeS, worst.PositionM, worst.SpeedKmh, worst.LimitKmh);
  } else {
    out << "  never over the limit while supervised\n";
  }
}

void WriteStops(std::ostream& out, const RunContext& run, const RunAnalysis& analysis) {
  out << "\nStops: " << analysis.Stops.size() << "\n";
  const size_t shown = std::min(analysis.Stops.size(), ListLinesShown);
  for (size_t i = 0; i < shown; ++i) {
    const StopRecord& stop = analysis.Stops[i];
    out << "  " << Where(stop.At) << "  ";
    if (run.Setup.Run.Loop == LoopKind::Open) {
      out << "as the speed profile gives";
    } else if (stop.Under == Intervention::None) {
      out << "by the driver (brake notch " << stop.DriverBrake << ")";
    } else {
      out << "under the ATC " << InterventionName(stop.Under) << " (notch "
          << NotchName(stop.AppliedBrake, run.Record.EmergencyNotch) << ")";
    }
    out << ", limit " << stop.At.LimitKmh << " km/h\n";
  }
  WriteMore(out, analysis.Stops.size(), shown);
  if (analysis.MinSpeedKmh < 0.0) {
    out << fmt::format("  rolled back: lowest speed {:.2f} km/h\n", analysis.MinSpeedKmh);
  }
  if (analysis.FrameCount > 0) {
    const FrameRecord& last = analysis.Last;
    out << "  at the end: " << fmt::format("{:.1f} km/h", last.SpeedKmh) << ", mode "
        << ModeName(last.Cab) << ", limit " << last.Cab.LimitKmh << " km/h, returned brake "
        << NotchName(last.Returned.Brake, run.Record.EmergencyNotch) << ", power "
        << last.Returned.Power << "\n";
  }
}

void WriteEvents(std::ostream& out, const RunContext& run) {
  const Scenario& s = run.Setup;
  out << "\nEvents: " << s.Events.size() - run.Analysis.NeverFired.size() << " of "
      << s.Events.size() << " fired\n";
  const size_t shown = std::min(run.Record.Fired.size(), ListLinesShown);
  for (size_t i = 0; i < shown; ++i) {
    const FiredEvent& fired = run.Record.Fired[i];
    const ScenarioEvent& event = s.Events[fired.EventIndex];
    out << fmt::format("  {:8.2f} s {:8.1f} m {:6.1f} km/h  ", fired.TimeS, fired.PositionM,
                       fired.SpeedKmh)
        << DescribeActions(event.Actions);
    if (!event.Label.empty()) {
      out << "  \"" << event.Label << "\"";
    }
    if (i < run.Analysis.FiredNotes.size() && !run.Analysis.FiredNotes[i].empty()) {
      out << "  (" << run.Analysis.FiredNotes[i] << ")";
    }
    out << "\n";
  }
  WriteMore(out, run.Record.Fired.size(), shown);
  const std::vector<size_t>& never = run.Analysis.NeverFired;
  for (size_t k = 0; k < never.size() && k < ListLinesShown; ++k) {
    const ScenarioEvent& event = s.Events[never[k]];
    out << "  never fired (line " << event.Line << ", " << DescribeTrigger(event.When)
        << "): " << DescribeActions(event.Actions) << "\n";
  }
  if (never.size() > ListLinesShown) {
    out << "  ... " << never.size() - ListLinesShown << " more never fired\n";
  }
}

void WriteCab(std::ostream& out, const RunAnalysis& analysis) {
  const std::vector<CabChange>& lines = analysis.CabChanges;
  out << "\nCab lamps and limit: " << lines.size() << " changes"
      << (analysis.CabChangesDropped > 0 ? " and more" : "") << "\n";
  for (size_t i = 0; i < lines.size() && i < CabLinesShown; ++i) {
    out << "  " << Where(lines[i].At) << "  " << lines[i].What << "\n";
  }
  WriteMore(out, lines.size(), CabLinesShown);
}

void WriteSounds(std::ostream& out, const RunAnalysis& analysis) {
  out << "\nSounds (host sound index: commands)\n";
  for (int slot = 0; slot < SoundCount; ++slot) {
    out << "  sound " << SoundIndex[slot] << ":";
    if (analysis.SoundPlays[slot].Count + analysis.SoundStops[slot].Count == 0) {
      out << " none";
    }
    for (const auto& [word, tally] : {std::pair{"  play x", &analysis.SoundPlays[slot]},
                                      std::pair{"  stop x", &analysis.SoundStops[slot]}}) {
      if (tally->Count == 0) {
        continue;
      }
      out << word << tally->Count << " at";
      for (double timeS : tally->FirstTimesS) {
        out << fmt::format(" {:.2f}", timeS);
      }
      out << (tally->Count > tally->FirstTimesS.size() ? " ... s" : " s");
    }
    out << "\n";
  }
  if (!analysis.ChimeNote.empty()) {
    out << "  " << analysis.ChimeNote << "\n";
  }
}

void WriteWarnings(std::ostream& out, const RunAnalysis& analysis) {
  const size_t shown = std::min(analysis.Warnings.size(), WarningsKept);
  const size_t more = analysis.Warnings.size() - shown + analysis.WarningsLeftOut;
  out << "\nWarnings: " << shown + more << "\n";
  for (size_t i = 0; i < shown; ++i) {
    out << "  " << analysis.Warnings[i] << "\n";
  }
  if (more > 0) {
    out << "  ... " << more << " more\n";
  }
}

}  // namespace

std::vector<std::pair<std::string, std::string>> RunHeader(const RunContext& run) {
  const Scenario& s = run.Setup;
  const RunAnalysis& analysis = run.Analysis;
  std::vector<std::pair<std::string, std::string>> fields{
      {"scenario", run.ScenarioPath},
      {"plug-in", fmt::format("{} (interface version 0x{:X})", run.LibraryPath,
                              static_cast<unsigned>(run.Record.PluginVersion))},
      {"train",
       fmt::format("{} service notches (emergency {}), {} power notches; {} loop at "
                   "{:g} Hz",
                   s.Train.ServiceNotches, run.Record.EmergencyNotch, s.Train.PowerNotches,
                   s.Run.Loop == LoopKind::Closed ? "closed" : "open", s.Run.FrameRateHz)}};
  if (analysis.FrameCount > 0) {
    fields.emplace_back(
        "run", fmt::format("{:.2f} s, {:.1f} m to {:.1f} m, top speed {:.1f} km/h; ended by {}",
                           analysis.Last.TimeS, analysis.First.PositionM, analysis.Last.PositionM,
                           analysis.MaxSpeedKmh,
                           run.Record.EndReason == RunEnd::Position ? "reaching the end position"
                           : run.Record.EndReason == RunEnd::Quit   ? "the driver quitting the cab"
                                                                    : "the end of its time"));
  }
  return fields;
}

void WriteSummary(std::ostream& out, const RunContext& run) {
  WriteHeader(out, run);
  WriteInterventions(out, run, run.Analysis);
  if (!run.Analysis.Braking.empty()) {
    out << "\nBraking: " << run.Analysis.Braking.size()
        << (run.Analysis.Braking.size() == 1 ? " drop" : " drops") << " of the limit\n";
    WriteBrakingReport(out, RunSets(&run, 1));
  }
  WriteStops(out, run, run.Analysis);
  WriteEvents(out, run);
  WriteCab(out, run.Analysis);
  WriteSounds(out, run.Analysis);
  WriteWarnings(out, run.Analysis);
}

}  // namespace drive

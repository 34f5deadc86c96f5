// The terminal summary: a few short sections, each line starting with the time
// and position so that it can be found in the trace and on the chart.
#include <cstdio>
#include <map>

#include "reports.h"

namespace drive {
namespace {

constexpr size_t CabLinesShown = 24;
constexpr size_t InterventionLinesShown = 16;
constexpr size_t SoundTimesShown = 8;

std::string Format(const char* format, double a) {
  char text[96];
  std::snprintf(text, sizeof text, format, a);
  return text;
}

// "  12.35 s   612.4 m" for a frame.
std::string Where(const FrameRecord& row) {
  char text[64];
  std::snprintf(text, sizeof text, "%8.2f s %8.1f m", row.TimeS, row.PositionM);
  return text;
}

std::string OptionsLine(const RunContext& run) {
  if (run.IniText.empty()) {
    return "defaults (no KELVRIN.ini)";
  }
  if (run.Setup.Options.IniText) {
    return "KELVRIN.ini as given in the scenario";
  }
  std::string line;
  const PluginOptions& options = run.Setup.Options;
  if (options.Use120Signal) {
    line += std::string("Use120Signal=") + (*options.Use120Signal ? "1 " : "0 ");
  }
  if (options.UseAts) {
    line += std::string("UseATS=") + (*options.UseAts ? "1 " : "0 ");
  }
  if (options.AtcBrakeNotch) {
    line += "ATCBrakeNotch=" + std::to_string(*options.AtcBrakeNotch) + " ";
  }
  return line + "(others at their defaults)";
}

void WriteHeader(std::ostream& out, const RunContext& run, const RunAnalysis& analysis) {
  const Scenario& s = run.Setup;
  const std::vector<FrameRecord>& frames = run.Record.Frames;
  out << s.Title << "\n";
  if (!s.Description.empty()) {
    out << "  " << s.Description << "\n";
  }
  out << "  scenario  " << run.ScenarioPath << "\n";
  char line[256];
  std::snprintf(line, sizeof line, "  plug-in   %s (interface version 0x%X)\n",
                run.LibraryPath.c_str(), static_cast<unsigned>(run.Record.PluginVersion));
  out << line << "  options   " << OptionsLine(run) << "\n";
  std::snprintf(line, sizeof line,
                "  train     %d service notches (emergency %d), %d power notches; %s loop at %g "
                "Hz\n",
                s.Train.ServiceNotches, run.Record.EmergencyNotch, s.Train.PowerNotches,
                s.Run.Loop == LoopKind::Closed ? "closed" : "open", s.Run.FrameRateHz);
  out << line;
  if (!frames.empty()) {
    const FrameRecord& last = frames.back();
    std::snprintf(
        line, sizeof line,
        "  run       %.2f s, %.1f m to %.1f m, top speed %.1f km/h; ended by %s\n", last.TimeS,
        frames.front().PositionM, last.PositionM, analysis.MaxSpeedKmh,
        run.Record.EndReason == "position" ? "reaching the end position" : "the end of its time");
    out << line;
  }
}

void WriteInterventions(std::ostream& out, const RunContext& run, const RunAnalysis& analysis) {
  const std::vector<FrameRecord>& frames = run.Record.Frames;
  out << "\nATC interventions: " << analysis.Interventions.size() << "\n";
  if (!analysis.Interventions.empty()) {
    out << "      from s   from m  brake        km/h  limit   over     to s     to m   km/h  "
           "released by\n";
  }
  size_t shown = 0;
  for (const InterventionSpan& span : analysis.Interventions) {
    if (++shown > InterventionLinesShown) {
      out << "  ... " << analysis.Interventions.size() - InterventionLinesShown
          << " more in the trace\n";
      break;
    }
    const FrameRecord& start = frames[span.StartFrame];
    char line[256];
    const std::string over =
        span.PeakOverLimitKmh > 0.0 ? Format("%6.2f", span.PeakOverLimitKmh) : "     -";
    std::snprintf(line, sizeof line, "  %10.2f %8.1f  %-9s  %6.1f  %5d %s", start.TimeS,
                  start.PositionM, span.Kind == Intervention::Emergency ? "emergency" : "service",
                  start.SpeedKmh, start.Cab.LimitKmh, over.c_str());
    out << line;
    if (span.Released) {
      const FrameRecord& end = frames[span.EndFrame];
      std::snprintf(line, sizeof line, " %8.2f %8.1f %6.1f  %s", end.TimeS, end.PositionM,
                    end.SpeedKmh, span.ReleasedBy.c_str());
      out << line;
    } else {
      out << "        -        -      -  still applied at the end";
    }
    out << "\n";
  }
  if (analysis.MaxOverLimitKmh > 0.0) {
    const FrameRecord& worst = frames[analysis.MaxOverLimitFrame];
    char line[200];
    std::snprintf(line, sizeof line,
                  "  highest speed over the limit while supervised: %.2f km/h, at %.2f s, %.1f m "
                  "(%.1f km/h, limit %d)\n",
                  analysis.MaxOverLimitKmh, worst.TimeS, worst.PositionM, worst.SpeedKmh,
                  worst.Cab.LimitKmh);
    out << line;
  } else {
    out << "  never over the limit while supervised\n";
  }
}

void WriteStops(std::ostream& out, const RunContext& run, const RunAnalysis& analysis) {
  const std::vector<FrameRecord>& frames = run.Record.Frames;
  out << "\nStops: " << analysis.Stops.size() << "\n";
  for (const StopRecord& stop : analysis.Stops) {
    const FrameRecord& row = frames[stop.Frame];
    out << "  " << Where(row) << "  ";
    if (run.Setup.Run.Loop == LoopKind::Open) {
      out << "as the speed profile gives";
    } else if (stop.Under == Intervention::None) {
      out << "by the driver (brake notch " << frames[stop.Frame - 1].Driver.Brake << ")";
    } else {
      out << "under the ATC " << InterventionName(stop.Under) << " (notch " << stop.AppliedBrake
          << ")";
    }
    out << ", limit " << row.Cab.LimitKmh << " km/h\n";
  }
  if (analysis.MinSpeedKmh < 0.0) {
    out << Format("  rolled back: lowest speed %.2f km/h\n", analysis.MinSpeedKmh);
  }
  if (!frames.empty()) {
    const FrameRecord& last = frames.back();
    out << "  at the end: " << Format("%.1f km/h", last.SpeedKmh) << ", mode " << ModeName(last.Cab)
        << ", limit " << last.Cab.LimitKmh << " km/h, returned brake " << last.Returned.Brake
        << ", power " << last.Returned.Power << "\n";
  }
}

void WriteEvents(std::ostream& out, const RunContext& run) {
  const Scenario& s = run.Setup;
  out << "\nEvents: " << run.Record.Fired.size() << " of " << s.Events.size() << " fired\n";
  for (const FiredEvent& fired : run.Record.Fired) {
    const ScenarioEvent& event = s.Events[fired.EventIndex];
    char line[96];
    std::snprintf(line, sizeof line, "  %8.2f s %8.1f m %6.1f km/h  ", fired.TimeS, fired.PositionM,
                  fired.SpeedKmh);
    out << line << DescribeActions(event.Actions);
    if (!event.Label.empty()) {
      out << "  \"" << event.Label << "\"";
    }
    out << "\n";
  }
  for (size_t i = run.Record.Fired.size(); i < s.Events.size(); ++i) {
    out << "  never fired (line " << s.Events[i].Line << ", " << DescribeTrigger(s.Events[i].When)
        << "): " << DescribeActions(s.Events[i].Actions) << "\n";
  }
}

void WriteCab(std::ostream& out, const RunContext& run, const RunAnalysis& analysis) {
  // One line per frame with changes; the brake lamp follows each intervention
  // and is left to the trace.
  std::vector<std::pair<size_t, std::string>> lines;
  for (const CabChange& change : analysis.CabChanges) {
    if (change.BrakeLamp) {
      continue;
    }
    if (lines.empty() || lines.back().first != change.Frame) {
      lines.emplace_back(change.Frame, change.What);
    } else {
      lines.back().second += "; " + change.What;
    }
  }
  out << "\nCab lamps and limit: " << lines.size() << " changes\n";
  for (size_t i = 0; i < lines.size() && i < CabLinesShown; ++i) {
    out << "  " << Where(run.Record.Frames[lines[i].first]) << "  " << lines[i].second << "\n";
  }
  if (lines.size() > CabLinesShown) {
    out << "  ... " << lines.size() - CabLinesShown << " more in the trace\n";
  }
}

void WriteSounds(std::ostream& out, const RunContext& run, const RunAnalysis& analysis) {
  out << "\nSounds (host sound index: commands)\n";
  for (int slot = 0; slot < 3; ++slot) {
    std::map<int32_t, std::vector<double>> byCommand;
    for (const SoundCommand& sound : analysis.Sounds) {
      if (sound.Slot == slot) {
        byCommand[sound.Command].push_back(run.Record.Frames[sound.Frame].TimeS);
      }
    }
    out << "  sound " << SoundSlotIndex[slot] << ":";
    if (byCommand.empty()) {
      out << " none";
    }
    for (const auto& [command, times] : byCommand) {
      out << (command == SOUND_PLAY ? "  play x" : "  stop x") << times.size() << " at";
      for (size_t i = 0; i < times.size() && i < SoundTimesShown; ++i) {
        out << Format(" %.2f", times[i]);
      }
      out << (times.size() > SoundTimesShown ? " ... s" : " s");
    }
    out << "\n";
  }
}

}  // namespace

void WriteSummary(std::ostream& out, const RunContext& run) {
  WriteHeader(out, run, run.Analysis);
  WriteInterventions(out, run, run.Analysis);
  WriteStops(out, run, run.Analysis);
  WriteEvents(out, run);
  WriteCab(out, run, run.Analysis);
  WriteSounds(out, run, run.Analysis);
}

}  // namespace drive

// The cab's session written as a scenario. Every number is written so that it
// reads back as the very same double: the replay's frames must fall on the
// same clock ticks and move the train by the same sums.
#include <algorithm>
#include <charconv>
#include <cmath>

#include <fmt/format.h>

#include "cab_session.h"
#include "plugin_library.h"

namespace drive {
namespace {

// The shortest text that reads back as the same double.
std::string Exact(double value) {
  char text[40];
  return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

// A TOML basic string: control characters as escapes, the rest as it is.
std::string Quoted(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (u < 0x20 || u == 0x7F) {
      quoted += fmt::format("\\u{:04X}", u);
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

bool IsIndex(const std::string& name) {
  return !name.empty() && name.find_first_not_of("0123456789") == std::string::npos;
}

void WriteActions(std::ostream& out, const EventActions& actions) {
  if (actions.Reverser) {
    out << "reverser = " << *actions.Reverser << "\n";
  }
  if (actions.Power) {
    out << "power = " << *actions.Power << "\n";
  }
  if (actions.Brake) {
    out << "brake = " << *actions.Brake << "\n";
  }
  if (actions.Signal) {
    out << "signal = " << *actions.Signal << "\n";
  }
  if (actions.Beacon) {
    out << "beacon = { type = " << actions.Beacon->Type;
    if (actions.Beacon->ParameterGiven) {
      out << ", parameter = " << actions.Beacon->Parameter;
    }
    out << " }\n";
  }
  if (!actions.Keys.empty()) {
    out << "key = [";
    for (size_t i = 0; i < actions.Keys.size(); ++i) {
      const std::string& name = actions.Keys[i].Name;
      out << (i > 0 ? ", " : "") << (IsIndex(name) ? name : Quoted(name));
    }
    out << "]\n";
  }
}

void WriteOptions(std::ostream& out, const PluginOptions& options) {
  out << "\n[options]\n";
  if (options.IniText || !options.Overrides.empty()) {
    out << "ini = " << Quoted(ComposeIniText(options)) << "\n";
    return;
  }
  if (options.Use120Signal) {
    out << "use_120_signal = " << (*options.Use120Signal ? "true" : "false") << "\n";
  }
  if (options.UseAts) {
    out << "use_ats = " << (*options.UseAts ? "true" : "false") << "\n";
  }
  if (options.AtcBrakeNotch) {
    out << "atc_brake_notch = " << *options.AtcBrakeNotch << "\n";
  }
}

}  // namespace

void WriteCabRecording(std::ostream& out, const Scenario& played, const RunRecord& record,
                       const std::string& fromPath) {
  const RunSettings& run = played.Run;
  // The run plays frames 0 to the last; the duration must round up to exactly
  // it, and be above 0: a session quit in its first frame (or before it)
  // plays that one frame.
  const double lastFrame = std::max(static_cast<double>(record.FrameCount), 1.0) - 1.0;
  double durationS = std::max(lastFrame / run.FrameRateHz, std::nextafter(0.0, 1.0));
  while (std::ceil(durationS * run.FrameRateHz - 1e-9) > lastFrame) {
    durationS = std::nextafter(durationS, 0.0);
  }
  out << "# Driven in the drive tool's cab over " << fromPath << " (" << record.FrameCount
      << " frames at " << Exact(run.FrameRateHz) << " Hz).\n"
      << "# The events without a label are the driver's moves and keys, each at the frame\n"
      << "# it came; the rest are the original's signals, beacons and keys as they fired.\n"
      << "# Play it again with: drive THIS_FILE\n";
  out << "title = " << Quoted(played.Title + " (driven in the cab)") << "\n";
  if (!played.Description.empty()) {
    out << "description = " << Quoted(played.Description) << "\n";
  }
  const TrainSpec& t = played.Train;
  out << "\n[train]\nservice_notches = " << t.ServiceNotches
      << "\npower_notches = " << t.PowerNotches
      << "\nacceleration_kmhps = " << Exact(t.AccelerationKmhps)
      << "\nconstant_power_from_kmh = " << Exact(t.ConstantPowerFromKmh)
      << "\nservice_deceleration_kmhps = " << Exact(t.ServiceDecelerationKmhps)
      << "\nemergency_deceleration_kmhps = " << Exact(t.EmergencyDecelerationKmhps)
      << "\nrolling_resistance_kmhps = " << Exact(t.RollingResistanceKmhps)
      << "\nair_resistance_at_100kmh_kmhps = " << Exact(t.AirResistanceAt100KmhKmhps) << "\n";
  WriteOptions(out, played.Options);
  out << "\n[track]\ngradients = [";
  for (size_t i = 0; i < played.Gradients.size(); ++i) {
    out << (i > 0 ? ", " : "") << "{ from_m = " << Exact(played.Gradients[i].FromM)
        << ", permille = " << Exact(played.Gradients[i].Permille) << " }";
  }
  out << "]\n\n[run]\nframe_rate_hz = " << Exact(run.FrameRateHz)
      << "\nduration_s = " << Exact(durationS) << "\n";
  if (run.EndPositionM) {
    out << "end_position_m = " << Exact(*run.EndPositionM) << "\n";
  }
  if (run.Loop == LoopKind::Open) {
    out << "loop = \"open\"\nspeed_profile = [";
    for (size_t i = 0; i < run.SpeedProfile.size(); ++i) {
      out << (i > 0 ? ", " : "") << "[" << Exact(run.SpeedProfile[i].TimeS) << ", "
          << Exact(run.SpeedProfile[i].SpeedKmh) << "]";
    }
    out << "]\n";
  }
  out << "chart_axis = \"" << (run.Axis == ChartAxis::Distance ? "distance" : "time") << "\"\n";
  const StartState& start = played.Start;
  out << "\n[start]\nspeed_kmh = " << Exact(start.SpeedKmh)
      << "\nposition_m = " << Exact(start.PositionM) << "\nbrake = " << start.Brake
      << "\npower = " << start.Power << "\nreverser = " << start.Reverser << "\n";
  for (const FiredEvent& fired : record.Fired) {
    const ScenarioEvent& event = played.Events[fired.EventIndex];
    out << "\n[[event]]\ntime_s = " << Exact(fired.TimeS) << "\n";
    WriteActions(out, event.Actions);
    if (!event.Label.empty()) {
      out << "label = " << Quoted(event.Label) << "\n";
    }
  }
}

}  // namespace drive

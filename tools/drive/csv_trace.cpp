// The trace: one CSV row per frame (or per slot of --trace-rate), everything
// the host handed over and got back, and the cause of any intervention.
#include <fmt/format.h>

#include <algorithm>
#include <cmath>

#include "reports.h"

namespace drive {
namespace {

std::string FiredText(const Scenario& setup, const RunRecord& record, const FrameRecord& row) {
  std::string text;
  for (size_t i = 0; i < row.FiredEventCount; ++i) {
    const ScenarioEvent& event = FiredInFrame(setup, record, row, i);
    if (!text.empty()) {
      text += " | ";
    }
    text += DescribeActions(event.Actions);
    if (!event.Label.empty()) {
      text += " (" + event.Label + ")";
    }
  }
  return text;
}

// A row as the examples' traces have them, a little rounded up: a long run's
// clock and position take a few more digits, a cause or an event many more,
// but only in a few rows.
constexpr double TraceRowBytes = 100.0;
constexpr double MostTraceBytes = 1e9;

double TraceRows(const Scenario& setup, double rowsPerSecond) {
  const double frames = std::ceil(setup.Run.DurationS * setup.Run.FrameRateHz - 1e-9) + 1.0;
  return rowsPerSecond > 0.0
             ? std::min(frames, std::floor(setup.Run.DurationS * rowsPerSecond + 1e-6) + 1.0)
             : frames;
}

}  // namespace

std::string TraceSizeWarning(const Scenario& setup, double rowsPerSecond) {
  const double rows = TraceRows(setup, rowsPerSecond);
  if (rows * TraceRowBytes <= MostTraceBytes) {
    return "";
  }
  // The highest of 1, 2 and 5 times a power of ten that keeps it under.
  double fits = 0.001;
  for (int power = -3; power < 3; ++power) {
    for (const double step : {1.0, 2.0, 5.0}) {
      const double rate = step * std::pow(10.0, power);
      if (TraceRows(setup, rate) * TraceRowBytes <= MostTraceBytes) {
        fits = rate;
      }
    }
  }
  return fmt::format(
      "trace.csv will be about {:.1f} GB ({:.0f} rows of about {:.0f} bytes); --trace-rate {:g} "
      "keeps it to about {:.2f} GB",
      rows * TraceRowBytes / 1e9, rows, TraceRowBytes, fits,
      TraceRows(setup, fits) * TraceRowBytes / 1e9);
}

TraceWriter::TraceWriter(std::ostream& out, const Scenario& setup, double rowsPerSecond)
    : Out(out), Setup(setup), RowsPerSecond(rowsPerSecond) {
  // The ATS lamps and the sounds are named for the host's indices, as the
  // train's panel and sound files know them.
  Out << "time_s,position_m,speed_kmh,limit_kmh,gradient_permille,"
         "driver_brake,driver_power,driver_reverser,brake,power,reverser,aux_command,"
         "intervention,cause,mode,atc_active,atc_signal,restrict_lamp,brake_lamp,emergency_lamp,"
         "cut_out,step_lamp,"
      << fmt::format("ats_{},ats_{},", PanelAtsRunning, PanelAtsReady);
  for (const int sound : SoundIndex) {
    Out << fmt::format("sound_{},", sound);
  }
  Out << "events\n";
}

void TraceWriter::Add(const FrameRecord& row, const RunRecord& record, const std::string& cause) {
  const std::string fired = FiredText(Setup, record, row);
  if (!fired.empty()) {
    PendingEvents += (PendingEvents.empty() ? "" : " | ") + fired;
  }
  if (RowsPerSecond > 0.0) {
    const long long slot = static_cast<long long>(std::floor(row.TimeS * RowsPerSecond + 1e-6));
    if (slot == LastSlot) {
      return;
    }
    LastSlot = slot;
  }
  const CabIndication& cab = row.Cab;
  const int step = LitStep(cab);
  Out << fmt::format("{:.{}f},{:.{}f},{:.{}f},{},{:g},{},{},{},{},{},{},{},{},{},", row.TimeS,
                     TimeDecimals, row.PositionM, PositionDecimals, row.SpeedKmh, SpeedDecimals,
                     cab.LimitKmh, row.GradientPermille, row.Driver.Brake, row.Driver.Power,
                     row.Driver.Reverser, row.Returned.Brake, row.Returned.Power,
                     row.Returned.Reverser, row.Returned.AuxiliaryCommand,
                     InterventionWord(row.Acting), CsvField(cause))
      << fmt::format("{},{},{},{},{},{},{},{},{},{},{},{},{},{}\n", ModeName(cab), cab.AtcActive,
                     cab.AtcSignal, cab.Restrict, cab.BrakeLamp, cab.EmergencyLamp, cab.CutOut,
                     step < 0 ? std::string() : std::to_string(PanelStepLamp[step]), cab.AtsRunning,
                     cab.AtsReady, row.Sounds[0], row.Sounds[1], row.Sounds[2],
                     CsvField(PendingEvents));
  PendingEvents.clear();
}

}  // namespace drive

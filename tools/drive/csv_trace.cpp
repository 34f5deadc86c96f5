// The trace: one CSV row per frame (or per slot of --trace-rate), everything
// the host handed over and got back, and the cause of any intervention.
#include <fmt/format.h>
#include <cmath>

#include "reports.h"

namespace drive {
namespace {

std::string Quoted(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) {
    quoted += c;
    if (c == '"') {
      quoted += '"';
    }
  }
  return quoted + "\"";
}

std::string FiredText(const Scenario& setup, const RunRecord& record, const FrameRecord& row) {
  std::string text;
  for (size_t i = 0; i < row.FiredEventCount; ++i) {
    const FiredEvent& fired = record.Fired[row.FirstFiredEvent + i];
    const ScenarioEvent& event = setup.Events[fired.EventIndex];
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

const char* InterventionColumn(Intervention kind) {
  switch (kind) {
    case Intervention::Service:
      return "service";
    case Intervention::Emergency:
      return "emergency";
    case Intervention::None:
      break;
  }
  return "";
}

}  // namespace

TraceWriter::TraceWriter(std::ostream& out, const Scenario& setup, double rowsPerSecond)
    : Out(out), Setup(setup), RowsPerSecond(rowsPerSecond) {
  Out << "time_s,position_m,speed_kmh,limit_kmh,gradient_permille,"
         "driver_brake,driver_power,driver_reverser,brake,power,reverser,aux_command,"
         "intervention,cause,mode,atc_active,atc_signal,restrict_lamp,brake_lamp,emergency_lamp,"
         "cut_out,step_lamp,ats_247,ats_249,sound_5,sound_110,sound_111,events\n";
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
  Out << fmt::format("{:.4f},{:.3f},{:.3f},{},{:g},", row.TimeS, row.PositionM, row.SpeedKmh,
                     row.Cab.LimitKmh, row.GradientPermille)
      << row.Driver.Brake << ',' << row.Driver.Power << ',' << row.Driver.Reverser << ','
      << row.Returned.Brake << ',' << row.Returned.Power << ',' << row.Returned.Reverser << ','
      << row.Returned.AuxiliaryCommand << ',' << InterventionColumn(row.Acting) << ','
      << (cause.empty() ? "" : Quoted(cause)) << ',' << ModeName(row.Cab) << ','
      << row.Cab.AtcActive << ',' << row.Cab.AtcSignal << ',' << row.Cab.Restrict << ','
      << row.Cab.BrakeLamp << ',' << row.Cab.EmergencyLamp << ',' << row.Cab.CutOut << ',';
  for (int step = 0; step < PanelStepLampCount; ++step) {
    if (row.Cab.StepLamps[step]) {
      Out << PanelStepLamp[step];
      break;
    }
  }
  Out << ',' << row.Cab.AtsRunning << ',' << row.Cab.AtsReady << ',' << row.Sounds[0] << ','
      << row.Sounds[1] << ',' << row.Sounds[2] << ',';
  if (!PendingEvents.empty()) {
    Out << Quoted(PendingEvents);
    PendingEvents.clear();
  }
  Out << '\n';
}

}  // namespace drive

// The trace: one CSV row per frame, everything the host handed over and got back.
#include <cstdio>

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

std::string FiredText(const RunContext& run, const FrameRecord& row) {
  std::string text;
  for (size_t i = 0; i < row.FiredEventCount; ++i) {
    const FiredEvent& fired = run.Record.Fired[row.FirstFiredEvent + i];
    const ScenarioEvent& event = run.Setup.Events[fired.EventIndex];
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

void WriteCsvTrace(std::ostream& out, const RunContext& run) {
  out << "time_s,position_m,speed_kmh,limit_kmh,gradient_permille,"
         "driver_brake,driver_power,driver_reverser,brake,power,reverser,aux_command,"
         "intervention,mode,atc_active,atc_signal,restrict_lamp,brake_lamp,emergency_lamp,"
         "cut_out,step_lamp,ats_247,ats_249,sound_5,sound_110,sound_111,events\n";
  char numbers[160];
  for (const FrameRecord& row : run.Record.Frames) {
    std::snprintf(numbers, sizeof numbers, "%.4f,%.3f,%.3f,%d,%g,", row.TimeS, row.PositionM,
                  row.SpeedKmh, row.Cab.LimitKmh, row.GradientPermille);
    out << numbers << row.Driver.Brake << ',' << row.Driver.Power << ',' << row.Driver.Reverser
        << ',' << row.Returned.Brake << ',' << row.Returned.Power << ',' << row.Returned.Reverser
        << ',' << row.Returned.AuxiliaryCommand << ',' << InterventionColumn(row.Acting) << ','
        << ModeName(row.Cab) << ',' << row.Cab.AtcActive << ',' << row.Cab.AtcSignal << ','
        << row.Cab.Restrict << ',' << row.Cab.BrakeLamp << ',' << row.Cab.EmergencyLamp << ','
        << row.Cab.CutOut << ',';
    for (int step = 0; step < 11; ++step) {
      if (row.Cab.StepLamps[step]) {
        out << StepLampPanelIndex[step];
        break;
      }
    }
    out << ',' << row.Cab.AtsRunning << ',' << row.Cab.AtsReady << ',' << row.Sounds[0] << ','
        << row.Sounds[1] << ',' << row.Sounds[2] << ',';
    if (row.FiredEventCount > 0) {
      out << Quoted(FiredText(run, row));
    }
    out << '\n';
  }
}

}  // namespace drive

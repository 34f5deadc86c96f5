// braking.csv and interventions.csv: a row per drop of the limit and per ATC
// intervention, of every set, as tools/README.md defines their columns.
#include <fmt/format.h>

#include <charconv>
#include <string>

#include "reports.h"

namespace drive {
namespace {

std::string Fixed(double value, int decimals) { return fmt::format("{:.{}f}", value, decimals); }

// A figure as the trace prints it, read back.
double Printed(double value, int decimals) {
  const std::string text = Fixed(value, decimals);
  double read = 0.0;
  std::from_chars(text.data(), text.data() + text.size(), read);
  return read;
}

// From one moment to a later one, in metres and seconds, as two fields.
std::string Between(const Moment& from, const Moment& to) {
  return Fixed(Printed(to.PositionM, PositionDecimals) - Printed(from.PositionM, PositionDecimals),
               PositionDecimals) +
         "," +
         Fixed(Printed(to.TimeS, TimeDecimals) - Printed(from.TimeS, TimeDecimals), TimeDecimals);
}

}  // namespace

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) {
    return text;
  }
  std::string quoted = "\"";
  for (char c : text) {
    quoted.append(c == '"' ? 2 : 1, c);
  }
  return quoted + "\"";
}

void WriteBrakingCsv(std::ostream& out, RunSets sets) {
  out << "set,drop,time_s,position_m,speed_kmh,why,limit_before_kmh,limit_after_kmh,in_force_s,"
         "under_m,under_s,peak_over_kmh,release_m,release_s,notch,release\n";
  for (const RunContext& set : sets) {
    const std::vector<BrakingRow>& drops = set.Analysis.Braking;
    for (size_t i = 0; i < drops.size(); ++i) {
      const BrakingRow& drop = drops[i];
      const double inForceS =
          Printed(drop.InForceToS, TimeDecimals) - Printed(drop.At.TimeS, TimeDecimals);
      out << fmt::format(
          "{},{},{},{},{},{},{},{},{},{},{},{},{},{}\n", CsvField(set.Name), i + 1,
          Fixed(drop.At.TimeS, TimeDecimals), Fixed(drop.At.PositionM, PositionDecimals),
          Fixed(drop.At.SpeedKmh, SpeedDecimals), CsvField(drop.Why), drop.LimitBeforeKmh,
          drop.LimitAfterKmh, Fixed(inForceS, TimeDecimals),
          drop.UnderLimit ? Between(drop.At, *drop.UnderLimit) : ",",
          Fixed(drop.PeakOverKmh, SpeedDecimals),
          drop.Released ? Between(drop.At, *drop.Released) : ",",
          drop.Span != 0 ? std::to_string(drop.Notch) : "", ReleaseName(drop.Outcome));
    }
  }
}

const char* const InterventionsCsvHeader =
    "set,intervention,start_s,start_m,start_kmh,start_limit_kmh,kind,notch,end_s,end_m,"
    "end_kmh,released_by,cause\n";

std::string InterventionCsvRow(const std::string& setName, size_t number,
                               const InterventionSpan& span) {
  const std::string end = span.Released
                              ? fmt::format("{},{},{}", Fixed(span.End.TimeS, TimeDecimals),
                                            Fixed(span.End.PositionM, PositionDecimals),
                                            Fixed(span.End.SpeedKmh, SpeedDecimals))
                              : ",,";
  return fmt::format(
      "{},{},{},{},{},{},{},{},{},{},{}\n", CsvField(setName), number,
      Fixed(span.Start.TimeS, TimeDecimals), Fixed(span.Start.PositionM, PositionDecimals),
      Fixed(span.Start.SpeedKmh, SpeedDecimals), span.Start.LimitKmh, InterventionWord(span.Kind),
      span.Notch, end, CsvField(span.Released ? span.ReleasedBy : "still applied at the end"),
      CsvField(std::string(span.CauseText)));
}

void WriteKeptInterventionsCsv(std::ostream& out, RunSets sets) {
  out << InterventionsCsvHeader;
  for (const RunContext& set : sets) {
    const std::vector<InterventionSpan>& spans = set.Analysis.Interventions;
    for (size_t i = 0; i < spans.size(); ++i) {
      out << InterventionCsvRow(set.Name, i + 1, spans[i]);
    }
  }
}

}  // namespace drive

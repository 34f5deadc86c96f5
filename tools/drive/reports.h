// The outputs of a run: the terminal summary and the braking report
// (summary.cpp), the CSV trace written as the run goes (csv_trace.cpp), the
// braking and interventions CSV files (csv_reports.cpp) and the page
// (report_page.h), which draws the run.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "run_analysis.h"
#include "run_record.h"
#include "scenario.h"

namespace drive {

class PageSeries;

// One run of the scenario, carried from the command line to the reports: a
// plain run, or one option set of a comparison.
struct RunContext {
  std::string Name;  // the --set group or the variant under --compare, else empty
  const ScenarioVariant* Variant = nullptr;
  Scenario Setup;             // the scenario with the set's options
  std::filesystem::path Dir;  // where its files go
  std::string ScenarioPath;
  std::string LibraryPath;
  RunRecord Record;
  RunAnalysis Analysis;
  std::string OptionsFrom;               // where the options came from, e.g. "no KELVRIN.ini"
  std::vector<std::string> OptionLines;  // each option as the plug-in read it
  std::shared_ptr<PageSeries> Series;    // what the page draws of the run
  bool InWindow = false;                 // a frame of the run lies in the page's first window
  double SpanLow = 0.0;                  // the run's frames on the page's first axis
  double SpanHigh = 0.0;
  size_t WarnedAtStart = 0;  // leading warnings already on stderr before the run
};

// The runs a report shows side by side (--compare), or the one run.
using RunSets = std::span<const RunContext>;

void WriteSummary(std::ostream& out, const RunContext& run);

// The run's header, named parts in order: scenario, plug-in, train, run.
std::vector<std::pair<std::string, std::string>> RunHeader(const RunContext& run);

// The decimals the trace prints times, positions and speeds with. The CSV
// reports print theirs alike, and take a distance or a time between two frames
// as the difference of the two figures as printed, so that anyone reading the
// trace finds the same.
inline constexpr int TimeDecimals = 4;
inline constexpr int PositionDecimals = 3;
inline constexpr int SpeedDecimals = 3;

// A CSV field: quoted, its quotes doubled, where it holds a comma, a quote or
// a line end.
std::string CsvField(const std::string& text);

// A warning, said before the run, when the trace would pass a gigabyte: its
// size as estimated from the scenario and a --trace-rate that keeps it under;
// empty when it stays under.
std::string TraceSizeWarning(const Scenario& setup, double rowsPerSecond);

// Writes the trace's rows as the frames come: every frame, or rowsPerSecond
// rows per simulated second (the events of the frames left out go into the
// next row written).
class TraceWriter {
 public:
  TraceWriter(std::ostream& out, const Scenario& setup, double rowsPerSecond);
  void Add(const FrameRecord& row, const RunRecord& record, const std::string& cause);

 private:
  std::ostream& Out;
  const Scenario& Setup;
  double RowsPerSecond;
  long long LastSlot = -1;
  std::string PendingEvents;
};

// The terminal's lists (the stops, the events fired and never fired, the
// drops of the limit) show their first this many; the files have them all.
inline constexpr size_t ListLinesShown = 100;

// The braking report: one row per drop of the limit; with several sets, one
// row per set under each drop.
void WriteBrakingReport(std::ostream& out, RunSets sets);
void WriteBrakingCsv(std::ostream& out, RunSets sets);
// The spans the runs kept (the first InterventionsKept each), for the page.
void WriteKeptInterventionsCsv(std::ostream& out, RunSets sets);
// interventions.csv is written a row at a time as the spans close: a run may
// have more than it keeps.
extern const char* const InterventionsCsvHeader;
std::string InterventionCsvRow(const std::string& setName, size_t number,
                               const InterventionSpan& span);

// The part of the run the page first shows, in the axis' unit (s or m).
struct ChartWindow {
  std::optional<double> From;
  std::optional<double> To;
};

// Where a frame lies on the chart's axis: its time or its position.
double AxisValue(ChartAxis axis, const FrameRecord& row);

// Whether the chart's window holds the frame.
bool InWindow(const ChartWindow& window, ChartAxis axis, const FrameRecord& row);

}  // namespace drive

// The three outputs of a run: the terminal summary (summary.cpp), the
// per-frame CSV trace (csv_trace.cpp) and the SVG chart (svg_chart.cpp).
#pragma once

#include <ostream>
#include <string>

#include "run_analysis.h"
#include "run_record.h"
#include "scenario.h"

namespace drive {

struct RunContext {
  const Scenario& Setup;
  const RunRecord& Record;
  const RunAnalysis& Analysis;
  std::string ScenarioPath;
  std::string LibraryPath;
  std::string IniText;  // as written beside the library copy; empty: none
};

void WriteSummary(std::ostream& out, const RunContext& run);

void WriteCsvTrace(std::ostream& out, const RunContext& run);

void WriteSvgChart(std::ostream& out, const RunContext& run, ChartAxis axis);

}  // namespace drive

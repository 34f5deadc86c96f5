// The command line: read the scenario, load a private copy of the plug-in,
// play the run, then write the summary, the trace and the chart.
#include "drive_command.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "host_loop.h"
#include "plugin_library.h"
#include "reports.h"
#include "run_analysis.h"
#include "scenario_parser.h"

namespace drive {
namespace fs = std::filesystem;

namespace {

const char* const Usage =
    "usage: drive SCENARIO.toml [--plugin LIBRARY] [--out DIR] [--axis time|distance]\n"
    "             [--frame-rate HZ] [--quiet]\n"
    "  Plays the scenario against the plug-in library as a host would and writes\n"
    "  summary.txt, trace.csv and chart.svg to DIR (default drive-out/<scenario name>).\n"
    "  LIBRARY defaults to the KELVRIN library built beside this program.\n"
    "  Exit status: 0 done, 1 outputs not written, 2 bad scenario or arguments,\n"
    "  3 plug-in not loadable.\n";

struct CommandLine {
  std::string ScenarioPath;
  std::string PluginPath;
  std::string OutDir;
  std::string Axis;
  double FrameRateHz = 0.0;
  bool Quiet = false;
};

bool ParseArguments(const std::vector<std::string>& args, CommandLine& line, std::string& error) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&](std::string& target) {
      if (i + 1 >= args.size()) {
        error = arg + " needs a value";
        return false;
      }
      target = args[++i];
      return true;
    };
    if (arg == "--plugin") {
      if (!value(line.PluginPath)) {
        return false;
      }
    } else if (arg == "--out") {
      if (!value(line.OutDir)) {
        return false;
      }
    } else if (arg == "--axis") {
      if (!value(line.Axis)) {
        return false;
      }
      if (line.Axis != "time" && line.Axis != "distance") {
        error = "--axis must be time or distance, not " + line.Axis;
        return false;
      }
    } else if (arg == "--frame-rate") {
      std::string text;
      if (!value(text)) {
        return false;
      }
      char* end = nullptr;
      line.FrameRateHz = std::strtod(text.c_str(), &end);
      if (end == text.c_str() || *end != '\0' || !(line.FrameRateHz >= 1.0) ||
          line.FrameRateHz > 1000.0) {
        error = "--frame-rate must be a number from 1 to 1000, not " + text;
        return false;
      }
    } else if (arg == "--quiet") {
      line.Quiet = true;
    } else if (!arg.empty() && arg[0] == '-') {
      error = "unknown option " + arg;
      return false;
    } else if (line.ScenarioPath.empty()) {
      line.ScenarioPath = arg;
    } else {
      error = "only one scenario at a time (got " + line.ScenarioPath + " and " + arg + ")";
      return false;
    }
  }
  if (line.ScenarioPath.empty()) {
    error = "no scenario given";
    return false;
  }
  return true;
}

template <typename Writer>
bool WriteFile(const fs::path& path, Writer write, std::ostream& err) {
  std::ofstream file(path, std::ios::binary);
  if (file) {
    write(file);
  }
  if (!file) {
    err << "drive: cannot write " << path.string() << "\n";
    return false;
  }
  return true;
}

}  // namespace

int RunDriveCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  CommandLine line;
  std::string error;
  if (!ParseArguments(args, line, error)) {
    err << "drive: " << error << "\n" << Usage;
    return ExitBadInput;
  }
  ParsedScenario parsed = ParseScenarioFile(line.ScenarioPath);
  if (!parsed.Value) {
    err << FormatScenarioError(parsed.Error) << "\n";
    return ExitBadInput;
  }
  Scenario& scenario = *parsed.Value;
  if (line.FrameRateHz > 0.0) {
    scenario.Run.FrameRateHz = line.FrameRateHz;
  }
  if (!line.Axis.empty()) {
    scenario.Run.Axis = line.Axis == "time" ? ChartAxis::Time : ChartAxis::Distance;
  }
  if (line.PluginPath.empty()) {
    line.PluginPath = DefaultPluginPath();
    if (line.PluginPath.empty()) {
      err << "drive: no plug-in given: use --plugin LIBRARY\n";
      return ExitBadInput;
    }
  }

  LoadedPlugin plugin;
  const PluginLoadResult loaded = LoadPlugin(line.PluginPath, scenario.Options, plugin);
  if (!loaded.Ok) {
    err << "drive: " << loaded.Error << "\n";
    return ExitPluginFailed;
  }
  const RunRecord record = RunScenario(scenario, plugin.Api);
  const std::string iniText = plugin.IniText;
  UnloadPlugin(plugin);

  const RunAnalysis analysis = AnalyseRun(record);
  const RunContext context{scenario, record, analysis, line.ScenarioPath, line.PluginPath, iniText};
  const fs::path outDir =
      line.OutDir.empty() ? fs::path("drive-out") / scenario.Name : fs::path(line.OutDir);
  std::error_code failure;
  fs::create_directories(outDir, failure);
  if (failure) {
    err << "drive: cannot create " << outDir.string() << ": " << failure.message() << "\n";
    return ExitOutputFailed;
  }
  const fs::path summaryPath = outDir / "summary.txt";
  const fs::path tracePath = outDir / "trace.csv";
  const fs::path chartPath = outDir / "chart.svg";
  const bool written =
      WriteFile(
          summaryPath, [&](std::ostream& file) { WriteSummary(file, context); }, err) &&
      WriteFile(
          tracePath, [&](std::ostream& file) { WriteCsvTrace(file, context); }, err) &&
      WriteFile(
          chartPath, [&](std::ostream& file) { WriteSvgChart(file, context, scenario.Run.Axis); },
          err);
  if (!line.Quiet) {
    WriteSummary(out, context);
    out << "\n";
  }
  if (!written) {
    return ExitOutputFailed;
  }
  out << "Summary  " << summaryPath.string() << "\n"
      << "Trace    " << tracePath.string() << "\n"
      << "Chart    " << chartPath.string() << "  (open it in a browser)\n";
  return ExitOk;
}

}  // namespace drive

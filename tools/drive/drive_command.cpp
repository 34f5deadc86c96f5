// The command line: read the scenario, load a private copy of the plug-in,
// play the run with the trace written as it goes, then write the summary and
// the page. Or, with --check-ini, show how the plug-in reads an options file.
#include "drive_command.h"

#include <fmt/format.h>
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "cab_run.h"
#include "host_loop.h"
#include "ini_check.h"
#include "input_file.h"
#include "notch_scale.h"
#include "plugin_library.h"
#include "published_numbers.h"
#include "report_page.h"
#include "reports.h"
#include "run_analysis.h"
#include "scenario_parser.h"

namespace drive {
namespace fs = std::filesystem;

namespace {

#ifndef KELVRIN_VERSION
#error "KELVRIN_VERSION comes from the project's version in CMake"
#endif

constexpr double ProgressAfterS = 2.0;
constexpr double ProgressEveryS = 0.5;

struct CommandLine {
  std::string ScenarioPath;
  std::string PluginPath;
  std::string OutDir;
  std::string Axis;
  double FrameRateHz = 0.0;
  double TraceRateHz = 0.0;  // 0: every frame
  bool Quiet = false;
  bool Compare = false;
  bool Cab = false;
  ChartWindow Window;
  std::string CheckIni;
  std::string IniPath;
  std::vector<std::string> Settings;  // KEY=VALUE
  int32_t ServiceNotches = 8;
};

// A number from low to high, said plainly when it is not.
CLI::Validator Between(double low, double high) {
  return CLI::Validator(
      [low, high](std::string& text) -> std::string {
        char* end = nullptr;
        const double value = std::strtod(text.c_str(), &end);
        if (end != text.c_str() && *end == '\0' && value >= low && value <= high) {
          return "";
        }
        return fmt::format("must be a number from {:g} to {:g}, not {}", low, high, text);
      },
      "");
}

// Returns -1 when the run goes on, else the exit status.
int ParseArguments(const std::vector<std::string>& args, CommandLine& line, std::ostream& out,
                   std::ostream& err) {
  CLI::App app{
      "Plays a scenario against the plug-in library as a host would and writes\n"
      "summary.txt, trace.csv, braking.csv and report.html to DIR (default drive-out/<scenario "
      "name>).",
      "drive"};
  app.footer(
      "drive --check-ini FILE shows the three options as the plug-in reads them from FILE.\n"
      "Exit status: 0 done, 1 outputs not written (--check-ini: warnings), 2 bad scenario,\n"
      "arguments or options file, 3 plug-in not loadable.");
  app.get_formatter()->column_width(26);
  // A path is a path: on Windows the library would take "/folder/file" for an option.
  app.allow_windows_style_options(false);
  app.set_version_flag("--version", std::string("drive ") + KELVRIN_VERSION);
  CLI::Option* scenario =
      app.add_option("scenario", line.ScenarioPath, "the scenario file (TOML)")->type_name("FILE");
  app.add_option("--plugin", line.PluginPath,
                 "the plug-in library (default: the one beside this program, else the one "
                 "built beside it)")
      ->type_name("LIBRARY");
  app.add_option("--out", line.OutDir, "where the files go")->type_name("DIR");
  app.add_option("--axis", line.Axis, "the page's first axis (default: the scenario's)")
      ->check(CLI::IsMember({"time", "distance"}).description(""))
      ->type_name("time|distance");
  app.add_option("--frame-rate", line.FrameRateHz, "frames per second, 1 to 1000")
      ->check(Between(1, 1000))
      ->type_name("HZ");
  app.add_option("--trace-rate", line.TraceRateHz,
                 "trace rows per simulated second (default: every frame)")
      ->check(Between(0.001, 1000))
      ->type_name("HZ");
  app.add_option("--ini", line.IniPath,
                 "run with this KELVRIN.ini instead of the scenario's options")
      ->type_name("FILE");
  app.add_option("--set", line.Settings,
                 "set one option over the others (repeatable); VALUE default leaves it out")
      ->type_name("KEY=VALUE")
      ->allow_extra_args(false);
  app.add_flag("--compare", line.Compare,
               "one run per --set, each KEY=VALUE[,KEY=VALUE...]; braking side by side");
  app.add_flag("--cab", line.Cab,
               "drive it yourself in the terminal; the session is saved as a scenario");
  app.add_option("--from", line.Window.From,
                 "the page first shows from here on, in the axis' unit (s or m)")
      ->type_name("X");
  app.add_option("--to", line.Window.To, "and up to here, in the axis' unit")->type_name("X");
  app.add_flag("--quiet", line.Quiet, "print only where the files went");
  CLI::Option* checkIni =
      app.add_option("--check-ini", line.CheckIni, "show the options as the plug-in reads FILE")
          ->type_name("FILE")
          ->excludes(scenario);
  app.add_option("--service-notches", line.ServiceNotches,
                 "the train's service notches, for --check-ini (default 8)")
      ->check(Between(1, 64))
      ->type_name("N")
      ->needs(checkIni);
  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::ParseError& error) {
    if (error.get_exit_code() == 0) {
      return app.exit(error, out, err);
    }
    err << "drive: " << error.what() << "\nRun drive --help for the usage.\n";
    return ExitBadInput;
  }
  if (line.Window.From && line.Window.To && !(*line.Window.From < *line.Window.To)) {
    err << "drive: --from must be less than --to\n";
    return ExitBadInput;
  }
  if (line.Cab && line.Compare) {
    err << "drive: --cab drives one run and cannot be combined with --compare\n";
    return ExitBadInput;
  }
  if (line.ScenarioPath.empty() && line.CheckIni.empty()) {
    err << "drive: no scenario given\nRun drive --help for the usage.\n";
    return ExitBadInput;
  }
  return -1;
}

// A line on a terminal's stderr, rewritten in place, once a run has taken a while.
class Progress {
 public:
  Progress(std::ostream& err, bool enabled, double durationS)
      : Err(err), Enabled(enabled), DurationS(durationS) {}

  void Frame(const FrameRecord& row) {
    if (!Enabled || (row.Frame & 1023) != 0) {
      return;
    }
    const double elapsed = Seconds(Clock::now() - Began);
    if (elapsed < ProgressAfterS || elapsed < LastShownS + ProgressEveryS) {
      return;
    }
    LastShownS = elapsed;
    Err << fmt::format("\rdrive: {:.0f} of {:.0f} s simulated ({:.0f}%) ", row.TimeS, DurationS,
                       100.0 * row.TimeS / DurationS)
        << std::flush;
    Shown = true;
  }

  ~Progress() {
    if (Shown) {
      Err << "\r" << std::string(48, ' ') << "\r" << std::flush;
    }
  }

 private:
  using Clock = std::chrono::steady_clock;
  static double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }
  std::ostream& Err;
  bool Enabled;
  double DurationS;
  Clock::time_point Began = Clock::now();
  double LastShownS = 0.0;
  bool Shown = false;
};

// Puts --ini in place of the scenario's options; false with a message on err.
bool ReadIniArgument(const std::string& path, PluginOptions& options, std::ostream& err) {
  std::string bytes;
  const std::string problem = ReadInputFile(path, bytes);
  if (!problem.empty()) {
    err << "drive: cannot read " << path << ": " << problem << "\n";
    return false;
  }
  options = PluginOptions{};
  options.IniText = std::move(bytes);
  return true;
}

// Writes the file at path with write(file, args...); false with a message on err.
template <typename Writer, typename... Args>
bool WriteFile(const fs::path& path, std::ostream& err, Writer write, const Args&... args) {
  std::ofstream file(path, std::ios::binary);
  if (file) {
    write(file, args...);
  }
  if (!file) {
    err << "drive: cannot write " << path.string() << "\n";
    return false;
  }
  return true;
}

// The message for a first window of the page that holds no frame of a run spanning low
// to high on the axis.
std::string WindowMissesRun(const ChartWindow& window, ChartAxis axis, double low, double high) {
  std::string asked;
  if (window.From) {
    asked = fmt::format("--from {:g}", *window.From);
  }
  if (window.To) {
    asked += fmt::format("{}--to {:g}", asked.empty() ? "" : " ", *window.To);
  }
  return fmt::format(
      "drive: the page's window ({}) holds no frame of the run, which spans {:.2f} "
      "to {:.2f} {}\n",
      asked, low, high, axis == ChartAxis::Time ? "s" : "m");
}

// Plays the run with the trace and interventions.csv written as they go (the
// spans also to everySet's file under --compare); returns an exit status,
// ExitOk when the run was played and its files written.
int PlaySet(const CommandLine& line, RunContext& set, size_t setsOnPage, std::ostream* everySet,
            std::ostream& err, bool showProgress, CabRun& cab) {
  const Scenario& scenario = set.Setup;
  PluginCopy plugin;
  const PluginLoadResult loaded = LoadPlugin(line.PluginPath, scenario.Options, plugin);
  if (!loaded.Ok) {
    err << "drive: " << loaded.Error << "\n";
    return ExitPluginFailed;
  }
  std::error_code failure;
  fs::create_directories(set.Dir, failure);
  const fs::path tracePath = set.Dir / "trace.csv";
  std::ofstream traceFile(tracePath, std::ios::binary);
  if (failure || !traceFile) {
    err << "drive: cannot write " << tracePath.string()
        << (failure ? ": " + failure.message() : std::string()) << "\n";
    UnloadPlugin(plugin);
    return ExitOutputFailed;
  }
  const IniReport options =
      plugin.IniText.empty()
          ? NoIniFile(scenario.Train.ServiceNotches)
          : CheckIniFile((plugin.Folder.Library.parent_path() / IniFileName).string(),
                         scenario.Train.ServiceNotches);
  const fs::path spansPath = set.Dir / "interventions.csv";
  std::ofstream spansFile(spansPath, std::ios::binary);
  spansFile << InterventionsCsvHeader;
  RunAnalyser analyser(scenario, EmergencyNotchOf(scenario.Train));
  analyser.OnSpan = [&](const InterventionSpan& span, size_t number) {
    const std::string row = InterventionCsvRow(set.Name, number, span);
    spansFile << row;
    if (everySet != nullptr) {
      *everySet << row;
    }
  };
  TraceWriter trace(traceFile, scenario, line.TraceRateHz);
  set.ScenarioPath = line.ScenarioPath;
  set.LibraryPath = line.PluginPath;
  set.Series = std::make_shared<PageSeries>(
      static_cast<size_t>(std::ceil(scenario.Run.DurationS * scenario.Run.FrameRateHz - 1e-9) +
                          1.0),
      setsOnPage);
  const NotchScale scale = ScaleOf(scenario.Train);
  OffScaleNotches offScale;
  if (!CabBeginRun(cab, err)) {
    UnloadPlugin(plugin);
    return ExitBadInput;
  }
  {
    Progress progress(err, showProgress, scenario.Run.DurationS);
    set.Record = RunScenario(
        scenario, plugin.Module->Api(),
        [&](const FrameRecord& row, const RunRecord& sofar) {
          analyser.Add(row, sofar);
          trace.Add(row, sofar, analyser.CurrentCause());
          const double at = AxisValue(scenario.Run.Axis, row);
          set.SpanLow = row.Frame == 0 ? at : std::min(set.SpanLow, at);
          set.SpanHigh = row.Frame == 0 ? at : std::max(set.SpanHigh, at);
          set.InWindow = set.InWindow || InWindow(line.Window, scenario.Run.Axis, row);
          set.Series->Add(row);
          NoteOffScale(scale, row, offScale);
          progress.Frame(row);
          CabFrame(cab, row, sofar, analyser.CurrentCause());
        },
        CabInput(cab));
  }
  CabEndRun(cab);
  UnloadPlugin(plugin);
  traceFile.close();
  set.Analysis = analyser.Finish(set.Record);
  const std::string offScaleWarning =
      OffScaleWarning(scale, offScale, EmergencyNotchOf(scenario.Train));
  // First among the warnings, where no number of others hides it.
  if (!offScaleWarning.empty()) {
    set.Analysis.Warnings.insert(set.Analysis.Warnings.begin(), offScaleWarning);
  }
  for (size_t i = 0; i < options.Warnings.size(); ++i) {
    set.Analysis.Warnings.insert(set.Analysis.Warnings.begin() + static_cast<std::ptrdiff_t>(i),
                                 "KELVRIN.ini: " + options.Warnings[i]);
  }
  set.OptionsFrom =
      plugin.IniText.empty()                        ? "no KELVRIN.ini"
      : set.Variant && set.Variant->Options.IniText ? "KELVRIN.ini as given in the variant"
      : !line.IniPath.empty()                       ? "KELVRIN.ini from " + line.IniPath
      : scenario.Options.IniText                    ? "KELVRIN.ini as given in the scenario"
                                 : "KELVRIN.ini written from the scenario's [options]";
  for (const auto& [key, value] : scenario.Options.Overrides) {
    set.OptionsFrom += fmt::format(", {} {}={}", set.Variant ? "[[variant]]" : "--set", key, value);
  }
  set.OptionLines = OptionLines(options);
  spansFile.close();
  for (const auto& [file, path] : {std::pair{&traceFile, &tracePath}, {&spansFile, &spansPath}}) {
    if (!*file) {
      err << "drive: cannot write " << path->string() << "\n";
      return ExitOutputFailed;
    }
  }
  return ExitOk;
}

// A folder name for an option set: "ATCBrakeNotch=4" -> "ATCBrakeNotch_4".
std::string FolderName(const std::string& name) {
  std::string folder = name;
  for (char& c : folder) {
    c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  }
  return folder;
}

// Names that differ only in the characters a folder can't hold ("B 4" and
// "B_4"), or in letter case, which Windows folders ignore, would share one
// folder, and the second set would overwrite the first's files: the later set
// takes its number too.
std::string UniqueFolderName(const std::string& folder, size_t index,
                             const std::vector<RunContext>& earlier) {
  auto lower = [](std::string text) {
    for (char& c : text) {
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
  };
  const bool taken = std::any_of(earlier.begin(), earlier.end(), [&](const RunContext& run) {
    return lower(run.Dir.filename().string()) == lower(folder);
  });
  return taken ? fmt::format("{}_{}", folder, index + 1) : folder;
}

}  // namespace

int RunDriveCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                    bool showProgress) {
  CommandLine line;
  const int status = ParseArguments(args, line, out, err);
  if (status >= 0) {
    return status;
  }
  if (!line.CheckIni.empty()) {
    return RunCheckIni(line.CheckIni, line.ServiceNotches, out, err);
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
  // Under --compare the --set groups are the sets, else the scenario's variants.
  const bool variants = line.Compare && line.Settings.empty() && !scenario.Variants.empty();
  const size_t setCount = !line.Compare ? 1
                          : variants    ? scenario.Variants.size()
                                        : line.Settings.size();
  if (line.Compare && setCount < 2) {
    err << "drive: --compare needs two --set groups or more, e.g. --set ATCBrakeNotch=4 --set "
           "ATCBrakeNotch=default, or two [[variant]] tables in the scenario\n";
    return ExitBadInput;
  }
  if (setCount > MostCompareSets) {
    err << fmt::format("drive: --compare plays at most {} sets, not {}\n", MostCompareSets,
                       setCount);
    return ExitBadInput;
  }
  // No frame of a run comes after its duration: a window beyond it is known now.
  const double lastS = std::ceil(scenario.Run.DurationS * scenario.Run.FrameRateHz - 1e-9) /
                       scenario.Run.FrameRateHz;
  if (scenario.Run.Axis == ChartAxis::Time &&
      (line.Window.From.value_or(0.0) > lastS || line.Window.To.value_or(0.0) < 0.0)) {
    err << WindowMissesRun(line.Window, scenario.Run.Axis, 0.0, lastS);
    return ExitBadInput;
  }
  if (!line.Compare && !scenario.Variants.empty()) {
    err << fmt::format(
        "drive: note: the scenario's {} [[variant]] tables run only under --compare; "
        "this run has the scenario's own options\n",
        scenario.Variants.size());
  }
  if (!line.IniPath.empty() && !ReadIniArgument(line.IniPath, scenario.Options, err)) {
    return ExitBadInput;
  }
  const fs::path outDir =
      line.OutDir.empty() ? fs::path("drive-out") / scenario.Name : fs::path(line.OutDir);
  // Each set of a comparison has a folder of its own.
  std::vector<RunContext> runs;
  for (size_t k = 0; k < setCount; ++k) {
    RunContext set;
    set.Setup = scenario;
    set.Dir = outDir;
    std::vector<std::string> settings = line.Compare ? std::vector<std::string>{} : line.Settings;
    if (variants) {
      set.Variant = &scenario.Variants[k];
      set.Name = set.Variant->Name;
    } else if (line.Compare) {
      set.Name = line.Settings[k];
      std::istringstream group(set.Name);
      for (std::string one; std::getline(group, one, ',');) {
        settings.push_back(one);
      }
    }
    if (line.Compare) {
      set.Dir /= UniqueFolderName(FolderName(set.Name), k, runs);
    }
    const std::string problem =
        ComposeSetOptions(scenario.Options, set.Variant, settings, set.Setup.Options);
    if (!problem.empty()) {
      err << "drive: " << problem << "\n";
      return ExitBadInput;
    }
    runs.push_back(std::move(set));
  }
  line.PluginPath =
      line.PluginPath.empty() ? DefaultPluginPath() : PluginPathArgument(line.PluginPath);
  const std::string sizeWarning = TraceSizeWarning(scenario, line.TraceRateHz);
  if (!sizeWarning.empty()) {
    err << "drive: warning: " << (line.Compare ? "each set's " : "") << sizeWarning << "\n";
  }
  if (line.PluginPath.empty()) {
    err << "drive: no plug-in given: use --plugin LIBRARY\n";
    return ExitBadInput;
  }
  CabRun cab;
  if (line.Cab && !StartCab(runs.front().Setup, cab, err)) {
    return ExitBadInput;
  }
  bool written = true;
  // Every set's spans go into one file as the sets play.
  std::ofstream everySet;
  const fs::path everySetPath = outDir / "interventions.csv";
  if (line.Compare) {
    std::error_code failure;
    fs::create_directories(outDir, failure);
    everySet.open(everySetPath, std::ios::binary);
    everySet << InterventionsCsvHeader;
  }
  for (RunContext& set : runs) {
    const int outcome = PlaySet(line, set, runs.size(), line.Compare ? &everySet : nullptr, err,
                                showProgress && !cab.Session, cab);
    if (outcome == ExitPluginFailed) {
      return outcome;
    }
    written = written && outcome == ExitOk;
    if (!sizeWarning.empty()) {
      set.Analysis.Warnings.insert(set.Analysis.Warnings.begin(), sizeWarning);
      set.WarnedAtStart = 1;
    }
  }

  // The session is kept whatever became of the other files.
  const fs::path session = CabRecordingPath(runs.front().Dir, scenario);
  written = (!cab.Session || WriteFile(session, err, WriteCabRecording, runs.front().Setup,
                                       runs.front().Record, line.ScenarioPath)) &&
            written;
  const bool windowed = line.Window.From || line.Window.To;
  if (windowed &&
      std::none_of(runs.begin(), runs.end(), [](const RunContext& set) { return set.InWindow; })) {
    err << WindowMissesRun(line.Window, scenario.Run.Axis, runs.front().SpanLow,
                           runs.front().SpanHigh);
    return ExitBadInput;
  }
  const ChartAxis axis = scenario.Run.Axis;
  // Each file written, with the set it belongs to ("" for every set), for the list at the end.
  std::vector<std::pair<std::string, fs::path>> files;
  const auto write = [&](const std::string& owner, const fs::path& path, auto writer,
                         const auto&... inputs) {
    files.emplace_back(owner, path);
    written = written && WriteFile(path, err, writer, inputs...);
  };
  for (size_t k = 0; k < runs.size(); ++k) {
    const RunSets own(&runs[k], 1);
    const fs::path& dir = runs[k].Dir;
    const std::string owner = line.Compare ? fmt::format("set {} {}", k + 1, runs[k].Name) : "";
    write(owner, dir / "summary.txt", WriteSummary, runs[k]);
    files.emplace_back(owner, dir / "trace.csv");
    files.emplace_back(owner, dir / "interventions.csv");
    write(owner, dir / "braking.csv", WriteBrakingCsv, own);
    write(owner, dir / "report.html", WriteReportPage, own, axis, line.Window);
    const std::vector<std::string>& warnings = runs[k].Analysis.Warnings;
    const std::string whose = line.Compare ? runs[k].Name + ": " : "";
    const size_t shown = std::min(warnings.size(), WarningsKept);
    for (size_t w = runs[k].WarnedAtStart; w < shown; ++w) {
      err << "drive: warning: " << whose << warnings[w] << "\n";
    }
    if (const size_t more = warnings.size() - shown + runs[k].Analysis.WarningsLeftOut) {
      err << "drive: warning: " << whose << more << " more warnings, not shown\n";
    }
  }
  if (line.Compare) {
    files.emplace_back("every set", everySetPath);
    everySet.close();
    if (!everySet) {
      err << "drive: cannot write " << everySetPath.string() << "\n";
      written = false;
    }
    write("every set", outDir / "braking.csv", WriteBrakingCsv, RunSets(runs));
    write("every set", outDir / "report.html", WriteReportPage, RunSets(runs), axis, line.Window);
    if (!line.Quiet) {
      WriteBrakingReport(out, runs);
      out << "\n";
    }
  } else if (!line.Quiet) {
    WriteSummary(out, runs.front());
    out << "\n";
  }
  if (!written) {
    return ExitOutputFailed;
  }
  if (cab.Session) {
    out << "Session  " << session.string() << "  (drive plays it again)\n";
  }
  // The page last, where the eye lands.
  std::string owner;
  for (const auto& [set, path] : files) {
    if (set != owner) {
      owner = set;
      out << owner << ":\n";
    }
    const std::string name = path.filename().string();
    const std::string kind = name == "summary.txt"         ? "Summary"
                             : name == "trace.csv"         ? "Trace"
                             : name == "interventions.csv" ? "Interventions"
                             : name == "braking.csv"       ? "Braking"
                                                           : "Report";
    out << (owner.empty() ? "" : "  ") << fmt::format("{:<15}", kind) << path.string()
        << (kind == "Report" ? "  (open it in a browser)" : "") << "\n";
  }
  return ExitOk;
}

}  // namespace drive

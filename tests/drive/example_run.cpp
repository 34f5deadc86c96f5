#include "example_run.h"

#include <gtest/gtest.h>

#include <map>

#include "plugin_library.h"
#include "scenario_parser.h"

namespace drive {

const ExampleRun& RunExample(const std::string& name) {
  static std::map<std::string, ExampleRun> runs;
  auto found = runs.find(name);
  if (found != runs.end()) {
    return found->second;
  }
  ExampleRun& run = runs[name];
  ParsedScenario parsed =
      ParseScenarioFile(std::string(KELVRIN_EXAMPLES_DIR) + "/" + name + ".toml");
  if (!parsed.Value) {
    ADD_FAILURE() << FormatScenarioError(parsed.Error);
    return run;
  }
  run.Setup = *parsed.Value;
  run.AtcBrakeNotch = run.Setup.Options.AtcBrakeNotch.value_or(run.Setup.Train.ServiceNotches + 2);
  LoadedPlugin plugin;
  const PluginLoadResult loaded = LoadPlugin(KELVRIN_LIBRARY, run.Setup.Options, plugin);
  if (!loaded.Ok) {
    ADD_FAILURE() << loaded.Error;
    return run;
  }
  run.Record = RunScenario(run.Setup, plugin.Api);
  UnloadPlugin(plugin);
  run.Analysis = AnalyseRun(run.Record);
  return run;
}

}  // namespace drive

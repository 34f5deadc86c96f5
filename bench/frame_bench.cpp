// Time of one frame: Elapse in each steady situation and in the mix, RunCycle
// alone, and the floor, all in one run so that the ratios compare like with
// like. Prints the medians' ratios to the floor at the end.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "frame_mix.h"
#include "frame_steps.h"
#include "module_records.h"

namespace {

HostFrame Host;

// Plays a script frame after frame; only the step is timed apart from the
// script's own bookkeeping and, with events, the host's calls between frames.
template <class FrameStep>
void PlayScript(benchmark::State& state, Scenario scenario, bool withEvents, FrameStep step) {
  const FrameScript script = EnterScenario(scenario, Host);
  int f = 0;
  for (auto _ : state) {
    const ScriptFrame& frame = script.Frames[f];
    if (withEvents && frame.Events[0] != HostEvent::None) {
      ApplyHostEvents(frame);
    }
    step(frame.SpeedKmh);
    if (++f == script.Length) {
      f = 0;
    }
  }
  if (scenario != Scenario::Mix && ClassifyLastFrame() != SteadyKind(scenario)) {
    state.SkipWithError("the scenario did not reach its steady state");
  }
}

void FrameInScenario(benchmark::State& state, Scenario scenario) {
  PlayScript(state, scenario, true, [](float speedKmh) {
    Host.State.Speed = speedKmh;
    Handles handles = ElapseEntry(&Host.State, Host.Panel, Host.Sound);
    benchmark::DoNotOptimize(handles);
  });
}

void CycleInMix(benchmark::State& state) {
  PlayScript(state, Scenario::Mix, true, [](float speedKmh) {
    Module.CurrentState.Speed = speedKmh;
    RunCycleEntry(Module.Controller);
    benchmark::ClobberMemory();
  });
}

// The same frames handed to the floor; the host's events change nothing it
// reads, so they are left out.
void FloorInMix(benchmark::State& state) {
  PlayScript(state, Scenario::Mix, false, [](float speedKmh) {
    Host.State.Speed = speedKmh;
    Handles handles = FloorEntry(&Host.State, Host.Panel, Host.Sound);
    benchmark::DoNotOptimize(handles);
  });
}

// The console report, and the median CPU time and its coefficient of
// variation of each benchmark kept for the ratios.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  RatioReporter() : ConsoleReporter(OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Aggregate || run.error_occurred) {
        continue;
      }
      if (run.aggregate_name == "median") {
        MedianNs[run.run_name.function_name] = run.GetAdjustedCPUTime();
      } else if (run.aggregate_name == "cv") {
        // A percentage aggregate keeps its value unscaled.
        CvPercent[run.run_name.function_name] = 100.0 * run.cpu_accumulated_time;
      }
    }
  }

  void PrintRatios() const {
    const auto floor = MedianNs.find("Floor/Mix");
    if (floor == MedianNs.end() || floor->second <= 0.0) {
      return;
    }
    // CPU time: on a shared machine, time spent preempted is not the frame's.
    std::printf("\nMedian CPU time per frame against the floor (same run):\n");
    std::printf("  %-22s %9s %7s %8s\n", "benchmark", "ns", "cv %", "x floor");
    for (const auto& [name, medianNs] : MedianNs) {
      const auto cv = CvPercent.find(name);
      std::printf("  %-22s %9.2f %7.2f %8.2f\n", name.c_str(), medianNs,
                  cv != CvPercent.end() ? cv->second : 0.0, medianNs / floor->second);
    }
  }

 private:
  std::map<std::string, double> MedianNs;
  std::map<std::string, double> CvPercent;
};

void RegisterAll() {
  const Scenario scenarios[] = {Scenario::Mix, Scenario::AtcRunning, Scenario::Overspeed,
                                Scenario::EmergencyLatch, Scenario::CutOut};
  std::vector<benchmark::internal::Benchmark*> all;
  for (Scenario scenario : scenarios) {
    const std::string name = std::string("Frame/") + ScenarioName(scenario);
    all.push_back(benchmark::RegisterBenchmark(name.c_str(), FrameInScenario, scenario));
  }
  all.push_back(benchmark::RegisterBenchmark("Cycle/Mix", CycleInMix));
  all.push_back(benchmark::RegisterBenchmark("Floor/Mix", FloorInMix));
  for (benchmark::internal::Benchmark* b : all) {
    b->Unit(benchmark::kNanosecond);
  }
}

}  // namespace

// Defaults that a command line may override: repeated, interleaved runs,
// reported as mean, median, standard deviation and coefficient of variation.
int main(int argc, char** argv) {
  std::vector<char*> args{argv[0]};
  char repetitions[] = "--benchmark_repetitions=12";
  char interleave[] = "--benchmark_enable_random_interleaving=true";
  char aggregates[] = "--benchmark_display_aggregates_only=true";
  char minTime[] = "--benchmark_min_time=0.2";
  args.insert(args.end(), {repetitions, interleave, aggregates, minTime});
  args.insert(args.end(), argv + 1, argv + argc);
  int count = static_cast<int>(args.size());
  args.push_back(nullptr);

  RegisterAll();
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) {
    return 1;
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios();
  benchmark::Shutdown();
  return 0;
}

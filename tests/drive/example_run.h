// Plays an example scenario from examples/ against the built plug-in, once per
// test program, and keeps the run for the tests to read.
#pragma once

#include <string>

#include "host_loop.h"
#include "run_analysis.h"
#include "scenario.h"

namespace drive {

struct ExampleRun {
  Scenario Setup;
  RunRecord Record;
  RunAnalysis Analysis;
  int32_t AtcBrakeNotch = 0;  // what the scenario's options make the ATC apply
};

// Fails the calling test (and returns a run without frames) when the example
// cannot be read or the library cannot be loaded.
const ExampleRun& RunExample(const std::string& name);

// The speed as the plug-in sees it: the host hands it over as a float.
inline double SpeedSeen(const FrameRecord& row) {
  return static_cast<double>(static_cast<float>(row.SpeedKmh));
}

}  // namespace drive

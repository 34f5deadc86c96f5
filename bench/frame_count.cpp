// Plays frames for an instruction count under callgrind, which collects only
// inside the measured function (--collect-atstart=no --toggle-collect=...):
//   frame  Elapse
//   cycle  RunCycle(AtcController&), the state copied in beforehand
//   floor  FrameFloor(...), the least a frame step can do
// Usage: frame_count MODE [SCENARIO] [FRAMES]; SCENARIO is one of Mix (the
// default), AtcRunning, Overspeed, EmergencyLatch, CutOut; FRAMES 100000.
// Prints how many frames of each kind the run met, to show what was counted.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "frame_mix.h"
#include "frame_steps.h"
#include "module_records.h"

namespace {

enum class Mode { Frame, Cycle, Floor };

bool ParseMode(const char* text, Mode& mode) {
  if (std::strcmp(text, "frame") == 0) {
    mode = Mode::Frame;
  } else if (std::strcmp(text, "cycle") == 0) {
    mode = Mode::Cycle;
  } else if (std::strcmp(text, "floor") == 0) {
    mode = Mode::Floor;
  } else {
    return false;
  }
  return true;
}

bool ParseScenario(const char* text, Scenario& scenario) {
  for (int s = 0; s < ScenarioCount; ++s) {
    if (std::strcmp(text, ScenarioName(static_cast<Scenario>(s))) == 0) {
      scenario = static_cast<Scenario>(s);
      return true;
    }
  }
  return false;
}

HostFrame Host;

}  // namespace

int main(int argc, char** argv) {
  Mode mode = Mode::Frame;
  Scenario scenario = Scenario::Mix;
  long frames = 100000;
  if (argc < 2 || argc > 4 || !ParseMode(argv[1], mode) ||
      (argc >= 3 && !ParseScenario(argv[2], scenario)) ||
      (argc == 4 && (frames = std::strtol(argv[3], nullptr, 10)) <= 0)) {
    std::fprintf(stderr,
                 "usage: %s frame|cycle|floor [Mix|AtcRunning|Overspeed|"
                 "EmergencyLatch|CutOut] [frames]\n",
                 argv[0]);
    return 2;
  }

  const FrameScript script = EnterScenario(scenario, Host);
  long kinds[FrameKindCount] = {};
  int f = 0;
  for (long n = 0; n < frames; ++n) {
    const ScriptFrame& frame = script.Frames[f];
    if (mode != Mode::Floor && frame.Events[0] != HostEvent::None) {
      ApplyHostEvents(frame);
    }
    if (mode == Mode::Cycle) {
      Module.CurrentState.Speed = frame.SpeedKmh;
      RunCycleEntry(Module.Controller);
    } else {
      Host.State.Speed = frame.SpeedKmh;
      if (mode == Mode::Frame) {
        ElapseEntry(&Host.State, Host.Panel, Host.Sound);
      } else {
        FloorEntry(&Host.State, Host.Panel, Host.Sound);
      }
    }
    ++kinds[static_cast<int>(ClassifyLastFrame())];
    if (++f == script.Length) {
      f = 0;
    }
  }

  if (mode != Mode::Floor) {
    std::printf("%s, %ld frames:", ScenarioName(scenario), frames);
    for (int k = 0; k < FrameKindCount; ++k) {
      std::printf(" %s %ld%s", FrameKindName(static_cast<FrameKind>(k)), kinds[k],
                  k + 1 < FrameKindCount ? "," : "\n");
    }
    if (scenario != Scenario::Mix && kinds[static_cast<int>(SteadyKind(scenario))] != frames) {
      std::fprintf(stderr, "%s: not every frame was of the scenario's kind\n", argv[0]);
      return 1;
    }
  }
  return 0;
}

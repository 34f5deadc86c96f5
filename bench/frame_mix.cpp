#include "frame_mix.h"

#include <array>

#include "exports.h"
#include "module_records.h"
#include "published_numbers.h"

namespace {

constexpr int32_t ServiceNotches = 8;
// The ATC code of the 100 km/h step.
constexpr int32_t AtcCodeForKmh(int32_t limitKmh) {
  for (const AspectRow& row : AspectTable) {
    if (row.AtcCode && row.LimitKmh == limitKmh) {
      return row.Aspect;
    }
  }
  return 0;
}
constexpr int32_t Aspect100Kmh = AtcCodeForKmh(100);

constexpr int SteadyLength = 8;
constexpr int MixLength = 100;

// Eight frames of one situation, the speed wandering a little.
constexpr std::array<ScriptFrame, SteadyLength> SteadyFrames(float firstSpeedKmh) {
  std::array<ScriptFrame, SteadyLength> frames{};
  for (int i = 0; i < SteadyLength; ++i) {
    frames[i] = {firstSpeedKmh + 0.5f * static_cast<float>(i), {HostEvent::None, HostEvent::None}};
  }
  return frames;
}

// One hundred frames, in the order a run might meet them:
//   0-49  cut back in, power on, running at 80 km/h under the 100 km/h step;
//  50-69  103 km/h: the service brake comes in, the driver shuts off, the
//         speed falls below the release threshold and the brake lets go;
//  70-84  the stop aspect: emergency latch until the driver puts the brake
//         to the emergency notch, then the 100 km/h step again;
//  85-99  cut out, accelerating towards 80 km/h.
constexpr std::array<ScriptFrame, MixLength> BuildMix() {
  std::array<ScriptFrame, MixLength> mix{};
  for (int f = 0; f < MixLength; ++f) {
    float speedKmh = 0.0f;
    if (f < 50) {
      speedKmh = 80.0f + 0.25f * static_cast<float>(f % 8);
    } else if (f < 65) {
      speedKmh = 103.0f - 0.2f * static_cast<float>(f - 50);
    } else if (f < 70) {
      speedKmh = 97.0f;
    } else if (f < 85) {
      speedKmh = 90.0f - 2.0f * static_cast<float>(f - 70);
    } else {
      speedKmh = 62.0f + 1.2f * static_cast<float>(f - 85);
    }
    mix[f] = {speedKmh, {HostEvent::None, HostEvent::None}};
  }
  mix[0].Events[0] = HostEvent::CutOutKey;
  mix[0].Events[1] = HostEvent::PowerNotch4;
  mix[52].Events[0] = HostEvent::PowerOff;
  mix[70].Events[0] = HostEvent::SignalStop;
  mix[82].Events[0] = HostEvent::BrakeEmergency;
  mix[84].Events[0] = HostEvent::SignalAtc100;
  mix[84].Events[1] = HostEvent::BrakeReleased;
  mix[85].Events[0] = HostEvent::CutOutKey;
  return mix;
}

constexpr auto Mix = BuildMix();
constexpr auto Running = SteadyFrames(78.0f);
constexpr auto Overspeed = SteadyFrames(102.0f);
constexpr auto Emergency = SteadyFrames(40.0f);
constexpr auto CutOut = SteadyFrames(60.0f);

void ApplyHostEvent(HostEvent event) {
  switch (event) {
    case HostEvent::None:
      break;
    case HostEvent::CutOutKey:
      KeyDown(KeyCutOut);
      KeyUp(KeyCutOut);
      break;
    case HostEvent::SignalAtc100:
      SetSignal(Aspect100Kmh);
      break;
    case HostEvent::SignalStop:
      SetSignal(AspectStop);
      break;
    case HostEvent::BrakeReleased:
      SetBrake(0);
      break;
    case HostEvent::BrakeEmergency:
      SetBrake(ServiceNotches + 1);
      break;
    case HostEvent::PowerNotch4:
      SetPower(4);
      break;
    case HostEvent::PowerOff:
      SetPower(0);
      break;
  }
}

// A run in ATC under the 100 km/h step, brake released, power on.
void StartAtcRun() {
  BindControllerReferences();
  Load();
  const VehicleSpec spec{ServiceNotches};
  SetVehicleSpec(&spec);
  Module.IniPath[0] = '\0';  // default options, whatever lies beside the program
  Initialize(0);
  SetBrake(0);
  SetReverser(1);
  SetPower(4);
  KeyDown(KeyModeUp);
  KeyUp(KeyModeUp);
  SetSignal(Aspect100Kmh);
}

template <size_t N>
FrameScript ScriptOf(const std::array<ScriptFrame, N>& frames) {
  return {frames.data(), static_cast<int>(N)};
}

}  // namespace

const char* ScenarioName(Scenario scenario) {
  switch (scenario) {
    case Scenario::Mix:
      return "Mix";
    case Scenario::AtcRunning:
      return "AtcRunning";
    case Scenario::Overspeed:
      return "Overspeed";
    case Scenario::EmergencyLatch:
      return "EmergencyLatch";
    case Scenario::CutOut:
      return "CutOut";
  }
  return "?";
}

FrameScript EnterScenario(Scenario scenario, HostFrame& host) {
  StartAtcRun();
  FrameScript script{};
  switch (scenario) {
    case Scenario::Mix:
      // Cut out, so that the mix's first event cuts the ATC back in.
      ApplyHostEvent(HostEvent::CutOutKey);
      script = ScriptOf(Mix);
      break;
    case Scenario::AtcRunning:
      script = ScriptOf(Running);
      break;
    case Scenario::Overspeed:
      script = ScriptOf(Overspeed);
      break;
    case Scenario::EmergencyLatch:
      ApplyHostEvent(HostEvent::SignalStop);
      script = ScriptOf(Emergency);
      break;
    case Scenario::CutOut:
      ApplyHostEvent(HostEvent::CutOutKey);
      script = ScriptOf(CutOut);
      break;
  }
  // Settle: a steady scenario reaches its state within two frames. The mix's
  // frames from 85 on are cut-out frames and leave it ready for frame 0.
  const int settleFrom = scenario == Scenario::Mix ? 85 : 0;
  for (int f = settleFrom; f < script.Length; ++f) {
    host.State.Speed = script.Frames[f].SpeedKmh;
    Elapse(&host.State, host.Panel, host.Sound);
  }
  return script;
}

void ApplyHostEvents(const ScriptFrame& frame) {
  ApplyHostEvent(frame.Events[0]);
  ApplyHostEvent(frame.Events[1]);
}

FrameKind ClassifyLastFrame() {
  const AtcController& atc = Module.Controller;
  if (atc.CutOutSwitch) {
    return atc.Active == 0 && !atc.ServiceBrakeCommand && !atc.EmergencyLatch ? FrameKind::CutOut
                                                                              : FrameKind::Other;
  }
  if (atc.EmergencyLatch) {
    return FrameKind::Emergency;
  }
  if (atc.ServiceBrakeCommand) {
    return FrameKind::ServiceBrake;
  }
  return atc.Active == 1 && atc.Mode == ModeAtc ? FrameKind::Running : FrameKind::Other;
}

const char* FrameKindName(FrameKind kind) {
  switch (kind) {
    case FrameKind::Running:
      return "running";
    case FrameKind::ServiceBrake:
      return "service brake";
    case FrameKind::Emergency:
      return "emergency latch";
    case FrameKind::CutOut:
      return "cut out";
    case FrameKind::Other:
      return "other";
  }
  return "?";
}

FrameKind SteadyKind(Scenario scenario) {
  switch (scenario) {
    case Scenario::AtcRunning:
      return FrameKind::Running;
    case Scenario::Overspeed:
      return FrameKind::ServiceBrake;
    case Scenario::EmergencyLatch:
      return FrameKind::Emergency;
    case Scenario::CutOut:
      return FrameKind::CutOut;
    case Scenario::Mix:
      break;
  }
  return FrameKind::Other;
}

#include "host_loop.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <functional>
#include <queue>
#include <utility>
#include <vector>

#include "follow_driver.h"
#include "train_physics.h"

namespace drive {
namespace {

// The host lends arrays at least this long; a little more, as a real host does.
constexpr int PanelLength = 256;
constexpr int SoundLength = 256;
static_assert(PanelLength >= PANEL_ARRAY_MIN_LENGTH && SoundLength >= SOUND_ARRAY_MIN_LENGTH);

// Half a frame of slack for clock comparisons on the frame grid.
bool ClockReached(double nowS, double dueS, double frameS) { return nowS + frameS / 2 >= dueS; }

// "stopped" means coming to rest, not standing where it stood, and as the
// plug-in sees it: it tests the standstill (for the reset beacon) against the
// speed of the frame before. movedSinceFired: an Elapse since the event
// before this one fired was handed a speed other than 0; seenAtRest: the last
// one was handed 0.
bool Due(const Trigger& when, double nowS, double lastFiredS, bool movedSinceFired, bool seenAtRest,
         const TrainMotion& motion, double frameS) {
  switch (when.Kind) {
    case TriggerKind::AtTime:
      return ClockReached(nowS, when.Value, frameS);
    case TriggerKind::AtPosition:
      return motion.PositionM >= when.Value;
    case TriggerKind::After:
      return ClockReached(nowS, lastFiredS + when.Value, frameS);
    case TriggerKind::SpeedAbove:
      return motion.SpeedKmh > when.Value;
    case TriggerKind::SpeedBelow:
      return motion.SpeedKmh < when.Value;
    case TriggerKind::Stopped:
      return seenAtRest && movedSinceFired;
  }
  return false;
}

// Between frames, in the fixed order of EventActions.
void Apply(const EventActions& actions, const PluginEntryPoints& api, DriverHandles& driver) {
  if (actions.Reverser) {
    driver.Reverser = *actions.Reverser;
    api.SetReverser(driver.Reverser);
  }
  if (actions.Power) {
    driver.Power = *actions.Power;
    api.SetPower(driver.Power);
  }
  if (actions.Brake) {
    driver.Brake = *actions.Brake;
    api.SetBrake(driver.Brake);
  }
  if (actions.Signal) {
    api.SetSignal(*actions.Signal);
  }
  if (actions.Beacon) {
    BeaconData beacon{};
    beacon.Type = actions.Beacon->Type;
    beacon.Parameter = actions.Beacon->Parameter;
    api.SetBeaconData(PassRecord(beacon));
  }
  for (const KeyPress& key : actions.Keys) {
    api.KeyDown(key.Index);
    api.KeyUp(key.Index);
  }
}

// The host's state record: the location in bytes 0-7, the speed in 8-11 and
// the clock in milliseconds in 12-15; the plug-in reads only the speed.
VehicleState ComposeState(const TrainMotion& motion, double nowS) {
  VehicleState state{};
  const double location = motion.PositionM;
  std::memcpy(state.HostBytes0To7, &location, sizeof location);
  state.Speed = static_cast<float>(motion.SpeedKmh);
  const int32_t clockMs = static_cast<int32_t>(std::lround(nowS * 1000.0));
  std::memcpy(state.HostBytes12To39, &clockMs, sizeof clockMs);
  return state;
}

// The events repeating, each due at a time or a position. However many there
// are, a frame looks only at those due: they fire in the order they started
// repeating, each once a frame at most.
struct Repeat {
  size_t Event = 0;
  double DueAt = 0.0;  // seconds or metres
  int32_t Left = 0;
  bool ByDistance = false;
};
// Soonest due first: (due at, index into RepeatQueue::Repeats).
using DueHeap = std::priority_queue<std::pair<double, size_t>,
                                    std::vector<std::pair<double, size_t>>, std::greater<>>;
struct RepeatQueue {
  std::vector<Repeat> Repeats;  // in the order they started
  DueHeap Waiting[2];           // by time, by distance
  std::vector<size_t> Due;      // into Repeats, the frame's
  std::vector<size_t> Firing;   // into the scenario's events, the frame's
};

void StartRepeats(RepeatQueue& queue, const Repeat& repeat) {
  queue.Repeats.push_back(repeat);
  queue.Waiting[repeat.ByDistance].push({repeat.DueAt, queue.Repeats.size() - 1});
}

// The events due in the frame at nowS and positionM, each then due again
// RepeatEvery later while it has repeats left.
const std::vector<size_t>& DueRepeats(RepeatQueue& queue, double nowS, double positionM,
                                      double frameS, const std::vector<ScenarioEvent>& events) {
  queue.Due.clear();
  for (const bool byDistance : {false, true}) {
    DueHeap& waiting = queue.Waiting[byDistance];
    while (!waiting.empty() && (byDistance ? positionM >= waiting.top().first
                                           : ClockReached(nowS, waiting.top().first, frameS))) {
      queue.Due.push_back(waiting.top().second);
      waiting.pop();
    }
  }
  std::sort(queue.Due.begin(), queue.Due.end());
  queue.Firing.clear();
  for (const size_t k : queue.Due) {
    Repeat& again = queue.Repeats[k];
    queue.Firing.push_back(again.Event);
    again.DueAt += events[again.Event].RepeatEvery;
    if (--again.Left > 0) {
      queue.Waiting[again.ByDistance].push({again.DueAt, k});
    }
  }
  return queue.Firing;
}

}  // namespace

RunRecord RunScenario(const Scenario& scenario, const PluginEntryPoints& api, const FrameSink& sink,
                      const InputSource& input) {
  RunRecord record;
  const TrainSpec& train = scenario.Train;
  record.FrameS = 1.0 / scenario.Run.FrameRateHz;
  record.EmergencyNotch = EmergencyNotchOf(train);

  // Start-up, in the host's order.
  api.Load();
  record.PluginVersion = api.GetPluginVersion();
  HostVehicleSpec spec;
  spec.ServiceNotches = train.ServiceNotches;
  spec.PowerNotches = train.PowerNotches;
  api.SetVehicleSpec(PassRecord(std::bit_cast<VehicleSpecRecord>(spec)));
  api.Initialize(0);
  DriverHandles driver{scenario.Start.Brake, scenario.Start.Power, scenario.Start.Reverser};
  api.SetReverser(driver.Reverser);
  api.SetPower(driver.Power);
  api.SetBrake(driver.Brake);

  int32_t panel[PanelLength] = {};
  int32_t sound[SoundLength] = {};
  TrainMotion motion{scenario.Start.SpeedKmh, scenario.Start.PositionM};
  if (scenario.Run.Loop == LoopKind::Open) {
    motion.SpeedKmh = ProfileSpeedAt(scenario.Run.SpeedProfile, 0.0);
  }
  const int64_t lastFrame =
      static_cast<int64_t>(std::ceil(scenario.Run.DurationS * scenario.Run.FrameRateHz - 1e-9));
  record.EndReason = RunEnd::Time;
  size_t nextEvent = 0;
  // The input source adds its events after these; they are not in the file's order.
  const size_t scriptedEvents = scenario.Events.size();
  double lastFiredS = 0.0;
  bool movedSinceFired = false;
  bool seenAtRest = false;
  FollowDriverState follower;
  CabIndication cab;
  RepeatQueue repeats;

  for (int64_t frame = 0; frame <= lastFrame; ++frame) {
    const double nowS = static_cast<double>(frame) * record.FrameS;
    FrameRecord row;
    row.FirstFiredEvent = record.Fired.size();
    const auto fire = [&](size_t index) {
      const EventActions& actions = scenario.Events[index].Actions;
      Apply(actions, api, driver);
      if (actions.Power || actions.Brake) {
        follower.Scripted = true;
        follower.ScriptedAtS = nowS;
      }
      record.Fired.push_back(FiredEvent{index, frame, nowS, motion.PositionM, motion.SpeedKmh});
    };
    if (input) {
      const FrameInput given = input(frame, nowS);
      if (given.Stop) {
        record.EndReason = RunEnd::Quit;
        break;
      }
      if (given.Event) {
        fire(*given.Event);
      }
    }
    while (nextEvent < scriptedEvents && Due(scenario.Events[nextEvent].When, nowS, lastFiredS,
                                             movedSinceFired, seenAtRest, motion, record.FrameS)) {
      const ScenarioEvent& event = scenario.Events[nextEvent];
      fire(nextEvent);
      if (event.Repeats > 0) {
        const double from = event.RepeatByDistance ? motion.PositionM : nowS;
        StartRepeats(repeats,
                     {nextEvent, from + event.RepeatEvery, event.Repeats, event.RepeatByDistance});
      }
      lastFiredS = nowS;
      movedSinceFired = false;
      ++nextEvent;
    }
    for (const size_t again :
         DueRepeats(repeats, nowS, motion.PositionM, record.FrameS, scenario.Events)) {
      fire(again);
    }
    row.FiredEventCount = record.Fired.size() - row.FirstFiredEvent;
    if (scenario.Driver.Style == DriverStyle::Follow) {
      const DriverHandles before = driver;
      FollowLimit(scenario.Driver, train, cab, nowS, motion.SpeedKmh, follower, driver);
      if (driver.Power != before.Power) {
        api.SetPower(driver.Power);
      }
      if (driver.Brake != before.Brake) {
        api.SetBrake(driver.Brake);
      }
    }

    const VehicleState state = ComposeState(motion, nowS);
    const Handles returned = api.Elapse(PassRecord(state), panel, sound);
    seenAtRest = state.Speed == 0.0F;
    movedSinceFired = movedSinceFired || !seenAtRest;

    row.Frame = frame;
    row.TimeS = nowS;
    row.PositionM = motion.PositionM;
    row.SpeedKmh = motion.SpeedKmh;
    row.GradientPermille = GradientAt(scenario.Gradients, motion.PositionM);
    row.Driver = driver;
    row.Returned = returned;
    row.Cab = cab = ReadCabPanel(panel);
    row.Acting = ClassifyIntervention(driver, returned, cab, record.EmergencyNotch);
    for (int slot = 0; slot < SoundCount; ++slot) {
      row.Sounds[slot] = sound[SoundIndex[slot]];
    }
    ++record.FrameCount;
    sink(row, record);

    if (scenario.Run.EndPositionM && motion.PositionM >= *scenario.Run.EndPositionM) {
      record.EndReason = RunEnd::Position;
      break;
    }
    if (scenario.Run.Loop == LoopKind::Closed) {
      StepTrain(train, returned, row.GradientPermille, record.FrameS, motion);
    } else {
      const double nextSpeed = ProfileSpeedAt(scenario.Run.SpeedProfile, nowS + record.FrameS);
      motion.PositionM += (motion.SpeedKmh + nextSpeed) / 2.0 / 3.6 * record.FrameS;
      motion.SpeedKmh = nextSpeed;
    }
  }
  api.Dispose();
  return record;
}

}  // namespace drive

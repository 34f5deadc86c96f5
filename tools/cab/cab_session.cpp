#include "cab_session.h"

#include <algorithm>
#include <cctype>

namespace drive {
namespace {

// The longest run a scenario may ask for: the cab goes on until the person quits.
constexpr double CabLongestRunS = 86400.0;

// Each key: a letter, and an arrow or the like where one fits (the emergency
// key steps the brake past its last notch, to the emergency notch). Ctrl-C is
// read as a key while the cab has the terminal.
enum class Does { Power, Brake, Reverser, Key, Pause, Faster, Slower, Quit };
struct Binding {
  int Letter;
  int Other;
  Does What;
  int32_t Value = 0;
  const char* Name = nullptr;  // a key as a scenario names it
};
constexpr Binding Bindings[] = {{'a', CabKeyUp, Does::Power, 1},
                                {'z', CabKeyDown, Does::Power, -1},
                                {'s', CabKeyRight, Does::Brake, 1},
                                {'x', CabKeyLeft, Does::Brake, -1},
                                {'e', CabKeyEnd, Does::Brake, 1000},
                                {'f', CabNoKey, Does::Reverser, 1},
                                {'n', CabNoKey, Does::Reverser, 0},
                                {'b', CabNoKey, Does::Reverser, -1},
                                {'d', CabKeyPageDown, Does::Key, KeyModeDown, "mode_down"},
                                {'u', CabKeyPageUp, Does::Key, KeyModeUp, "mode_up"},
                                {'r', CabNoKey, Does::Key, KeyRestrict, "restrict"},
                                {'c', CabNoKey, Does::Key, KeyCutOut, "cut_out"},
                                {' ', 'p', Does::Pause},
                                {'+', '=', Does::Faster},
                                {'-', CabNoKey, Does::Slower},
                                {'q', 3, Does::Quit},
                                {CabKeyInterrupt, CabNoKey, Does::Quit}};

}  // namespace

void PrepareCabScenario(Scenario& scenario) {
  for (ScenarioEvent& event : scenario.Events) {
    event.Actions.Reverser.reset();
    event.Actions.Power.reset();
    event.Actions.Brake.reset();
  }
  std::erase_if(scenario.Events,
                [](const ScenarioEvent& event) { return !DoesSomething(event.Actions); });
  scenario.Driver.Style = DriverStyle::Scripted;
  scenario.Run.DurationS = CabLongestRunS;
}

CabSession StartCabSession(Scenario& prepared) {
  CabSession session;
  session.Setup = &prepared;
  session.ScriptedEvents = prepared.Events.size();
  session.Driver = {prepared.Start.Brake, prepared.Start.Power, prepared.Start.Reverser};
  return session;
}

void CabKey(CabSession& session, int key) {
  const int k = key >= 0 && key < 0x80 ? std::tolower(key) : key;
  const TrainSpec& train = session.Setup->Train;
  DriverHandles& driver = session.Driver;
  for (const Binding& binding : Bindings) {
    if (k != binding.Letter && k != binding.Other) {
      continue;
    }
    const int32_t value = binding.Value;
    switch (binding.What) {
      case Does::Power:
        session.Pending.Power = driver.Power =
            std::clamp(driver.Power + value, 0, train.PowerNotches);
        break;
      case Does::Brake:
        session.Pending.Brake = driver.Brake =
            std::clamp(driver.Brake + value, 0, EmergencyNotchOf(train));
        break;
      case Does::Reverser:
        session.Pending.Reverser = driver.Reverser = value;
        break;
      case Does::Key:
        session.Pending.Keys.push_back(KeyPress{value, binding.Name});
        break;
      case Does::Pause:
        session.Paused = !session.Paused;
        break;
      case Does::Faster:
        session.TimeScale = std::min(session.TimeScale * 2, CabTimeScaleMax);
        break;
      case Does::Slower:
        session.TimeScale = std::max(session.TimeScale / 2, 1);
        break;
      case Does::Quit:
        session.Quit = true;
        break;
    }
  }
}

FrameInput TakeCabInput(CabSession& session, int64_t frame, double nowS) {
  FrameInput input;
  if (session.Quit && frame >= 2) {
    input.Stop = true;
    return input;
  }
  if (DoesSomething(session.Pending)) {
    ScenarioEvent event;
    event.When = Trigger{TriggerKind::AtTime, nowS};
    event.Actions = std::move(session.Pending);
    session.Pending = EventActions{};
    session.Setup->Events.push_back(std::move(event));
    input.Event = session.Setup->Events.size() - 1;
  }
  return input;
}

void NoteCabFrame(CabSession& session, const FrameRecord& row, const RunRecord& record,
                  const std::string& cause) {
  session.Last = row;
  session.HaveFrame = true;
  session.Cause = cause;
  session.SawAts = session.SawAts || row.Cab.ModeAts || row.Cab.AtsRunning || row.Cab.AtsReady;
  for (size_t i = 0; i < row.FiredEventCount; ++i) {
    const size_t index = record.Fired[row.FirstFiredEvent + i].EventIndex;
    if (index >= session.NextEvent && index < session.ScriptedEvents) {
      session.NextEvent = index + 1;
      session.LastFiredS = row.TimeS;
    }
  }
  const auto now = std::chrono::steady_clock::now();
  for (int slot = 0; slot < SoundCount; ++slot) {
    if (row.Sounds[slot] == SOUND_PLAY) {
      session.SoundPlayedAt[slot] = now;
    }
  }
}

}  // namespace drive

#include "cab_session.h"

#include <algorithm>
#include <cctype>

namespace drive {
namespace {

// The longest run a scenario may ask for: the cab goes on until the person quits.
constexpr double CabLongestRunS = 86400.0;

bool DoesSomething(const EventActions& actions) {
  return actions.Reverser || actions.Power || actions.Brake || actions.Signal || actions.Beacon ||
         !actions.Keys.empty();
}

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
  const TrainSpec& train = session.Setup->Train;
  DriverHandles& driver = session.Driver;
  EventActions& pending = session.Pending;
  const auto power = [&](int32_t notch) {
    pending.Power = driver.Power = std::clamp(notch, 0, train.PowerNotches);
  };
  const auto brake = [&](int32_t notch) {
    pending.Brake = driver.Brake = std::clamp(notch, 0, EmergencyNotchOf(train));
  };
  const auto reverser = [&](int32_t position) { pending.Reverser = driver.Reverser = position; };
  const auto press = [&](int32_t index, const char* name) {
    pending.Keys.push_back(KeyPress{index, name});
  };
  switch (key >= 0 && key < 0x80 ? std::tolower(key) : key) {
    case 'a':
    case CabKeyUp:
      return power(driver.Power + 1);
    case 'z':
    case CabKeyDown:
      return power(driver.Power - 1);
    case 's':
    case CabKeyRight:
      return brake(driver.Brake + 1);
    case 'x':
    case CabKeyLeft:
      return brake(driver.Brake - 1);
    case 'e':
    case CabKeyEnd:
      return brake(EmergencyNotchOf(train));
    case 'f':
      return reverser(1);
    case 'n':
      return reverser(0);
    case 'b':
      return reverser(-1);
    case 'd':
    case CabKeyPageDown:
      return press(KeyModeDown, "mode_down");
    case 'u':
    case CabKeyPageUp:
      return press(KeyModeUp, "mode_up");
    case 'r':
      return press(KeyRestrict, "restrict");
    case 'c':
      return press(KeyCutOut, "cut_out");
    case ' ':
    case 'p':
      session.Paused = !session.Paused;
      return;
    case '+':
    case '=':
      session.TimeScale = std::min(session.TimeScale * 2, CabTimeScaleMax);
      return;
    case '-':
      session.TimeScale = std::max(session.TimeScale / 2, 1);
      return;
    case 'q':
    case 3:  // Ctrl-C, read as a key while the cab has the terminal
    case CabKeyInterrupt:
      session.Quit = true;
      return;
    default:
      return;
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

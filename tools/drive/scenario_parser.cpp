// Scenario files are TOML, read with toml++ (header-only, errors as results).
// Every table is checked key by key: an unknown key, a value of the wrong kind
// or out of range, and events out of order each stop the reading with one
// message that points at the offending line.
#define TOML_EXCEPTIONS 0
#include <toml++/toml.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <limits>
#include <sstream>

#include "published_numbers.h"
#include "scenario_parser.h"

namespace drive {
namespace {

// Thrown inside this file only, caught by ParseScenarioText.
struct Fault {
  int Line = 0;
  int Column = 0;
  std::string Message;
};

[[noreturn]] void FailAt(const toml::source_region& where, std::string message) {
  throw Fault{static_cast<int>(where.begin.line), static_cast<int>(where.begin.column),
              std::move(message)};
}

[[noreturn]] void Fail(const toml::node& at, std::string message) {
  FailAt(at.source(), std::move(message));
}

std::string KindOf(const toml::node& node) {
  switch (node.type()) {
    case toml::node_type::string:
      return "a string";
    case toml::node_type::integer:
      return "an integer";
    case toml::node_type::floating_point:
      return "a decimal number";
    case toml::node_type::boolean:
      return "true or false";
    case toml::node_type::table:
      return "a table";
    case toml::node_type::array:
      return "an array";
    default:
      return "a date or time";
  }
}

std::string JoinNames(std::initializer_list<std::string_view> names) {
  std::string joined;
  for (std::string_view name : names) {
    if (!joined.empty()) {
      joined += ", ";
    }
    joined += name;
  }
  return joined;
}

// Rejects any key of the table that is not in the list.
void CheckKeys(const toml::table& table, std::string_view where,
               std::initializer_list<std::string_view> known) {
  for (auto&& [key, value] : table) {
    bool found = false;
    for (std::string_view name : known) {
      found = found || key.str() == name;
    }
    if (!found) {
      FailAt(key.source(), "unknown key '" + std::string(key.str()) + "' in " + std::string(where) +
                               "; expected one of: " + JoinNames(known));
    }
  }
}

const toml::table& RequireTable(const toml::node& node, std::string_view name) {
  if (!node.is_table()) {
    Fail(node, "'" + std::string(name) + "' must be a table, not " + KindOf(node));
  }
  return *node.as_table();
}

double Number(const toml::node& node, std::string_view name) {
  double value = 0.0;
  if (node.is_integer()) {
    value = static_cast<double>(node.as_integer()->get());
  } else if (node.is_floating_point()) {
    value = node.as_floating_point()->get();
  } else {
    Fail(node, "'" + std::string(name) + "' must be a number, not " + KindOf(node));
  }
  if (!std::isfinite(value)) {
    Fail(node, "'" + std::string(name) + "' must be a finite number");
  }
  return value;
}

std::string Plain(double value) {
  std::ostringstream text;
  text << value;
  return text.str();
}

double NumberAtLeast(const toml::node& node, std::string_view name, double lowest) {
  const double value = Number(node, name);
  if (value < lowest) {
    Fail(node,
         "'" + std::string(name) + "' must be at least " + Plain(lowest) + ", not " + Plain(value));
  }
  return value;
}

double NumberAbove(const toml::node& node, std::string_view name, double bound) {
  const double value = Number(node, name);
  if (value <= bound) {
    Fail(node, "'" + std::string(name) + "' must be greater than " + Plain(bound) + ", not " +
                   Plain(value));
  }
  return value;
}

int32_t Integer(const toml::node& node, std::string_view name, int64_t lowest, int64_t highest) {
  if (!node.is_integer()) {
    Fail(node, "'" + std::string(name) + "' must be a whole number, not " + KindOf(node));
  }
  const int64_t value = node.as_integer()->get();
  if (value < lowest || value > highest) {
    Fail(node, "'" + std::string(name) + "' must lie between " + std::to_string(lowest) + " and " +
                   std::to_string(highest) + ", not " + std::to_string(value));
  }
  return static_cast<int32_t>(value);
}

constexpr int64_t Int32Lowest = std::numeric_limits<int32_t>::min();
constexpr int64_t Int32Highest = std::numeric_limits<int32_t>::max();

bool Boolean(const toml::node& node, std::string_view name) {
  if (!node.is_boolean()) {
    Fail(node, "'" + std::string(name) + "' must be true or false, not " + KindOf(node));
  }
  return node.as_boolean()->get();
}

std::string Text(const toml::node& node, std::string_view name) {
  if (!node.is_string()) {
    Fail(node, "'" + std::string(name) + "' must be a string, not " + KindOf(node));
  }
  return node.as_string()->get();
}

// One of two words, as the string at node must be: true for the second.
bool SecondOf(const toml::node& node, std::string_view name, std::string_view first,
              std::string_view second) {
  const std::string text = Text(node, name);
  if (text != first && text != second) {
    std::string message = "'";  // appended: GCC 12 misreads a chain of + here (-Wrestrict)
    message.append(name).append("' must be \"").append(first).append("\" or \"");
    Fail(node, message.append(second).append("\", not \"").append(text).append("\""));
  }
  return text == second;
}

void ReadTrain(const toml::table& table, TrainSpec& train) {
  CheckKeys(table, "[train]",
            {"service_notches", "power_notches", "acceleration_kmhps", "constant_power_from_kmh",
             "service_deceleration_kmhps", "emergency_deceleration_kmhps",
             "rolling_resistance_kmhps", "air_resistance_at_100kmh_kmhps"});
  const toml::node* notches = table.get("service_notches");
  const toml::node* power = table.get("power_notches");
  if (notches == nullptr || power == nullptr) {
    FailAt(table.source(), std::string("[train] needs '") +
                               (notches == nullptr ? "service_notches" : "power_notches") +
                               "', the number of the train's notches");
  }
  train.ServiceNotches = Integer(*notches, "service_notches", 1, 64);
  train.PowerNotches = Integer(*power, "power_notches", 1, 64);
  if (const toml::node* n = table.get("acceleration_kmhps")) {
    train.AccelerationKmhps = NumberAbove(*n, "acceleration_kmhps", 0.0);
  }
  if (const toml::node* n = table.get("constant_power_from_kmh")) {
    train.ConstantPowerFromKmh = NumberAbove(*n, "constant_power_from_kmh", 0.0);
  }
  if (const toml::node* n = table.get("service_deceleration_kmhps")) {
    train.ServiceDecelerationKmhps = NumberAbove(*n, "service_deceleration_kmhps", 0.0);
  }
  if (const toml::node* n = table.get("emergency_deceleration_kmhps")) {
    train.EmergencyDecelerationKmhps = NumberAbove(*n, "emergency_deceleration_kmhps", 0.0);
  }
  if (const toml::node* n = table.get("rolling_resistance_kmhps")) {
    train.RollingResistanceKmhps = NumberAtLeast(*n, "rolling_resistance_kmhps", 0.0);
  }
  if (const toml::node* n = table.get("air_resistance_at_100kmh_kmhps")) {
    train.AirResistanceAt100KmhKmhps = NumberAtLeast(*n, "air_resistance_at_100kmh_kmhps", 0.0);
  }
}

void ReadOptions(const toml::table& table, PluginOptions& options) {
  CheckKeys(table, "[options]", {"use_120_signal", "use_ats", "atc_brake_notch", "ini"});
  if (const toml::node* n = table.get("ini")) {
    if (table.size() > 1) {
      Fail(*n, "'ini' gives the whole KELVRIN.ini and cannot be combined with other options");
    }
    options.IniText = Text(*n, "ini");
  }
  if (const toml::node* n = table.get("use_120_signal")) {
    options.Use120Signal = Boolean(*n, "use_120_signal");
  }
  if (const toml::node* n = table.get("use_ats")) {
    options.UseAts = Boolean(*n, "use_ats");
  }
  if (const toml::node* n = table.get("atc_brake_notch")) {
    options.AtcBrakeNotch = Integer(*n, "atc_brake_notch", Int32Lowest, Int32Highest);
  }
}

void ReadTrack(const toml::table& table, std::vector<GradientSection>& gradients) {
  CheckKeys(table, "[track]", {"gradients"});
  const toml::node* list = table.get("gradients");
  if (list == nullptr) {
    return;
  }
  if (!list->is_array()) {
    Fail(*list, "'gradients' must be an array of { from_m = ..., permille = ... }");
  }
  for (const toml::node& entry : *list->as_array()) {
    const toml::table& section = RequireTable(entry, "gradients entry");
    CheckKeys(section, "a gradients entry", {"from_m", "permille"});
    const toml::node* from = section.get("from_m");
    const toml::node* permille = section.get("permille");
    if (from == nullptr || permille == nullptr) {
      Fail(entry, "each gradients entry needs 'from_m' and 'permille'");
    }
    GradientSection read{Number(*from, "from_m"), Number(*permille, "permille")};
    if (std::abs(read.Permille) > 100.0) {
      Fail(*permille, "'permille' must lie between -100 and 100");
    }
    if (!gradients.empty() && read.FromM <= gradients.back().FromM) {
      Fail(*from, "gradients must be listed by increasing 'from_m'");
    }
    gradients.push_back(read);
  }
}

void ReadSpeedProfile(const toml::node& node, std::vector<SpeedPoint>& profile) {
  const std::string shape = "'speed_profile' must be an array of [time_s, speed_kmh] pairs";
  if (!node.is_array()) {
    Fail(node, shape);
  }
  for (const toml::node& entry : *node.as_array()) {
    if (!entry.is_array() || entry.as_array()->size() != 2) {
      Fail(entry, shape);
    }
    const toml::array& pair = *entry.as_array();
    SpeedPoint point{Number(*pair.get(0), "time_s"), Number(*pair.get(1), "speed_kmh")};
    if (!profile.empty() && point.TimeS <= profile.back().TimeS) {
      Fail(entry, "'speed_profile' points must be listed by increasing time");
    }
    profile.push_back(point);
  }
  if (profile.empty()) {
    Fail(node, "'speed_profile' needs at least one point");
  }
}

void ReadRun(const toml::table& table, RunSettings& run) {
  CheckKeys(
      table, "[run]",
      {"frame_rate_hz", "duration_s", "end_position_m", "loop", "speed_profile", "chart_axis"});
  if (const toml::node* n = table.get("frame_rate_hz")) {
    run.FrameRateHz = NumberAtLeast(*n, "frame_rate_hz", 1.0);
    if (run.FrameRateHz > 1000.0) {
      Fail(*n, "'frame_rate_hz' must be at most 1000");
    }
  }
  if (const toml::node* n = table.get("duration_s")) {
    run.DurationS = NumberAbove(*n, "duration_s", 0.0);
    if (run.DurationS > 86400.0) {
      Fail(*n, "'duration_s' must be at most 86400 (24 hours)");
    }
  }
  if (const toml::node* n = table.get("end_position_m")) {
    run.EndPositionM = Number(*n, "end_position_m");
  }
  if (const toml::node* n = table.get("loop")) {
    run.Loop = SecondOf(*n, "loop", "closed", "open") ? LoopKind::Open : LoopKind::Closed;
  }
  if (const toml::node* n = table.get("chart_axis")) {
    run.Axis =
        SecondOf(*n, "chart_axis", "time", "distance") ? ChartAxis::Distance : ChartAxis::Time;
  }
  const toml::node* profile = table.get("speed_profile");
  if (profile != nullptr) {
    if (run.Loop != LoopKind::Open) {
      Fail(*profile, "'speed_profile' is for loop = \"open\"; a closed loop computes the speed");
    }
    ReadSpeedProfile(*profile, run.SpeedProfile);
  } else if (run.Loop == LoopKind::Open) {
    FailAt(table.source(), "loop = \"open\" needs a 'speed_profile' in [run]");
  }
}

int32_t BrakeNotch(const toml::node& node, const TrainSpec& train, std::string_view name) {
  const int32_t emergency = EmergencyNotchOf(train);
  if (node.is_string()) {
    const std::string word = node.as_string()->get();
    if (word == "emergency") {
      return emergency;
    }
    if (word == "release" || word == "released") {
      return 0;
    }
    Fail(node, "'" + std::string(name) + "' must be a notch from 0 to " +
                   std::to_string(emergency) + ", \"release\" or \"emergency\", not \"" + word +
                   "\"");
  }
  return Integer(node, name, 0, emergency);
}

int32_t ReverserPosition(const toml::node& node, std::string_view name) {
  if (node.is_string()) {
    const std::string word = node.as_string()->get();
    if (word == "forward") {
      return 1;
    }
    if (word == "neutral") {
      return 0;
    }
    if (word == "backward" || word == "reverse") {
      return -1;
    }
    Fail(node, "'" + std::string(name) + "' must be \"forward\", \"neutral\", \"backward\" or " +
                   "1, 0, -1, not \"" + word + "\"");
  }
  return Integer(node, name, -1, 1);
}

void ReadStart(const toml::table& table, const TrainSpec& train, StartState& start) {
  CheckKeys(table, "[start]", {"speed_kmh", "position_m", "brake", "power", "reverser"});
  if (const toml::node* n = table.get("speed_kmh")) {
    start.SpeedKmh = Number(*n, "speed_kmh");
  }
  if (const toml::node* n = table.get("position_m")) {
    start.PositionM = Number(*n, "position_m");
  }
  if (const toml::node* n = table.get("brake")) {
    start.Brake = BrakeNotch(*n, train, "brake");
  }
  if (const toml::node* n = table.get("power")) {
    start.Power = Integer(*n, "power", 0, train.PowerNotches);
  }
  if (const toml::node* n = table.get("reverser")) {
    start.Reverser = ReverserPosition(*n, "reverser");
  }
}

// The cab keys by name; a bare integer names any other key of the host.
struct NamedKey {
  std::string_view Name;
  int32_t Index;
};
constexpr NamedKey KeyNames[] = {{"mode_down", KeyModeDown},
                                 {"mode_up", KeyModeUp},
                                 {"restrict", KeyRestrict},
                                 {"cut_out", KeyCutOut}};

KeyPress ReadKey(const toml::node& node) {
  if (node.is_integer()) {
    const int32_t index = Integer(node, "key", 0, 255);
    return KeyPress{index, std::to_string(index)};
  }
  if (node.is_string()) {
    const std::string name = node.as_string()->get();
    for (const NamedKey& key : KeyNames) {
      if (key.Name == name) {
        return KeyPress{key.Index, name};
      }
    }
    Fail(node, "unknown key name '" + name +
                   "'; expected mode_down, mode_up, restrict, cut_out or a key index");
  }
  Fail(node, "'key' must be a key name, a key index or an array of them, not " + KindOf(node));
}

Trigger ReadTrigger(const toml::table& table) {
  struct Candidate {
    std::string_view Key;
    TriggerKind Kind;
  };
  constexpr Candidate Candidates[] = {{"time_s", TriggerKind::AtTime},
                                      {"position_m", TriggerKind::AtPosition},
                                      {"after_s", TriggerKind::After},
                                      {"speed_above_kmh", TriggerKind::SpeedAbove},
                                      {"speed_below_kmh", TriggerKind::SpeedBelow},
                                      {"stopped", TriggerKind::Stopped}};
  const Candidate* chosen = nullptr;
  const toml::node* chosenNode = nullptr;
  for (const Candidate& candidate : Candidates) {
    const toml::node* node = table.get(candidate.Key);
    if (node == nullptr) {
      continue;
    }
    if (chosen != nullptr) {
      Fail(*node, "an event has one trigger; this one has both '" + std::string(chosen->Key) +
                      "' and '" + std::string(candidate.Key) + "'");
    }
    chosen = &candidate;
    chosenNode = node;
  }
  if (chosen == nullptr) {
    FailAt(table.source(),
           "an event needs a trigger: one of time_s, position_m, after_s, speed_above_kmh, "
           "speed_below_kmh, stopped");
  }
  Trigger trigger{chosen->Kind, 0.0};
  switch (chosen->Kind) {
    case TriggerKind::AtTime:
    case TriggerKind::After:
      trigger.Value = NumberAtLeast(*chosenNode, chosen->Key, 0.0);
      break;
    case TriggerKind::Stopped:
      if (!Boolean(*chosenNode, "stopped")) {
        Fail(*chosenNode, "'stopped' can only be true");
      }
      break;
    default:
      trigger.Value = Number(*chosenNode, chosen->Key);
      break;
  }
  return trigger;
}

void ReadDriver(const toml::table& table, DriverSettings& driver) {
  CheckKeys(table, "[driver]", {"style", "margin_kmh", "reaction_s"});
  if (const toml::node* n = table.get("style")) {
    driver.Style =
        SecondOf(*n, "style", "scripted", "follow") ? DriverStyle::Follow : DriverStyle::Scripted;
  }
  if (const toml::node* n = table.get("margin_kmh")) {
    driver.MarginKmh = NumberAtLeast(*n, "margin_kmh", 0.0);
  }
  if (const toml::node* n = table.get("reaction_s")) {
    driver.ReactionS = NumberAtLeast(*n, "reaction_s", 0.0);
  }
}

ScenarioEvent ReadEvent(const toml::table& table, const TrainSpec& train) {
  CheckKeys(table, "[[event]]",
            {"time_s", "position_m", "after_s", "speed_above_kmh", "speed_below_kmh", "stopped",
             "reverser", "power", "brake", "signal", "beacon", "key", "label", "repeat_every_s",
             "repeat_every_m", "repeats"});
  ScenarioEvent event;
  event.Line = static_cast<int>(table.source().begin.line);
  event.When = ReadTrigger(table);
  EventActions& actions = event.Actions;
  if (const toml::node* n = table.get("reverser")) {
    actions.Reverser = ReverserPosition(*n, "reverser");
  }
  if (const toml::node* n = table.get("power")) {
    actions.Power = Integer(*n, "power", 0, train.PowerNotches);
  }
  if (const toml::node* n = table.get("brake")) {
    actions.Brake = BrakeNotch(*n, train, "brake");
  }
  if (const toml::node* n = table.get("signal")) {
    actions.Signal = Integer(*n, "signal", Int32Lowest, Int32Highest);
  }
  if (const toml::node* n = table.get("beacon")) {
    const toml::table& beacon = RequireTable(*n, "beacon");
    CheckKeys(beacon, "'beacon'", {"type", "parameter"});
    const toml::node* type = beacon.get("type");
    if (type == nullptr) {
      Fail(*n,
           "'beacon' needs a 'type', e.g. beacon = { type = " + std::to_string(ResetBeaconType) +
               ", parameter = " + std::to_string(ResetBeaconParameter) + " }");
    }
    BeaconPass pass{Integer(*type, "type", Int32Lowest, Int32Highest), 0};
    if (const toml::node* parameter = beacon.get("parameter")) {
      pass.Parameter = Integer(*parameter, "parameter", Int32Lowest, Int32Highest);
      pass.ParameterGiven = true;
    }
    actions.Beacon = pass;
  }
  if (const toml::node* n = table.get("key")) {
    if (n->is_array()) {
      for (const toml::node& key : *n->as_array()) {
        actions.Keys.push_back(ReadKey(key));
      }
    } else {
      actions.Keys.push_back(ReadKey(*n));
    }
  }
  if (const toml::node* n = table.get("label")) {
    event.Label = Text(*n, "label");
  }
  const toml::node* everyS = table.get("repeat_every_s");
  const toml::node* everyM = table.get("repeat_every_m");
  const toml::node* repeats = table.get("repeats");
  if (everyS != nullptr && everyM != nullptr) {
    Fail(*everyM, "an event repeats by time or by distance, not both");
  }
  if ((everyS != nullptr || everyM != nullptr) != (repeats != nullptr)) {
    FailAt(table.source(), "'repeats' and one of 'repeat_every_s', 'repeat_every_m' go together");
  }
  if (repeats != nullptr) {
    event.Repeats = Integer(*repeats, "repeats", 1, 100000);
    event.RepeatByDistance = everyM != nullptr;
    event.RepeatEvery = NumberAbove(everyM != nullptr ? *everyM : *everyS,
                                    everyM != nullptr ? "repeat_every_m" : "repeat_every_s", 0.0);
  }
  const bool anyAction = actions.Reverser || actions.Power || actions.Brake || actions.Signal ||
                         actions.Beacon || !actions.Keys.empty();
  if (!anyAction) {
    FailAt(table.source(),
           "this event does nothing: give at least one of reverser, power, brake, signal, beacon, "
           "key");
  }
  return event;
}

// Time and position triggers must each follow the order of the file: a later
// event cannot be due at an earlier time, or at a position already passed.
void CheckOrder(const toml::array& list, const std::vector<ScenarioEvent>& events) {
  const ScenarioEvent* lastTimed = nullptr;
  const ScenarioEvent* lastPlaced = nullptr;
  for (size_t i = 0; i < events.size(); ++i) {
    const ScenarioEvent& event = events[i];
    const bool timed = event.When.Kind == TriggerKind::AtTime;
    if (!timed && event.When.Kind != TriggerKind::AtPosition) {
      continue;
    }
    const ScenarioEvent*& last = timed ? lastTimed : lastPlaced;
    if (last != nullptr && event.When.Value < last->When.Value) {
      const std::string unit = timed ? "time_s" : "position_m";
      Fail(*list.get(i), "events out of order: " + unit + " = " + Plain(event.When.Value) +
                             " comes after the event at " + unit + " = " + Plain(last->When.Value) +
                             " (line " + std::to_string(last->Line) +
                             "); list events in the order they happen");
    }
    last = &event;
  }
}

Scenario ReadScenario(const toml::table& root, const std::string& fileName) {
  CheckKeys(
      root, "the scenario",
      {"title", "description", "train", "options", "track", "run", "start", "driver", "event"});
  Scenario scenario;
  scenario.Name = std::filesystem::path(fileName).stem().string();
  scenario.Title = scenario.Name;
  if (const toml::node* n = root.get("title")) {
    scenario.Title = Text(*n, "title");
  }
  if (const toml::node* n = root.get("description")) {
    scenario.Description = Text(*n, "description");
  }
  const toml::node* train = root.get("train");
  if (train == nullptr) {
    throw Fault{1, 1,
                "missing [train]: every scenario needs the train, at least service_notches and "
                "power_notches"};
  }
  ReadTrain(RequireTable(*train, "train"), scenario.Train);
  scenario.Start.Brake = EmergencyNotchOf(scenario.Train);
  if (const toml::node* n = root.get("options")) {
    ReadOptions(RequireTable(*n, "options"), scenario.Options);
  }
  if (const toml::node* n = root.get("track")) {
    ReadTrack(RequireTable(*n, "track"), scenario.Gradients);
  }
  if (const toml::node* n = root.get("run")) {
    ReadRun(RequireTable(*n, "run"), scenario.Run);
  }
  if (const toml::node* n = root.get("start")) {
    ReadStart(RequireTable(*n, "start"), scenario.Train, scenario.Start);
  }
  if (const toml::node* n = root.get("driver")) {
    ReadDriver(RequireTable(*n, "driver"), scenario.Driver);
  }
  if (const toml::node* n = root.get("event")) {
    if (!n->is_array() || !n->as_array()->is_array_of_tables()) {
      Fail(*n, "'event' must be a list of tables: write each event under its own [[event]]");
    }
    const toml::array& list = *n->as_array();
    for (const toml::node& entry : list) {
      scenario.Events.push_back(ReadEvent(*entry.as_table(), scenario.Train));
    }
    CheckOrder(list, scenario.Events);
  }
  return scenario;
}

}  // namespace

ParsedScenario ParseScenarioText(std::string_view text, const std::string& fileName) {
  ParsedScenario parsed;
  parsed.Error.File = fileName;
  toml::parse_result document = toml::parse(text, fileName);
  if (!document) {
    const toml::parse_error& error = document.error();
    parsed.Error.Line = static_cast<int>(error.source().begin.line);
    parsed.Error.Column = static_cast<int>(error.source().begin.column);
    parsed.Error.Message = "not valid TOML: " + std::string(error.description());
    return parsed;
  }
  try {
    parsed.Value = ReadScenario(document.table(), fileName);
  } catch (const Fault& fault) {
    parsed.Error.Line = fault.Line;
    parsed.Error.Column = fault.Column;
    parsed.Error.Message = fault.Message;
  }
  return parsed;
}

std::string WhyUnreadable(const std::string& path) {
  std::error_code failure;
  if (std::filesystem::is_directory(path, failure)) {
    return std::make_error_code(std::errc::is_a_directory).message();
  }
  errno = 0;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    return std::strerror(errno != 0 ? errno : ENOENT);
  }
  std::fclose(file);
  return "";
}

ParsedScenario ParseScenarioFile(const std::string& path) {
  const std::string problem = WhyUnreadable(path);
  std::ifstream file(path, std::ios::binary);
  if (!problem.empty() || !file) {
    ParsedScenario failed;
    failed.Error = ScenarioError{path, 0, 0, "cannot open the scenario file: " + problem};
    return failed;
  }
  std::ostringstream text;
  text << file.rdbuf();
  return ParseScenarioText(text.str(), path);
}

std::string FormatScenarioError(const ScenarioError& error) {
  std::string place = error.File;
  if (error.Line > 0) {
    place.append(":").append(std::to_string(error.Line));
    place.append(":").append(std::to_string(error.Column));
  }
  return place + ": error: " + error.Message;
}

}  // namespace drive

// Scenario files are TOML, read with toml++ (header-only, errors as results).
// Every table is checked key by key: an unknown key, a value of the wrong kind
// or out of range, and events out of order each stop the reading with one
// message that points at the offending line.
#define TOML_EXCEPTIONS 0
#include <toml++/toml.h>

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <iterator>
#include <limits>

#include "input_file.h"
#include "published_numbers.h"
#include "scenario_parser.h"
#include "toml_characters.h"

namespace drive {
namespace {

// Thrown inside this file only, caught by ParseScenarioText.
struct Fault {
  int Line = 0;
  int Column = 0;
  std::string Message;
};

// The root table has no place of its own: its faults point at the first line.
[[noreturn]] void FailAt(const toml::source_region& where, std::string message) {
  throw Fault{std::max(static_cast<int>(where.begin.line), 1),
              std::max(static_cast<int>(where.begin.column), 1), std::move(message)};
}

[[noreturn]] void Fail(const toml::node& at, std::string message) {
  FailAt(at.source(), std::move(message));
}

// What a value is, in the words of the messages, by toml++'s order of kinds.
std::string KindOf(const toml::node& node) {
  static_assert(toml::node_type::boolean == toml::node_type{6});
  constexpr const char* Kinds[] = {
      "",           "a table",          "an array",      "a string",
      "an integer", "a decimal number", "true or false", "a date or time"};
  return Kinds[std::min(static_cast<size_t>(node.type()), std::size(Kinds) - 1)];
}

// How one key of a table is read: the reader gets the key's value and its name
// for the messages. A key without a reader is only allowed; its table reads it.
struct Field {
  std::string_view Key;
  std::function<void(const toml::node&, std::string_view)> Read;
  std::string_view Missing = {};  // set for a key the table must have: the message
};

// Rejects any key of the table that has no field, then the missing keys, then
// reads the keys present in the order of the fields.
void ReadFields(const toml::table& table, std::string_view where,
                const std::vector<Field>& fields) {
  for (auto&& [key, value] : table) {
    bool found = false;
    std::string known;
    for (const Field& field : fields) {
      found = found || key.str() == field.Key;
      known += (known.empty() ? "" : ", ") + std::string(field.Key);
    }
    if (!found) {
      FailAt(key.source(),
             fmt::format("unknown key '{}' in {}; expected one of: {}", key.str(), where, known));
    }
  }
  for (const Field& field : fields) {
    if (!field.Missing.empty() && !table.contains(field.Key)) {
      FailAt(table.source(), std::string(field.Missing));
    }
  }
  for (const Field& field : fields) {
    const toml::node* node = table.get(field.Key);
    if (node != nullptr && field.Read) {
      field.Read(*node, field.Key);
    }
  }
}

const toml::table& RequireTable(const toml::node& node, std::string_view name) {
  if (!node.is_table()) {
    Fail(node, fmt::format("'{}' must be a table, not {}", name, KindOf(node)));
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
    Fail(node, fmt::format("'{}' must be a number, not {}", name, KindOf(node)));
  }
  if (!std::isfinite(value)) {
    Fail(node, fmt::format("'{}' must be a finite number", name));
  }
  return value;
}

// The range a number must lie in: from Lowest (or above it, for a quantity
// the train must have at all, such as its braking) to Highest.
struct Bounds {
  double Lowest = 0.0;
  double Highest = 0.0;
  bool AboveLowest = false;
  std::string_view Note = {};  // after Highest in the message, e.g. " (24 hours)"
};

// A number as an author writes it: 10000000 rather than 1e+07.
std::string Plain(double value) {
  return std::abs(value) < 1e15 && value == std::floor(value) ? fmt::format("{:.0f}", value)
                                                              : fmt::format("{:g}", value);
}

double NumberIn(const toml::node& node, std::string_view name, Bounds bounds) {
  const double value = Number(node, name);
  const bool low = bounds.AboveLowest ? value <= bounds.Lowest : value < bounds.Lowest;
  if (low || value > bounds.Highest) {
    Fail(node, fmt::format("'{}' must {} {} and {}{}{}, not {}", name,
                           bounds.AboveLowest ? "be greater than" : "lie between",
                           Plain(bounds.Lowest), bounds.AboveLowest ? "at most " : "",
                           Plain(bounds.Highest), bounds.Note, Plain(value)));
  }
  return value;
}

// What a real train and route can need, with room to spare: the fastest trains
// in service run at about 350 km/h and brake or accelerate at a few km/h per
// second, and no day's run covers 10,000 km. Beyond them the point-mass train
// would only run off into numbers that mean nothing.
constexpr double MostSpeedKmh = 400.0;
constexpr double MostPositionM = 10'000'000.0;
constexpr double MostRateKmhps = 20.0;
constexpr double MostDurationS = 86'400.0;
constexpr Bounds Speed{-MostSpeedKmh, MostSpeedKmh};
constexpr Bounds Position{-MostPositionM, MostPositionM};
constexpr Bounds Rate{0.0, MostRateKmhps, true};
constexpr Bounds Resistance{0.0, MostRateKmhps};
constexpr Bounds Clock{0.0, MostDurationS};

// Each event's firing is kept for the summary and the chart, and each writes
// its keys and label into the trace: these keep that within bounds.
constexpr size_t MostKeysPerEvent = 8;
constexpr size_t MostShortTextChars = 120;
constexpr int64_t MostFirings = 100'000;
constexpr int64_t MostRepeats = MostFirings - 1;

int32_t Integer(const toml::node& node, std::string_view name, int64_t lowest, int64_t highest) {
  if (!node.is_integer()) {
    Fail(node, fmt::format("'{}' must be a whole number, not {}", name, KindOf(node)));
  }
  const int64_t value = node.as_integer()->get();
  if (value < lowest || value > highest) {
    Fail(node,
         fmt::format("'{}' must lie between {} and {}, not {}", name, lowest, highest, value));
  }
  return static_cast<int32_t>(value);
}

constexpr int64_t Int32Lowest = std::numeric_limits<int32_t>::min();
constexpr int64_t Int32Highest = std::numeric_limits<int32_t>::max();

bool Boolean(const toml::node& node, std::string_view name) {
  if (!node.is_boolean()) {
    Fail(node, fmt::format("'{}' must be true or false, not {}", name, KindOf(node)));
  }
  return node.as_boolean()->get();
}

std::string Text(const toml::node& node, std::string_view name) {
  if (!node.is_string()) {
    Fail(node, fmt::format("'{}' must be a string, not {}", name, KindOf(node)));
  }
  return MoveBack(node.as_string()->get());
}

// A name or label, which goes into the trace and the chart each time it shows.
std::string ShortText(const toml::node& node, std::string_view name) {
  std::string text = Text(node, name);
  const auto characters = std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0U) != 0x80U;  // UTF-8 lead bytes
  });
  if (characters > static_cast<std::ptrdiff_t>(MostShortTextChars)) {
    Fail(node, fmt::format("'{}' must be at most {} characters, not {}", name, MostShortTextChars,
                           characters));
  }
  return text;
}

// The value a word of the table stands for, or none when node is no string;
// any other word fails, saying what the key takes.
template <typename Value>
std::optional<Value> Word(const toml::node& node, std::string_view name,
                          std::initializer_list<std::pair<std::string_view, Value>> words,
                          std::string_view takes) {
  if (!node.is_string()) {
    return std::nullopt;
  }
  const std::string word = node.as_string()->get();
  for (const auto& [text, value] : words) {
    if (text == word) {
      return value;
    }
  }
  Fail(node, fmt::format("'{}' must be {}, not \"{}\"", name, takes, word));
}

// One of two words, as the string at node must be, and what each stands for.
template <typename Value>
Value OneOf(const toml::node& node, std::string_view name, std::string_view first, Value firstValue,
            std::string_view second, Value secondValue) {
  Text(node, name);
  return *Word<Value>(node, name, {{first, firstValue}, {second, secondValue}},
                      fmt::format("\"{}\" or \"{}\"", first, second));
}

// A reader that stores what read(value, key, extra...) makes of the value.
template <typename Value, typename Read, typename... Extra>
auto Into(Value& into, Read read, Extra... extra) {
  return [&into, read, extra...](const toml::node& n, std::string_view k) {
    into = read(n, k, extra...);
  };
}

int32_t Int32(const toml::node& node, std::string_view name) {
  return Integer(node, name, Int32Lowest, Int32Highest);
}

// Keeps the value for the table's own checks, after all its keys are read.
auto Keep(const toml::node*& into) {
  return [&into](const toml::node& n, std::string_view) { into = &n; };
}

void ReadTrain(const toml::table& table, TrainSpec& train) {
  constexpr std::string_view Needs = "', the number of the train's notches";
  const std::string needsService = fmt::format("[train] needs 'service_notches{}", Needs);
  const std::string needsPower = fmt::format("[train] needs 'power_notches{}", Needs);
  ReadFields(
      table, "[train]",
      {{"service_notches", Into(train.ServiceNotches, Integer, 1, 64), needsService},
       {"power_notches", Into(train.PowerNotches, Integer, 1, 64), needsPower},
       {"acceleration_kmhps", Into(train.AccelerationKmhps, NumberIn, Rate)},
       {"constant_power_from_kmh",
        Into(train.ConstantPowerFromKmh, NumberIn, Bounds{0.0, MostSpeedKmh, true})},
       {"service_deceleration_kmhps", Into(train.ServiceDecelerationKmhps, NumberIn, Rate)},
       {"emergency_deceleration_kmhps", Into(train.EmergencyDecelerationKmhps, NumberIn, Rate)},
       {"rolling_resistance_kmhps", Into(train.RollingResistanceKmhps, NumberIn, Resistance)},
       {"air_resistance_at_100kmh_kmhps",
        Into(train.AirResistanceAt100KmhKmhps, NumberIn, Resistance)}});
}

// The options of [options], and of a [[variant]] with its name among them.
void ReadOptions(const toml::table& table, std::string_view where, PluginOptions& options,
                 std::optional<Field> name = std::nullopt) {
  std::vector<Field> fields = {
      {"use_120_signal", Into(options.Use120Signal, Boolean)},
      {"use_ats", Into(options.UseAts, Boolean)},
      {"atc_brake_notch", Into(options.AtcBrakeNotch, Int32)},
      {"ini", [&](const toml::node& n, std::string_view k) {
         if (table.size() > (name && table.contains(name->Key) ? 2U : 1U)) {
           Fail(n, "'ini' gives the whole KELVRIN.ini and cannot be combined with other options");
         }
         options.IniText = Text(n, k);
       }}};
  if (name) {
    fields.insert(fields.begin(), *name);
  }
  ReadFields(table, where, fields);
}

void ReadTrack(const toml::table& table, std::vector<GradientSection>& gradients) {
  const toml::node* list = nullptr;
  ReadFields(table, "[track]", {{"gradients", Keep(list)}});
  if (list == nullptr) {
    return;
  }
  if (!list->is_array()) {
    Fail(*list, "'gradients' must be an array of { from_m = ..., permille = ... }");
  }
  for (const toml::node& entry : *list->as_array()) {
    GradientSection read;
    constexpr std::string_view Needs = "each gradients entry needs 'from_m' and 'permille'";
    const toml::table& section = RequireTable(entry, "gradients entry");
    ReadFields(section, "a gradients entry",
               {{"from_m", Into(read.FromM, NumberIn, Position), Needs},
                {"permille",
                 [&](const toml::node& n, std::string_view k) {
                   read.Permille = Number(n, k);
                   if (std::abs(read.Permille) > 100.0) {
                     Fail(n, "'permille' must lie between -100 and 100");
                   }
                 },
                 Needs}});
    if (!gradients.empty() && read.FromM <= gradients.back().FromM) {
      Fail(*section.get("from_m"), "gradients must be listed by increasing 'from_m'");
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
    SpeedPoint point{NumberIn(*pair.get(0), "time_s", Clock),
                     NumberIn(*pair.get(1), "speed_kmh", Speed)};
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
  const toml::node* profile = nullptr;
  ReadFields(table, "[run]",
             {{"frame_rate_hz", Into(run.FrameRateHz, NumberIn, Bounds{1.0, 1000.0})},
              {"duration_s",
               Into(run.DurationS, NumberIn, Bounds{0.0, MostDurationS, true, " (24 hours)"})},
              {"end_position_m", Into(run.EndPositionM, NumberIn, Position)},
              {"loop",
               Into(run.Loop, OneOf<LoopKind>, "closed", LoopKind::Closed, "open", LoopKind::Open)},
              {"speed_profile", Keep(profile)},
              {"chart_axis", Into(run.Axis, OneOf<ChartAxis>, "time", ChartAxis::Time, "distance",
                                  ChartAxis::Distance)}});
  if (profile != nullptr) {
    if (run.Loop != LoopKind::Open) {
      Fail(*profile, "'speed_profile' is for loop = \"open\"; a closed loop computes the speed");
    }
    ReadSpeedProfile(*profile, run.SpeedProfile);
  } else if (run.Loop == LoopKind::Open) {
    FailAt(table.source(), "loop = \"open\" needs a 'speed_profile' in [run]");
  }
}

int32_t BrakeNotch(const toml::node& node, std::string_view name, TrainSpec train) {
  const int32_t emergency = EmergencyNotchOf(train);
  const std::optional<int32_t> word =
      Word<int32_t>(node, name, {{"emergency", emergency}, {"release", 0}, {"released", 0}},
                    fmt::format("a notch from 0 to {}, \"release\" or \"emergency\"", emergency));
  return word ? *word : Integer(node, name, 0, emergency);
}

int32_t ReverserPosition(const toml::node& node, std::string_view name) {
  const std::optional<int32_t> word =
      Word<int32_t>(node, name, {{"forward", 1}, {"neutral", 0}, {"backward", -1}, {"reverse", -1}},
                    "\"forward\", \"neutral\", \"backward\" or 1, 0, -1");
  return word ? *word : Integer(node, name, -1, 1);
}

void ReadStart(const toml::table& table, const TrainSpec& train, StartState& start) {
  ReadFields(table, "[start]",
             {{"speed_kmh", Into(start.SpeedKmh, NumberIn, Speed)},
              {"position_m", Into(start.PositionM, NumberIn, Position)},
              {"brake", Into(start.Brake, BrakeNotch, train)},
              {"power", Into(start.Power, Integer, 0, train.PowerNotches)},
              {"reverser", Into(start.Reverser, ReverserPosition)}});
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

void ReadDriver(const toml::table& table, DriverSettings& driver) {
  ReadFields(table, "[driver]",
             {{"style", Into(driver.Style, OneOf<DriverStyle>, "scripted", DriverStyle::Scripted,
                             "follow", DriverStyle::Follow)},
              {"margin_kmh", Into(driver.MarginKmh, NumberIn, Bounds{0.0, 100.0})},
              {"reaction_s", Into(driver.ReactionS, NumberIn, Bounds{0.0, 60.0})}});
}

// The event's one trigger, from the first key that named one.
struct TriggerKey {
  std::string_view Key;
  const toml::node* Node = nullptr;
  TriggerKind Kind = TriggerKind::AtTime;
};

Trigger ReadTrigger(const TriggerKey& chosen) {
  Trigger trigger{chosen.Kind, 0.0};
  switch (chosen.Kind) {
    case TriggerKind::AtTime:
    case TriggerKind::After:
      trigger.Value = NumberIn(*chosen.Node, chosen.Key, Clock);
      break;
    case TriggerKind::AtPosition:
      trigger.Value = NumberIn(*chosen.Node, chosen.Key, Position);
      break;
    case TriggerKind::SpeedAbove:
    case TriggerKind::SpeedBelow:
      trigger.Value = NumberIn(*chosen.Node, chosen.Key, Speed);
      break;
    case TriggerKind::Stopped:
      if (!Boolean(*chosen.Node, "stopped")) {
        Fail(*chosen.Node, "'stopped' can only be true");
      }
      break;
  }
  return trigger;
}

void ReadBeacon(const toml::node& node, std::optional<BeaconPass>& into) {
  BeaconPass pass;
  const std::string needs = fmt::format(
      "'beacon' needs a 'type', e.g. beacon = {{ type = {}, "
      "parameter = {} }}",
      ResetBeaconType, ResetBeaconParameter);
  ReadFields(RequireTable(node, "beacon"), "'beacon'",
             {{"type", Into(pass.Type, Int32), needs},
              {"parameter", [&](const toml::node& n, std::string_view k) {
                 pass.Parameter = Integer(n, k, Int32Lowest, Int32Highest);
                 pass.ParameterGiven = true;
               }}});
  into = pass;
}

ScenarioEvent ReadEvent(const toml::table& table, const TrainSpec& train) {
  ScenarioEvent event;
  event.Line = static_cast<int>(table.source().begin.line);
  EventActions& actions = event.Actions;
  TriggerKey chosen;
  auto trigger = [&](TriggerKind kind) {
    return [&chosen, kind](const toml::node& n, std::string_view k) {
      if (chosen.Node != nullptr) {
        Fail(n, fmt::format("an event has one trigger; this one has both '{}' and '{}'", chosen.Key,
                            k));
      }
      chosen = TriggerKey{k, &n, kind};
    };
  };
  const toml::node* everyS = nullptr;
  const toml::node* everyM = nullptr;
  const toml::node* repeats = nullptr;
  ReadFields(
      table, "[[event]]",
      {{"time_s", trigger(TriggerKind::AtTime)},
       {"position_m", trigger(TriggerKind::AtPosition)},
       {"after_s", trigger(TriggerKind::After)},
       {"speed_above_kmh", trigger(TriggerKind::SpeedAbove)},
       {"speed_below_kmh", trigger(TriggerKind::SpeedBelow)},
       {"stopped", trigger(TriggerKind::Stopped)},
       {"reverser", Into(actions.Reverser, ReverserPosition)},
       {"power", Into(actions.Power, Integer, 0, train.PowerNotches)},
       {"brake", Into(actions.Brake, BrakeNotch, train)},
       {"signal", Into(actions.Signal, Int32)},
       {"beacon", [&](const toml::node& n, std::string_view) { ReadBeacon(n, actions.Beacon); }},
       {"key",
        [&](const toml::node& n, std::string_view) {
          if (!n.is_array()) {
            actions.Keys.push_back(ReadKey(n));
            return;
          }
          if (n.as_array()->size() > MostKeysPerEvent) {
            Fail(n, fmt::format("an event presses at most {} keys, not {}", MostKeysPerEvent,
                                n.as_array()->size()));
          }
          for (const toml::node& key : *n.as_array()) {
            actions.Keys.push_back(ReadKey(key));
          }
        }},
       {"label", Into(event.Label, ShortText)},
       {"repeat_every_s", Keep(everyS)},
       {"repeat_every_m", Keep(everyM)},
       {"repeats", Keep(repeats)}});
  if (chosen.Node == nullptr) {
    FailAt(table.source(),
           "an event needs a trigger: one of time_s, position_m, after_s, speed_above_kmh, "
           "speed_below_kmh, stopped");
  }
  event.When = ReadTrigger(chosen);
  if (everyS != nullptr && everyM != nullptr) {
    Fail(*everyM, "an event repeats by time or by distance, not both");
  }
  if ((everyS != nullptr || everyM != nullptr) != (repeats != nullptr)) {
    FailAt(table.source(), "'repeats' and one of 'repeat_every_s', 'repeat_every_m' go together");
  }
  if (repeats != nullptr) {
    event.Repeats = Integer(*repeats, "repeats", 1, MostRepeats);
    event.RepeatByDistance = everyM != nullptr;
    event.RepeatEvery = everyM != nullptr
                            ? NumberIn(*everyM, "repeat_every_m", Bounds{0.0, MostPositionM, true})
                            : NumberIn(*everyS, "repeat_every_s", Bounds{0.0, MostDurationS, true});
  }
  if (!DoesSomething(actions)) {
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
      const char* unit = timed ? "time_s" : "position_m";
      Fail(*list.get(i), fmt::format("events out of order: {0} = {1:g} comes after the event at "
                                     "{0} = {2:g} (line {3}); list events in the order they happen",
                                     unit, event.When.Value, last->When.Value, last->Line));
    }
    last = &event;
  }
}

// Every event fires once at most, and then its repeats.
void CheckFirings(const toml::array& list, const std::vector<ScenarioEvent>& events) {
  int64_t firings = 0;
  for (size_t i = 0; i < events.size(); ++i) {
    firings += 1 + events[i].Repeats;
    if (firings > MostFirings) {
      Fail(*list.get(i), fmt::format("the events fire {} times or more with their repeats; a "
                                     "scenario's events fire at most {} times in all",
                                     firings, MostFirings));
    }
  }
}

// A variant's typed keys become edits of the scenario's options, as --set
// makes them, so that they hold over an ini given in [options] too.
ScenarioVariant ReadVariant(const toml::table& table, size_t index) {
  ScenarioVariant variant;
  PluginOptions read;
  ReadOptions(table, "[[variant]]", read, Field{"name", Into(variant.Name, ShortText)});
  std::vector<std::pair<std::string, std::string>>& edits = variant.Options.Overrides;
  if (read.Use120Signal) {
    edits.emplace_back(IniKeyUse120Signal, *read.Use120Signal ? "1" : "0");
  }
  if (read.UseAts) {
    edits.emplace_back(IniKeyUseAts, *read.UseAts ? "1" : "0");
  }
  if (read.AtcBrakeNotch) {
    edits.emplace_back(IniKeyAtcBrakeNotch, std::to_string(*read.AtcBrakeNotch));
  }
  variant.Options.IniText = read.IniText;
  // An unnamed variant is named for all of its keys, so that two variants
  // sharing one key still read apart.
  std::string keys;
  for (size_t k = 0; k < edits.size(); ++k) {
    keys += fmt::format("{}{}={}", k > 0 ? "," : "", edits[k].first, edits[k].second);
  }
  if (variant.Name.empty()) {
    variant.Name = keys;
  }
  if (variant.Name.empty()) {
    variant.Name = fmt::format("variant {}", index + 1);
  }
  return variant;
}

// A list of [[name]] tables, each read by read(table, index).
template <typename Read>
void ReadList(const toml::node& node, std::string_view name, Read read) {
  if (!node.is_array() || !node.as_array()->is_array_of_tables()) {
    Fail(node, fmt::format("'{}' must be a list of tables: write each {} under its own [[{}]]",
                           name, name, name));
  }
  const toml::array& list = *node.as_array();
  for (size_t k = 0; k < list.size(); ++k) {
    read(*list.get(k)->as_table(), k);
  }
}

Scenario ReadScenario(const toml::table& root, const std::string& fileName) {
  Scenario scenario;
  scenario.Name = std::filesystem::path(fileName).stem().string();
  scenario.Title = scenario.Name;
  auto table = [](auto read) {
    return [read](const toml::node& n, std::string_view k) { read(RequireTable(n, k)); };
  };
  ReadFields(root, "the scenario",
             {{"title", Into(scenario.Title, Text)},
              {"description", Into(scenario.Description, Text)},
              {"train", table([&](const toml::table& t) {
                 ReadTrain(t, scenario.Train);
                 scenario.Start.Brake = EmergencyNotchOf(scenario.Train);
               }),
               "missing [train]: every scenario needs the train, at least service_notches and "
               "power_notches"},
              {"options",
               table([&](const toml::table& t) { ReadOptions(t, "[options]", scenario.Options); })},
              {"track", table([&](const toml::table& t) { ReadTrack(t, scenario.Gradients); })},
              {"run", table([&](const toml::table& t) { ReadRun(t, scenario.Run); })},
              {"start",
               table([&](const toml::table& t) { ReadStart(t, scenario.Train, scenario.Start); })},
              {"driver", table([&](const toml::table& t) { ReadDriver(t, scenario.Driver); })},
              {"event",
               [&](const toml::node& n, std::string_view k) {
                 ReadList(n, k, [&](const toml::table& t, size_t) {
                   scenario.Events.push_back(ReadEvent(t, scenario.Train));
                 });
                 CheckOrder(*n.as_array(), scenario.Events);
                 CheckFirings(*n.as_array(), scenario.Events);
               }},
              {"variant", [&](const toml::node& n, std::string_view k) {
                 ReadList(n, k, [&](const toml::table& t, size_t index) {
                   if (index == MostCompareSets) {
                     FailAt(t.source(), fmt::format("a scenario has at most {} [[variant]] "
                                                    "tables, as --compare plays at most {} sets",
                                                    MostCompareSets, MostCompareSets));
                   }
                   scenario.Variants.push_back(ReadVariant(t, index));
                   for (size_t j = 0; j + 1 < scenario.Variants.size(); ++j) {
                     if (scenario.Variants[j].Name == scenario.Variants.back().Name) {
                       FailAt(t.source(),
                              fmt::format("a second [[variant]] named '{}': each variant "
                                          "needs a name of its own",
                                          scenario.Variants[j].Name));
                     }
                   }
                 });
               }}});
  return scenario;
}

// A message quotes what the file holds, a key or a word, line ends and all:
// they are written as escapes, so that the message stays one line.
std::string OneLine(const std::string& message) {
  std::string line;
  for (const char c : MoveBack(message)) {
    const auto u = static_cast<unsigned char>(c);
    line += u < 0x20 || u == 0x7F ? fmt::format("\\x{:02X}", u) : std::string(1, c);
  }
  return line;
}

}  // namespace

ParsedScenario ParseScenarioText(std::string_view text, const std::string& fileName) {
  ParsedScenario parsed;
  parsed.Error.File = fileName;
  if (const std::optional<size_t> at = MovedPlaneCharacter(text)) {
    const size_t lineStart = text.rfind('\n', *at) + 1;  // 0 on the first line
    parsed.Error.Line = static_cast<int>(std::count(text.begin(), text.begin() + *at, '\n')) + 1;
    parsed.Error.Column =
        static_cast<int>(std::count_if(
            text.begin() + lineStart, text.begin() + *at,
            [](char c) { return (static_cast<unsigned char>(c) & 0xC0U) != 0x80U; })) +
        1;
    parsed.Error.Message =
        "a character from U+F0000 to U+FFFFF (private use): the scenario "
        "reader takes none";
    return parsed;
  }
  const std::string moved = MoveForToml(text);
  toml::parse_result document = toml::parse(moved, fileName);
  if (!document) {
    const toml::parse_error& error = document.error();
    parsed.Error.Line = static_cast<int>(error.source().begin.line);
    parsed.Error.Column = static_cast<int>(error.source().begin.column);
    parsed.Error.Message = OneLine("not valid TOML: " + std::string(error.description()));
    return parsed;
  }
  try {
    parsed.Value = ReadScenario(document.table(), fileName);
  } catch (const Fault& fault) {
    parsed.Error.Line = fault.Line;
    parsed.Error.Column = fault.Column;
    parsed.Error.Message = OneLine(fault.Message);
  }
  return parsed;
}

ParsedScenario ParseScenarioFile(const std::string& path) {
  std::string text;
  const std::string problem = ReadInputFile(path, text);
  if (!problem.empty()) {
    ParsedScenario failed;
    failed.Error = ScenarioError{path, 0, 0, "cannot open the scenario file: " + problem};
    return failed;
  }
  return ParseScenarioText(text, path);
}

std::string FormatScenarioError(const ScenarioError& error) {
  if (error.Line <= 0) {
    return fmt::format("{}: error: {}", error.File, error.Message);
  }
  return fmt::format("{}:{}:{}: error: {}", error.File, error.Line, error.Column, error.Message);
}

}  // namespace drive

// A scenario as the drive tool plays it: the train, the plug-in's options, the
// track, how the run goes and the timeline of events. Read from a TOML file by
// ParseScenario (scenario_parser.cpp); the format is described in tools/README.md.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "published_numbers.h"

namespace drive {

// The train as a point mass. Accelerations are in km/h per second, the unit
// train authors quote them in.
struct TrainSpec {
  int32_t ServiceNotches = 0;
  int32_t PowerNotches = 0;
  double AccelerationKmhps = 3.0;           // full power, up to ConstantPowerFromKmh
  double ConstantPowerFromKmh = 40.0;       // above it the tractive effort falls as 1/speed
  double ServiceDecelerationKmhps = 4.0;    // highest service notch; lower notches pro rata
  double EmergencyDecelerationKmhps = 5.0;  // emergency notch and any notch above it
  double RollingResistanceKmhps = 0.05;     // constant while moving
  double AirResistanceAt100KmhKmhps = 0.3;  // grows with the square of the speed
};

// Brake notch value that the scenario wrote as "emergency"; resolved against
// the train's ServiceNotches when the file is read.
inline int32_t EmergencyNotchOf(const TrainSpec& train) {
  return EmergencyNotchFor(train.ServiceNotches);
}

// The plug-in's options, written as KELVRIN.ini beside the temporary copy of
// the library. Without any option the file is not written at all.
struct PluginOptions {
  std::optional<bool> Use120Signal;
  std::optional<bool> UseAts;
  std::optional<int32_t> AtcBrakeNotch;
  std::optional<std::string> IniText;  // verbatim file, instead of the keys above
  // KEY=VALUE from the command line (--set), over all of the above; the value
  // "default" leaves the key out, so that the plug-in's default applies.
  std::vector<std::pair<std::string, std::string>> Overrides;
};

// The gradient from a position onwards, until the next entry. Per mille,
// positive rising in the forward direction.
struct GradientSection {
  double FromM = 0.0;
  double Permille = 0.0;
};

enum class LoopKind { Closed, Open };
enum class ChartAxis { Time, Distance };

struct SpeedPoint {
  double TimeS = 0.0;
  double SpeedKmh = 0.0;
};

struct RunSettings {
  double FrameRateHz = 60.0;
  double DurationS = 120.0;
  std::optional<double> EndPositionM;  // the run also ends when the train gets here
  LoopKind Loop = LoopKind::Closed;
  std::vector<SpeedPoint> SpeedProfile;  // open loop only: the speed, linear between points
  ChartAxis Axis = ChartAxis::Time;
};

// Who drives: the scenario's events alone, or a driver who also follows the
// limit the cab shows (follow_driver.h), with the events on top.
enum class DriverStyle { Scripted, Follow };

struct DriverSettings {
  DriverStyle Style = DriverStyle::Scripted;
  double MarginKmh = 3.0;  // the target speed under the limit shown
  double ReactionS = 1.5;  // from a new limit shown to the driver's answer
};

// Where the train stands and how the driver holds the handles when the run starts.
struct StartState {
  double SpeedKmh = 0.0;
  double PositionM = 0.0;
  int32_t Brake = 0;  // default: the emergency notch, set when the file is read
  int32_t Power = 0;
  int32_t Reverser = 1;
};

// What makes an event fire. Events fire in the order of the file: a trigger is
// only looked at once the event before it has fired.
enum class TriggerKind {
  AtTime,      // the run's clock reaches Value seconds
  AtPosition,  // the train reaches Value metres (moving forwards)
  After,       // Value seconds after the event before it fired
  SpeedAbove,  // the speed rises above Value km/h
  SpeedBelow,  // the speed falls below Value km/h
  Stopped,     // the train comes to rest (it moved since the event before fired)
};

struct Trigger {
  TriggerKind Kind = TriggerKind::AtTime;
  double Value = 0.0;
};

struct KeyPress {
  int32_t Index = 0;
  std::string Name;  // as written, for the trace
};

struct BeaconPass {
  int32_t Type = 0;
  int32_t Parameter = 0;
  bool ParameterGiven = false;  // the file wrote a parameter; without one the host passes 0
};

// What an event does, applied between two frames in this order: reverser,
// power, brake, signal, beacon, keys (in the order written).
struct EventActions {
  std::optional<int32_t> Reverser;
  std::optional<int32_t> Power;
  std::optional<int32_t> Brake;
  std::optional<int32_t> Signal;
  std::optional<BeaconPass> Beacon;
  std::vector<KeyPress> Keys;
};

inline bool DoesSomething(const EventActions& actions) {
  return actions.Reverser || actions.Power || actions.Brake || actions.Signal || actions.Beacon ||
         !actions.Keys.empty();
}

struct ScenarioEvent {
  Trigger When;
  EventActions Actions;
  std::string Label;  // optional text for the chart and the summary
  int Line = 0;       // line in the scenario file
  // Once fired, the event fires Repeats times more, each RepeatEvery seconds
  // (or metres) after the last, beside the events that follow it in the file.
  int32_t Repeats = 0;
  double RepeatEvery = 0.0;
  bool RepeatByDistance = false;
};

// --compare plays at most this many option sets: each keeps its run's
// analysis and chart frames until the reports are written.
inline constexpr size_t MostCompareSets = 8;

// Another set of options to compare under --compare: its edits go over the
// scenario's options as --set edits do, or its ini replaces them.
struct ScenarioVariant {
  std::string Name;  // as given, else named by its edits ("ATCBrakeNotch=4")
  PluginOptions Options;
};

struct Scenario {
  std::string Name;   // file name without extension: names the output folder
  std::string Title;  // the chart's title
  std::string Description;
  TrainSpec Train;
  PluginOptions Options;
  std::vector<GradientSection> Gradients;
  RunSettings Run;
  StartState Start;
  DriverSettings Driver;
  std::vector<ScenarioEvent> Events;
  std::vector<ScenarioVariant> Variants;
};

// One line describing the event's actions, e.g. "brake 0, power 5, key mode_up".
std::string DescribeActions(const EventActions& actions);

// One line describing the trigger, e.g. "at 12.0 s", "at 450 m".
std::string DescribeTrigger(const Trigger& trigger);

// Gradient in force at a position (0 before the first section).
double GradientAt(const std::vector<GradientSection>& sections, double positionM);

// Speed of an open-loop profile at a time: linear between points, the first
// and last speeds held before and after the profile.
double ProfileSpeedAt(const std::vector<SpeedPoint>& profile, double timeS);

}  // namespace drive

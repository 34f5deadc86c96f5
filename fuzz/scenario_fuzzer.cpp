// Feeds arbitrary text to the scenario reader as a scenario file. Whatever the
// text, the reader answers with a scenario or with one error that points into
// the text. A scenario it takes keeps every limit the tool's README gives (the
// ranges of its numbers and the bounds on its events), so that no file can
// make a run unbounded; and written down as the cab writes a session, with
// every event fired once, it reads back as the same run.
#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>
#include <string_view>

#include "cab_session.h"
#include "harness.h"
#include "options_text.h"
#include "scenario_parser.h"

namespace {

using namespace drive;

bool In(double value, double lowest, double highest) { return value >= lowest && value <= highest; }

// The limits as tools/README.md gives them.
constexpr double Speed = 400.0, Position = 1e7, Rate = 20.0, Day = 86400.0;
constexpr size_t ShortText = 120;

size_t Characters(const std::string& text) {
  return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0U) != 0x80U;
  }));
}

void CheckTrigger(const Trigger& when) {
  switch (when.Kind) {
    case TriggerKind::AtTime:
    case TriggerKind::After:
      EXPECT(In(when.Value, 0.0, Day));
      break;
    case TriggerKind::AtPosition:
      EXPECT(In(when.Value, -Position, Position));
      break;
    case TriggerKind::SpeedAbove:
    case TriggerKind::SpeedBelow:
      EXPECT(In(when.Value, -Speed, Speed));
      break;
    case TriggerKind::Stopped:
      break;
  }
}

void CheckLimits(const Scenario& s) {
  const TrainSpec& t = s.Train;
  const int32_t emergency = t.ServiceNotches + 1;
  EXPECT(In(t.ServiceNotches, 1, 64) && In(t.PowerNotches, 1, 64));
  for (const double rate :
       {t.AccelerationKmhps, t.ServiceDecelerationKmhps, t.EmergencyDecelerationKmhps}) {
    EXPECT(rate > 0.0 && rate <= Rate);
  }
  EXPECT(t.ConstantPowerFromKmh > 0.0 && t.ConstantPowerFromKmh <= Speed);
  EXPECT(In(t.RollingResistanceKmhps, 0.0, Rate) && In(t.AirResistanceAt100KmhKmhps, 0.0, Rate));
  for (size_t i = 0; i < s.Gradients.size(); ++i) {
    EXPECT(In(s.Gradients[i].FromM, -Position, Position));
    EXPECT(In(s.Gradients[i].Permille, -100.0, 100.0));
    EXPECT(i == 0 || s.Gradients[i - 1].FromM < s.Gradients[i].FromM);
  }
  const RunSettings& run = s.Run;
  EXPECT(In(run.FrameRateHz, 1.0, 1000.0) && run.DurationS > 0.0 && run.DurationS <= Day);
  EXPECT(!run.EndPositionM || In(*run.EndPositionM, -Position, Position));
  EXPECT((run.Loop == LoopKind::Open) == !run.SpeedProfile.empty());
  for (size_t i = 0; i < run.SpeedProfile.size(); ++i) {
    EXPECT(In(run.SpeedProfile[i].TimeS, 0.0, Day) &&
           In(run.SpeedProfile[i].SpeedKmh, -Speed, Speed));
    EXPECT(i == 0 || run.SpeedProfile[i - 1].TimeS < run.SpeedProfile[i].TimeS);
  }
  const StartState& start = s.Start;
  EXPECT(In(start.SpeedKmh, -Speed, Speed) && In(start.PositionM, -Position, Position));
  EXPECT(In(start.Brake, 0, emergency) && In(start.Power, 0, t.PowerNotches));
  EXPECT(In(start.Reverser, -1, 1));
  EXPECT(In(s.Driver.MarginKmh, 0.0, 100.0) && In(s.Driver.ReactionS, 0.0, 60.0));
  size_t firings = 0;
  for (const ScenarioEvent& event : s.Events) {
    CheckTrigger(event.When);
    EXPECT(In(event.Repeats, 0, 99999));
    EXPECT(event.Repeats == 0 || (event.RepeatEvery > 0.0 &&
                                  event.RepeatEvery <= (event.RepeatByDistance ? Position : Day)));
    firings += 1 + static_cast<size_t>(event.Repeats);
    const EventActions& a = event.Actions;
    EXPECT(a.Reverser || a.Power || a.Brake || a.Signal || a.Beacon || !a.Keys.empty());
    EXPECT(!a.Reverser || In(*a.Reverser, -1, 1));
    EXPECT(!a.Power || In(*a.Power, 0, t.PowerNotches));
    EXPECT(!a.Brake || In(*a.Brake, 0, emergency));
    EXPECT(a.Keys.size() <= 8);
    for (const KeyPress& key : a.Keys) {
      EXPECT(In(key.Index, 0, 255));
    }
    EXPECT(Characters(event.Label) <= ShortText);
    (void)DescribeTrigger(event.When);
    (void)DescribeActions(a);
  }
  EXPECT(firings <= 100000);
  EXPECT(s.Variants.size() <= 8);
  for (size_t i = 0; i < s.Variants.size(); ++i) {
    EXPECT(!s.Variants[i].Name.empty() && Characters(s.Variants[i].Name) <= ShortText);
    for (size_t j = 0; j < i; ++j) {
      EXPECT(s.Variants[j].Name != s.Variants[i].Name);
    }
  }
}

bool SameActions(const EventActions& a, const EventActions& b) {
  const bool beacons = a.Beacon.has_value() == b.Beacon.has_value() &&
                       (!a.Beacon || (a.Beacon->Type == b.Beacon->Type &&
                                      a.Beacon->Parameter == b.Beacon->Parameter &&
                                      a.Beacon->ParameterGiven == b.Beacon->ParameterGiven));
  return a.Reverser == b.Reverser && a.Power == b.Power && a.Brake == b.Brake &&
         a.Signal == b.Signal && beacons && a.Keys.size() == b.Keys.size() &&
         std::equal(a.Keys.begin(), a.Keys.end(), b.Keys.begin(),
                    [](const KeyPress& x, const KeyPress& y) { return x.Index == y.Index; });
}

// A session over the scenario that lasted `frames` frames, its events fired
// in order in the first frame.
void CheckSession(const Scenario& s, size_t frames) {
  RunRecord record;
  record.FrameCount = frames;
  for (size_t i = 0; i < s.Events.size(); ++i) {
    record.Fired.push_back(FiredEvent{i, 0, 0.0, s.Start.PositionM, s.Start.SpeedKmh});
  }
  std::ostringstream written;
  WriteCabRecording(written, s, record, "fuzz.toml");
  const ParsedScenario back = ParseScenarioText(written.str(), "session.toml");
  if (!back.Value) {
    std::fprintf(stderr, "%s\n%s\n", FormatScenarioError(back.Error).c_str(),
                 written.str().c_str());
  }
  EXPECT(back.Value.has_value());
  const Scenario& r = *back.Value;
  const TrainSpec &t = s.Train, &u = r.Train;
  EXPECT(t.ServiceNotches == u.ServiceNotches && t.PowerNotches == u.PowerNotches &&
         t.AccelerationKmhps == u.AccelerationKmhps &&
         t.ConstantPowerFromKmh == u.ConstantPowerFromKmh &&
         t.ServiceDecelerationKmhps == u.ServiceDecelerationKmhps &&
         t.EmergencyDecelerationKmhps == u.EmergencyDecelerationKmhps &&
         t.RollingResistanceKmhps == u.RollingResistanceKmhps &&
         t.AirResistanceAt100KmhKmhps == u.AirResistanceAt100KmhKmhps);
  EXPECT(ComposeIniText(s.Options) == ComposeIniText(r.Options));
  EXPECT(s.Gradients.size() == r.Gradients.size());
  for (size_t i = 0; i < s.Gradients.size(); ++i) {
    EXPECT(s.Gradients[i].FromM == r.Gradients[i].FromM &&
           s.Gradients[i].Permille == r.Gradients[i].Permille);
  }
  EXPECT(s.Run.FrameRateHz == r.Run.FrameRateHz && s.Run.EndPositionM == r.Run.EndPositionM &&
         s.Run.Loop == r.Run.Loop && s.Run.Axis == r.Run.Axis &&
         s.Run.SpeedProfile.size() == r.Run.SpeedProfile.size());
  // The session plays as many frames as the cab did, and one if the cab was quit before any.
  EXPECT(std::ceil(r.Run.DurationS * r.Run.FrameRateHz - 1e-9) + 1 ==
         static_cast<double>(std::max<size_t>(frames, 1)));
  EXPECT(s.Start.SpeedKmh == r.Start.SpeedKmh && s.Start.PositionM == r.Start.PositionM &&
         s.Start.Brake == r.Start.Brake && s.Start.Power == r.Start.Power &&
         s.Start.Reverser == r.Start.Reverser);
  EXPECT(r.Events.size() == s.Events.size());
  for (size_t i = 0; i < s.Events.size(); ++i) {
    EXPECT(SameActions(s.Events[i].Actions, r.Events[i].Actions));
    EXPECT(s.Events[i].Label == r.Events[i].Label);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const ParsedScenario parsed = ParseScenarioText(text, "fuzz.toml");
  if (!parsed.Value) {
    const ScenarioError& error = parsed.Error;
    const auto lines = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
    EXPECT(In(error.Line, 1, lines) && error.Column >= 1);
    EXPECT(!error.Message.empty() && error.Message.find('\n') == std::string::npos);
    EXPECT(FormatScenarioError(error).rfind("fuzz.toml:", 0) == 0);
    return 0;
  }
  CheckLimits(*parsed.Value);
  CheckSession(*parsed.Value, size % 1000);
  return 0;
}

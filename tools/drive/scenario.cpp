// Small helpers over the scenario records: describing events, and looking up
// the track's gradient and an open-loop speed profile.
#include "scenario.h"

#include <fmt/format.h>

#include <algorithm>
#include <iterator>

namespace drive {
namespace {

void Append(std::string& text, const std::string& part) {
  if (!text.empty()) {
    text += ", ";
  }
  text += part;
}

}  // namespace

std::string DescribeActions(const EventActions& actions) {
  std::string text;
  if (actions.Reverser) {
    const int32_t r = *actions.Reverser;
    Append(text, fmt::format("reverser {}", r == 1 ? "forward" : r == 0 ? "neutral" : "backward"));
  }
  for (const auto& [word, value] :
       {std::pair{"power", actions.Power}, {"brake", actions.Brake}, {"signal", actions.Signal}}) {
    if (value) {
      Append(text, fmt::format("{} {}", word, *value));
    }
  }
  if (actions.Beacon) {
    Append(text, fmt::format("beacon {}/{}", actions.Beacon->Type, actions.Beacon->Parameter));
  }
  for (const KeyPress& key : actions.Keys) {
    Append(text, "key " + key.Name);
  }
  return text;
}

std::string DescribeTrigger(const Trigger& trigger) {
  switch (trigger.Kind) {
    case TriggerKind::AtTime:
      return fmt::format("at {:.1f} s", trigger.Value);
    case TriggerKind::AtPosition:
      return fmt::format("at {:.0f} m", trigger.Value);
    case TriggerKind::After:
      return fmt::format("{:.1f} s later", trigger.Value);
    case TriggerKind::SpeedAbove:
      return fmt::format("above {:.1f} km/h", trigger.Value);
    case TriggerKind::SpeedBelow:
      return fmt::format("below {:.1f} km/h", trigger.Value);
    case TriggerKind::Stopped:
      return "at standstill";
  }
  return "";
}

// Both lists are in increasing order, as the scenario reader makes sure: a
// long track or profile costs a frame no more than a short one.
double GradientAt(const std::vector<GradientSection>& sections, double positionM) {
  const auto after = std::upper_bound(
      sections.begin(), sections.end(), positionM,
      [](double position, const GradientSection& section) { return position < section.FromM; });
  return after == sections.begin() ? 0.0 : std::prev(after)->Permille;
}

double ProfileSpeedAt(const std::vector<SpeedPoint>& profile, double timeS) {
  if (profile.empty()) {
    return 0.0;
  }
  if (timeS <= profile.front().TimeS) {
    return profile.front().SpeedKmh;
  }
  const auto b =
      std::lower_bound(profile.begin(), profile.end(), timeS,
                       [](const SpeedPoint& point, double time) { return point.TimeS < time; });
  if (b == profile.end()) {
    return profile.back().SpeedKmh;
  }
  const SpeedPoint& a = *std::prev(b);
  const double share = (timeS - a.TimeS) / (b->TimeS - a.TimeS);
  return a.SpeedKmh + share * (b->SpeedKmh - a.SpeedKmh);
}

}  // namespace drive

// Small helpers over the scenario records: describing events, and looking up
// the track's gradient and an open-loop speed profile.
#include "scenario.h"

#include <fmt/format.h>

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

double GradientAt(const std::vector<GradientSection>& sections, double positionM) {
  double permille = 0.0;
  for (const GradientSection& section : sections) {
    if (positionM >= section.FromM) {
      permille = section.Permille;
    }
  }
  return permille;
}

double ProfileSpeedAt(const std::vector<SpeedPoint>& profile, double timeS) {
  if (profile.empty()) {
    return 0.0;
  }
  if (timeS <= profile.front().TimeS) {
    return profile.front().SpeedKmh;
  }
  for (size_t i = 1; i < profile.size(); ++i) {
    const SpeedPoint& a = profile[i - 1];
    const SpeedPoint& b = profile[i];
    if (timeS <= b.TimeS) {
      const double share = (timeS - a.TimeS) / (b.TimeS - a.TimeS);
      return a.SpeedKmh + share * (b.SpeedKmh - a.SpeedKmh);
    }
  }
  return profile.back().SpeedKmh;
}

}  // namespace drive

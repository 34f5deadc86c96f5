// Small helpers over the scenario records: describing events, and looking up
// the track's gradient and an open-loop speed profile.
#include "scenario.h"

#include <cstdio>

namespace drive {
namespace {

std::string Number(double value, const char* format) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

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
    Append(text, std::string("reverser ") + (r == 1 ? "forward" : r == 0 ? "neutral" : "backward"));
  }
  if (actions.Power) {
    Append(text, "power " + std::to_string(*actions.Power));
  }
  if (actions.Brake) {
    Append(text, "brake " + std::to_string(*actions.Brake));
  }
  if (actions.Signal) {
    Append(text, "signal " + std::to_string(*actions.Signal));
  }
  if (actions.Beacon) {
    Append(text, "beacon " + std::to_string(actions.Beacon->Type) + "/" +
                     std::to_string(actions.Beacon->Parameter));
  }
  for (const KeyPress& key : actions.Keys) {
    Append(text, "key " + key.Name);
  }
  return text;
}

std::string DescribeTrigger(const Trigger& trigger) {
  switch (trigger.Kind) {
    case TriggerKind::AtTime:
      return "at " + Number(trigger.Value, "%.1f") + " s";
    case TriggerKind::AtPosition:
      return "at " + Number(trigger.Value, "%.0f") + " m";
    case TriggerKind::After:
      return Number(trigger.Value, "%.1f") + " s later";
    case TriggerKind::SpeedAbove:
      return "above " + Number(trigger.Value, "%.1f") + " km/h";
    case TriggerKind::SpeedBelow:
      return "below " + Number(trigger.Value, "%.1f") + " km/h";
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

#include "follow_driver.h"

#include <algorithm>
#include <cmath>

namespace drive {
namespace {

// Over the target by this much the driver is on full service; under it by
// this much, on full power. Between, the notch is pro rata, and a band of a
// km/h either side of the target coasts, so the handles do not chatter.
constexpr double FullServiceOverKmh = 5.0;
constexpr double FullPowerUnderKmh = 10.0;
constexpr double CoastBandKmh = 1.0;

int32_t ProRata(double excessKmh, double fullKmh, int32_t notches) {
  return std::clamp(static_cast<int32_t>(std::ceil(excessKmh / fullKmh * notches)), 1, notches);
}

}  // namespace

void FollowLimit(const DriverSettings& settings, const TrainSpec& train, const CabIndication& cab,
                 double nowS, double speedKmh, FollowDriverState& state, DriverHandles& driver) {
  // Without the ATC's display lit the driver keeps to the last limit seen.
  const int32_t shown = cab.AtcActive != 0 ? cab.LimitKmh : state.ShownLimitKmh;
  if (shown != state.ShownLimitKmh) {
    state.ShownLimitKmh = shown;
    state.ShownSinceS = nowS;
    state.Scripted = state.Scripted && nowS - state.ScriptedAtS <= settings.ReactionS;
  }
  if (state.SeenLimitKmh != shown && nowS - state.ShownSinceS >= settings.ReactionS) {
    state.SeenLimitKmh = shown;
  }
  if (state.Scripted || state.SeenLimitKmh < 0) {
    return;  // before any limit is shown the handles stay as the start left them
  }
  if (nowS - state.MovedAtS < NotchHoldS && state.MovedUnderKmh == state.ShownLimitKmh) {
    return;
  }
  const double target = state.SeenLimitKmh - settings.MarginKmh;
  const double over = std::abs(speedKmh) - target;
  DriverHandles wanted = driver;
  wanted.Power = 0;
  wanted.Brake = 0;
  if (target <= 0.0 || over > CoastBandKmh) {
    wanted.Brake = target <= 0.0 ? train.ServiceNotches
                                 : ProRata(over, FullServiceOverKmh, train.ServiceNotches);
  } else if (over < -CoastBandKmh) {
    wanted.Power = ProRata(-over, FullPowerUnderKmh, train.PowerNotches);
  }
  if (wanted.Power != driver.Power || wanted.Brake != driver.Brake) {
    driver = wanted;
    state.MovedAtS = nowS;
    state.MovedUnderKmh = state.ShownLimitKmh;
  }
}

}  // namespace drive

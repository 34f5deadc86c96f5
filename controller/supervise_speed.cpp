#include "atc_controller.h"

namespace {

// A channel finds the speed within its threshold only when it compares no
// greater: an unknown (NaN) speed fails every channel, so the train loses its
// running permit instead of keeping it.
uint8_t ChannelVerdict(double speedKmh, double limitKmh, uint8_t siblingOk1, uint8_t siblingOk2) {
  const double thresholdKmh = (siblingOk1 && siblingOk2) ? limitKmh : limitKmh - ChannelMarginKmh;
  return speedKmh <= thresholdKmh ? 1 : 0;
}

uint8_t RollingBack(float speedKmh, int32_t reverser) {
  return (reverser == 1 && speedKmh < RollbackSpeedKmh) ? 1 : 0;
}

}  // namespace

// Each channel reads its siblings' entries as they stand when it runs, so B
// sees A's new verdict and C sees both. A channel keeps passing up to the limit
// only while both siblings passed; once the speed has exceeded the limit, all
// three pass again only 0.625 km/h below it.
void SuperviseSpeed(AtcController& atc) {
  const float speed = atc.StateRef->Speed;
  const double speedKmh = static_cast<double>(speed);
  const int32_t reverser = atc.HandlesRef->Reverser;
  auto& ok = atc.ChannelOk;

  ok[ChannelA] = ChannelVerdict(speedKmh, atc.SpeedLimit, ok[ChannelB], ok[ChannelC]);
  atc.RollbackBits[0] = RollingBack(speed, reverser);
  ok[ChannelB] = ChannelVerdict(speedKmh, atc.SpeedLimit, ok[ChannelA], ok[ChannelC]);
  atc.RollbackBits[1] = RollingBack(speed, reverser);
  ok[ChannelC] = ChannelVerdict(speedKmh, atc.SpeedLimit, ok[ChannelA], ok[ChannelB]);
}

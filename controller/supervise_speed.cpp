#include "atc_controller.h"

namespace {

// A channel's threshold is the limit while both siblings pass, else the limit
// less the margin; both comparisons are made once per pass and each channel
// picks its own. A speed within the lower threshold is within both. A channel
// finds the speed within its threshold only when it compares no greater: an
// unknown (NaN) speed fails every channel, so the train loses its running
// permit instead of keeping it.
uint8_t ChannelVerdict(uint8_t withinLimit, uint8_t withinMargin, uint8_t siblingOk1,
                       uint8_t siblingOk2) {
  return withinMargin | (siblingOk1 & siblingOk2 & withinLimit);
}

uint8_t RollingBack(float speedKmh, int32_t reverser) {
  return (reverser == 1) & (speedKmh < RollbackSpeedKmh);
}

}  // namespace

// Each channel reads its siblings' entries as they stand when it runs, so B
// sees A's new verdict and C sees both. A channel keeps passing up to the limit
// only while both siblings passed; once the speed has exceeded the limit, all
// three pass again only 0.625 km/h below it.
void SuperviseSpeed(AtcController& atc) {
  const float speed = atc.StateRef->Speed;
  const double speedKmh = static_cast<double>(speed);
  const uint8_t withinLimit = speedKmh <= atc.SpeedLimit ? 1 : 0;
  const uint8_t withinMargin = speedKmh <= atc.SpeedLimit - ChannelMarginKmh ? 1 : 0;
  const uint8_t rollingBack = RollingBack(speed, atc.HandlesRef->Reverser);
  auto& ok = atc.ChannelOk;

  ok[ChannelA] = ChannelVerdict(withinLimit, withinMargin, ok[ChannelB], ok[ChannelC]);
  atc.RollbackBits[0] = rollingBack;
  ok[ChannelB] = ChannelVerdict(withinLimit, withinMargin, ok[ChannelA], ok[ChannelC]);
  atc.RollbackBits[1] = rollingBack;
  ok[ChannelC] = ChannelVerdict(withinLimit, withinMargin, ok[ChannelA], ok[ChannelB]);
}

#include <gtest/gtest.h>

#include "atc_controller.h"

TEST(PowerOn, smoke) {
  AtcController atc;
  VehicleState state{};
  DriverHandles handles{0, 0, 1};
  atc.StateRef = &state;
  atc.HandlesRef = &handles;
  Reset(atc, PowerOnReset);
  RunCycle(atc);
  EXPECT_EQ(atc.SoundOut[0], SOUND_PLAY);
}

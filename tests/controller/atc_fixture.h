// A controller bound to a local train state and driver's handles, with the
// few steps every controller test repeats: power on, give an aspect, run a
// cycle at a speed.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>
#include <ostream>
#include <string>

#include "atc_controller.h"

using Bits2 = std::array<uint8_t, RollbackEntryCount>;
using Bits3 = std::array<uint8_t, ChannelCount>;

// Step flag indices of the aspects the scenarios use.
inline constexpr int NoAspect = -1;
inline constexpr int Aspect30Flag = 1;   // step 9, 100 km/h
inline constexpr int Aspect11Flag = 9;   // step 1, 0 km/h
inline constexpr int Aspect36Flag = 10;  // step 11, 0 km/h, stop

inline constexpr float NaNSpeed = std::numeric_limits<float>::quiet_NaN();

// Names a parameterised case after the `name` field of its parameter.
struct ParamName {
  template <class Param>
  std::string operator()(const testing::TestParamInfo<Param>& info) const {
    return info.param.name;
  }
};

class AtcTest : public ::testing::Test {
 protected:
  AtcController atc;
  VehicleState state{};
  DriverHandles handles{0, 0, 1};

  void SetUp() override {
    atc.StateRef = &state;
    atc.HandlesRef = &handles;
  }

  void PowerOn(int32_t mode) {
    Reset(atc, PowerOnReset);
    atc.Mode = mode;
  }

  // As the signal handler leaves the flags: at most one set.
  void Signal(int flag) {
    atc.StepFlags.fill(0);
    if (flag != NoAspect) {
      atc.StepFlags[flag] = 1;
    }
  }

  void Cycle(float speedKmh) {
    state.Speed = speedKmh;
    RunCycle(atc);
  }

  void Supervise(float speedKmh) {
    state.Speed = speedKmh;
    SuperviseSpeed(atc);
  }

  // Powered on in ATC under aspect 30 (100 km/h) at standstill, run until the
  // permit is granted and the brake lamp has gone out again.
  void RunningUnder100() {
    PowerOn(ModeAtc);
    Signal(Aspect30Flag);
    atc.InAtcSection = 1;
    for (int i = 0; i < 3; ++i) {
      Cycle(0.0f);
    }
    ASSERT_EQ(atc.ServiceBrakeCommand, 0);
    ASSERT_EQ(atc.BrakeLamp, 0);
  }

  bool ChangeSound() const { return atc.SoundOut[ChangeSoundSlot] == SOUND_PLAY; }
};

// A controller bound to a local train state and driver's handles, and what the
// driver and the host see of it after each cycle.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <ostream>

#include "atc_controller.h"

using Bits3 = std::array<uint8_t, ChannelCount>;

// Step flags of the aspects the scenarios use.
inline constexpr int NoAspect = -1;
inline constexpr int Aspect30Flag = 1;   // step 9, 100 km/h
inline constexpr int Aspect11Flag = 9;   // step 1, 0 km/h
inline constexpr int Aspect36Flag = 10;  // step 11, 0 km/h, stop

inline constexpr float NaNSpeed = std::numeric_limits<float>::quiet_NaN();

// The commands, lamps and change sound of one cycle.
struct Outputs {
  int permit, brake, brakeLamp, latch, emergencyLamp, change;
  bool operator==(const Outputs&) const = default;
};
inline void PrintTo(const Outputs& o, std::ostream* os) {
  *os << "{permit " << o.permit << ", brake " << o.brake << ", lamp " << o.brakeLamp << ", latch "
      << o.latch << ", emergency lamp " << o.emergencyLamp << ", change " << o.change << "}";
}

class AtcTest : public ::testing::Test {
 protected:
  AtcController atc;
  VehicleState state{};
  DriverHandles handles{0, 0, 1};

  void SetUp() override {
    atc.StateRef = &state;
    atc.HandlesRef = &handles;
  }

  void PowerOn(int32_t mode, int flag = NoAspect) {
    Reset(atc, PowerOnReset);
    atc.Mode = mode;
    Signal(flag);
  }

  // As the signal handler leaves the flags: at most one set.
  void Signal(int flag) {
    atc.StepFlags.fill(0);
    if (flag != NoAspect) {
      atc.StepFlags[flag] = 1;
    }
  }

  void Cycle(float speedKmh = 0.0f, int cycles = 1) {
    state.Speed = speedKmh;
    for (int i = 0; i < cycles; ++i) {
      RunCycle(atc);
    }
  }

  // One cycle per row at the given speed, each checked against its row.
  void ExpectCycles(float speedKmh, std::initializer_list<Outputs> rows) {
    for (const Outputs& row : rows) {
      Cycle(speedKmh);
      EXPECT_EQ(Now(), row) << "at " << speedKmh << " km/h";
    }
  }

  Outputs Now() const {
    return {atc.PermitA * atc.PermitB, atc.ServiceBrakeCommand, atc.BrakeLamp,
            atc.EmergencyLatch,        atc.EmergencyLamp,       ChangeSound()};
  }

  bool ChangeSound() const { return atc.SoundOut[ChangeSoundSlot] == SOUND_PLAY; }

  // In ATC under aspect 30 (100 km/h) at standstill, permitted, brake lamp out.
  void RunningUnder100() {
    PowerOn(ModeAtc, Aspect30Flag);
    atc.InAtcSection = 1;
    Cycle(0.0f, 3);
    ASSERT_EQ(Now(), (Outputs{1, 0, 0, 0, 0, 0}));
  }
};

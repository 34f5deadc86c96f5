// A controller bound to a local train state and driver's handles, and what the
// driver and the host see of it after each cycle.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <initializer_list>
#include <ostream>

#include "atc_controller.h"

using Bits3 = std::array<uint8_t, ChannelCount>;

// Step flags of the aspects the scenarios use.
inline constexpr int NoAspect = -1;
inline constexpr int Aspect30Flag = 1;   // step 9, 100 km/h
inline constexpr int Aspect36Flag = 10;  // step 11, 0 km/h, stop

// One cycle's outputs, each 0 or 1: a row names those that are on.
struct Outputs {
  int permit = 0;   // both permit copies
  int service = 0;  // the service brake command
  int brakeLamp = 0;
  int latch = 0;  // the emergency latch
  int emergencyLamp = 0;
  int chime = 0;  // the change sound requested
  bool operator==(const Outputs&) const = default;
  friend std::ostream& operator<<(std::ostream& out, const Outputs& o) {
    return out << "permit " << o.permit << ", service " << o.service << ", brake lamp "
               << o.brakeLamp << ", latch " << o.latch << ", emergency lamp " << o.emergencyLamp
               << ", chime " << o.chime;
  }
};

class AtcTest : public ::testing::Test {
 protected:
  AtcController atc;
  VehicleState state{};
  DriverHandles handles{0, 0, 1};

  void SetUp() override { atc.StateRef = &state, atc.HandlesRef = &handles; }

  // A power-on reset, then the selector and the step flags as the handlers
  // leave them: at most one flag set.
  void PowerOn(int32_t mode, int flag = NoAspect) {
    Reset(atc, PowerOnReset);
    atc.Mode = mode;
    Signal(flag);
  }
  void Signal(int flag) {
    atc.StepFlags = {};
    if (flag != NoAspect) {
      atc.StepFlags[flag] = 1;
    }
  }

  // Cycles at the given speed, each checked against its row; the permit's two
  // copies agree after every cycle.
  void ExpectCycles(float speedKmh, std::initializer_list<Outputs> rows) {
    for (const Outputs& row : rows) {
      state.Speed = speedKmh;
      RunCycle(atc);
      EXPECT_EQ((Outputs{atc.PermitA * atc.PermitB, atc.ServiceBrakeCommand, atc.BrakeLamp,
                         atc.EmergencyLatch, atc.EmergencyLamp,
                         atc.SoundOut[ChangeSoundSlot] == SOUND_PLAY}),
                row)
          << "at " << speedKmh << " km/h";
      EXPECT_EQ(atc.PermitA, atc.PermitB) << "at " << speedKmh << " km/h";
    }
  }

  // In ATC under aspect 30 (100 km/h) at standstill, permitted, brake lamp out.
  void RunningUnder100() {
    PowerOn(ModeAtc, Aspect30Flag);
    atc.InAtcSection = 1;
    ExpectCycles(
        0.0f,
        {{.service = 1, .chime = 1}, {.permit = 1, .brakeLamp = 1, .chime = 1}, {.permit = 1}});
  }
};

// The plug-in allocates nothing once a run has started: the global allocation
// function of this program counts while a window is open, and the window spans
// a whole run after Initialize. (The runtime's array and nothrow forms come
// here through it; nothing in the plug-in is over-aligned.)
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "../exports_by_address.h"
#include "module_records.h"

namespace {
std::atomic<bool> Counting{false};
std::atomic<long> Allocations{0};
}  // namespace

void* operator new(std::size_t size) {
  Allocations += Counting ? 1 : 0;
  if (void* block = std::malloc(size == 0 ? 1 : size)) {
    return block;
  }
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }

namespace {

constexpr int32_t CabKeys[] = {5, 6, 12, 13, 2};  // and one that does nothing

// A repeatable run of frames with a host call, or none, between any two.
TEST(HeapUse, RunAfterInitializeAllocatesNothing) {
  BindControllerReferences();  // what the loader's notification does
  const VehicleSpec spec{8};
  SetVehicleSpec(&spec);
  Initialize(0);
  void (*const calls[])(int32_t) = {
      [](int32_t v) { SetSignal(v % 40); }, [](int32_t v) { KeyDown(CabKeys[v % 5]); },
      [](int32_t v) { SetBrake(v % 10); }, [](int32_t v) { SetReverser(v % 3 - 1); },
      [](int32_t v) {
        const BeaconData beacon{v % 2 ? 600 : v % 700, {}, v % 3 ? 1 : 0};
        SetBeaconData(&beacon);
      }};
  VehicleState state{};
  int32_t panel[PANEL_ARRAY_MIN_LENGTH] = {};
  int32_t sound[SOUND_ARRAY_MIN_LENGTH] = {};
  uint32_t random = 12345u;
  long service = 0, emergency = 0, cutOut = 0;
  Counting = true;
  for (int frame = 0; frame < 100000; ++frame) {
    random = random * 1664525u + 1013904223u;
    const int32_t value = static_cast<int32_t>(random >> 12);
    if ((random >> 8 & 7) < 5) {  // or none
      calls[random >> 8 & 7](value);
    }
    // Mostly running at up to 130 km/h, now and then rolling back.
    state.Speed = static_cast<float>((random & 7) == 0 ? -(value % 1000) : value % 13000) / 100.0f;
    Elapse(&state, panel, sound);
    service += Module.Controller.ServiceBrakeCommand;
    emergency += Module.Controller.EmergencyLatch;
    cutOut += Module.Controller.CutOutSwitch;
  }
  Counting = false;
  EXPECT_EQ(Allocations, 0);
  // The run went through the ATC's states, not around them.
  EXPECT_TRUE(service > 0 && emergency > 0 && cutOut > 0);
  // And the count sees an allocation.
  static int* volatile kept = nullptr;
  Counting = true;
  kept = new int(7);
  Counting = false;
  delete kept;
  EXPECT_EQ(Allocations, 1);
}

}  // namespace

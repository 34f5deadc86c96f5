// The plug-in allocates nothing once a run has started: every global
// allocation function of this program is replaced by one that counts while a
// window is open, and the window spans a whole run after Initialize.
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "exports.h"
#include "module_records.h"

namespace {

std::atomic<bool> Counting{false};
std::atomic<long> Allocations{0};

void* Allocate(std::size_t size) noexcept {
  if (Counting.load(std::memory_order_relaxed)) {
    Allocations.fetch_add(1, std::memory_order_relaxed);
  }
  return std::malloc(size == 0 ? 1 : size);
}

// Over-allocates and keeps malloc's own pointer just below the aligned block:
// aligned_alloc is not to be had on every C runtime.
void* AllocateAligned(std::size_t size, std::align_val_t alignment) noexcept {
  const std::size_t align = static_cast<std::size_t>(alignment);
  void* raw = Allocate(size + align + sizeof(void*));
  if (raw == nullptr) {
    return nullptr;
  }
  const std::uintptr_t first = reinterpret_cast<std::uintptr_t>(raw) + sizeof(void*);
  void* block = reinterpret_cast<void*>((first + align - 1) & ~(std::uintptr_t{align} - 1));
  static_cast<void**>(block)[-1] = raw;
  return block;
}

void Release(void* block) noexcept { std::free(block); }

void ReleaseAligned(void* block) noexcept {
  if (block != nullptr) {
    std::free(static_cast<void**>(block)[-1]);
  }
}

void* AllocateOrThrow(std::size_t size) {
  if (void* block = Allocate(size)) {
    return block;
  }
  throw std::bad_alloc();
}

void* AllocateAlignedOrThrow(std::size_t size, std::align_val_t alignment) {
  if (void* block = AllocateAligned(size, alignment)) {
    return block;
  }
  throw std::bad_alloc();
}

}  // namespace

// The replaceable global allocation functions, all of them.
void* operator new(std::size_t size) { return AllocateOrThrow(size); }
void* operator new[](std::size_t size) { return AllocateOrThrow(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size); }
void* operator new(std::size_t size, std::align_val_t al) {
  return AllocateAlignedOrThrow(size, al);
}
void* operator new[](std::size_t size, std::align_val_t al) {
  return AllocateAlignedOrThrow(size, al);
}
void* operator new(std::size_t size, std::align_val_t al, const std::nothrow_t&) noexcept {
  return AllocateAligned(size, al);
}
void* operator new[](std::size_t size, std::align_val_t al, const std::nothrow_t&) noexcept {
  return AllocateAligned(size, al);
}
void operator delete(void* block) noexcept { Release(block); }
void operator delete[](void* block) noexcept { Release(block); }
void operator delete(void* block, std::size_t) noexcept { Release(block); }
void operator delete[](void* block, std::size_t) noexcept { Release(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { Release(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { Release(block); }
void operator delete(void* block, std::align_val_t) noexcept { ReleaseAligned(block); }
void operator delete[](void* block, std::align_val_t) noexcept { ReleaseAligned(block); }
void operator delete(void* block, std::size_t, std::align_val_t) noexcept { ReleaseAligned(block); }
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept {
  ReleaseAligned(block);
}
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept {
  ReleaseAligned(block);
}
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept {
  ReleaseAligned(block);
}

namespace {

constexpr int32_t ServiceNotches = 8;
constexpr int32_t EmergencyNotch = ServiceNotches + 1;
constexpr int RunFrames = 100000;

// Counts allocations between its construction and Close().
class AllocationWindow {
 public:
  AllocationWindow() {
    Allocations = 0;
    Counting = true;
  }
  ~AllocationWindow() { Counting = false; }
  long Close() {
    Counting = false;
    return Allocations.load();
  }
};

// A repeatable stream of host calls; a new one (or none) between any two frames.
class HostScript {
 public:
  uint32_t Next() {
    state_ = state_ * 1664525u + 1013904223u;
    return state_ >> 8;
  }

  void CallsBetweenFrames() {
    const uint32_t pick = Next();
    const int32_t value = static_cast<int32_t>(pick >> 5);
    const int32_t keys[] = {5, 6, 12, 13, 2, 40};
    switch (pick % 24) {
      case 0:
        SetSignal(10 + value % 27);  // every aspect, ATC or not
        break;
      case 1:
        SetSignal(value % 50 - 5);  // and outside the table
        break;
      case 2:
        KeyDown(keys[value % 6]);
        KeyUp(keys[value % 6]);
        break;
      case 3:
        SetBrake(value % (EmergencyNotch + 1));
        break;
      case 4:
        SetPower(value % 6);
        break;
      case 5:
        SetReverser(value % 3 - 1);
        break;
      case 6: {
        // The reset beacon, taken at standstill only.
        const BeaconData reset{600, {}, value % 4 == 0 ? 0 : 1};
        SetBeaconData(&reset);
        break;
      }
      case 7: {
        const BeaconData other{value % 700, {}, value % 3};
        SetBeaconData(&other);
        break;
      }
      case 8:
        HornBlow(value % 3);
        DoorOpen();
        DoorClose();
        GetPluginVersion();
        break;
      default:
        break;
    }
  }

  // Mostly running at 0 to 130 km/h, now and then standing or rolling back.
  float NextSpeedKmh() {
    const uint32_t pick = Next();
    switch (pick % 8) {
      case 0:
        return 0.0f;
      case 1:
        return -static_cast<float>(pick % 1000) / 100.0f;
      default:
        return static_cast<float>(pick % 13000) / 100.0f;
    }
  }

 private:
  uint32_t state_ = 12345u;
};

TEST(HeapUse, RunAfterInitializeAllocatesNothing) {
  BindControllerReferences();  // what the loader's notification does
  Load();
  const VehicleSpec spec{ServiceNotches};
  SetVehicleSpec(&spec);
  Initialize(0);

  VehicleState state{};
  int32_t panel[PANEL_ARRAY_MIN_LENGTH] = {};
  int32_t sound[SOUND_ARRAY_MIN_LENGTH] = {};
  HostScript host;
  const AtcController& atc = Module.Controller;
  long serviceBrakeFrames = 0;
  long emergencyFrames = 0;
  long cutOutFrames = 0;

  AllocationWindow window;
  for (int frame = 0; frame < RunFrames; ++frame) {
    host.CallsBetweenFrames();
    state.Speed = host.NextSpeedKmh();
    Elapse(&state, panel, sound);
    serviceBrakeFrames += atc.ServiceBrakeCommand;
    emergencyFrames += atc.EmergencyLatch;
    cutOutFrames += atc.CutOutSwitch;
  }
  Dispose();
  EXPECT_EQ(window.Close(), 0);

  // The run went through the ATC's states, not around them.
  EXPECT_GT(serviceBrakeFrames, 0);
  EXPECT_GT(emergencyFrames, 0);
  EXPECT_GT(cutOutFrames, 0);
}

// Guards the test above against counting nothing at all.
TEST(HeapUse, WindowCountsAnAllocation) {
  static int* volatile kept = nullptr;
  AllocationWindow window;
  kept = new int(7);
  delete kept;
  EXPECT_EQ(window.Close(), 1);
}

}  // namespace

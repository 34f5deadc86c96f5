// What SPIN's state store holds of the plug-in (kv_state, compared) and what
// it restores with each state without comparing it (kv_exact), and the module
// rebuilt from them before every call. Why leaving out or classing each field
// is sound, and which check after every call keeps it so: README.md, "What
// the state store compares".
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "atc_controller.h"
#include "harness.h"
#include "host_records.h"

namespace proof {

// What the host has told the plug-in, and the history the rules read. Plain
// bytes, part of the compared state.
struct HostView {
  int32_t emergencyNotch;
  int32_t atcNotch;           // what the options and the notches at Initialize give
  uint8_t useAts;             // as the last Initialize configured it
  uint8_t standstill;         // the last frame's speed compares equal to 0
  uint8_t driverAtEmergency;  // the last SetBrake since the last reset gave the emergency notch
  // History, each kept only while its rule is checked.
  uint8_t resetSinceFrame;    // a power-on or beacon reset since the last frame
  uint8_t overspeedMeasured;  // the last frame was normal and its speed above its limit (or NaN)
  uint8_t rollbackMeasured;   // the last frame was normal, rolling back with the reverser forward
  uint8_t latchAfterFrame;    // the emergency latch as the last frame left it
  uint8_t firstFrame;         // no frame since construction or the last reset
  uint8_t soundDue[SoundSlotCount];  // requested by SetSignal since the last frame
};

struct FieldSpan {
  size_t offset, size;
};
#define KV_FIELD(f) \
  FieldSpan { offsetof(AtcController, f), sizeof(AtcController::f) }
// The controller's fields compared exactly, in declared order.
inline constexpr FieldSpan LiveFields[] = {
    KV_FIELD(ChannelOk),
    KV_FIELD(RollbackBits),
    KV_FIELD(ChannelHealthy),
    KV_FIELD(PoweredUp),
    KV_FIELD(PermitA),
    KV_FIELD(ChannelVote),
    KV_FIELD(SoundRequest),
    KV_FIELD(UseAts),
    KV_FIELD(Use120Signal),
    KV_FIELD(BrakeAtEmergency),
    KV_FIELD(BrakeApplied),
    KV_FIELD(InAtcSection),
    KV_FIELD(Mode),
    KV_FIELD(RestrictSwitch),
    KV_FIELD(CutOutSwitch),
    KV_FIELD(Active),
    KV_FIELD(ServiceBrakeCommand),
    KV_FIELD(EmergencyLatch),
};
// Those neither compared nor restored: every normal cycle writes them before
// anything reads them. LastSignal, SpeedLimit and StepFlags are kept apart
// (Matched and Exact, below).
inline constexpr FieldSpan WrittenFirstFields[] = {
    KV_FIELD(SpeedStep),    KV_FIELD(MajorityHealthy), KV_FIELD(PermitB),
    KV_FIELD(RollbackSeen), KV_FIELD(RestrictApplied), KV_FIELD(AtcSignalLamp),
    KV_FIELD(BrakeLamp),    KV_FIELD(EmergencyLamp),   KV_FIELD(RestrictLamp),
    KV_FIELD(StepLamps),    KV_FIELD(SoundOut),
};
#undef KV_FIELD
template <size_t N>
constexpr size_t Bytes(const FieldSpan (&fields)[N]) {
  size_t n = 0;
  for (const FieldSpan& f : fields)
    n += f.size;
  return n;
}
// The sizes of AtcController's fields added up, the two references aside.
inline constexpr size_t ControllerFieldBytes = 155;
// Every field is in one list or the other, or kept apart: a new field changes
// the sum and stops the build until it is placed.
static_assert(Bytes(LiveFields) + Bytes(WrittenFirstFields) + sizeof(AtcController::LastSignal) +
                      sizeof(AtcController::SpeedLimit) + sizeof(AtcController::StepFlags) ==
                  ControllerFieldBytes,
              "place the controller's new field in LiveFields or WrittenFirstFields");

// Compared: SPIN's state store tells states apart by these bytes.
struct Matched {
  uint8_t controller[Bytes(LiveFields)];
  int32_t lastSignalClass;   // AspectClass of the last aspect
  uint8_t stepFlagSet;       // the step flags, as the last aspect's row or clear
  int32_t driverBrakeClass;  // BrakeClass of the driver's brake
  int32_t emergencyNotch, atcBrakeNotch;
  uint8_t standstill;  // the stored speed, as the reset beacon's test reads it
  HostView host;
};

// Restored with the state but not compared. The module's copy and the host's
// of the last aspect and of the driver's handles are checked equal after
// every call.
struct Exact {
  double speedLimit;
  int32_t lastSignal;
  int32_t hostLastAspect;  // the last SetSignal argument
  float speed;
  DriverHandles driver;      // the module's
  DriverHandles hostDriver;  // what the host last said
  std::array<uint8_t, StepFlagCount> stepFlags;
};

static_assert(sizeof(Matched) == KV_STATE_BYTES);
static_assert(sizeof(Exact) == KV_EXACT_BYTES);

inline Matched& State() { return *reinterpret_cast<Matched*>(kv_state); }
inline Exact& Exacts() { return *reinterpret_cast<Exact*>(kv_exact); }
// The host view lives inside the compared bytes, so SPIN restores it.
inline HostView& Host() { return State().host; }

// The module's records from the tracked bytes, before every call: SPIN has
// just restored those bytes to the state the call starts from.
void Restore();
// The tracked bytes from the module's records, after every call.
void Project();

// After every call, in every search whatever its rule: what comparing a field
// by class or not at all relies on (README.md). 0, or the rule broken
// (StateRanges). normalFrame: the call was a frame that ran the normal cycle.
int CheckAbstraction(bool normalFrame);

}  // namespace proof

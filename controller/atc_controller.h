// The automatic train control: one record holding its whole state, the two
// resets, the per-frame cycle and the speed supervision channels.
//
// The record is plain data. Event handlers write its input fields, RunCycle
// turns them into commands, lamps and sound requests, and the frame step reads
// the outputs. Nothing here allocates, locks or touches a platform API.
#pragma once

#include <array>
#include <cstdint>

#include "host_records.h"
#include "published_numbers.h"

// Selector positions.
inline constexpr int32_t ModeRestricted = 0;
inline constexpr int32_t ModeAts = 1;
inline constexpr int32_t ModeAtc = 2;

// Kinds of Reset. Any kind other than BeaconReset is a power-on reset.
inline constexpr int32_t PowerOnReset = 0;
inline constexpr int32_t BeaconReset = 1;

// Supervision channels, in the order they are evaluated and voted.
inline constexpr int ChannelA = 0;
inline constexpr int ChannelB = 1;
inline constexpr int ChannelC = 2;
inline constexpr int ChannelCount = 3;
inline constexpr int RollbackEntryCount = 2;

// Speed steps (published_numbers.h names them): 0 to 10 have panel lamps.
inline constexpr int StepFlagCount = 12;
inline constexpr int SpeedStepCount = 13;

// Entries of SoundRequest and SoundOut; the frame step maps them to the host
// sounds of published_numbers.h, in their order.
inline constexpr int ChangeSoundSlot = 0;
inline constexpr int AtcCodeSoundSlot = 1;
inline constexpr int Aspect10SoundSlot = 2;
inline constexpr int SoundSlotCount = 3;

// The cap of the restricted and ATS positions, and the limit the restriction
// switch forces.
inline constexpr double RestrictedLimitKmh = 25.0;

// Subtracted from the limit for a channel whose two siblings do not both find
// the speed within it: the supervision's hysteresis.
inline constexpr double ChannelMarginKmh = 0.625;

struct AtcController {
  int32_t SpeedStep = 0;
  int32_t LastSignal = 0;
  std::array<uint8_t, ChannelCount> ChannelOk{};
  std::array<uint8_t, RollbackEntryCount> RollbackBits{};
  std::array<uint8_t, ChannelCount> ChannelHealthy{};
  uint8_t MajorityHealthy = 0;
  uint8_t PoweredUp = 0;
  uint8_t PermitA = 0;
  uint8_t PermitB = 0;
  std::array<uint8_t, ChannelCount> ChannelVote{};
  std::array<uint8_t, RollbackEntryCount> RollbackSeen{};
  uint8_t RestrictApplied = 0;
  std::array<uint8_t, StepFlagCount> StepFlags{};
  std::array<int32_t, SoundSlotCount> SoundRequest{SOUND_STOP, SOUND_STOP, SOUND_STOP};
  double SpeedLimit = 0.0;  // km/h
  uint8_t UseAts = 0;
  uint8_t Use120Signal = 0;
  uint8_t BrakeAtEmergency = 0;
  uint8_t BrakeApplied = 0;
  uint8_t InAtcSection = 0;
  int32_t Mode = ModeRestricted;
  uint8_t RestrictSwitch = 0;
  uint8_t CutOutSwitch = 0;
  int32_t Active = 0;
  int32_t AtcSignalLamp = 0;
  int32_t BrakeLamp = 0;
  int32_t EmergencyLamp = 0;
  int32_t RestrictLamp = 0;
  std::array<uint32_t, SpeedStepCount> StepLamps{};
  uint8_t ServiceBrakeCommand = 0;
  uint8_t EmergencyLatch = 0;
  std::array<int32_t, SoundSlotCount> SoundOut{SOUND_STOP, SOUND_STOP, SOUND_STOP};
  const VehicleState* StateRef = nullptr;     // the train's speed
  const DriverHandles* HandlesRef = nullptr;  // the driver's reverser
};

// Brings the controller back to its power-on state, or (BeaconReset) to a
// running state in ATC whose next cycle latches the emergency brake.
void Reset(AtcController& atc, int32_t kind);

// One frame of the ATC. Both references must be bound.
void RunCycle(AtcController& atc);

// The three supervision channels and the rollback detector; run by RunCycle
// after it has set SpeedLimit. Its verdicts are voted in the next cycle.
void SuperviseSpeed(AtcController& atc);

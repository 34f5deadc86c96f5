// How the host calls the sixteen entry points, for both sides of the boundary:
// the calling convention, how each record travels, and the types of the entry
// points for a host that looks them up by name.
//
// 32-bit Windows (x86): __stdcall, the callee pops its arguments. Records
// travel by value, copied whole onto the stack; Elapse returns its Handles
// through a hidden result address that it pops as well.
//
// 64-bit Windows (x64): the platform's one convention. A record larger than 8
// bytes that the host declares by value arrives as the address of the host's
// copy, so the plug-in takes addresses, and a host may send a null one. The
// native build takes addresses as x64 does.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "host_records.h"

#if defined(_WIN32) && (defined(__i386__) || defined(_M_IX86))
#define ATC_CALL __stdcall
// Defined only for the deliberately wrong x86 build that the ABI test must
// reject: records by address, as on x64.
#ifdef KELVRIN_X86_RECORDS_BY_ADDRESS
#define KELVRIN_RECORDS_BY_VALUE 0
#else
#define KELVRIN_RECORDS_BY_VALUE 1
#endif
#else
#define KELVRIN_RECORDS_BY_VALUE 0
#define ATC_CALL
#endif

// The host's vehicle record as it lies on the x86 stack: five int32, the
// service notch count first, the other four the host's and never read.
struct VehicleSpecRecord {
  VehicleSpec Spec;
  int32_t HostFields[4];
};
static_assert(sizeof(VehicleSpecRecord) == 20);
static_assert(offsetof(VehicleSpecRecord, Spec) == 0);

#if KELVRIN_RECORDS_BY_VALUE
using VehicleSpecArg = VehicleSpecRecord;
using VehicleStateArg = VehicleState;
using BeaconDataArg = BeaconData;
#else
using VehicleSpecArg = const VehicleSpec*;
using VehicleStateArg = const VehicleState*;
using BeaconDataArg = const BeaconData*;
#endif

// Host side: the argument that hands over a record. On x64 and natively it is
// the record's address, valid as long as the record lives.
#if KELVRIN_RECORDS_BY_VALUE
inline VehicleSpecArg PassRecord(const VehicleSpecRecord& spec) { return spec; }
inline VehicleSpecArg PassRecord(const VehicleSpec& spec) { return {spec, {}}; }
inline VehicleStateArg PassRecord(const VehicleState& state) { return state; }
inline BeaconDataArg PassRecord(const BeaconData& beacon) { return beacon; }
#else
inline VehicleSpecArg PassRecord(const VehicleSpecRecord& spec) { return &spec.Spec; }
inline VehicleSpecArg PassRecord(const VehicleSpec& spec) { return &spec; }
inline VehicleStateArg PassRecord(const VehicleState& state) { return &state; }
inline BeaconDataArg PassRecord(const BeaconData& beacon) { return &beacon; }
#endif

// Plug-in side: the record a parameter holds, read in place. Null only where
// the host passes addresses and sent none.
#if KELVRIN_RECORDS_BY_VALUE
inline const VehicleSpec* ReceivedRecord(const VehicleSpecRecord& spec) { return &spec.Spec; }
inline const VehicleState* ReceivedRecord(const VehicleState& state) { return &state; }
inline const BeaconData* ReceivedRecord(const BeaconData& beacon) { return &beacon; }
#else
inline const VehicleSpec* ReceivedRecord(const VehicleSpec* spec) { return spec; }
inline const VehicleState* ReceivedRecord(const VehicleState* state) { return state; }
inline const BeaconData* ReceivedRecord(const BeaconData* beacon) { return beacon; }
#endif

// The entry points as a host that resolves them by name holds them.
using LoadEntryPoint = void(ATC_CALL*)() noexcept;
using DisposeEntryPoint = void(ATC_CALL*)() noexcept;
using GetPluginVersionEntryPoint = int32_t(ATC_CALL*)() noexcept;
using SetVehicleSpecEntryPoint = void(ATC_CALL*)(VehicleSpecArg spec) noexcept;
using InitializeEntryPoint = void(ATC_CALL*)(int32_t initialState) noexcept;
using ElapseEntryPoint = Handles(ATC_CALL*)(VehicleStateArg state, int32_t* panel,
                                            int32_t* sound) noexcept;
using SetPowerEntryPoint = void(ATC_CALL*)(int32_t notch) noexcept;
using SetBrakeEntryPoint = void(ATC_CALL*)(int32_t notch) noexcept;
using SetReverserEntryPoint = void(ATC_CALL*)(int32_t position) noexcept;
using KeyDownEntryPoint = void(ATC_CALL*)(int32_t key) noexcept;
using KeyUpEntryPoint = void(ATC_CALL*)(int32_t key) noexcept;
using HornBlowEntryPoint = void(ATC_CALL*)(int32_t horn) noexcept;
using DoorOpenEntryPoint = void(ATC_CALL*)() noexcept;
using DoorCloseEntryPoint = void(ATC_CALL*)() noexcept;
using SetSignalEntryPoint = void(ATC_CALL*)(int32_t aspect) noexcept;
using SetBeaconDataEntryPoint = void(ATC_CALL*)(BeaconDataArg beacon) noexcept;

// The sixteen names the host looks up.
inline constexpr std::array<const char*, 16> ENTRY_POINT_NAMES = {
    "Load",     "Dispose",   "GetPluginVersion", "SetVehicleSpec", "Initialize", "Elapse",
    "SetPower", "SetBrake",  "SetReverser",      "KeyDown",        "KeyUp",      "HornBlow",
    "DoorOpen", "DoorClose", "SetSignal",        "SetBeaconData"};

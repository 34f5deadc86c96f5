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

// The sixteen entry points, each once: its name, what it returns and its
// parameters. X(Name, Result, Parameters) for each gives the types a host that
// resolves them by name holds (NameEntryPoint), the names it looks up and the
// record it fills.
#define KELVRIN_ENTRY_POINTS(X)                                                 \
  X(Load, void, ())                                                             \
  X(Dispose, void, ())                                                          \
  X(GetPluginVersion, int32_t, ())                                              \
  X(SetVehicleSpec, void, (VehicleSpecArg spec))                                \
  X(Initialize, void, (int32_t initialState))                                   \
  X(Elapse, Handles, (VehicleStateArg state, int32_t * panel, int32_t * sound)) \
  X(SetPower, void, (int32_t notch))                                            \
  X(SetBrake, void, (int32_t notch))                                            \
  X(SetReverser, void, (int32_t position))                                      \
  X(KeyDown, void, (int32_t key))                                               \
  X(KeyUp, void, (int32_t key))                                                 \
  X(HornBlow, void, (int32_t horn))                                             \
  X(DoorOpen, void, ())                                                         \
  X(DoorClose, void, ())                                                        \
  X(SetSignal, void, (int32_t aspect))                                          \
  X(SetBeaconData, void, (BeaconDataArg beacon))

// The parameter list comes with its parentheses.
// NOLINTBEGIN(bugprone-macro-parentheses)
#define KELVRIN_ENTRY_POINT_TYPE(Name, Result, Parameters) \
  using Name##EntryPoint = Result(ATC_CALL*) Parameters noexcept;
// NOLINTEND(bugprone-macro-parentheses)
KELVRIN_ENTRY_POINTS(KELVRIN_ENTRY_POINT_TYPE)
#undef KELVRIN_ENTRY_POINT_TYPE

#define KELVRIN_ENTRY_POINT_NAME(Name, Result, Parameters) #Name,
inline constexpr std::array<const char*, 16> ENTRY_POINT_NAMES = {
    KELVRIN_ENTRY_POINTS(KELVRIN_ENTRY_POINT_NAME)};
#undef KELVRIN_ENTRY_POINT_NAME

// The numbers the plug-in and the train's files agree on: where the cab panel
// shows what, which host sounds the plug-in drives, the keys it answers, what
// each signal aspect means, the reset beacon and the options file. Every layer
// that speaks to the host, or plays the host, takes them from here; a train's
// panel and sound files are wired to exactly these.
#pragma once

#include <cstdint>
#include <iterator>

#include "host_records.h"

// Cab panel indices the plug-in writes; nothing else in the panel is touched.
inline constexpr int PanelModeAts = 33;
inline constexpr int PanelModeAtc = 34;
inline constexpr int PanelModeRestricted = 35;
inline constexpr int PanelActive = 52;
inline constexpr int PanelAtcSignal = 53;
inline constexpr int PanelRestrict = 56;
inline constexpr int PanelBrake = 57;
inline constexpr int PanelEmergency = 58;
inline constexpr int PanelCutOut = 59;
inline constexpr int PanelSpeedLimit = 72;  // the limit in km/h, not a lamp
inline constexpr int PanelAtsRunning = 247;
inline constexpr int PanelAtsReady = 249;

// Lamps of speed steps 0 to 10, in step order, and what each shows; steps 11
// and 12 have no panel place.
inline constexpr int PanelStepLamp[] = {70, 71, 74, 76, 80, 82, 84, 86, 89, 91, 93};
inline constexpr int PanelStepLampCount = static_cast<int>(std::size(PanelStepLamp));
inline constexpr const char* PanelStepLampShows[] = {
    "no code (25 km/h)", "0 km/h",  "15 km/h", "25 km/h",  "45 km/h",        "55 km/h",
    "65 km/h",           "75 km/h", "90 km/h", "100 km/h", "110 or 120 km/h"};
static_assert(PanelStepLampCount == 11);
static_assert(std::size(PanelStepLampShows) == std::size(PanelStepLamp));
static_assert(PanelAtsReady < PANEL_ARRAY_MIN_LENGTH);

// Host sounds the plug-in drives: the change chime, the prompt for an ATC code
// outside ATC, and the 120 km/h aspect's tone.
inline constexpr int SoundChange = 5;
inline constexpr int SoundAtcCode = 110;
inline constexpr int SoundAspect120 = 111;
inline constexpr int SoundIndex[] = {SoundChange, SoundAtcCode, SoundAspect120};
inline constexpr int SoundCount = static_cast<int>(std::size(SoundIndex));
static_assert(SoundAspect120 < SOUND_ARRAY_MIN_LENGTH);

// Keys the plug-in answers on KeyDown; every other key is ignored.
inline constexpr int32_t KeyModeDown = 5;
inline constexpr int32_t KeyModeUp = 6;
inline constexpr int32_t KeyRestrict = 12;
inline constexpr int32_t KeyCutOut = 13;

// Speed steps: 0 is no ATC code (25 km/h); 1 to 10 are the ATC codes from
// 0 km/h up, 11 is the 0 km/h stop aspect and 12 the 120 km/h aspect.
inline constexpr int32_t SpeedStepNoCode = 0;
inline constexpr int32_t SpeedStep110Or120 = 10;
inline constexpr int32_t SpeedStepStop = 11;
inline constexpr int32_t SpeedStep120 = 12;
inline constexpr int32_t Step110LimitWith120SignalKmh = 120;

inline constexpr int32_t FirstAspect = 10;
inline constexpr int32_t LastAspect = 36;
inline constexpr int32_t Aspect120 = 10;
inline constexpr int32_t AspectStop = 36;
inline constexpr int NoStepFlag = -1;

struct AspectRow {
  int32_t Aspect;
  int StepFlag;       // the step flag the aspect sets, or NoStepFlag: the ATC code is cleared
  int32_t SpeedStep;  // the step that flag decodes to
  int32_t LimitKmh;   // of that step, without the 120 km/h signal option
  bool AtcCode;       // an ATC speed code, which marks an ATC section
};

// Aspects 10 to 36, one row each. Aspects outside it, and rows without a
// flag, give no ATC code. The 120 km/h and stop aspects set a step without
// marking an ATC section.
inline constexpr AspectRow AspectTable[] = {
    {10, 11, SpeedStep120, 120, false},
    {11, 9, 1, 0, true},
    {12, NoStepFlag, SpeedStepNoCode, 25, false},
    {13, 8, 2, 15, true},
    {14, NoStepFlag, SpeedStepNoCode, 25, false},
    {15, 7, 3, 25, true},
    {16, NoStepFlag, SpeedStepNoCode, 25, false},
    {17, NoStepFlag, SpeedStepNoCode, 25, false},
    {18, NoStepFlag, SpeedStepNoCode, 25, false},
    {19, 6, 4, 45, true},
    {20, NoStepFlag, SpeedStepNoCode, 25, false},
    {21, 3, 5, 55, true},
    {22, NoStepFlag, SpeedStepNoCode, 25, false},
    {23, 5, 6, 65, true},
    {24, NoStepFlag, SpeedStepNoCode, 25, false},
    {25, 4, 7, 75, true},
    {26, NoStepFlag, SpeedStepNoCode, 25, false},
    {27, NoStepFlag, SpeedStepNoCode, 25, false},
    {28, 2, 8, 90, true},
    {29, NoStepFlag, SpeedStepNoCode, 25, false},
    {30, 1, 9, 100, true},
    {31, NoStepFlag, SpeedStepNoCode, 25, false},
    {32, 0, SpeedStep110Or120, 110, true},
    {33, NoStepFlag, SpeedStepNoCode, 25, false},
    {34, 0, SpeedStep110Or120, 110, true},
    {35, NoStepFlag, SpeedStepNoCode, 25, false},
    {36, 10, SpeedStepStop, 0, false},
};
static_assert(std::size(AspectTable) == LastAspect - FirstAspect + 1);
static_assert(AspectTable[Aspect120 - FirstAspect].SpeedStep == SpeedStep120);
static_assert(AspectTable[AspectStop - FirstAspect].SpeedStep == SpeedStepStop);

constexpr bool AspectRowsInOrder() {
  for (int32_t i = 0; i < static_cast<int32_t>(std::size(AspectTable)); ++i) {
    if (AspectTable[i].Aspect != FirstAspect + i) {
      return false;
    }
  }
  return true;
}
static_assert(AspectRowsInOrder());

// The row of an aspect, or nullptr outside 10 to 36.
constexpr const AspectRow* FindAspect(int32_t aspect) {
  return aspect >= FirstAspect && aspect <= LastAspect ? &AspectTable[aspect - FirstAspect]
                                                       : nullptr;
}

// Whether an aspect selects a speed step at all (the others mean no code).
constexpr bool AspectSetsStep(int32_t aspect) {
  const AspectRow* row = FindAspect(aspect);
  return row != nullptr && row->StepFlag != NoStepFlag;
}

// Passed at standstill, it resets the ATC.
inline constexpr int32_t ResetBeaconType = 600;
inline constexpr int32_t ResetBeaconParameter = 1;

// Rolling back faster than this (strictly below it) with the reverser forward
// is a rollback. Compared in single precision, as the host gives the speed.
inline constexpr float RollbackSpeedKmh = -5.0F;

// The options file beside the library and what it may set.
inline constexpr char IniFileName[] = "KELVRIN.ini";
inline constexpr char IniSection[] = "Settings";
inline constexpr char IniKeyUse120Signal[] = "Use120Signal";
inline constexpr char IniKeyUseAts[] = "UseATS";
inline constexpr char IniKeyAtcBrakeNotch[] = "ATCBrakeNotch";

// The notch above the given one. Wraps as the host's 32-bit integers do, so a
// hostile notch count cannot overflow into undefined behaviour.
constexpr int32_t NotchAbove(int32_t notch) {
  return static_cast<int32_t>(static_cast<uint32_t>(notch) + 1U);
}

// The emergency notch is the one above the last service notch.
constexpr int32_t EmergencyNotchFor(int32_t serviceNotches) { return NotchAbove(serviceNotches); }

// The ATC brake notch in use: the file's, unless it is below 1, which would
// release the brakes the ATC means to apply (a value the reader cannot read
// comes back as 0); then, as when the file gives none, one above the emergency
// notch.
constexpr int32_t AtcBrakeNotchInUse(int32_t notchRead, int32_t emergencyNotch) {
  return notchRead >= 1 ? notchRead : NotchAbove(emergencyNotch);
}

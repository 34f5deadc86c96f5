// The rules of docs/safety.md as the checker tests them after every call, and
// the history they read.
#pragma once

#include <cstdint>

#include "atc_controller.h"
#include "host_records.h"

// The rule checked (0: all of them); the history a rule needs is kept only
// while that rule is checked, so each search stores the states its own rule
// needs and no more.
#ifndef KV_PROPERTY
#define KV_PROPERTY 0
#endif

namespace proof {

// Rule numbers, as in docs/safety.md.
enum Rule {
  BrakeNeverWeaker = 1,
  PowerCutWithOverride = 2,
  OverspeedBrakesNextFrame = 3,
  EmergencyHeld = 4,
  SoundsOnce = 5,
  PanelIndices = 6,
  StateRanges = 7,
  // 8 is the sanitizer build of the whole search, which checks no rule of its own.
  RollbackEmergency = 9,
  NoCodeEmergency = 10,
  IdleCallsChangeNothing = 11,
  MajorityNeverLost = 12,
  PermitCopiesAgree = 13,
};

constexpr bool Checked(int rule) { return KV_PROPERTY == 0 || KV_PROPERTY == rule; }

// Prints what broke, for the trail, and returns the rule. The search stops at
// the first rule broken, so this prints once per run.
int Broken(int rule, const char* what, const char* file, int line);
#define RULE(rule, cond)                                   \
  do {                                                     \
    if (Checked(rule) && !(cond))                          \
      return Broken(rule, #cond, __FILE_NAME__, __LINE__); \
  } while (0)

// The panel and sound arrays each frame gets: longer than the host lends, so
// that a write past the published indices lands where rule 6 sees it, and
// filled with Untouched, which rule 6 requires wherever the plug-in may not
// write.
constexpr int PanelLength = 300, SoundLength = 160;
static_assert(PanelLength > PANEL_ARRAY_MIN_LENGTH && SoundLength > SOUND_ARRAY_MIN_LENGTH);
constexpr int32_t Untouched = 0x7A5E11ED;

// After every call: the ranges of every field. afterFrame: the call was a
// frame that ran the normal cycle. 0, or the rule broken.
int CheckRanges(bool afterFrame);

// After every frame: the rules on what the host got back, given the controller
// as the frame found it; then the history the next frame's rules read.
int CheckFrame(const AtcController& before, const Handles& out, const int32_t* panel,
               const int32_t* sound, float speed);

// History: a power-on or beacon reset, and an aspect about to be given.
void NoteReset();
void NoteSignal(int32_t aspect);

}  // namespace proof

// The options files the checker and the replay hand the plug-in at
// Initialize, with what the reader must make of each. "none" means no
// KELVRIN.ini beside the library.
#pragma once

#include <cstdint>

struct OptionsFile {
  const char* name;
  const char* text;      // null: no file
  bool useAts;           // UseATS as read
  int32_t atcNotchRead;  // ATCBrakeNotch as read; 0: none, or one the reader cannot read
};

// ATCBrakeNotch low (4: below both emergency notches, 5 and 9), equal (9: the
// emergency notch of the 8-notch train) and high (11: above both), and a junk
// value that the reader turns into 0, which means the default.
inline constexpr OptionsFile OptionsFiles[] = {
    {"none", nullptr, false, 0},
    {"ats", "[Settings]\nUseATS=1\n", true, 0},
    {"120", "[Settings]\nUse120Signal=1\n", false, 0},
    {"low", "[Settings]\nATCBrakeNotch=4\n", false, 4},
    {"equal", "[Settings]\nATCBrakeNotch=9\n", false, 9},
    {"high", "[Settings]\nATCBrakeNotch=11\n", false, 11},
    {"junk", "[Settings]\nATCBrakeNotch=four\n", false, 0},
};

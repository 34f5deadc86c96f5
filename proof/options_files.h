// The options files the checker and the replay hand the plug-in at
// Initialize. "none" means no KELVRIN.ini beside the library.
#pragma once

struct OptionsFile {
  const char* name;
  const char* text;  // null: no file
};

// ATCBrakeNotch low (4: below both emergency notches, 5 and 9), equal (9: the
// emergency notch of the 8-notch train) and high (11: above both), and a junk
// value that the reader turns into 0, which means the default.
inline constexpr OptionsFile OptionsFiles[] = {
    {"none", nullptr},
    {"ats", "[Settings]\nUseATS=1\n"},
    {"120", "[Settings]\nUse120Signal=1\n"},
    {"low", "[Settings]\nATCBrakeNotch=4\n"},
    {"equal", "[Settings]\nATCBrakeNotch=9\n"},
    {"high", "[Settings]\nATCBrakeNotch=11\n"},
    {"junk", "[Settings]\nATCBrakeNotch=four\n"},
};

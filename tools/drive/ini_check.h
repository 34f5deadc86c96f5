// The plug-in's options file as the plug-in reads it: each option's value
// through the plug-in's own reader (the native stand-in, or the Windows
// profile reader on Windows), and where it came from; beside it, a look at the
// file's lines for what the reader passes over without a word: a misspelt
// section or key, a value that is no plain number, a notch out of range.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace drive {

struct OptionAsRead {
  std::string Key;  // as the plug-in asks for it: Use120Signal, UseATS, ATCBrakeNotch
  int32_t Value = 0;
  bool FromFile = false;
  std::string Source;  // "from the file, line 3" or "default: key missing"
};

struct IniReport {
  std::string Problem;  // why the file cannot be read; empty when it can
  std::vector<OptionAsRead> Options;
  std::vector<std::string> Warnings;
};

// Reads the file at path for a train with this many service notches.
IniReport CheckIniFile(const std::string& path, int32_t serviceNotches);

// The options as the plug-in runs without any file.
IniReport NoIniFile(int32_t serviceNotches);

// One line per option: "Use120Signal   0 (off)  default: key missing".
std::vector<std::string> OptionLines(const IniReport& report);

// drive --check-ini FILE: the options and the warnings on out; exit status 0
// clean, 1 with warnings, 2 when the file cannot be read (the reason on err).
int RunCheckIni(const std::string& path, int32_t serviceNotches, std::ostream& out,
                std::ostream& err);

}  // namespace drive

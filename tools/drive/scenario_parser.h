// Reading a scenario file. A file that is not what the tool expects gives one
// error with the file name, the line and column, and what was expected.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "scenario.h"

namespace drive {

struct ScenarioError {
  std::string File;
  int Line = 0;  // 1-based; 0 when the file could not be read at all
  int Column = 0;
  std::string Message;
};

struct ParsedScenario {
  std::optional<Scenario> Value;  // set when the file was read without error
  ScenarioError Error;            // otherwise: what was wrong, and where
};

// Parses scenario text; fileName is used for the scenario's name and in errors.
ParsedScenario ParseScenarioText(std::string_view text, const std::string& fileName);

// A scenario or an options file is written by hand and a few kilobytes long;
// anything past this is no such file, and reading it would only fill memory.
inline constexpr size_t MostInputFileBytes = size_t{4} << 20;

// Reads the whole file into bytes. Returns why it cannot, in the system's
// words ("No such file or directory", "Is a directory") or because it is
// larger than MostInputFileBytes; empty when it could.
std::string ReadInputFile(const std::string& path, std::string& bytes);

// Reads and parses a scenario file.
ParsedScenario ParseScenarioFile(const std::string& path);

// "file:line:column: error: message", the form compilers and editors understand.
std::string FormatScenarioError(const ScenarioError& error);

}  // namespace drive

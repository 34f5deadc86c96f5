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

// Reads and parses a scenario file.
ParsedScenario ParseScenarioFile(const std::string& path);

// "file:line:column: error: message", the form compilers and editors understand.
std::string FormatScenarioError(const ScenarioError& error);

}  // namespace drive

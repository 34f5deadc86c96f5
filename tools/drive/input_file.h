// Reading what an author wrote by hand: a scenario or an options file.
#pragma once

#include <cstddef>
#include <string>

namespace drive {

// A scenario or an options file is written by hand and a few kilobytes long;
// anything past this is no such file, and reading it would only fill memory.
inline constexpr size_t MostInputFileBytes = size_t{4} << 20;

// Reads the whole file into bytes. Returns why it cannot, in the system's
// words ("No such file or directory", "Is a directory") or because it is
// larger than MostInputFileBytes; empty when it could.
std::string ReadInputFile(const std::string& path, std::string& bytes);

}  // namespace drive

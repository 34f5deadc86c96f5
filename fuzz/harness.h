// What the harnesses share: a broken invariant stops the run, naming its line,
// so that libFuzzer keeps the input; a scratch options file of the process's
// own; and the three options as the plain model of the Windows reader finds
// them in a file.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "profile_model.h"
#include "published_numbers.h"

[[noreturn]] inline void Broken(const char* what, int line) {
  std::fprintf(stderr, "invariant broken (line %d): %s\n", line, what);
  std::abort();
}
#define EXPECT(cond) ((cond) ? void(0) : Broken(#cond, __LINE__))

// In memory where there is such a folder, as a file may be written for every
// input; gone when the run ends.
inline const std::string& ScratchFile(const char* harness) {
  static const std::string path = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                                  "/kelvrin-" + harness + "-" + std::to_string(getpid()) + ".ini";
  static const int removed = std::atexit([] { std::remove(path.c_str()); });
  (void)removed;
  return path;
}

inline void WriteScratchFile(const std::string& path, const uint8_t* data, size_t size) {
  FILE* file = std::fopen(path.c_str(), "wb");
  std::fwrite(data, 1, size, file);
  std::fclose(file);
}

constexpr const char* OptionKeys[3] = {IniKeyUse120Signal, IniKeyUseAts, IniKeyAtcBrakeNotch};

// The value of the key in the file's [Settings], or none: the reader answers
// with either of two defaults only when it finds nothing.
inline std::optional<int32_t> FoundInt(std::string_view file, const char* key) {
  const int32_t low = ProfileModel::ReadInt(file, IniSection, key, INT32_MIN);
  return low == ProfileModel::ReadInt(file, IniSection, key, INT32_MAX) ? std::optional(low)
                                                                        : std::nullopt;
}

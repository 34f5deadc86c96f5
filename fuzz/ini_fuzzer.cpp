// Feeds arbitrary bytes to the native profile reader as an options file, and
// checks its answer against a plain, allocating model of the Windows reader
// (profile_model.h). Whatever the file holds, the reader gives the default or
// the value the model finds, and never crashes or hangs.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "ini_reader.h"
#include "profile_model.h"
#include "published_numbers.h"

namespace {
std::string g_path;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_path = "/tmp/kelvrin-ini-fuzz-" + std::to_string(getpid()) + ".ini";
  std::atexit([] { std::remove(g_path.c_str()); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (ProfileValueToInt(bytes) != ProfileModel::Convert(bytes)) {
    std::abort();  // the value conversion alone, on any text
  }
  FILE* file = std::fopen(g_path.c_str(), "wb");
  std::fwrite(data, 1, size, file);
  std::fclose(file);
  for (const char* key : {IniKeyUse120Signal, IniKeyUseAts, IniKeyAtcBrakeNotch}) {
    if (ReadIniInt(g_path.c_str(), IniSection, key, -7) !=
        ProfileModel::ReadInt(bytes, IniSection, key, -7)) {
      std::fprintf(stderr, "reader and model disagree on %s\n", key);
      std::abort();
    }
  }
  return 0;
}

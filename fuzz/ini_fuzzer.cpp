// Feeds arbitrary bytes to the native profile reader as an options file, and
// checks its answer against a plain, allocating model of the Windows reader
// (profile_model.h). Whatever the file holds, the reader gives the default or
// the value the model finds, and never crashes or hangs.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "harness.h"
#include "ini_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (ProfileValueToInt(bytes) != ProfileModel::Convert(bytes)) {
    std::abort();  // the value conversion alone, on any text
  }
  const std::string& path = ScratchFile("ini-fuzz");
  WriteScratchFile(path, data, size);
  for (const char* key : OptionKeys) {
    if (ReadIniInt(path.c_str(), IniSection, key, -7) !=
        ProfileModel::ReadInt(bytes, IniSection, key, -7)) {
      std::fprintf(stderr, "reader and model disagree on %s\n", key);
      std::abort();
    }
  }
  return 0;
}

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
#include "platform.h"
#include "profile_model.h"

namespace {

std::string g_path;

[[noreturn]] void Mismatch(const char* key, int32_t got, int32_t want) {
  std::fprintf(stderr, "reader and model disagree on %s: reader %d, model %d\n", key, got, want);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* dir = std::getenv("TMPDIR");
  g_path = std::string(dir != nullptr && *dir != '\0' ? dir : "/tmp") + "/kelvrin-ini-fuzz-" +
           std::to_string(getpid()) + ".ini";
  std::atexit([] { std::remove(g_path.c_str()); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  // The converter alone, on any text.
  const int32_t converted = ProfileValueToInt(bytes.data(), size);
  if (converted != ProfileModel::Convert(bytes)) {
    Mismatch("the value conversion", converted, ProfileModel::Convert(bytes));
  }

  FILE* file = std::fopen(g_path.c_str(), "wb");
  if (file == nullptr) {
    std::abort();
  }
  std::fwrite(data, 1, size, file);
  std::fclose(file);

  const ProfileModel model(bytes);
  for (const char* key : {"Use120Signal", "UseATS", "ATCBrakeNotch"}) {
    const int32_t got = ReadIniInt(g_path.c_str(), "Settings", key, -7);
    const int32_t want = model.ReadInt("Settings", key, -7);
    if (got != want) {
      Mismatch(key, got, want);
    }
  }
  return 0;
}

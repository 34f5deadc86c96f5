// Feeds arbitrary bytes to --check-ini as an options file. Whatever the file,
// the report gives for each option the value the plug-in runs with (found
// here with the plain model of the Windows reader, and the plug-in's rule for
// a notch below 1), says it came from the file exactly when the reader found
// it there, names the line it came from, warns about a notch out of range,
// and stays a screenful however many lines the file has.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>

#include "ini_check.h"
#include "profile_model.h"
#include "published_numbers.h"

namespace {

using namespace drive;

[[noreturn]] void Broken(const char* what, int line) {
  std::fprintf(stderr, "invariant broken (line %d): %s\n", line, what);
  std::abort();
}
#define EXPECT(cond) ((cond) ? void(0) : Broken(#cond, __LINE__))

std::string g_path;

constexpr const char* Keys[3] = {IniKeyUse120Signal, IniKeyUseAts, IniKeyAtcBrakeNotch};

// The text of a line as the reader counts them (CR, LF and CR LF each end
// one), lower case; empty past the end.
std::string LineText(std::string_view bytes, int number) {
  int at = 1;
  size_t begin = 0;
  while (at < number && begin < bytes.size()) {
    const size_t end = bytes.find_first_of("\r\n", begin);
    if (end == std::string_view::npos) {
      return "";
    }
    begin = end + (bytes.substr(end, 2) == "\r\n" ? 2 : 1);
    ++at;
  }
  std::string line(bytes.substr(begin, bytes.find_first_of("\r\n", begin) - begin));
  std::transform(line.begin(), line.end(), line.begin(), ProfileModel::Lower);
  return line;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // In memory where there is such a folder: a file is written for every input.
  const char* folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  g_path = std::string(folder) + "/kelvrin-check-ini-fuzz-" + std::to_string(getpid()) + ".ini";
  std::atexit([] { std::remove(g_path.c_str()); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  FILE* file = std::fopen(g_path.c_str(), "wb");
  std::fwrite(data, 1, size, file);
  std::fclose(file);
  const int32_t serviceNotches = 1 + static_cast<int32_t>(size % 64);
  const int32_t emergency = EmergencyNotchFor(serviceNotches);
  const IniReport report = CheckIniFile(g_path, serviceNotches);
  EXPECT(report.Problem.empty() && report.Options.size() == 3);
  const bool wide = bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF");
  for (int k = 0; k < 3; ++k) {
    const OptionAsRead& option = report.Options[k];
    const int32_t low = ProfileModel::ReadInt(bytes, IniSection, Keys[k], INT32_MIN);
    const bool found = low == ProfileModel::ReadInt(bytes, IniSection, Keys[k], INT32_MAX);
    const int32_t read = found ? low : 0;
    EXPECT(option.Value == (k == 2 ? AtcBrakeNotchInUse(read, emergency) : read));
    EXPECT(option.Source.starts_with(option.FromFile ? "from the file, line " : "default: "));
    // A file's value that is no number reads as 0: the plug-in's default, not the file's.
    EXPECT(!option.FromFile || found);
    // The line comes first from the file, last for a default, around the
    // value quoted from the file, which may hold ", line " too.
    const size_t line = option.FromFile ? 13 : option.Source.rfind(", line ");
    if (found && line != std::string::npos && !wide) {
      std::string key = Keys[k];
      std::transform(key.begin(), key.end(), key.begin(), ProfileModel::Lower);
      EXPECT(LineText(bytes, std::atoi(option.Source.c_str() + line + 7)).find(key) !=
             std::string::npos);
    }
    if (k == 2 && option.FromFile && (read < 1 || read > NotchAbove(emergency))) {
      EXPECT(std::any_of(report.Warnings.begin(), report.Warnings.end(), [](const std::string& w) {
        return w.find("ATCBrakeNotch=") != std::string::npos;
      }));
    }
  }
  // The lines passed over, the ones left out counted, the section, the three values.
  EXPECT(report.Warnings.size() <= 20 + 1 + 1 + 3);
  std::ostringstream out, err;
  const int status = RunCheckIni(g_path, serviceNotches, out, err);
  EXPECT(status == (report.Warnings.empty() ? 0 : 1));
  EXPECT(out.str().size() < 64 * 1024 && err.str().empty());
  return 0;
}

// Feeds arbitrary bytes to --check-ini as an options file. Whatever the file,
// the report gives for each option the value the plug-in runs with (found
// here with the plain model of the Windows reader, and the plug-in's rule for
// a notch below 1), says it came from the file exactly when the reader found
// it there, names the line it came from, warns about a notch out of range,
// and stays a screenful however many lines the file has.
#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>

#include "harness.h"
#include "ini_check.h"

namespace {

using namespace drive;

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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string& path = ScratchFile("check-ini-fuzz");
  WriteScratchFile(path, data, size);
  const int32_t serviceNotches = 1 + static_cast<int32_t>(size % 64);
  const int32_t emergency = EmergencyNotchFor(serviceNotches);
  const IniReport report = CheckIniFile(path, serviceNotches);
  EXPECT(report.Problem.empty() && report.Options.size() == 3);
  const bool wide = bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF");
  for (int k = 0; k < 3; ++k) {
    const OptionAsRead& option = report.Options[k];
    const std::optional<int32_t> found = FoundInt(bytes, OptionKeys[k]);
    const int32_t read = found.value_or(0);
    EXPECT(option.Value == (k == 2 ? AtcBrakeNotchInUse(read, emergency) : read));
    EXPECT(option.Source.starts_with(option.FromFile ? "from the file, line " : "default: "));
    // A file's value that is no number reads as 0: the plug-in's default, not the file's.
    EXPECT(!option.FromFile || found.has_value());
    // The line comes first from the file, last for a default, around the
    // value quoted from the file, which may hold ", line " too.
    const size_t line = option.FromFile ? 13 : option.Source.rfind(", line ");
    if (found && line != std::string::npos && !wide) {
      std::string key = OptionKeys[k];
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
  const int status = RunCheckIni(path, serviceNotches, out, err);
  EXPECT(status == (report.Warnings.empty() ? 0 : 1));
  EXPECT(out.str().size() < 64 * 1024 && err.str().empty());
  return 0;
}

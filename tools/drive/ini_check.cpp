#include "ini_check.h"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <optional>
#include <string_view>

#include "ini_reader.h"
#include "input_file.h"
#include "published_numbers.h"

#ifdef _WIN32
#include "windows_api.h"
#endif

namespace drive {
namespace {

constexpr const char* Section = IniSection;
constexpr std::string_view Keys[3] = {IniKeyUse120Signal, IniKeyUseAts, IniKeyAtcBrakeNotch};
constexpr int BrakeNotchKey = 2;
// Characters of a name that the check shows and weighs against the options'
// names: more than the longest of them.
constexpr size_t NameCharsShown = 32;

int32_t ReadInt(const std::string& path, std::string_view key, int32_t fallback) {
#ifdef _WIN32
  // As the plug-in does: the wide profile reader, with a full path (it looks
  // for a bare file name in the Windows folder).
  const std::wstring full = std::filesystem::absolute(path).wstring();
  const auto wide = [](std::string_view ascii) { return std::wstring(ascii.begin(), ascii.end()); };
  return static_cast<int32_t>(
      GetPrivateProfileIntW(wide(Section).c_str(), wide(key).c_str(), fallback, full.c_str()));
#else
  return ReadIniInt(path.c_str(), Section, std::string(key).c_str(), fallback);
#endif
}

size_t Distance(std::string_view a, std::string_view b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) {
    row[j] = j;
  }
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      const size_t differs = IniSameName(a.substr(i - 1, 1), b.substr(j - 1, 1)) ? 0 : 1;
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + differs});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// A name within a few typing slips of the wanted one, letter case aside.
bool NearMiss(std::string_view name, std::string_view wanted) {
  std::string squeezed;
  for (char c : name) {
    if (!std::isspace(static_cast<unsigned char>(c)) && c != '[' && c != ']') {
      squeezed += c;
    }
  }
  return Distance(squeezed, wanted) <= 2;
}

bool PlainInteger(const std::string& text) {
  const size_t sign = text.starts_with('-') || text.starts_with('+') ? 1 : 0;
  return text.size() > sign &&
         std::all_of(text.begin() + static_cast<std::ptrdiff_t>(sign), text.end(),
                     [](unsigned char c) { return std::isdigit(c); });
}

// The line of the first [Settings] section that gives each option, as the
// reader marks it.
struct DecidingLine {
  int Number = 0;
  std::string Value;  // what the reader converts
};

// A file of any length is looked at line by line, keeping only what the report
// needs: the deciding lines, the first header near [Settings], and the first
// few lines the plug-in passes over without a word.
constexpr size_t LineWarningsShown = 20;

struct FileLook {
  bool SectionSeen = false;
  std::optional<DecidingLine> Found[3];
  std::string NearSection;
  std::vector<std::string> Warnings;
  size_t WarningsLeftOut = 0;
};

void Warn(FileLook& look, std::string warning) {
  if (look.Warnings.size() < LineWarningsShown) {
    look.Warnings.push_back(std::move(warning));
  } else {
    ++look.WarningsLeftOut;
  }
}

// Plain text saved as UTF-16 without its mark: every other byte is NUL, and
// the reader, seeing no mark, reads each name only up to the first NUL.
bool WideWithoutMark(const std::string& bytes) {
  const bool marked = bytes.rfind("\xFF\xFE", 0) == 0 || bytes.rfind("\xFE\xFF", 0) == 0;
  return !marked && bytes.size() >= 2 &&
         std::count(bytes.begin(), bytes.end(), '\0') * 4 >= std::ssize(bytes);
}

FileLook LookAt(const std::string& bytes, std::vector<std::string>& warnings) {
  FileLook look;
  WalkIniSection(bytes, Section, Keys, [&](const IniLine& line) {
    const std::string where = fmt::format("line {}: ", line.Number);
    const std::string shown(line.Name.substr(0, NameCharsShown));
    look.SectionSeen = look.SectionSeen || line.Place == IniPlace::Header;
    if (line.Kind == IniLineKind::Section) {
      if (line.NamesSection && line.Place == IniPlace::After) {
        Warn(look, where + "a second [Settings] section: the plug-in reads only the first");
      }
      if (!line.NamesSection && look.NearSection.empty() && NearMiss(shown, Section)) {
        look.NearSection = fmt::format("{}[{}]", where, shown);
      }
      return true;
    }
    const std::string name = line.Kind == IniLineKind::Unclosed ? "[" + shown : shown;
    if (line.Place != IniPlace::Inside || name.starts_with(';')) {
      return true;
    }
    if (line.Key < 0 && name.starts_with('#')) {
      Warn(look, fmt::format("{}'{}' is not an option: only ';' starts a comment", where, name));
    } else if (line.Key < 0) {
      std::string hint;
      for (const std::string_view key : Keys) {
        hint = NearMiss(name, key) ? fmt::format("; did you mean {}?", key) : hint;
      }
      Warn(look, where + "'" + name + "' is not an option of the plug-in" +
                     (hint.empty() ? " (Use120Signal, UseATS, ATCBrakeNotch)" : hint));
    } else if (!line.Decides) {
      Warn(look, fmt::format("{}{} again: only the first, on line {}, counts", where,
                             Keys[line.Key], look.Found[line.Key]->Number));
    } else {
      look.Found[line.Key] = DecidingLine{line.Number, std::string(line.Value)};
    }
    return true;
  });
  warnings = std::move(look.Warnings);
  if (look.WarningsLeftOut > 0) {
    warnings.push_back(fmt::format("{} more lines like these, not shown", look.WarningsLeftOut));
  }
  if (!look.SectionSeen) {
    warnings.push_back(
        WideWithoutMark(bytes)     ? "no [Settings] section: the file looks like UTF-16 without a "
                                     "byte-order mark: save it as ANSI/UTF-8"
        : look.NearSection.empty() ? "no [Settings] section: every option takes its default"
                                   : "no [Settings] section, but " + look.NearSection +
                                         ": the plug-in looks only for [Settings], so every option "
                                         "takes its default");
  }
  return look;
}

IniReport Defaults(int32_t serviceNotches, const std::string& why) {
  IniReport report;
  for (const std::string_view key : Keys) {
    report.Options.push_back(OptionAsRead{std::string(key), 0, false, "default: " + why});
  }
  report.Options[BrakeNotchKey].Value = AtcBrakeNotchInUse(0, EmergencyNotchFor(serviceNotches));
  return report;
}

}  // namespace

IniReport NoIniFile(int32_t serviceNotches) { return Defaults(serviceNotches, "no KELVRIN.ini"); }

IniReport CheckIniFile(const std::string& path, int32_t serviceNotches) {
  std::string bytes;
  const std::string problem = ReadInputFile(path, bytes);
  if (!problem.empty()) {
    IniReport report = Defaults(serviceNotches, "file unreadable");
    report.Problem = problem;
    return report;
  }
  IniReport report = Defaults(serviceNotches, "");
  const FileLook look = LookAt(bytes, report.Warnings);
  const int32_t emergency = EmergencyNotchFor(serviceNotches);
  const int32_t defaultNotch = NotchAbove(emergency);
  for (int k = 0; k < 3; ++k) {
    OptionAsRead& option = report.Options[k];
    const int32_t low = ReadInt(path, Keys[k], std::numeric_limits<int32_t>::min());
    const int32_t high = ReadInt(path, Keys[k], std::numeric_limits<int32_t>::max());
    const std::optional<DecidingLine>& found = look.Found[k];
    const std::string line = found ? fmt::format(", line {}", found->Number) : "";
    if (low != high) {
      // The reader gave its default: nothing usable in the file.
      option.Source = !look.SectionSeen ? "default: section missing"
                      : !found          ? "default: key missing"
                                        : "default: value unreadable (none given)" + line;
      continue;
    }
    const std::string text = found ? found->Value : std::to_string(low);
    const std::string readAs = fmt::format("'{}' reads as {}", text, low);
    const bool plain = PlainInteger(text);
    // Out of 32 bits strtoll saturates, which no int32_t equals.
    const bool wraps = plain && std::strtoll(text.c_str(), nullptr, 10) != low;
    // One warning per line, about the value as written and what comes of it.
    std::string warning =
        !plain ? " is not a plain integer: " + readAs
        : wraps
            ? fmt::format(
                  " does not fit in 32 bits: the plug-in keeps the low 32 bits and reads {}", low)
            : "";
    option.Value = low;
    option.FromFile = true;
    option.Source = "from the file" + line;
    option.Source += plain && !wraps ? "" : ", " + readAs;
    if (!plain && low == 0) {
      option.Source = "default: value unreadable, " + readAs + line;
      option.FromFile = false;
    }
    if (k == BrakeNotchKey && (low < 1 || low > defaultNotch)) {
      // A word that reads as 0 is no notch the author chose: no range to quote.
      warning += plain ? fmt::format("{} outside 1 to {} (the emergency notch + 1): ",
                                     warning.empty() ? " is" : ",", defaultNotch)
                       : ": ";
      if (low < 1) {
        option.Value = AtcBrakeNotchInUse(low, emergency);
        option.FromFile = false;
        option.Source =
            !plain && low == 0 ? option.Source
            : !plain || wraps
                ? fmt::format("default: value out of range, {}{}", readAs, line)
                : fmt::format("default: value out of range, {} is below 1{}", low, line);
        warning += fmt::format("the plug-in uses the default, {}", defaultNotch);
      } else {
        warning +=
            fmt::format("the plug-in hands notch {} to the host, beyond the emergency notch {}",
                        low, emergency);
      }
    }
    if (!warning.empty()) {
      report.Warnings.push_back(
          fmt::format("line {}: {}={}{}", found ? found->Number : 0, Keys[k], text, warning));
    }
  }
  return report;
}

std::vector<std::string> OptionLines(const IniReport& report) {
  // The value column is as wide as the widest value, so that a number read
  // from far beyond the range still leaves the sources in line.
  std::vector<std::string> values;
  size_t width = 10;
  for (size_t k = 0; k < report.Options.size(); ++k) {
    const int32_t value = report.Options[k].Value;
    const bool onOff = static_cast<int>(k) != BrakeNotchKey;
    values.push_back(fmt::format("{}{}", value, !onOff ? "" : value != 0 ? " (on)" : " (off)"));
    width = std::max(width, values.back().size() + 2);
  }
  std::vector<std::string> lines;
  for (size_t k = 0; k < report.Options.size(); ++k) {
    lines.push_back(fmt::format("{:<15}{:<{}}{}", report.Options[k].Key, values[k], width,
                                report.Options[k].Source));
  }
  return lines;
}

int RunCheckIni(const std::string& path, int32_t serviceNotches, std::ostream& out,
                std::ostream& err) {
  const IniReport report = CheckIniFile(path, serviceNotches);
  if (!report.Problem.empty()) {
    err << "drive: cannot read " << path << ": " << report.Problem << "\n";
    return 2;
  }
  out << fmt::format("{}, as the plug-in reads it ({} service notches):\n", path, serviceNotches);
  for (const std::string& line : OptionLines(report)) {
    out << "  " << line << "\n";
  }
  for (const std::string& warning : report.Warnings) {
    out << "warning: " << warning << "\n";
  }
  return report.Warnings.empty() ? 0 : 1;
}

}  // namespace drive

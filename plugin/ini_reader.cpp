#include "ini_reader.h"

#include <algorithm>
#include <string>
#include <vector>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#endif

namespace {

// Characters of a value that count, as the Windows reader's short buffer keeps.
constexpr size_t ValueCharsRead = 29;

constexpr std::string_view Blanks = " \t\n\v\f\r\x1a";

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(Blanks);
  if (first == std::string_view::npos) {
    return {};
  }
  return text.substr(first, text.find_last_not_of(Blanks) - first + 1);
}

// The reader's strings end at a NUL, which is no blank: it is cut after the
// trimming, and what stands before it stays as it is.
std::string_view BeforeNul(std::string_view text) { return text.substr(0, text.find('\0')); }

std::string_view NameIn(std::string_view text) { return BeforeNul(Trim(text)); }

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

unsigned DigitValue(char c) {
  if (c >= '0' && c <= '9') {
    return static_cast<unsigned>(c - '0');
  }
  const char lower = LowerAscii(c);
  return lower >= 'a' && lower <= 'z' ? static_cast<unsigned>(lower - 'a' + 10) : 99;
}

// The value as the conversion sees it. The Windows reader copies a quoted
// value's characters after the opening quote and then drops the last one
// copied whenever the rest fits: 28 characters stay inside the quotes, or 29
// when there are 30 or more.
std::string_view ValueIn(std::string_view text) {
  std::string_view value = NameIn(text);
  size_t charsRead = ValueCharsRead;
  if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
    value = value.substr(1, value.size() - 2);
    charsRead = value.size() > ValueCharsRead ? ValueCharsRead : ValueCharsRead - 1;
  }
  return value.substr(0, charsRead);
}

// A trimmed, non-empty line split into its kind, name and value.
IniLine Split(std::string_view line) {
  IniLine split;
  if (line[0] == '[') {
    const size_t close = line.rfind(']');
    split.Kind = close == std::string_view::npos ? IniLineKind::Unclosed : IniLineKind::Section;
    split.Name = NameIn(line.substr(1, close == std::string_view::npos ? close : close - 1));
    return split;
  }
  const size_t equals = line.find('=');
  split.Name = NameIn(line.substr(0, equals));
  split.HasValue = equals != std::string_view::npos;
  split.Value = split.HasValue ? ValueIn(line.substr(equals + 1)) : std::string_view();
  return split;
}

// The text as the reader reads it, and how its characters stand in the bytes
// given: after the byte-order mark, one or two bytes each.
struct Text {
  std::string_view Chars;
  size_t MarkBytes = 0;
  size_t CharBytes = 1;
};

// UTF-16 is narrowed once: a unit outside ASCII cannot take part in a name or
// a number, and stands as '?'. An odd last byte is no unit.
Text TextOf(std::string_view bytes, std::string& narrowed) {
  const bool little = bytes.starts_with("\xFF\xFE");
  if (!little && !bytes.starts_with("\xFE\xFF")) {
    const size_t mark = bytes.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    return {bytes.substr(mark), mark, 1};
  }
  const auto byte = [&](size_t at) { return static_cast<unsigned char>(bytes[at]) + 0U; };
  narrowed.resize((bytes.size() - 2) / 2);
  for (size_t i = 0, at = 2; i < narrowed.size(); ++i, at += 2) {
    const unsigned unit = little ? byte(at) | byte(at + 1) << 8 : byte(at) << 8 | byte(at + 1);
    narrowed[i] = unit < 0x80 ? static_cast<char>(unit) : '?';
  }
  return {narrowed, 2, 2};
}

}  // namespace

bool IniSameName(std::string_view name, std::string_view wanted) {
  return std::equal(name.begin(), name.end(), wanted.begin(), wanted.end(),
                    [](char a, char b) { return LowerAscii(a) == LowerAscii(b); });
}

// The first section of the wanted name is searched, and within it the first
// line of each key decides; a key without '=' or with an empty value gives
// the default there.
void WalkIniSection(std::string_view bytes, std::string_view section,
                    std::span<const std::string_view> keys, IniLineVisitor visit, void* context) {
  std::string narrowed;
  const Text text = TextOf(bytes, narrowed);
  const std::string_view chars = text.Chars;
  std::vector<bool> keySeen(keys.size());
  IniPlace place = IniPlace::Before;
  int number = 0;
  for (size_t start = 0, next = 0; start < chars.size(); start = next) {
    ++number;
    const size_t end = std::min(chars.find_first_of("\r\n", start), chars.size());
    next = chars.substr(end).starts_with("\r\n") ? end + 2 : std::min(end + 1, chars.size());
    const std::string_view trimmed = Trim(chars.substr(start, end - start));
    if (trimmed.empty()) {
      continue;
    }
    IniLine line = Split(trimmed);
    line.Number = number;
    line.Offset = text.MarkBytes + start * text.CharBytes;
    line.Length = (next - start) * text.CharBytes;
    if (line.Kind == IniLineKind::Section) {
      line.NamesSection = IniSameName(line.Name, section);
      place = place != IniPlace::Before ? IniPlace::After
              : line.NamesSection       ? IniPlace::Header
                                        : IniPlace::Before;
    } else if (place == IniPlace::Header || place == IniPlace::Inside) {
      place = IniPlace::Inside;
      const auto key = std::find_if(keys.begin(), keys.end(), [&](std::string_view wanted) {
        return line.Kind == IniLineKind::Key && IniSameName(line.Name, wanted);
      });
      if (key != keys.end()) {
        line.Key = static_cast<int>(key - keys.begin());
        line.Decides = !keySeen[static_cast<size_t>(line.Key)];
        keySeen[static_cast<size_t>(line.Key)] = true;
      }
    }
    line.Place = place;
    if (!visit(context, line)) {
      return;
    }
  }
}

int32_t ProfileValueToInt(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text[0]) <= ' ') {
    text.remove_prefix(1);
  }
  const bool negative = text.starts_with('-');
  if (negative || text.starts_with('+')) {
    text.remove_prefix(1);
  }
  unsigned base = 10;
  if (text.size() >= 2 && text[0] == '0') {
    base = text[1] == 'x' ? 16 : text[1] == 'o' ? 8 : text[1] == 'b' ? 2 : 10;
    text.remove_prefix(base == 10 ? 0 : 2);
  }
  uint32_t total = 0;
  for (const char c : text) {
    const unsigned digit = DigitValue(c);
    if (digit >= base) {
      break;
    }
    total = total * base + digit;
  }
  return static_cast<int32_t>(negative ? 0U - total : total);
}

#ifndef _WIN32
namespace {

// Only a regular file is read: a FIFO, a device or a folder gives nothing,
// and the open does not wait for a FIFO's writer. A file that cannot be read
// to its end counts as missing.
bool ReadRegularFile(const char* path, std::string& bytes) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    return false;
  }
  struct stat info;
  bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  for (ssize_t got = 1; ok && got != 0;) {
    constexpr size_t Chunk = 4096;
    const size_t had = bytes.size();
    bytes.resize(had + Chunk);
    got = read(fd, bytes.data() + had, Chunk);
    bytes.resize(had + (got > 0 ? static_cast<size_t>(got) : 0));
    ok = got >= 0 || errno == EINTR;
  }
  close(fd);
  return ok;
}

}  // namespace

// The plug-in reads its options at Initialize, before the run; a file too
// large to hold gives the default rather than an exception through the host.
int32_t ReadIniInt(const char* iniPath, const char* section, const char* key,
                   int32_t defaultValue) {
  int32_t value = defaultValue;
  try {
    std::string bytes;
    if (!ReadRegularFile(iniPath, bytes)) {
      return defaultValue;
    }
    const std::string_view keys[] = {key};
    WalkIniSection(bytes, section, keys, [&](const IniLine& line) {
      if (line.Decides && !line.Value.empty()) {
        value = ProfileValueToInt(line.Value);
      }
      return !line.Decides && line.Place != IniPlace::After;
    });
  } catch (const std::bad_alloc&) {
    return defaultValue;
  }
  return value;
}
#endif

#include "ini_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform.h"

namespace {

bool IsBlank(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r') || c == 0x1a; }

unsigned char LowerAscii(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

struct Span {
  const char* begin;
  size_t length;
};

Span Trim(const char* begin, const char* end) {
  while (begin < end && IsBlank(static_cast<unsigned char>(*begin))) {
    ++begin;
  }
  while (end > begin && IsBlank(static_cast<unsigned char>(end[-1]))) {
    --end;
  }
  return {begin, static_cast<size_t>(end - begin)};
}

bool SameName(Span name, const char* wanted) {
  const size_t wantedLength = std::strlen(wanted);
  if (name.length != wantedLength) {
    return false;
  }
  for (size_t i = 0; i < wantedLength; ++i) {
    if (LowerAscii(static_cast<unsigned char>(name.begin[i])) !=
        LowerAscii(static_cast<unsigned char>(wanted[i]))) {
      return false;
    }
  }
  return true;
}

int DigitValue(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

// What a lookup is after, and what it has found so far.
struct Lookup {
  const char* section;
  const char* key;
  int32_t defaultValue;
  bool inSection = false;
  bool sectionSeen = false;
  bool done = false;
  int32_t result = 0;
};

// Only the first section of the wanted name is searched, and within it the
// first line of the wanted key decides: a key without '=' or with an empty
// value gives the default.
void ParseLine(Lookup& lookup, const char* line, size_t length) {
  const Span text = Trim(line, line + length);
  if (text.length == 0) {
    return;
  }
  if (text.begin[0] == '[') {
    const char* close = nullptr;
    for (size_t i = text.length; i-- > 1;) {
      if (text.begin[i] == ']') {
        close = text.begin + i;
        break;
      }
    }
    if (close != nullptr) {
      if (lookup.inSection) {
        lookup.done = true;
        lookup.result = lookup.defaultValue;
        return;
      }
      const bool match = SameName(Trim(text.begin + 1, close), lookup.section);
      lookup.inSection = match && !lookup.sectionSeen;
      lookup.sectionSeen = lookup.sectionSeen || match;
      return;
    }
  }
  if (!lookup.inSection || text.begin[0] == ';') {
    return;
  }
  const char* end = text.begin + text.length;
  const char* equals = static_cast<const char*>(std::memchr(text.begin, '=', text.length));
  if (!SameName(Trim(text.begin, equals != nullptr ? equals : end), lookup.key)) {
    return;
  }
  lookup.done = true;
  lookup.result = lookup.defaultValue;
  if (equals == nullptr) {
    return;
  }
  Span value = Trim(equals + 1, end);
  if (value.length >= 2 && (value.begin[0] == '"' || value.begin[0] == '\'') &&
      value.begin[value.length - 1] == value.begin[0]) {
    value = {value.begin + 1, value.length - 2};
  }
  if (value.length == 0) {
    return;
  }
  lookup.result = ProfileValueToInt(value.begin, value.length < IniValueCharsRead ? value.length : IniValueCharsRead);
}

enum class Encoding { Bytes, Utf16Le, Utf16Be };

// Feeds the file, line by line, into the lookup. Line ends are LF, CR or both;
// UTF-16 text is narrowed (anything outside ASCII cannot match a name or be a
// digit, and becomes '?').
struct LineScanner {
  Lookup& lookup;
  char line[IniLineCapacity] = {};
  size_t length = 0;
  Encoding encoding = Encoding::Bytes;
  bool atStart = true;
  unsigned char pending[3] = {};
  size_t pendingCount = 0;

  void EndLine() {
    ParseLine(lookup, line, length);
    length = 0;
  }

  void PutChar(char c) {
    if (c == '\n' || c == '\r') {
      EndLine();
    } else if (length < IniLineCapacity) {
      line[length++] = c;
    }
  }

  void PutUnit(unsigned unit) { PutChar(unit < 0x80 ? static_cast<char>(unit) : '?'); }

  // The byte-order mark decides how the rest is read; bytes that turn out to
  // be no mark are text.
  void TakeByteOrderMark(unsigned char byte) {
    pending[pendingCount++] = byte;
    const unsigned char* p = pending;
    if (pendingCount == 1 && (p[0] == 0xEF || p[0] == 0xFF || p[0] == 0xFE)) {
      return;
    }
    if (pendingCount == 2 && p[0] == 0xEF && p[1] == 0xBB) {
      return;
    }
    atStart = false;
    if (pendingCount == 2 && p[0] == 0xFF && p[1] == 0xFE) {
      encoding = Encoding::Utf16Le;
    } else if (pendingCount == 2 && p[0] == 0xFE && p[1] == 0xFF) {
      encoding = Encoding::Utf16Be;
    } else if (!(pendingCount == 3 && p[2] == 0xBF)) {
      FlushPending();
    }
    pendingCount = 0;
  }

  void FlushPending() {
    for (size_t i = 0; i < pendingCount; ++i) {
      PutChar(static_cast<char>(pending[i]));
    }
    pendingCount = 0;
  }

  void Feed(const unsigned char* bytes, size_t count) {
    for (size_t i = 0; i < count && !lookup.done; ++i) {
      if (atStart) {
        TakeByteOrderMark(bytes[i]);
      } else if (encoding == Encoding::Bytes) {
        PutChar(static_cast<char>(bytes[i]));
      } else {
        pending[pendingCount++] = bytes[i];
        if (pendingCount == 2) {
          PutUnit(encoding == Encoding::Utf16Le ? (pending[0] | pending[1] << 8)
                                                : (pending[0] << 8 | pending[1]));
          pendingCount = 0;
        }
      }
    }
  }

  void Finish() {
    if (atStart) {
      FlushPending();
    }
    if (!lookup.done) {
      EndLine();
    }
  }
};

}  // namespace

int32_t ProfileValueToInt(const char* text, size_t length) {
  size_t i = 0;
  while (i < length && static_cast<unsigned char>(text[i]) <= ' ') {
    ++i;
  }
  bool negative = false;
  if (i < length && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  unsigned base = 10;
  if (length - i >= 2 && text[i] == '0') {
    const char prefix = text[i + 1];
    base = prefix == 'x' ? 16 : prefix == 'o' ? 8 : prefix == 'b' ? 2 : 10;
    if (base != 10) {
      i += 2;
    }
  }
  uint32_t total = 0;
  for (; i < length; ++i) {
    const int digit = DigitValue(static_cast<unsigned char>(text[i]));
    if (digit >= static_cast<int>(base)) {
      break;
    }
    total = total * base + static_cast<uint32_t>(digit);
  }
  return static_cast<int32_t>(negative ? 0u - total : total);
}

// Anything that is not a readable regular file (missing, a directory, a FIFO,
// no permission) gives the default, as a missing file does.
int32_t ReadIniInt(const char* iniPath, const char* section, const char* key, int32_t defaultValue) {
  const int fd = open(iniPath, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    return defaultValue;
  }
  struct stat info;
  Lookup lookup{section, key, defaultValue};
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    LineScanner scanner{lookup};
    unsigned char chunk[4096];
    for (;;) {
      const ssize_t got = read(fd, chunk, sizeof chunk);
      if (got < 0 && errno == EINTR) {
        continue;
      }
      if (got <= 0) {
        break;
      }
      scanner.Feed(chunk, static_cast<size_t>(got));
      if (lookup.done) {
        break;
      }
    }
    scanner.Finish();
  }
  close(fd);
  return lookup.done ? lookup.result : defaultValue;
}

#include "ini_reader.h"

#include <cstdint>
#include <cstring>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace {

bool IsBlank(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r') || c == 0x1a; }

unsigned char LowerAscii(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

int DigitValue(unsigned char c) {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'a' && c <= 'z') {
    return c - 'a' + 10;
  }
  if (c >= 'A' && c <= 'Z') {
    return c - 'A' + 10;
  }
  return 99;
}

constexpr size_t FieldCapacity = IniNameCharsKept;
static_assert(FieldCapacity > IniValueCharsRead + 1);

// A name or a value as the Windows reader's strings hold it, gathered one
// character at a time from its first non-blank one: trimmed at the end, then
// cut at the first NUL. Only its first characters are kept, so a line of any
// length is read in fixed space and still ends where it ends.
struct Field {
  char head[FieldCapacity] = {};
  size_t seen = 0;        // characters put
  size_t trimmed = 0;     // up to the last non-blank one
  size_t nul = SIZE_MAX;  // where the first NUL stands
  char lastNonBlank = 0;
  char beforeNul = 0;
  char previous = 0;

  void Put(char c) {
    if (seen < FieldCapacity) {
      head[seen] = c;
    }
    if (c == '\0' && nul == SIZE_MAX) {
      nul = seen;
      beforeNul = previous;
    }
    ++seen;
    if (!IsBlank(static_cast<unsigned char>(c))) {
      trimmed = seen;
      lastNonBlank = c;
    }
    previous = c;
  }
  // A NUL is no blank, so it always lies within the trimmed part.
  size_t Length() const { return nul < trimmed ? nul : trimmed; }
  char Last() const { return nul < trimmed ? beforeNul : lastNonBlank; }
};

// One line as the reader splits it. A line whose first non-blank character is
// '[' and that has a ']' after it is a section header, named by what lies
// between the '[' and the last ']'. Any other line is a key: the text before
// its first '=' names it, the text after it is its value. (A '[' line without
// ']' and a ';' comment are keys whose names no lookup wants.)
struct LineFields {
  enum class Part { Start, Header, Name, BeforeValue, Value };
  Part part = Part::Start;
  Field name;
  size_t headerLength = 0;  // the name's length at the latest ']'
  bool closed = false;
  bool hasValue = false;
  Field value;

  void Put(char c) {
    const bool blank = IsBlank(static_cast<unsigned char>(c));
    switch (part) {
      case Part::Start:
        if (blank) {
          return;
        }
        if (c == '[') {
          part = Part::Header;
          return;
        }
        part = Part::Name;
        [[fallthrough]];
      case Part::Name:
        if (c == '=') {
          part = Part::BeforeValue;
          hasValue = true;
        } else {
          name.Put(c);
        }
        return;
      case Part::Header:
        if (c == ']') {
          closed = true;
          headerLength = name.Length();
        }
        if (!(blank && name.seen == 0)) {
          name.Put(c);
        }
        return;
      case Part::BeforeValue:
        if (blank) {
          return;
        }
        part = Part::Value;
        [[fallthrough]];
      case Part::Value:
        value.Put(c);
        return;
    }
  }
};

// The line as a lookup sees it. The short buffer keeps a value's first
// characters. The Windows reader copies a quoted value's characters after the
// opening quote and then drops the last one copied whenever the rest fits: 28
// characters stay inside the quotes, or 29 when there are 30 or more.
IniLine ViewOf(const LineFields& line, int number) {
  IniLine view{};
  view.Number = number;
  if (line.part == LineFields::Part::Start) {
    return view;
  }
  view.Name = line.name.head;
  if (line.part == LineFields::Part::Header) {
    view.Kind = line.closed ? IniLineKind::Section : IniLineKind::Unclosed;
    view.NameLength = line.closed ? line.headerLength : line.name.Length();
    return view;
  }
  view.Kind = IniLineKind::Key;
  view.NameLength = line.name.Length();
  view.HasValue = line.hasValue;
  const Field& value = line.value;
  const char* text = value.head;
  size_t length = value.Length();
  size_t charsRead = IniValueCharsRead;
  if (length >= 2 && (text[0] == '"' || text[0] == '\'') && value.Last() == text[0]) {
    ++text;
    length -= 2;
    charsRead = length > IniValueCharsRead ? IniValueCharsRead : IniValueCharsRead - 1;
  }
  view.Value = text;
  view.ValueLength = length < charsRead ? length : charsRead;
  return view;
}

enum class Encoding { Bytes, Utf16Le, Utf16Be };

// Feeds the text, line by line, to the visitor until it asks to stop. Line
// ends are LF, CR or both; UTF-16 text is narrowed (anything outside ASCII
// cannot match a name or be a digit, and becomes '?').
struct LineScanner {
  IniLineVisitor visit;
  void* context;
  bool stopped = false;
  LineFields line{};
  int number = 1;
  bool afterCr = false;
  Encoding encoding = Encoding::Bytes;
  bool atStart = true;
  unsigned char pending[3] = {};
  size_t pendingCount = 0;

  size_t lineStart = 0;  // bytes of the text before the line
  size_t charEnd = 0;    // bytes of the text up to the end of the character put
  size_t crEnd = 0;      // the same for a CR, which may be the first of a pair

  // The line ends at byte end of the text, its line end included.
  void EndLine(size_t end) {
    if (line.part != LineFields::Part::Start) {
      IniLine view = ViewOf(line, number);
      view.Offset = lineStart;
      view.Length = end - lineStart;
      stopped = !visit(context, view);
    }
    line = LineFields{};
    lineStart = end;
    ++number;
  }

  // A CR's line is handed on at the next character, so that the LF of a CR LF
  // pair is counted in it.
  void PutChar(char c) {
    if (afterCr) {
      afterCr = false;
      EndLine(c == '\n' ? charEnd : crEnd);
      if (c == '\n') {
        return;
      }
    }
    if (c == '\r') {
      afterCr = true;
      crEnd = charEnd;
    } else if (c == '\n') {
      EndLine(charEnd);
    } else {
      line.Put(c);
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
    for (size_t i = 0; i < count && !stopped; ++i) {
      charEnd = i + 1;
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
    if (!stopped) {
      EndLine(afterCr ? crEnd : charEnd);
    }
  }
};

}  // namespace

bool IniSameName(const char* name, size_t length, const char* wanted, size_t wantedLength) {
  if (length != wantedLength) {
    return false;
  }
  for (size_t i = 0; i < wantedLength; ++i) {
    if (LowerAscii(static_cast<unsigned char>(name[i])) !=
        LowerAscii(static_cast<unsigned char>(wanted[i]))) {
      return false;
    }
  }
  return true;
}

bool IniNameIs(const IniLine& line, const char* wanted) {
  return line.NameLength <= FieldCapacity &&
         IniSameName(line.Name, line.NameLength, wanted, std::strlen(wanted));
}

void SplitIniLines(const unsigned char* bytes, size_t count, IniLineVisitor visit, void* context) {
  LineScanner scanner{visit, context};
  scanner.Feed(bytes, count);
  scanner.Finish();
}

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
  return static_cast<int32_t>(negative ? 0U - total : total);
}

#ifndef _WIN32
namespace {

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
// value gives the default. Returns whether to read on.
bool TakeLine(void* context, const IniLine& line) {
  Lookup& lookup = *static_cast<Lookup*>(context);
  if (line.Kind == IniLineKind::Section) {
    if (lookup.inSection) {
      lookup.done = true;
      lookup.result = lookup.defaultValue;
      return false;
    }
    const bool match = IniNameIs(line, lookup.section);
    lookup.inSection = match && !lookup.sectionSeen;
    lookup.sectionSeen = lookup.sectionSeen || match;
    return true;
  }
  if (line.Kind != IniLineKind::Key || !lookup.inSection || !IniNameIs(line, lookup.key)) {
    return true;
  }
  lookup.done = true;
  lookup.result = line.HasValue && line.ValueLength > 0
                      ? ProfileValueToInt(line.Value, line.ValueLength)
                      : lookup.defaultValue;
  return false;
}

}  // namespace

// Anything that is not a readable regular file (missing, a directory, a FIFO,
// no permission) gives the default, as a missing file does.
int32_t ReadIniInt(const char* iniPath, const char* section, const char* key,
                   int32_t defaultValue) {
  const int fd = open(iniPath, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) {
    return defaultValue;
  }
  struct stat info;
  Lookup lookup{section, key, defaultValue};
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
    LineScanner scanner{TakeLine, &lookup};
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
#endif

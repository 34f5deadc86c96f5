// A plain model of the Windows profile reader's integer lookup, written for
// clarity, not for the plug-in: it holds the whole file in strings. The fuzzer
// compares the native reader with it. Each rule was checked against the real
// reader under wine (GetPrivateProfileIntA):
// - The file is bytes, or UTF-16 after an FF FE / FE FF mark (units above 127
//   cannot take part in a name or a number and stand as '?'); a UTF-8 mark is
//   skipped. Lines end at CR or LF; blanks are space, \t..\r and ^Z.
// - A trimmed line that starts with '[' and has a ']' after it is a section
//   header, named by what lies between the '[' and the last ']', trimmed.
// - Any other line is a key: the trimmed text before its first '=', and the
//   trimmed text after it as the value ("Key" alone has no value).
// - Names and values end at a NUL byte, after trimming.
// - The first section of the wanted name (letter case aside) is searched, and
//   in it the first key of the wanted name decides.
// - The reader keeps the first 29 characters of a value. A value in matching
//   quotes loses them, and keeps 28 characters inside them, or 29 when there
//   are 30 or more (the real reader, measured). Nothing left: the default.
//   Otherwise the leading number, with the low 32 bits kept.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace ProfileModel {

inline char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

inline std::string Trim(std::string_view s) {
  constexpr std::string_view blanks = " \t\n\v\f\r\x1a";
  s.remove_prefix(std::min(s.find_first_not_of(blanks), s.size()));
  return std::string(s.substr(0, s.find_last_not_of(blanks) + 1));
}

inline std::string Name(std::string_view s) {
  std::string name = Trim(s).substr(0, Trim(s).find('\0'));
  std::transform(name.begin(), name.end(), name.begin(), Lower);
  return name;
}

// Blanks and control characters, an optional sign, a 0x, 0o or 0b prefix, then
// digits of that base up to the first other character; wraps at 32 bits.
inline int32_t Convert(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && static_cast<unsigned char>(text[i]) <= ' ') {
    ++i;
  }
  const bool negative = i < text.size() && text[i] == '-';
  i += i < text.size() && (text[i] == '-' || text[i] == '+');
  uint32_t base = 10;
  if (text.size() - i >= 2 && text[i] == '0') {
    const size_t prefix = std::string_view("xob").find(text[i + 1]);
    base = prefix == std::string_view::npos ? 10 : std::array{16u, 8u, 2u}[prefix];
    i += base == 10 ? 0 : 2;
  }
  uint32_t total = 0;
  for (; i < text.size(); ++i) {
    const size_t digit =
        std::string_view("0123456789abcdefghijklmnopqrstuvwxyz").find(Lower(text[i]));
    if (digit >= base) {
      break;
    }
    total = total * base + static_cast<uint32_t>(digit);
  }
  return static_cast<int32_t>(negative ? 0u - total : total);
}

inline int32_t ReadInt(std::string_view file, const std::string& section, const std::string& key,
                       int32_t defaultValue) {
  const auto starts = [&](std::string_view mark) { return file.substr(0, mark.size()) == mark; };
  const bool little = starts("\xFF\xFE");
  std::string text;
  if (little || starts("\xFE\xFF")) {
    for (size_t i = 2; i + 1 < file.size(); i += 2) {
      const unsigned unit = static_cast<unsigned char>(file[little ? i : i + 1]) |
                            static_cast<unsigned char>(file[little ? i + 1 : i]) << 8;
      text += unit < 0x80 ? static_cast<char>(unit) : '?';
    }
  } else {
    text = file.substr(starts("\xEF\xBB\xBF") ? 3 : 0);
  }
  enum { Before, Inside, After } where = Before;
  for (size_t begin = 0; begin <= text.size() && where != After;) {
    const size_t end = std::min(text.find_first_of("\r\n", begin), text.size());
    const std::string line = Trim(std::string_view(text).substr(begin, end - begin));
    begin = end + 1;
    const size_t close = line.rfind(']');
    if (line.starts_with('[') && close != std::string::npos && close > 0) {
      const bool wanted = Name(line.substr(1, close - 1)) == Name(section);
      where = where == Inside ? After : wanted ? Inside : Before;
    } else if (where == Inside && !line.empty()) {
      const size_t equals = line.find('=');
      if (Name(line.substr(0, equals)) != Name(key)) {
        continue;
      }
      if (equals == std::string::npos) {
        return defaultValue;
      }
      std::string value = Trim(line.substr(equals + 1));
      value = value.substr(0, value.find('\0'));
      if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0]) {
        const size_t inside = value.size() - 2;
        value = value.substr(1, inside >= 30 ? 29 : std::min<size_t>(inside, 28));
      }
      value = value.substr(0, 29);
      return value.empty() ? defaultValue : Convert(value);
    }
  }
  return defaultValue;
}

}  // namespace ProfileModel

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
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class ProfileModel {
 public:
  explicit ProfileModel(std::string_view file) {
    sections_.push_back({});  // keys before any header
    for (const std::string& line : Lines(Decode(file))) {
      Take(Trim(line));
    }
  }

  int32_t ReadInt(std::string_view section, std::string_view key, int32_t defaultValue) const {
    for (const Section& s : sections_) {
      if (!s.header || !SameName(s.name, section)) {
        continue;
      }
      for (const Key& k : s.keys) {
        if (!SameName(k.name, key)) {
          continue;
        }
        if (!k.hasValue) {
          return defaultValue;
        }
        std::string value = k.value;
        const bool quoted =
            value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0];
        if (quoted) {
          const size_t inside = value.size() - 2;
          value = value.substr(1, inside >= 30 ? 29 : std::min<size_t>(inside, 28));
        } else {
          value = value.substr(0, 29);
        }
        return value.empty() ? defaultValue : Convert(value);
      }
      return defaultValue;  // later sections of the same name are not searched
    }
    return defaultValue;
  }

  // Leading characters up to blank, an optional sign, a 0x/0o/0b prefix, then
  // digits of that base up to the first other character; wraps at 32 bits.
  static int32_t Convert(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && static_cast<unsigned char>(text[i]) <= ' ') {
      ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
      negative = text[i] == '-';
      ++i;
    }
    uint32_t base = 10;
    if (text.size() - i >= 2 && text[i] == '0') {
      if (text[i + 1] == 'x') {
        base = 16;
      } else if (text[i + 1] == 'o') {
        base = 8;
      } else if (text[i + 1] == 'b') {
        base = 2;
      }
      if (base != 10) {
        i += 2;
      }
    }
    uint32_t total = 0;
    for (; i < text.size(); ++i) {
      const char c = text[i];
      uint32_t digit = 99;
      if (c >= '0' && c <= '9') {
        digit = static_cast<uint32_t>(c - '0');
      } else if (c >= 'a' && c <= 'z') {
        digit = static_cast<uint32_t>(c - 'a' + 10);
      } else if (c >= 'A' && c <= 'Z') {
        digit = static_cast<uint32_t>(c - 'A' + 10);
      }
      if (digit >= base) {
        break;
      }
      total = total * base + digit;
    }
    return static_cast<int32_t>(negative ? 0u - total : total);
  }

 private:
  struct Key {
    std::string name;
    bool hasValue;
    std::string value;
  };
  struct Section {
    bool header = false;
    std::string name;
    std::vector<Key> keys;
  };

  static bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r') || c == '\x1a'; }

  static std::string Trim(std::string_view s) {
    size_t b = 0;
    size_t e = s.size();
    while (b < e && IsBlank(s[b])) {
      ++b;
    }
    while (e > b && IsBlank(s[e - 1])) {
      --e;
    }
    return std::string(s.substr(b, e - b));
  }

  static std::string CutAtNul(std::string s) { return s.substr(0, s.find('\0')); }

  static bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
      return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
      const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
      if (lower(a[i]) != lower(b[i])) {
        return false;
      }
    }
    return true;
  }

  static std::string Decode(std::string_view file) {
    const auto starts = [&](std::string_view mark) { return file.substr(0, mark.size()) == mark; };
    if (starts("\xEF\xBB\xBF")) {
      return std::string(file.substr(3));
    }
    const bool little = starts("\xFF\xFE");
    if (!little && !starts("\xFE\xFF")) {
      return std::string(file);
    }
    std::string text;
    for (size_t i = 2; i + 1 < file.size(); i += 2) {
      const unsigned lo = static_cast<unsigned char>(file[little ? i : i + 1]);
      const unsigned hi = static_cast<unsigned char>(file[little ? i + 1 : i]);
      const unsigned unit = lo | hi << 8;
      text += unit < 0x80 ? static_cast<char>(unit) : '?';
    }
    return text;
  }

  static std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines(1);
    for (char c : text) {
      if (c == '\r' || c == '\n') {
        lines.emplace_back();
      } else {
        lines.back() += c;
      }
    }
    return lines;
  }

  void Take(const std::string& line) {
    if (line.empty()) {
      return;
    }
    const size_t close = line.rfind(']');
    if (line[0] == '[' && close != std::string::npos && close > 0) {
      sections_.push_back({true, CutAtNul(Trim(line.substr(1, close - 1))), {}});
      return;
    }
    const size_t equals = line.find('=');
    if (equals == std::string::npos) {
      sections_.back().keys.push_back({CutAtNul(line), false, {}});
    } else {
      sections_.back().keys.push_back(
          {CutAtNul(Trim(line.substr(0, equals))), true, CutAtNul(Trim(line.substr(equals + 1)))});
    }
  }

  std::vector<Section> sections_;
};

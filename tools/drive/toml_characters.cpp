#include "toml_characters.h"

#include <cstdint>
#include <utility>

namespace drive {
namespace {

constexpr char32_t MovedBase = 0xF0000;  // plane 15, private use
constexpr char32_t MovedSpan = 0x10000;

// toml++'s own test, from its generated tables: a character from U+00A1 to
// U+FEFE falls into one of 64 stretches of 0x3FA; in four of them any
// character other than the blanks it names goes to the unreachable point.
bool TomlTripsOn(char32_t c) {
  if (c <= 0xA0 || c >= 0xFEFF || c == 0x3000) {
    return false;
  }
  const uint64_t stretch = (c - 0xA0) / 0x3FA;
  return ((uint64_t{1} << stretch) & 0x7FFFFFFFFFFFF75EULL) == 0 && stretch != 5 && stretch != 7;
}

// The well-formed UTF-8 character at text[at] and its length; length 0 for none.
std::pair<char32_t, size_t> CharacterAt(std::string_view text, size_t at) {
  const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[at + k]); };
  const unsigned char lead = byte(0);
  const size_t length = lead < 0x80                   ? 1
                        : lead >= 0xC2 && lead < 0xE0 ? 2
                        : lead >= 0xE0 && lead < 0xF0 ? 3
                        : lead >= 0xF0 && lead < 0xF5 ? 4
                                                      : 0;
  if (length == 0 || at + length > text.size()) {
    return {0, 0};
  }
  char32_t c = length == 1 ? lead : lead & (0x3F >> (length - 1));
  for (size_t k = 1; k < length; ++k) {
    if ((byte(k) & 0xC0) != 0x80) {
      return {0, 0};
    }
    c = (c << 6) | (byte(k) & 0x3F);
  }
  const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
  return c < least[length] || c > 0x10FFFF ? std::pair<char32_t, size_t>{0, 0}
                                           : std::pair{c, length};
}

void Append(std::string& text, char32_t c) {
  if (c < 0x80) {
    text += static_cast<char>(c);
    return;
  }
  const size_t length = c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
  const unsigned char lead[] = {0, 0, 0xC0, 0xE0, 0xF0};
  text += static_cast<char>(lead[length] | (c >> (6 * (length - 1))));
  for (size_t k = length - 1; k-- > 0;) {
    text += static_cast<char>(0x80 | ((c >> (6 * k)) & 0x3F));
  }
}

// The text with each well-formed character c that move(c) gives another
// for written as that other; every other byte as it is.
template <typename Move>
std::string Moved(std::string_view text, Move move) {
  std::string out;
  out.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    const auto [c, length] = CharacterAt(text, at);
    if (length == 0) {
      out += text[at++];
      continue;
    }
    Append(out, move(c));
    at += length;
  }
  return out;
}

}  // namespace

std::optional<size_t> MovedPlaneCharacter(std::string_view text) {
  for (size_t at = 0; at < text.size();) {
    const auto [c, length] = CharacterAt(text, at);
    if (length > 0 && c >= MovedBase && c < MovedBase + MovedSpan) {
      return at;
    }
    at += length > 0 ? length : 1;
  }
  return std::nullopt;
}

std::string MoveForToml(std::string_view text) {
  return Moved(text, [](char32_t c) { return TomlTripsOn(c) ? MovedBase + c : c; });
}

std::string MoveBack(std::string_view text) {
  return Moved(text, [](char32_t c) {
    return c >= MovedBase && c < MovedBase + MovedSpan ? c - MovedBase : c;
  });
}

}  // namespace drive

// The options reader: an INI file read as the Windows profile reader reads it,
// never written. The native plug-in reads its options through it, and the
// drive tool's options check and its --set edits walk a file's lines with it,
// so that what the check shows and the edit replaces is what the plug-in
// reads. It knows nothing of the plug-in or the ATC.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <type_traits>

// Converts a value as the profile reader does: leading blanks, an optional
// sign, a 0x, 0o or 0b prefix, then digits up to the first other character.
// No overflow check: the low 32 bits are kept.
int32_t ProfileValueToInt(std::string_view text);

// A line whose first non-blank character is '[' and that has a ']' after it
// is a section header, named by what lies between the '[' and the last ']';
// without the ']' it names nothing. Any other line is a key: the text before
// its first '=' names it (a ';' comment is a key no lookup wants), the text
// after it is its value.
enum class IniLineKind { Section, Unclosed, Key };

// Where a line stands against the section a lookup searches: the first
// section of the wanted name, and nothing after it, not even a later section
// of the same name.
enum class IniPlace { Before, Header, Inside, After };

// One non-empty line as the reader splits it, and what the reader makes of
// it. Names and values are trimmed of blanks and end at a NUL; both view the
// text being walked, so they last only as long as the visit.
struct IniLine {
  IniLineKind Kind = IniLineKind::Key;
  int Number = 0;          // counted from 1; CR, LF and CR LF each end a line
  std::string_view Name;   // after the '[' of a line without ']'
  bool HasValue = false;   // a key with '='
  std::string_view Value;  // what the conversion reads: quotes taken off, cut to
                           // the reader's short buffer; empty gives the default
  size_t Offset = 0;       // where the line starts in the bytes given,
  size_t Length = 0;       // and its bytes, its end of line included
  IniPlace Place = IniPlace::Before;
  bool NamesSection = false;  // a header with the wanted section's name
  int Key = -1;               // inside: the first wanted key the line names
  bool Decides = false;       // the first line of that key inside: its value is read
};

// Whether two names are the same, letter case aside (ASCII letters only, as
// the Windows reader compares them).
bool IniSameName(std::string_view name, std::string_view wanted);

// Called for each line in turn; returns false to stop.
using IniLineVisitor = bool (*)(void* context, const IniLine& line);

// Walks the text of a whole file, every line marked against the wanted
// section and keys. A UTF-8 byte-order mark is skipped, UTF-16 with a mark is
// narrowed (anything outside ASCII becomes '?').
void WalkIniSection(std::string_view bytes, std::string_view section,
                    std::span<const std::string_view> keys, IniLineVisitor visit, void* context);

// The same with any callable that takes the line and returns whether to go on.
template <typename Visit>
void WalkIniSection(std::string_view bytes, std::string_view section,
                    std::span<const std::string_view> keys, Visit&& visit) {
  const auto call = [](void* context, const IniLine& line) -> bool {
    return (*static_cast<std::remove_reference_t<Visit>*>(context))(line);
  };
  WalkIniSection(bytes, section, keys, call, &visit);
}

#ifndef _WIN32
// Reads an integer key of the first section of that name; the default when
// the file, the section or the key is missing or the value empty. Anything
// that is not a readable regular file counts as missing, without blocking.
int32_t ReadIniInt(const char* iniPath, const char* section, const char* key, int32_t defaultValue);
#endif

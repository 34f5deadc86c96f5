// The options reader: an INI file read as the Windows profile reader reads it,
// in fixed buffers, never written, nothing allocated; lines of any length are
// read in fixed space. The native plug-in reads its options through it, and
// the drive tool's options check splits a file into lines with it, so that
// what the check shows is what the plug-in reads. It knows nothing of the
// plug-in or the ATC.
#pragma once

#include <cstddef>
#include <cstdint>

// Characters of a value that count, as the Windows reader's short buffer keeps.
inline constexpr size_t IniValueCharsRead = 29;

// Characters of a name or a value that are kept: more than the longest name
// looked up, and than the value's short buffer.
inline constexpr size_t IniNameCharsKept = 32;

// Converts a value as the profile reader does: leading blanks, an optional
// sign, a 0x, 0o or 0b prefix, then digits up to the first other character.
// No overflow check: the low 32 bits are kept.
int32_t ProfileValueToInt(const char* text, size_t length);

// A line whose first non-blank character is '[' and that has a ']' after it
// is a section header, named by what lies between the '[' and the last ']';
// without the ']' it names nothing. Any other line is a key: the text before
// its first '=' names it (a ';' comment is a key no lookup wants), the text
// after it is its value.
enum class IniLineKind { Section, Unclosed, Key };

// One non-empty line as the reader splits it. Names and values are trimmed of
// blanks and end at a NUL; only their first IniNameCharsKept characters are
// held.
struct IniLine {
  IniLineKind Kind = IniLineKind::Key;
  int Number = 0;               // counted from 1; CR, LF and CR LF each end a line
  const char* Name = nullptr;   // the kept characters
  size_t NameLength = 0;        // the whole name's; may exceed what is kept
  bool HasValue = false;        // a key with '='
  const char* Value = nullptr;  // what the conversion reads: quotes taken off,
  size_t ValueLength = 0;       // cut to the short buffer; 0 gives the default
  size_t Offset = 0;            // where the line starts in the bytes given,
  size_t Length = 0;            // and its bytes, its end of line included
};

// Whether the line names the wanted section or key, letter case aside.
bool IniNameIs(const IniLine& line, const char* wanted);

// Whether two names are the same, letter case aside (ASCII letters only, as
// the Windows reader compares them).
bool IniSameName(const char* name, size_t length, const char* wanted, size_t wantedLength);

// Called for each line in turn; returns false to stop.
using IniLineVisitor = bool (*)(void* context, const IniLine& line);

// Splits the text of a whole file. A UTF-8 byte-order mark is skipped, UTF-16
// with a mark is narrowed (anything outside ASCII becomes '?').
void SplitIniLines(const unsigned char* bytes, size_t count, IniLineVisitor visit, void* context);

#ifndef _WIN32
// Reads an integer key of the first section of that name; the default when
// the file, the section or the key is missing or the value empty. Anything
// that is not a readable regular file counts as missing, without blocking.
int32_t ReadIniInt(const char* iniPath, const char* section, const char* key, int32_t defaultValue);
#endif

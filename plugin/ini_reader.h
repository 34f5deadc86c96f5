// The native build's stand-in for the Windows profile reader's integer lookup.
// It reads the file in fixed buffers, never writes it, and allocates nothing;
// lines of any length are read in fixed space.
#pragma once

#include <cstddef>
#include <cstdint>

// Characters of a value that count, as the Windows reader's short buffer keeps.
inline constexpr size_t IniValueCharsRead = 29;

// Converts a value as the profile reader does: leading blanks, an optional
// sign, a 0x, 0o or 0b prefix, then digits up to the first other character.
// No overflow check: the low 32 bits are kept.
int32_t ProfileValueToInt(const char* text, size_t length);

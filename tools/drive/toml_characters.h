// toml++ 3.3 asks of some characters whether they are blanks (outside strings,
// and inside a multi-line string after a line-ending backslash), and for the
// letters from U+00A1 to U+0499 (é among them) and two more stretches that
// question reaches a point its code marks as unreachable: undefined behaviour,
// on a file that is valid TOML. The scenario reader hands toml++ those
// characters moved into a private-use plane, which it takes as any other
// letter, and moves them back in every text it takes from the document.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace drive {

// The byte offset of the first character in text of the stretch of the
// private-use plane that the moved characters take, which no scenario needs;
// none when there is none.
std::optional<size_t> MovedPlaneCharacter(std::string_view text);

std::string MoveForToml(std::string_view text);
std::string MoveBack(std::string_view text);

}  // namespace drive

// The terminal under the cab: ncurses natively, the console with
// virtual-terminal sequences on Windows. Rows and columns count from 0.
#pragma once

#include <string_view>

namespace drive {

// How a stretch of text is drawn; where the terminal has no colour the text
// itself carries the meaning, so a plain terminal loses nothing.
enum class Ink { Plain, Dim, Title, Lit, Warn, Alarm };

// stdin and stdout are both a terminal (not a pipe, a file or CI).
bool TerminalAttached();

// Takes the whole screen; false when the terminal cannot be set up.
bool TerminalOpen();
void TerminalClose();

void TerminalSize(int& columns, int& rows);

// A key pressed, waiting up to waitMs for one; CabNoKey when none came.
int TerminalKey(int waitMs);

void TerminalClear();
void TerminalPut(int row, int column, std::string_view text, Ink ink);
void TerminalShow();  // what was put goes to the screen

}  // namespace drive

#include "cab_terminal.h"

#include <csignal>
#include <iterator>
#include <string>

#include "cab_session.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>

#include <cstdio>
#else
#include <ncurses.h>
#include <unistd.h>
#endif

namespace drive {
namespace {

// A signal to end (the terminal closed, kill, an interrupt sent from
// elsewhere) still saves the session.
volatile std::sig_atomic_t Interrupted = 0;
void OnSignal(int) { Interrupted = 1; }

#ifdef _WIN32
HANDLE In = nullptr;
HANDLE Out = nullptr;
DWORD InMode = 0;
DWORD OutMode = 0;
std::string Pending;

// SGR parameters per ink, in the order of Ink: lamps lit as lamps are, dark ones dimmed.
constexpr const char* Sgr[] = {"0", "0;2", "0;1", "0;30;42", "0;30;43", "0;97;41"};
static_assert(std::size(Sgr) == static_cast<size_t>(Ink::Alarm) + 1);
constexpr int VirtualKeys[][2] = {{VK_UP, CabKeyUp},        {VK_DOWN, CabKeyDown},
                                  {VK_LEFT, CabKeyLeft},    {VK_RIGHT, CabKeyRight},
                                  {VK_PRIOR, CabKeyPageUp}, {VK_NEXT, CabKeyPageDown},
                                  {VK_END, CabKeyEnd}};
#else
short Pair(Ink ink) { return static_cast<short>(ink); }
constexpr int CursesKeys[][2] = {{KEY_UP, CabKeyUp},        {KEY_DOWN, CabKeyDown},
                                 {KEY_LEFT, CabKeyLeft},    {KEY_RIGHT, CabKeyRight},
                                 {KEY_PPAGE, CabKeyPageUp}, {KEY_NPAGE, CabKeyPageDown},
                                 {KEY_END, CabKeyEnd},      {KEY_RESIZE, CabKeyResize}};
#endif

}  // namespace

#ifdef _WIN32
bool TerminalAttached() { return _isatty(_fileno(stdin)) && _isatty(_fileno(stdout)); }

bool TerminalOpen() {
  In = GetStdHandle(STD_INPUT_HANDLE);
  Out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (!GetConsoleMode(In, &InMode) || !GetConsoleMode(Out, &OutMode) ||
      !SetConsoleMode(Out, OutMode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) {
    return false;
  }
  // Without processed input Ctrl-C arrives as a key, and the session is saved.
  SetConsoleMode(In, ENABLE_WINDOW_INPUT);
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  Pending = "\x1b[?1049h\x1b[?25l\x1b[2J";
  TerminalShow();
  return true;
}

void TerminalClose() {
  Pending = "\x1b[0m\x1b[?25h\x1b[?1049l";
  TerminalShow();
  SetConsoleMode(In, InMode);
  SetConsoleMode(Out, OutMode);
}

void TerminalSize(int& columns, int& rows) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  GetConsoleScreenBufferInfo(Out, &info);
  columns = info.srWindow.Right - info.srWindow.Left + 1;
  rows = info.srWindow.Bottom - info.srWindow.Top + 1;
}

int TerminalKey(int waitMs) {
  while (WaitForSingleObject(In, static_cast<DWORD>(waitMs)) == WAIT_OBJECT_0) {
    INPUT_RECORD event;
    DWORD read = 0;
    if (!ReadConsoleInputA(In, &event, 1, &read) || read == 0) {
      break;
    }
    if (event.EventType == WINDOW_BUFFER_SIZE_EVENT) {
      return CabKeyResize;
    }
    if (event.EventType != KEY_EVENT || !event.Event.KeyEvent.bKeyDown) {
      waitMs = 0;
      continue;
    }
    for (const auto& [virtualKey, cabKey] : VirtualKeys) {
      if (event.Event.KeyEvent.wVirtualKeyCode == virtualKey) {
        return cabKey;
      }
    }
    if (event.Event.KeyEvent.uChar.AsciiChar != 0) {
      return static_cast<unsigned char>(event.Event.KeyEvent.uChar.AsciiChar);
    }
    waitMs = 0;
  }
  return Interrupted ? CabKeyInterrupt : CabNoKey;
}

void TerminalClear() { Pending += "\x1b[0m\x1b[2J"; }

void TerminalPut(int row, int column, std::string_view text, Ink ink) {
  Pending += "\x1b[" + std::to_string(row + 1) + ";" + std::to_string(column + 1) + "H\x1b[" +
             Sgr[static_cast<int>(ink)] + "m";
  Pending += text;
}

void TerminalShow() {
  DWORD written = 0;
  WriteConsoleA(Out, Pending.data(), static_cast<DWORD>(Pending.size()), &written, nullptr);
  Pending.clear();
}
#else
bool TerminalAttached() { return isatty(STDIN_FILENO) && isatty(STDOUT_FILENO); }

bool TerminalOpen() {
  if (initscr() == nullptr) {
    return false;
  }
  raw();  // Ctrl-C arrives as a key, and the session is saved
  noecho();
  keypad(stdscr, TRUE);
  set_escdelay(25);
  curs_set(0);
  if (has_colors()) {
    start_color();
    use_default_colors();
    init_pair(Pair(Ink::Lit), COLOR_BLACK, COLOR_GREEN);
    init_pair(Pair(Ink::Warn), COLOR_BLACK, COLOR_YELLOW);
    init_pair(Pair(Ink::Alarm), COLOR_WHITE, COLOR_RED);
  }
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  std::signal(SIGHUP, OnSignal);
  return true;
}

void TerminalClose() { endwin(); }

void TerminalSize(int& columns, int& rows) { getmaxyx(stdscr, rows, columns); }

int TerminalKey(int waitMs) {
  timeout(waitMs);
  const int key = getch();
  if (key == ERR) {
    return Interrupted ? CabKeyInterrupt : CabNoKey;
  }
  for (const auto& [cursesKey, cabKey] : CursesKeys) {
    if (key == cursesKey) {
      return cabKey;
    }
  }
  return key < 0x100 ? key : CabNoKey;
}

void TerminalClear() { clear(); }

void TerminalPut(int row, int column, std::string_view text, Ink ink) {
  attr_t attributes = ink == Ink::Dim ? A_DIM : ink == Ink::Title ? A_BOLD : A_NORMAL;
  if (has_colors() && (ink == Ink::Lit || ink == Ink::Warn || ink == Ink::Alarm)) {
    attributes |= COLOR_PAIR(Pair(ink));
  } else if (ink == Ink::Lit || ink == Ink::Warn || ink == Ink::Alarm) {
    attributes |= A_REVERSE;
  }
  attrset(attributes);
  mvaddnstr(row, column, text.data(), static_cast<int>(text.size()));
}

void TerminalShow() { refresh(); }
#endif

}  // namespace drive

// The cab on the terminal: what the driver sees, composed into a grid of
// cells and sent only where it changed, and the frames paced to the clock.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <initializer_list>
#include <memory>
#include <vector>

#include <fmt/format.h>

#include "cab_session.h"
#include "cab_terminal.h"
#include "run_analysis.h"

namespace drive {
namespace {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

constexpr int NeededColumns = 80;
constexpr int NeededRows = 24;
constexpr int LabelColumns = 10;
constexpr int StatusColumn = 68;
constexpr int BarCells = 44;
constexpr double BarFullKmh = 130.0;
constexpr auto RedrawEvery = std::chrono::milliseconds(40);
constexpr auto SoundShownFor = std::chrono::milliseconds(1200);
constexpr auto FallenBehindBy = std::chrono::milliseconds(250);

struct Cell {
  char Glyph = ' ';
  Ink Tone = Ink::Plain;
  bool operator==(const Cell&) const = default;
};

struct Grid {
  int Columns = 0;
  int Rows = 0;
  std::vector<Cell> Cells;
};

size_t CellAt(const Grid& grid, int row, int column) {
  return static_cast<size_t>(row) * static_cast<size_t>(grid.Columns) + static_cast<size_t>(column);
}

// Writes along a row from a column on, clipped at the edge; returns the column after it.
int Put(Grid& grid, int row, int column, std::string_view text, Ink ink = Ink::Plain) {
  for (const char c : text) {
    // One byte a cell: what is not printable ASCII (a title in UTF-8) shows as '?'.
    const bool printable = c >= ' ' && c < 0x7F;
    if (row < grid.Rows && column < grid.Columns) {
      grid.Cells[CellAt(grid, row, column)] = {printable ? c : '?', ink};
    }
    ++column;
  }
  return column;
}

// A lamp: lit, in capitals between brackets and in its colour; dark, in small letters.
int Lamp(Grid& grid, int row, int column, std::string_view name, bool lit, Ink litInk = Ink::Lit) {
  std::string text(1, lit ? '[' : ' ');
  for (const char c : name) {
    const auto u = static_cast<unsigned char>(c);
    text += static_cast<char>(lit ? std::toupper(u) : std::tolower(u));
  }
  text += lit ? ']' : ' ';
  return Put(grid, row, column, text, lit ? litInk : Ink::Dim) + 1;
}

struct LampShown {
  std::string_view Name;
  int32_t Lit;
  Ink LitInk = Ink::Lit;
};

void LampRow(Grid& grid, int row, const char* label, std::initializer_list<LampShown> lamps) {
  Put(grid, row, 1, label);
  int column = LabelColumns;
  for (const LampShown& lamp : lamps) {
    column = Lamp(grid, row, column, lamp.Name, lamp.Lit != 0, lamp.LitInk);
  }
}

const char* ReverserName(int32_t position) {
  return position > 0 ? "forward" : position < 0 ? "backward" : "neutral";
}

std::string PowerName(int32_t notch) {
  std::string text = "P";
  text += std::to_string(notch);
  return text;
}

// The next scripted event, and how far off it is when the trigger says.
std::string NextEventText(const CabSession& session) {
  if (session.NextEvent >= session.ScriptedEvents) {
    return "none";
  }
  const ScenarioEvent& event = session.Setup->Events[session.NextEvent];
  std::string text = DescribeActions(event.Actions);
  if (!event.Label.empty()) {
    text += " (" + event.Label + ")";
  }
  text += ' ';
  text += DescribeTrigger(event.When);
  const FrameRecord& now = session.Last;
  if (event.When.Kind == TriggerKind::AtPosition) {
    text += fmt::format(", {:.0f} m ahead", event.When.Value - now.PositionM);
  } else if (event.When.Kind == TriggerKind::AtTime) {
    text += fmt::format(", in {:.1f} s", event.When.Value - now.TimeS);
  } else if (event.When.Kind == TriggerKind::After) {
    text += fmt::format(", in {:.1f} s", session.LastFiredS + event.When.Value - now.TimeS);
  }
  return text;
}

void ComposeCab(const CabSession& session, Grid& grid) {
  const Scenario& setup = *session.Setup;
  const FrameRecord& f = session.Last;
  const CabIndication& cab = f.Cab;
  const int32_t emergency = EmergencyNotchOf(setup.Train);
  Put(grid, 0, 1, ("KELVRIN cab  " + setup.Title).substr(0, StatusColumn - 3), Ink::Title);
  Put(grid, 0, StatusColumn,
      session.Paused ? "PAUSED" : "time x" + std::to_string(session.TimeScale),
      session.Paused ? Ink::Warn : Ink::Title);
  Put(grid, 1, 1, std::string(NeededColumns - 2, '-'), Ink::Dim);

  Put(grid, 2, 1, "Speed");
  const bool over = Supervised(cab) && std::abs(f.SpeedKmh) > cab.LimitKmh;
  int column = Put(grid, 2, LabelColumns, fmt::format("{:6.1f} km/h ", f.SpeedKmh)) + 1;
  const int filled =
      std::clamp(static_cast<int>(std::abs(f.SpeedKmh) / BarFullKmh * BarCells), 0, BarCells);
  const int limitAt =
      std::clamp(static_cast<int>(cab.LimitKmh / BarFullKmh * BarCells), 0, BarCells - 1);
  for (int cell = 0; cell < BarCells; ++cell) {
    const bool mark = cab.AtcActive && cell == limitAt;
    Put(grid, 2, column + cell,
        mark            ? "|"
        : cell < filled ? "#"
                        : ".",
        cell < filled ? (over ? Ink::Alarm : Ink::Lit) : Ink::Dim);
  }
  Put(grid, 2, column + BarCells + 1, over ? "OVER THE LIMIT" : "", Ink::Alarm);

  Put(grid, 3, 1, "Limit");
  column = Put(grid, 3, LabelColumns, fmt::format("{:4} km/h", cab.LimitKmh)) + 3;
  column = Put(grid, 3, column, "steps") + 1;
  static constexpr const char* StepNames[PanelStepLampCount] = {"nc", "0",  "15", "25",  "45", "55",
                                                                "65", "75", "90", "100", "110"};
  for (int step = 0; step < PanelStepLampCount; ++step) {
    column = Lamp(grid, 3, column, StepNames[step], cab.StepLamps[step] != 0);
  }

  LampRow(grid, 4, "Mode",
          {{"ATS", cab.ModeAts}, {"ATC", cab.ModeAtc}, {"restricted", cab.ModeRestricted}});
  LampRow(grid, 5, "ATC",
          {{"active", cab.AtcActive},
           {"code", cab.AtcSignal},
           {"restrict", cab.Restrict, Ink::Warn},
           {"ATC brake", cab.BrakeLamp, Ink::Warn},
           {"emergency", cab.EmergencyLamp, Ink::Alarm},
           {"cut-out", cab.CutOut, Ink::Alarm}});
  if (session.SawAts) {
    LampRow(grid, 6, "ATS", {{"running", cab.AtsRunning}, {"ready", cab.AtsReady}});
  }

  const auto handles = [&](int row, const char* what, const std::string& driver,
                           const std::string& returned) {
    Put(grid, row, 1, what);
    Put(grid, row, LabelColumns, "driver " + driver);
    Put(grid, row, LabelColumns + 18, "handed back " + returned);
    Put(grid, row, LabelColumns + 42, driver != returned ? "<< ATC" : "", Ink::Alarm);
  };
  handles(8, "Brake", NotchName(f.Driver.Brake, emergency), NotchName(f.Returned.Brake, emergency));
  handles(9, "Power", PowerName(f.Driver.Power), PowerName(f.Returned.Power));
  handles(10, "Reverser", ReverserName(f.Driver.Reverser), ReverserName(f.Returned.Reverser));

  Put(grid, 12, 1, "Sounds");
  static constexpr const char* SoundNames[SoundCount] = {"chime", "code prompt", "120 tone"};
  column = LabelColumns;
  const auto now = Clock::now();
  for (int slot = 0; slot < SoundCount; ++slot) {
    const bool playing = session.HaveFrame && now - session.SoundPlayedAt[slot] < SoundShownFor;
    column = Lamp(grid, 12, column, SoundNames[slot], playing, Ink::Warn);
  }
  Put(grid, 13, 1, "Next");
  Put(grid, 13, LabelColumns, NextEventText(session));
  Put(grid, 14, 1, "ATC acts");
  Put(grid, 14, LabelColumns, session.Cause.empty() ? "-" : session.Cause,
      session.Cause.empty() ? Ink::Plain : Ink::Alarm);
  Put(grid, 16, 1, "Run");
  Put(grid, 16, LabelColumns,
      fmt::format("{:.1f} s", f.TimeS) + fmt::format("   {:.0f} m", f.PositionM) +
          fmt::format("   gradient {:+.1f} per mille", f.GradientPermille));

  Put(grid, 20, 1, "a/Up z/Down power   s/Right x/Left brake   e/End emergency", Ink::Dim);
  Put(grid, 21, 1, "f n b reverser   u/PgUp d/PgDn selector   r restriction   c cut-out", Ink::Dim);
  Put(grid, 22, 1, "space pause   + - time x1..x8   q quit (Ctrl-C too): the session is saved",
      Ink::Dim);
}

void ComposeTooSmall(Grid& grid) {
  Put(grid, 0, 0,
      "The cab needs a terminal of " + std::to_string(NeededColumns) + " x " +
          std::to_string(NeededRows) + "; this one is " + std::to_string(grid.Columns) + " x " +
          std::to_string(grid.Rows) + ".");
  Put(grid, 1, 0, "Make it larger to drive on, or press q to end and save the session.");
}

// Draws the screen, sending only the stretches of cells that changed.
void Draw(const CabSession& session, Grid& shown) {
  Grid next;
  TerminalSize(next.Columns, next.Rows);
  next.Columns = std::max(next.Columns, 0);
  next.Rows = std::max(next.Rows, 0);
  next.Cells.assign(CellAt(next, next.Rows, 0), Cell{});
  if (next.Columns < NeededColumns || next.Rows < NeededRows) {
    ComposeTooSmall(next);
  } else if (session.HaveFrame) {
    ComposeCab(session, next);
  }
  if (next.Columns != shown.Columns || next.Rows != shown.Rows) {
    TerminalClear();
    shown = Grid{next.Columns, next.Rows, std::vector<Cell>(next.Cells.size(), Cell{})};
  }
  for (int row = 0; row < next.Rows; ++row) {
    const Cell* now = &next.Cells[CellAt(next, row, 0)];
    Cell* was = &shown.Cells[CellAt(shown, row, 0)];
    for (int column = 0; column < next.Columns;) {
      if (now[column] == was[column]) {
        ++column;
        continue;
      }
      std::string run;
      const int from = column;
      while (column < next.Columns && now[column] != was[column] &&
             now[column].Tone == now[from].Tone) {
        run += now[column].Glyph;
        was[column] = now[column];
        ++column;
      }
      TerminalPut(row, from, run, now[from].Tone);
    }
  }
  TerminalShow();
}

}  // namespace

InputSource TerminalCabInput(CabSession& session) {
  struct Pace {
    Clock::time_point BaseWall;
    double BaseSimS = -1.0;  // no frame paced yet
    int Scale = 1;
    Clock::time_point LastDrawn;
    Grid Shown;
  };
  auto pace = std::make_shared<Pace>();
  return [&session, pace](int64_t frame, double nowS) {
    Pace& p = *pace;
    for (;;) {
      int columns = 0;
      int rows = 0;
      TerminalSize(columns, rows);
      const bool hold = session.Paused || columns < NeededColumns || rows < NeededRows;
      const Clock::time_point now = Clock::now();
      auto due = p.BaseWall + std::chrono::duration_cast<Clock::duration>(
                                  Seconds((nowS - p.BaseSimS) / p.Scale));
      // Paused, at a new pace, or fallen behind (a slow terminal): the frames go on from here.
      if (hold || p.Scale != session.TimeScale || p.BaseSimS < 0.0 || now - due > FallenBehindBy) {
        p.BaseWall = due = now;
        p.BaseSimS = nowS;
        p.Scale = session.TimeScale;
      }
      if (now - p.LastDrawn >= RedrawEvery) {
        Draw(session, p.Shown);
        p.LastDrawn = now;
      }
      if (session.Quit || (!hold && now >= due)) {
        break;
      }
      const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(due - now).count();
      const int key = TerminalKey(hold ? 50 : static_cast<int>(std::clamp<long long>(wait, 0, 50)));
      if (key == CabKeyResize) {
        p.Shown = Grid{};
      } else if (key != CabNoKey) {
        CabKey(session, key);
        p.LastDrawn = {};
      }
    }
    return TakeCabInput(session, frame, nowS);
  };
}

}  // namespace drive

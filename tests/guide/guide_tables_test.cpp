// The guide's panel-index, sound-slot, key and signal-code tables (docs/cab.md,
// docs/atc.md) against the plug-in, driven through its exports as the
// simulator drives it. Each table is read from the embedded pages, so an edit of
// either side that the other does not follow fails here.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "exports.h"
#include "guide_text.h"
#include "module_records.h"

namespace {

using Row = std::vector<std::string>;

// The body rows of the one table in the guide whose header row is `header`.
std::vector<Row> GuideTable(const std::string& header) {
  std::vector<Row> rows;
  std::istringstream text(GuideText);
  bool inTable = false;
  for (std::string line; std::getline(text, line);) {
    inTable = line == header || (inTable && line.starts_with('|'));
    if (inTable && line != header && !line.starts_with("|-")) {
      std::istringstream cells(line.substr(1));
      rows.emplace_back();
      for (std::string cell; std::getline(cells, cell, '|');) {
        cell.erase(0, cell.find_first_not_of(' '));
        rows.back().push_back(cell.erase(cell.find_last_not_of(' ') + 1));
      }
    }
  }
  EXPECT_FALSE(rows.empty()) << header;
  return rows;
}

// The whole numbers of a cell outside `code spans`: "110, or 120 with
// `Use120Signal=1`" holds 110 and 120; -1 stands for none.
std::vector<int> Numbers(const std::string& cell) {
  std::vector<int> numbers;
  bool inCode = false;
  for (size_t i = 0; i < cell.size(); ++i) {
    inCode = inCode != (cell[i] == '`');
    if (!inCode && std::isdigit(static_cast<unsigned char>(cell[i])) &&
        (i == 0 || !std::isdigit(static_cast<unsigned char>(cell[i - 1])))) {
      numbers.push_back(std::stoi(cell.substr(i)));
    }
  }
  return numbers.empty() ? std::vector<int>{-1} : numbers;
}

// The number of the one row whose second cell starts with `name`.
int Named(const std::vector<Row>& rows, const std::string& name) {
  const auto named = [&](const Row& row) { return row[1].starts_with(name); };
  EXPECT_EQ(std::count_if(rows.begin(), rows.end(), named), 1) << name;
  const auto row = std::find_if(rows.begin(), rows.end(), named);
  return row == rows.end() ? -1 : Numbers((*row)[0])[0];
}

const std::vector<Row> PanelRows =
    GuideTable("| Panel index | Lamp or display | Values | Lit or shown when |");
const std::vector<Row> SoundRows =
    GuideTable("| Sound slot | Sound | Plays when | Should sound like |");
const std::vector<Row> KeyRows = GuideTable("| Key index | Control | What a press does |");
const int32_t Up = Named(KeyRows, "Selector up"), Down = Named(KeyRows, "Selector down");
const int32_t Restriction = Named(KeyRows, "Restriction"), CutOut = Named(KeyRows, "Cut-out");
const int Display = Named(PanelRows, "Speed-limit display");
constexpr int32_t Unwritten = 0x5EED5EED;

// A run with the driver's brake released and the options as Initialize would
// read them, without an options file.
void StartRun(bool useAts, bool use120Signal = false) {
  BindControllerReferences();
  Module.IniPath[0] = '\0';
  SetSignal(0);  // the previous run's code is forgotten
  const VehicleSpec spec{8};
  SetVehicleSpec(&spec);
  Initialize(0);
  Module.Controller.UseAts = useAts;
  Module.Controller.Use120Signal = use120Signal;
  Reset(Module.Controller, PowerOnReset);
  SetBrake(0);
}

// One frame at the given speed: what it hands back, and the panel and sound
// entries it wrote.
struct Frame {
  Handles Out;
  std::map<int, int32_t> Panel, Sound;
};
Frame RunFrame(float speedKmh = 0.0f) {
  VehicleState state{};
  state.Speed = speedKmh;
  std::array<int32_t, PANEL_ARRAY_MIN_LENGTH> panel;
  std::array<int32_t, SOUND_ARRAY_MIN_LENGTH> sound;
  panel.fill(Unwritten);
  sound.fill(Unwritten);
  Frame frame{Elapse(&state, panel.data(), sound.data()), {}, {}};
  for (int i = 0; i < PANEL_ARRAY_MIN_LENGTH; ++i) {
    if (panel[i] != Unwritten) {
      frame.Panel[i] = panel[i];
    }
    if (i < SOUND_ARRAY_MIN_LENGTH && sound[i] != Unwritten) {
      frame.Sound[i] = sound[i];
    }
  }
  return frame;
}

// Cab scenes: keys pressed after a signal code, at a speed, and the lamps then
// lit (as the guide names them) three frames on. A row with values "0 or 1"
// reads 1 when lit and 0 when dark; a row whose only value is 1 is unwritten
// when dark; rows "Only with `UseATS=1`" are unwritten without it; every index
// the table does not list stays unwritten.
TEST(GuidePanelTable, ListsEveryIndexWrittenWithTheValuesItStates) {
  struct Scene {
    bool useAts;
    int32_t code;
    std::vector<int32_t> keys;
    float speedKmh;
    int limitKmh;
    std::vector<std::string> lit;
  };
  const std::vector<Scene> scenes = {
      {false,
       30,
       {Restriction, Up},
       0,
       25,
       {"Mode lamp: ATC", "ATC on", "ATC signal", "Restriction", "Step lamp: 100"}},
      {false,
       19,
       {Up},
       50,
       45,
       {"Mode lamp: ATC", "ATC on", "ATC signal", "ATC brake", "Step lamp: 45"}},
      {false,
       0,
       {Up},
       0,
       25,
       {"Mode lamp: ATC", "ATC on", "ATC brake", "Emergency brake", "Step lamp: no code"}},
      {false, 19, {Up, CutOut}, 80, 0, {"Mode lamp: ATC", "Cut-out"}},  // no limit yet
      {true, 0, {}, 40, 25, {"Mode lamp: ATS", "ATC on", "ATS running"}},
      {true, 19, {}, 0, 25, {"Mode lamp: ATS", "ATC on", "ATC signal", "ATS ready"}},
      {true, 0, {Down}, 0, 25, {"Mode lamp: restricted", "ATC on", "ATS ready"}},
      {true, 10, {Up}, 0, 120, {"Mode lamp: ATC", "ATC on", "ATS ready"}},
  };
  for (const Scene& scene : scenes) {
    StartRun(scene.useAts);
    SetSignal(scene.code);
    for (const int32_t key : scene.keys) {
      KeyDown(key);
    }
    RunFrame(scene.speedKmh), RunFrame(scene.speedKmh);
    std::map<int, int32_t> expected;
    for (const Row& row : PanelRows) {
      const std::vector<int> values = Numbers(row[2]);
      const bool lit =
          std::any_of(scene.lit.begin(), scene.lit.end(),
                      [&](const std::string& name) { return row[1].starts_with(name); });
      const int index = Numbers(row[0])[0];
      if ((scene.useAts || !row[3].starts_with("Only with")) && (lit || values.size() > 1)) {
        expected[index] = index == Display ? scene.limitKmh : lit ? values.back() : values[0];
      }
    }
    EXPECT_EQ(RunFrame(scene.speedKmh).Panel, expected) << scene.lit.back();
  }
}

// Every code from -3 to 45, the listed ones by their row and the others by
// "Any other code", in the first frame after the code, with the selector at ATC
// and at restricted, with and without Use120Signal. The sound slots are the
// only ones written; the chime's is the controller's to time.
TEST(GuideSignalCodeTable, EachCodeGivesItsLimitStepLampSectionBrakeAndSound) {
  std::map<int, Row> codes;
  for (const Row& row :
       GuideTable("| Signal code | Meaning | Limit in ATC, km/h | Step lamp | "
                  "ATC section | Emergency brake in ATC | Sound besides the chime |")) {
    codes[Numbers(row[0])[0]] = row;  // "Any other code" at -1
  }
  std::map<int, std::string> stepLamps;  // panel index to lamp name
  for (const Row& row : PanelRows) {
    if (row[1].starts_with("Step lamp")) {
      stepLamps[Numbers(row[0])[0]] = row[1];
    }
  }
  std::set<int> slots;
  for (const Row& row : SoundRows) {
    slots.insert(Numbers(row[0])[0]);
  }
  const int chime = Named(SoundRows, "ATC chime");
  for (const bool use120 : {false, true}) {
    for (const bool atAtc : {false, true}) {
      for (int32_t code = -3; code <= 45; ++code) {
        const Row& row = codes.contains(code) && code != -1 ? codes[code] : codes.at(-1);
        const std::vector<int> limits = Numbers(row[2]);
        const int limit =
            use120 && row[2].find("Use120Signal") != std::string::npos ? limits.back() : limits[0];
        const int lamp = Numbers(row[3])[0];
        StartRun(false, use120);
        KeyDown(atAtc ? Up : 0);
        SetSignal(code);
        Frame frame = RunFrame();
        SCOPED_TRACE(::testing::Message() << "code " << code << (atAtc ? " at ATC" : "")
                                          << (use120 ? ", 120" : "") << ": " << row[1]);
        EXPECT_EQ(frame.Panel[Display], atAtc ? limit : std::min(limit, 25));
        for (const auto& [index, name] : stepLamps) {
          EXPECT_EQ(frame.Panel[index], atAtc && index == lamp) << "step lamp " << index;
        }
        EXPECT_TRUE(lamp == -1 || stepLamps[lamp].find(std::to_string(limit)) != std::string::npos)
            << "the guide names step lamp " << lamp << " " << stepLamps[lamp];
        EXPECT_EQ(frame.Panel[Named(PanelRows, "ATC signal")], row[4] == "yes");
        EXPECT_EQ(frame.Out.Brake == 9, atAtc && row[5] == "yes");  // the emergency notch
        // The sound column names a slot, "110 unless at ATC", or none.
        const bool sounds = row[6] != "none" && !(atAtc && row[6].ends_with("unless at ATC"));
        std::map<int, int32_t> expected{{chime, frame.Sound[chime]}};
        for (const int slot : slots) {
          if (slot != chime) {
            expected[slot] = sounds && slot == Numbers(row[6])[0] ? SOUND_PLAY : SOUND_STOP;
          }
        }
        EXPECT_EQ(frame.Sound, expected);
      }
    }
  }
}

}  // namespace

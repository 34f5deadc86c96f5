// The guide's key, panel-index, sound-slot and signal-code tables (docs/cab.md,
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

#include "../exports_by_address.h"
#include "guide_text.h"
#include "module_records.h"

namespace {

using Row = std::vector<std::string>;

// The body rows of the one table in the guide whose header row starts with `header`.
std::vector<Row> GuideTable(const std::string& header) {
  std::vector<Row> rows;
  std::istringstream text(GuideText);
  bool inTable = false;
  for (std::string line; std::getline(text, line);) {
    const bool isHeader = line.starts_with(header);
    inTable = isHeader || (inTable && line.starts_with('|'));
    if (inTable && !isHeader && !line.starts_with("|-")) {
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

const std::vector<Row> Panel = GuideTable("| Panel index |"), Sounds = GuideTable("| Sound slot |"),
                       Keys = GuideTable("| Key index |"), Codes = GuideTable("| Signal code |");
const int32_t Up = Named(Keys, "Selector up"), Down = Named(Keys, "Selector down");
const int32_t Restriction = Named(Keys, "Restriction"), CutOut = Named(Keys, "Cut-out");
const int Display = Named(Panel, "Speed-limit display"), Chime = Named(Sounds, "ATC chime");

// A run started with the driver's brake released, keys pressed, a signal code
// given, then frames at one speed. The last frame writes the listed lamps lit,
// each other lamp the table lists dark ("0 or 1" rows read 0, a row whose only
// value is 1 is not written, rows "Only with `UseATS=1`" are not written
// without it), the limit on the display, and nothing else; it plays `sound`
// (-1: none) and the chime as the controller times it, and stops (in the first
// frame) or continues the other slots.
struct Scene {
  std::vector<int32_t> keys;
  int32_t code;
  float speedKmh;
  int limitKmh;
  std::set<int> lit;
  int frames = 3, sound = -1;
  bool useAts = false, use120 = false;
};

void ExpectWritten(const Scene& scene) {
  SCOPED_TRACE(::testing::Message() << "code " << scene.code << " after keys " << scene.keys[0]
                                    << ", " << scene.keys.back() << ", " << scene.frames
                                    << " frames, ATS " << scene.useAts << ", 120 " << scene.use120);
  const VehicleSpec spec{8};
  BindControllerReferences();
  SetVehicleSpec(&spec);
  Initialize(0);
  Module.Controller.UseAts = scene.useAts;
  Module.Controller.Use120Signal = scene.use120;
  Reset(Module.Controller, PowerOnReset);
  SetBrake(0);
  for (const int32_t key : scene.keys) {
    KeyDown(key);
  }
  SetSignal(scene.code);
  constexpr int32_t Unwritten = 0x5EED5EED;
  std::array<int32_t, PANEL_ARRAY_MIN_LENGTH> panel, panelWanted;
  std::array<int32_t, SOUND_ARRAY_MIN_LENGTH> sound, soundWanted;
  VehicleState state{};
  state.Speed = scene.speedKmh;
  for (int frame = 0; frame < scene.frames; ++frame) {
    panel.fill(Unwritten), sound.fill(Unwritten);
    Elapse(&state, panel.data(), sound.data());
  }
  panelWanted.fill(Unwritten), soundWanted.fill(Unwritten);
  for (const Row& row : Panel) {
    const std::vector<int> values = Numbers(row[2]);
    const int index = Numbers(row[0])[0];
    const bool lit = scene.lit.contains(index);
    if ((scene.useAts || !row[3].starts_with("Only with")) && (lit || values.size() > 1)) {
      panelWanted.at(index) = index == Display ? scene.limitKmh : lit ? values.back() : values[0];
    }
  }
  for (const Row& row : Sounds) {
    const int slot = Numbers(row[0])[0];
    soundWanted.at(slot) = slot == Chime         ? sound[Chime]
                           : slot == scene.sound ? SOUND_PLAY
                           : scene.frames == 1   ? SOUND_STOP
                                                 : SOUND_CONTINUE;
  }
  EXPECT_EQ(panel, panelWanted);
  EXPECT_EQ(sound, soundWanted);
}

// Every code from -3 to 45, the listed ones by their row and the others by
// "Any other code", in the first frame after it, in every selector position,
// with the restriction switch off and on, with and without UseATS and
// Use120Signal; then cab scenes at ATC three frames on.
TEST(GuideTables, StateWhatTheFramesWrite) {
  std::map<int, std::string> names;
  for (const Row& row : Panel) {
    names[Numbers(row[0])[0]] = row[1];
  }
  const auto lamp = [](const char* name) { return Named(Panel, name); };
  const int atc = lamp("Mode lamp: ATC"), on = lamp("ATC on"), signal = lamp("ATC signal");
  const int brake = lamp("ATC brake"), emergency = lamp("Emergency brake");
  // By selector position: restricted, ATS, ATC.
  const int modeLamps[] = {lamp("Mode lamp: restricted"), lamp("Mode lamp: ATS"), atc};
  for (int variant = 0; variant < 24; ++variant) {
    const bool useAts = variant & 1, use120 = variant & 2, restrict = variant & 4;
    const std::vector<int32_t> keys{std::array{0, Up, Down}[variant / 8],
                                    restrict ? Restriction : 0};
    const int32_t mode =
        std::array{useAts ? ModeAts : ModeRestricted, ModeAtc, ModeRestricted}[variant / 8];
    for (int32_t code = -3; code <= 45; ++code) {
      // "Any other code" is the last row.
      const Row& row = *std::find_if(Codes.begin(), Codes.end() - 1,
                                     [&](const Row& r) { return Numbers(r[0])[0] == code; });
      const std::vector<int> limits = Numbers(row[2]);
      const int limit = use120 ? limits.back() : limits[0];
      const int shown = restrict ? 25 : mode == ModeAtc ? limit : std::min(limit, 25);
      const int step = Numbers(row[3])[0];
      const bool plays =
          row[6] != "none" && !(mode == ModeAtc && row[6].ends_with("unless at ATC"));
      EXPECT_TRUE(step == -1 || names[step].find(std::to_string(limit)) != std::string::npos)
          << names[step];
      // -1 for a lamp that stays dark.
      const std::set<int> lit{
          modeLamps[mode],
          on,
          row[4] == "yes" ? signal : -1,
          mode == ModeAtc ? step : -1,
          mode == ModeAtc && !restrict && row[5] == "yes" ? emergency : -1,
          restrict ? lamp("Restriction") : -1,
          !useAts ? -1 : lamp(mode == ModeAts && row[4] == "no" ? "ATS running" : "ATS ready")};
      ExpectWritten(
          {keys, code, 0, shown, lit, 1, plays ? Numbers(row[6])[0] : -1, useAts, use120});
    }
  }
  for (const Scene& scene :
       {Scene{{Up}, 19, 50, 45, {atc, on, signal, brake, lamp("Step lamp: 45")}},
        Scene{{Up}, 0, 0, 25, {atc, on, brake, emergency, lamp("Step lamp: no code")}},
        Scene{{Up, CutOut}, 19, 80, 0, {atc, lamp("Cut-out")}}}) {  // no limit yet
    ExpectWritten(scene);
  }
}

}  // namespace

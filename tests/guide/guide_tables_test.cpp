// The guide's panel-index, sound-slot and signal-code tables (docs/cab.md,
// docs/atc.md) against the plug-in, driven through its exports as the
// simulator drives it. Each table is read from the embedded pages, so an edit of
// either side that the other does not follow fails here.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "exports.h"
#include "guide_text.h"
#include "module_records.h"

namespace {

using Row = std::vector<std::string>;

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
    text.remove_prefix(1);
  }
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
    text.remove_suffix(1);
  }
  return text;
}

// The body rows of the one table in the guide whose header row is `header`,
// split into trimmed cells, as many as the header has.
std::vector<Row> GuideTable(std::string_view header) {
  const size_t columns = static_cast<size_t>(std::count(header.begin(), header.end(), '|')) - 1;
  std::vector<Row> rows;
  int tables = 0;
  bool inTable = false;
  for (std::string_view text = GuideText; !text.empty();) {
    const size_t end = std::min(text.find('\n'), text.size());
    const std::string_view line = Trim(text.substr(0, end));
    text.remove_prefix(std::min(end + 1, text.size()));
    if (line == header) {
      ++tables;
      inTable = true;
    } else if (!inTable || !line.starts_with('|')) {
      inTable = false;
    } else if (line.find_first_not_of("|-: ") != std::string_view::npos) {  // not the rule
      Row cells;
      for (size_t bar = 0, next; (next = line.find('|', bar + 1)) != line.npos; bar = next) {
        cells.emplace_back(Trim(line.substr(bar + 1, next - bar - 1)));
      }
      EXPECT_EQ(cells.size(), columns) << line;
      cells.resize(columns);
      rows.push_back(std::move(cells));
    }
  }
  EXPECT_EQ(tables, 1) << "tables headed " << header;
  return rows;
}

// The whole numbers of a cell outside `code spans`: "110, or 120 with
// `Use120Signal=1`" holds 110 and 120.
std::vector<int> Numbers(const std::string& cell) {
  std::vector<int> numbers;
  bool inCode = false;
  for (size_t i = 0; i < cell.size(); ++i) {
    const bool digit = std::isdigit(static_cast<unsigned char>(cell[i])) != 0;
    inCode = inCode != (cell[i] == '`');
    if (digit && !inCode && (i == 0 || !std::isdigit(static_cast<unsigned char>(cell[i - 1])))) {
      numbers.push_back(std::atoi(cell.c_str() + i));
    }
  }
  return numbers;
}

int FirstNumber(const std::string& cell) {
  const std::vector<int> numbers = Numbers(cell);
  EXPECT_FALSE(numbers.empty()) << "no number in: " << cell;
  return numbers.empty() ? -1 : numbers.front();
}

// The index of the row whose name (second cell) starts with `name`.
int IndexNamed(const std::vector<Row>& rows, std::string_view name) {
  const auto named = [&](const Row& row) { return row[1].starts_with(name); };
  EXPECT_EQ(std::count_if(rows.begin(), rows.end(), named), 1) << "rows named " << name;
  const auto row = std::find_if(rows.begin(), rows.end(), named);
  return row == rows.end() ? -1 : FirstNumber((*row)[0]);
}

const std::vector<Row>& PanelRows() {
  static const std::vector<Row> rows =
      GuideTable("| Panel index | Lamp or display | Values | Lit or shown when |");
  return rows;
}
const std::vector<Row>& SoundRows() {
  static const std::vector<Row> rows =
      GuideTable("| Sound slot | Sound | Plays when | Should sound like |");
  return rows;
}
// The keys the guide gives for the controls, so that the runs below use them.
int32_t KeyFor(std::string_view control) {
  static const std::vector<Row> rows = GuideTable("| Key index | Control | What a press does |");
  return IndexNamed(rows, control);
}

// A run as the simulator makes it; panel and sound arrays start each frame
// filled with a value the plug-in never writes.
constexpr int32_t ServiceNotches = 8;
constexpr int32_t EmergencyNotch = ServiceNotches + 1;
constexpr int32_t Unwritten = 0x5EED5EED;
constexpr int RestrictedCapKmh = 25;

struct Frame {
  Handles Out{};
  std::array<int32_t, PANEL_ARRAY_MIN_LENGTH> Panel{};
  std::array<int32_t, SOUND_ARRAY_MIN_LENGTH> Sound{};
};

// The driver's brake is released. The two options are set as Initialize reads
// them from KELVRIN.ini, without an options file at run time.
void StartRun(bool useAts = false, bool use120Signal = false) {
  BindControllerReferences();  // a test program gets no loader notification
  Module.IniPath[0] = '\0';
  SetSignal(0);  // the previous run's code is forgotten
  const VehicleSpec spec{ServiceNotches};
  SetVehicleSpec(&spec);
  Initialize(0);
  Module.Controller.UseAts = useAts;
  Module.Controller.Use120Signal = use120Signal;
  Reset(Module.Controller, PowerOnReset);
  SetBrake(0);
}

Frame Drive(float speedKmh = 0.0f) {
  VehicleState state{};
  state.Speed = speedKmh;
  Frame frame;
  frame.Panel.fill(Unwritten);
  frame.Sound.fill(Unwritten);
  frame.Out = Elapse(&state, frame.Panel.data(), frame.Sound.data());
  return frame;
}

// A script step: what the driver or the track does, then one frame at the
// speed the last Speed step set.
enum class Do { Frame, Key, Signal, Speed, Brake };
struct Step {
  Do What;
  int32_t Arg = 0;
};

Frame Act(const Step& step, float& speedKmh) {
  switch (step.What) {
    case Do::Frame:
      break;
    case Do::Key:
      KeyDown(step.Arg);
      break;
    case Do::Signal:
      SetSignal(step.Arg);
      break;
    case Do::Speed:
      speedKmh = static_cast<float>(step.Arg);
      break;
    case Do::Brake:
      SetBrake(step.Arg);
      break;
  }
  return Drive(speedKmh);
}

// Panel table: cab scenes, each with the lamps lit (as the guide names them)
// and the limit shown three frames after its steps. A row with values "0 or 1"
// reads 1 when lit and 0 when dark; a row whose only value is 1 is unwritten
// when dark; rows "Only with `UseATS=1`" are unwritten without it; and every
// index the table does not list stays unwritten.
struct Scene {
  const char* What;
  bool UseAts;
  int LimitKmh;
  std::vector<Step> Steps;
  std::vector<std::string_view> Lit;
};

TEST(GuidePanelTable, ListsEveryIndexWrittenWithTheValuesItStates) {
  const Step up{Do::Key, KeyFor("Selector up")};
  const Step down{Do::Key, KeyFor("Selector down")};
  const Step restriction{Do::Key, KeyFor("Restriction switch")};
  const Step cutOut{Do::Key, KeyFor("Cut-out switch")};
  const Step code19{Do::Signal, 19};
  const Step frame{Do::Frame};
  // clang-format off
  const Scene scenes[] = {
      {"restricted", false, 25, {}, {"Mode lamp: restricted", "ATC on"}},
      {"ATC, code 19", false, 45, {code19, up},
       {"Mode lamp: ATC", "ATC on", "ATC signal", "Step lamp: 45"}},
      {"ATC, code 30, restriction", false, 25, {restriction, {Do::Signal, 30}, up},
       {"Mode lamp: ATC", "ATC on", "ATC signal", "Restriction", "Step lamp: 100"}},
      {"ATC, code 19, overspeed", false, 45, {code19, up, frame, frame, {Do::Speed, 50}},
       {"Mode lamp: ATC", "ATC on", "ATC signal", "ATC brake", "Step lamp: 45"}},
      {"ATC without a code", false, 25, {up},
       {"Mode lamp: ATC", "ATC on", "ATC brake", "Emergency brake", "Step lamp: no code"}},
      {"ATC, code 19, cut out", false, 45, {code19, up, frame, frame, cutOut, {Do::Speed, 80}},
       {"Mode lamp: ATC", "Cut-out"}},
      {"ATS, no code", true, 25, {{Do::Speed, 40}}, {"Mode lamp: ATS", "ATC on", "ATS running"}},
      {"ATS, code 19", true, 25, {code19}, {"Mode lamp: ATS", "ATC on", "ATC signal", "ATS ready"}},
      {"down from ATS", true, 25, {down}, {"Mode lamp: restricted", "ATC on", "ATS ready"}},
      {"ATC, code 10", true, 120, {{Do::Signal, 10}, up},
       {"Mode lamp: ATC", "ATC on", "ATS ready"}},
  };
  // clang-format on
  std::map<int, const Row*> listed;
  for (const Row& row : PanelRows()) {
    EXPECT_TRUE(listed.emplace(FirstNumber(row[0]), &row).second) << "twice: " << row[0];
  }
  const int display = IndexNamed(PanelRows(), "Speed-limit display");
  for (const Scene& scene : scenes) {
    SCOPED_TRACE(scene.What);
    for (const std::string_view lamp : scene.Lit) {
      IndexNamed(PanelRows(), lamp);  // names exactly one row
    }
    StartRun(scene.UseAts);
    float speedKmh = 0.0f;
    for (const Step& step : scene.Steps) {
      Act(step, speedKmh);
    }
    Act(frame, speedKmh);
    Act(frame, speedKmh);
    const std::array<int32_t, PANEL_ARRAY_MIN_LENGTH> panel = Act(frame, speedKmh).Panel;
    for (int index = 0; index < PANEL_ARRAY_MIN_LENGTH; ++index) {
      const auto row = listed.find(index);
      int32_t expected = Unwritten;
      if (row != listed.end() && (scene.UseAts || !row->second->at(3).starts_with("Only with"))) {
        const Row& cells = *row->second;
        const std::vector<int> values = Numbers(cells[2]);
        ASSERT_FALSE(values.empty()) << cells[2];
        const bool lit =
            std::any_of(scene.Lit.begin(), scene.Lit.end(),
                        [&](std::string_view name) { return cells[1].starts_with(name); });
        expected = index == display    ? scene.LimitKmh
                   : lit               ? values.back()
                   : values.size() > 1 ? values.front()
                                       : Unwritten;
        EXPECT_TRUE(expected == Unwritten ||
                    (expected >= values.front() && expected <= values.back()))
            << "panel " << index << " outside its stated values: " << expected;
      }
      EXPECT_EQ(panel[index], expected) << "panel " << index;
    }
  }
}

// Sound table: one run, step by step, with the sounds (as the guide names them)
// that play in the frame after each step. The listed slots are written in every
// frame: played, left alone, or stopped in a run's first frame. No other slot is.
TEST(GuideSoundTable, EachSlotPlaysWhenItsRowSays) {
  const int32_t up = KeyFor("Selector up");
  const int32_t cutOut = KeyFor("Cut-out switch");
  const std::pair<Step, std::vector<std::string_view>> script[] = {
      {{Do::Frame}, {"ATC chime"}},  // the first frame of a run brings the ATC brake,
      {{Do::Frame}, {"ATC chime"}},  // which releases at a standstill
      {{Do::Frame}, {}},
      {{Do::Signal, 19}, {"ATC chime", "ATC code prompt"}},  // an ATC code outside ATC
      {{Do::Signal, 19}, {"ATC code prompt"}},
      {{Do::Signal, 12}, {"ATC chime"}},
      {{Do::Signal, 5}, {"ATC chime"}},
      {{Do::Signal, 3}, {}},
      {{Do::Signal, 10}, {"ATC chime", "120 km/h code"}},
      {{Do::Key, up}, {}},
      {{Do::Signal, 10}, {"120 km/h code"}},
      {{Do::Signal, 19}, {"ATC chime"}},  // no prompt at ATC
      {{Do::Speed, 50}, {}},
      {{Do::Frame}, {"ATC chime"}},  // the ATC brake comes in
      {{Do::Speed, 40}, {}},
      {{Do::Frame}, {"ATC chime"}},  // and releases
      {{Do::Key, cutOut}, {"ATC chime"}},
      {{Do::Frame}, {}},
      {{Do::Key, cutOut}, {"ATC chime"}},
      {{Do::Frame}, {}},
      {{Do::Signal, 36}, {"ATC chime"}},
      {{Do::Frame}, {"ATC chime"}},  // the emergency brake latches
      {{Do::Frame}, {}},
      {{Do::Brake, EmergencyNotch}, {"ATC chime"}},  // and is released
  };
  std::map<int, std::string> slots;
  for (const Row& row : SoundRows()) {
    EXPECT_TRUE(slots.emplace(FirstNumber(row[0]), row[1]).second) << "twice: " << row[0];
  }
  for (const std::string_view name : {"ATC chime", "ATC code prompt", "120 km/h code"}) {
    EXPECT_EQ(std::count_if(slots.begin(), slots.end(), [&](auto& s) { return s.second == name; }),
              1)
        << "sound rows named " << name;
  }
  StartRun();
  float speedKmh = 0.0f;
  for (size_t step = 0; step < std::size(script); ++step) {
    const auto& [act, playing] = script[step];
    const Frame frame = Act(act, speedKmh);
    for (int slot = 0; slot < SOUND_ARRAY_MIN_LENGTH; ++slot) {
      int32_t expected = Unwritten;
      if (const auto row = slots.find(slot); row != slots.end()) {
        const bool plays = std::find(playing.begin(), playing.end(), row->second) != playing.end();
        expected = plays ? SOUND_PLAY : step == 0 ? SOUND_STOP : SOUND_CONTINUE;
      }
      EXPECT_EQ(frame.Sound[slot], expected) << "step " << step << ", slot " << slot;
    }
  }
}

// Signal-code table: every code from -3 to 45, the listed ones by their row and
// the others by "Any other code", in the run's first frame after the code, with
// the selector at ATC and at restricted, with and without Use120Signal.
TEST(GuideSignalCodeTable, EachCodeGivesItsLimitStepLampSectionAndEmergencyBrake) {
  const std::vector<Row> rows = GuideTable(
      "| Signal code | Meaning | Limit in ATC, km/h | Step lamp | ATC section | "
      "Emergency brake in ATC | Sound besides the chime |");
  std::map<int, const Row*> listed;
  const Row* other = nullptr;
  for (const Row& row : rows) {
    if (row[0] == "Any other code") {
      other = &row;
    } else {
      EXPECT_TRUE(listed.emplace(FirstNumber(row[0]), &row).second) << "twice: " << row[0];
    }
  }
  ASSERT_NE(other, nullptr) << "no row for any other code";
  std::map<int, std::string> stepLamps;  // panel index to lamp name
  for (const Row& row : PanelRows()) {
    if (row[1].starts_with("Step lamp")) {
      stepLamps.emplace(FirstNumber(row[0]), row[1]);
    }
  }
  const int display = IndexNamed(PanelRows(), "Speed-limit display");
  const int atcSignal = IndexNamed(PanelRows(), "ATC signal");
  for (const bool use120 : {false, true}) {
    for (const bool atAtc : {false, true}) {
      for (int32_t code = -3; code <= 45; ++code) {
        const Row& row = listed.contains(code) ? *listed.at(code) : *other;
        SCOPED_TRACE(::testing::Message()
                     << "code " << code << (atAtc ? " at ATC" : " restricted")
                     << (use120 ? ", Use120Signal=1" : "") << ": " << row[0] << " | " << row[1]);
        const std::vector<int> limits = Numbers(row[2]);
        ASSERT_FALSE(limits.empty()) << row[2];
        const int limitKmh =
            use120 && row[2].find("Use120Signal") != row[2].npos ? limits.back() : limits.front();
        const int lamp = row[3] == "none" ? -1 : FirstNumber(row[3]);
        StartRun(false, use120);
        if (atAtc) {
          KeyDown(KeyFor("Selector up"));
        }
        SetSignal(code);
        const Frame frame = Drive();
        EXPECT_EQ(frame.Panel.at(display), atAtc ? limitKmh : std::min(limitKmh, RestrictedCapKmh));
        for (const auto& [index, name] : stepLamps) {
          EXPECT_EQ(frame.Panel.at(index), atAtc && index == lamp ? 1 : 0) << "step lamp " << index;
        }
        if (lamp != -1) {
          ASSERT_TRUE(stepLamps.contains(lamp)) << "no step lamp " << lamp << " in the panel table";
          const std::vector<int> named = Numbers(stepLamps[lamp]);
          EXPECT_TRUE(std::find(named.begin(), named.end(), limitKmh) != named.end())
              << "cab.md names panel " << lamp << " \"" << stepLamps[lamp] << "\"";
        }
        EXPECT_EQ(frame.Panel.at(atcSignal), row[4] == "yes" ? 1 : 0);
        EXPECT_EQ(frame.Out.Brake == EmergencyNotch, atAtc && row[5] == "yes") << frame.Out.Brake;
        // The sound column names a slot, "110 unless at ATC", or none.
        const bool sounds = row[6] != "none" && !(atAtc && row[6].ends_with("unless at ATC"));
        for (const Row& sound : SoundRows()) {
          const int slot = FirstNumber(sound[0]);
          if (sound[1] != "ATC chime") {
            EXPECT_EQ(frame.Sound.at(slot) == SOUND_PLAY, sounds && slot == FirstNumber(row[6]))
                << "sound " << slot;
          }
        }
      }
    }
  }
}

}  // namespace

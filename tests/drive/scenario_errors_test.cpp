// A scenario that is not what the tool expects gives one message naming the
// line and what was expected, never a crash; the command then exits with 2.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "drive_command.h"
#include "scenario_parser.h"

namespace drive {
namespace {

constexpr const char* Train = "[train]\nservice_notches = 8\npower_notches = 5\n";

struct BadScenario {
  const char* Name;
  std::string Text;
  int Line;
  const char* Expected;  // part of the message
};

std::ostream& operator<<(std::ostream& out, const BadScenario& bad) {
  return out << bad.Name;
}

class MalformedScenario : public testing::TestWithParam<BadScenario> {};

TEST_P(MalformedScenario, GivesOneMessageWithItsLine) {
  const BadScenario& bad = GetParam();
  const ParsedScenario parsed = ParseScenarioText(bad.Text, "bad.toml");
  ASSERT_FALSE(parsed.Value.has_value());
  EXPECT_EQ(parsed.Error.Line, bad.Line) << parsed.Error.Message;
  EXPECT_NE(parsed.Error.Message.find(bad.Expected), std::string::npos) << parsed.Error.Message;
  EXPECT_EQ(
      FormatScenarioError(parsed.Error).rfind("bad.toml:" + std::to_string(bad.Line) + ":", 0), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MalformedScenario,
    testing::Values(
        BadScenario{"MissingTrain", "title = \"x\"\n[[event]]\ntime_s = 0\nsignal = 30\n", 1,
                    "missing [train]"},
        BadScenario{"MissingNotches", "[train]\nservice_notches = 8\n", 1, "power_notches"},
        BadScenario{"UnknownEventKey", std::string(Train) + "[[event]]\ntime_s = 0\nhorn = 1\n", 6,
                    "unknown key 'horn' in [[event]]"},
        BadScenario{"EventWithoutAction", std::string(Train) + "[[event]]\ntime_s = 3\n", 4,
                    "this event does nothing"},
        BadScenario{"EventWithoutTrigger", std::string(Train) + "[[event]]\nsignal = 30\n", 4,
                    "needs a trigger"},
        BadScenario{"TwoTriggers",
                    std::string(Train) + "[[event]]\ntime_s = 1\nposition_m = 5\nsignal = 3\n", 6,
                    "one trigger"},
        BadScenario{"NumberAsText", std::string(Train) + "[run]\nduration_s = \"long\"\n", 5,
                    "'duration_s' must be a number, not a string"},
        BadScenario{"NegativeDuration", std::string(Train) + "[run]\nduration_s = -5\n", 5,
                    "must be greater than 0"},
        BadScenario{"FractionalNotch", std::string(Train) + "[[event]]\ntime_s = 0\nbrake = 2.5\n",
                    6, "'brake' must be a whole number"},
        BadScenario{"NotchBeyondEmergency",
                    std::string(Train) + "[[event]]\ntime_s = 0\nbrake = 10\n", 6,
                    "between 0 and 9"},
        BadScenario{"UnknownKeyName",
                    std::string(Train) + "[[event]]\ntime_s = 0\nkey = \"mode_sideways\"\n", 6,
                    "unknown key name 'mode_sideways'"},
        BadScenario{"TimesOutOfOrder",
                    std::string(Train) +
                        "[[event]]\ntime_s = 10\nsignal = 30\n[[event]]\ntime_s = 5\nsignal = 25\n",
                    7, "events out of order: time_s = 5"},
        BadScenario{"PositionsOutOfOrder",
                    std::string(Train) + "[[event]]\nposition_m = 800\nsignal = 30\n"
                                         "[[event]]\ntime_s = 1\nkey = \"mode_up\"\n"
                                         "[[event]]\nposition_m = 300\nsignal = 25\n",
                    10, "events out of order: position_m = 300"},
        BadScenario{"SingleEventTable", std::string(Train) + "[event]\ntime_s = 0\nsignal = 3\n", 4,
                    "write each event under its own [[event]]"},
        BadScenario{"UnknownTable", std::string(Train) + "[trian]\nspeed = 3\n", 4,
                    "unknown key 'trian' in the scenario"},
        BadScenario{"OpenLoopWithoutProfile", std::string(Train) + "[run]\nloop = \"open\"\n", 4,
                    "needs a 'speed_profile'"},
        BadScenario{"NotToml", std::string(Train) + "[[event]]\ntime_s = = 3\n", 5,
                    "not valid TOML"}),
    [](const testing::TestParamInfo<BadScenario>& param) { return std::string(param.param.Name); });

// A path in the temporary folder that no other test run uses at the same time.
std::filesystem::path UniqueTemporary(const std::string& name) {
  static const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  return std::filesystem::temp_directory_path() / (std::to_string(stamp) + "_" + name);
}

// A file in the temporary folder for the length of one test.
struct TemporaryFile {
  TemporaryFile(const std::string& name, const std::string& text) : Path(UniqueTemporary(name)) {
    std::ofstream(Path, std::ios::binary) << text;
  }
  ~TemporaryFile() {
    std::error_code ignored;
    std::filesystem::remove(Path, ignored);
  }
  std::string Name() const { return Path.string(); }
  std::filesystem::path Path;
};

TEST(DriveCommand, MalformedScenarioExitsWithTwoAndTheMessage) {
  const TemporaryFile bad("drive_bad_scenario.toml",
                          std::string(Train) + "[run]\nframe_rate_hz = 0\n");
  const std::string path = bad.Name();
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(RunDriveCommand({path, "--plugin", KELVRIN_LIBRARY}, out, err), ExitBadInput);
  EXPECT_NE(err.str().find(path + ":5:"), std::string::npos) << err.str();
  EXPECT_NE(err.str().find("'frame_rate_hz' must be at least 1"), std::string::npos) << err.str();
  EXPECT_EQ(out.str(), "");
}

TEST(DriveCommand, MissingFileAndBadArgumentsExitWithTwo) {
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(RunDriveCommand({"/nonexistent/scenario.toml"}, out, err), ExitBadInput);
  EXPECT_NE(err.str().find("cannot open"), std::string::npos);
  EXPECT_EQ(RunDriveCommand({}, out, err), ExitBadInput);
  EXPECT_EQ(RunDriveCommand({"a.toml", "--axis", "speed"}, out, err), ExitBadInput);
  EXPECT_EQ(RunDriveCommand({"a.toml", "--frobnicate"}, out, err), ExitBadInput);
}

TEST(DriveCommand, LibraryThatIsNotThePluginExitsWithThree) {
  const TemporaryFile scenario("drive_good_scenario.toml", Train);
  const TemporaryFile notLibrary("drive_not_a_library.so", "plain text");
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(RunDriveCommand({scenario.Name(), "--plugin", notLibrary.Name()}, out, err),
            ExitPluginFailed);
  EXPECT_NE(err.str().find("cannot load"), std::string::npos) << err.str();
}

TEST(DriveCommand, RunWritesSummaryTraceAndChart) {
  const auto outDir = UniqueTemporary("drive_command_test_out");
  std::error_code ignored;
  std::filesystem::remove_all(outDir, ignored);
  std::ostringstream out;
  std::ostringstream err;
  const std::string scenario = std::string(KELVRIN_EXAMPLES_DIR) + "/rollback.toml";
  ASSERT_EQ(RunDriveCommand({scenario, "--plugin", KELVRIN_LIBRARY, "--out", outDir.string(),
                             "--frame-rate", "30"},
                            out, err),
            ExitOk)
      << err.str();
  EXPECT_NE(out.str().find("ATC interventions: 2"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("Chart    " + (outDir / "chart.svg").string()), std::string::npos);

  {
    std::ifstream trace(outDir / "trace.csv");
    std::string header;
    std::getline(trace, header);
    EXPECT_EQ(header.rfind("time_s,position_m,speed_kmh,limit_kmh,", 0), 0u);
    int rows = 0;
    for (std::string row; std::getline(trace, row);) {
      ++rows;
    }
    EXPECT_EQ(rows, 40 * 30 + 1);  // 30 Hz for 40 s, both ends included
  }
  {
    std::ifstream chart(outDir / "chart.svg");
    const std::string svg((std::istreambuf_iterator<char>(chart)),
                          std::istreambuf_iterator<char>());
    EXPECT_NE(svg.find("<svg xmlns=\"http://www.w3.org/2000/svg\""), std::string::npos);
    EXPECT_NE(svg.find("Rollback on a rising grade"), std::string::npos);
    EXPECT_NE(svg.rfind("</svg>"), std::string::npos);
  }
  std::filesystem::remove_all(outDir, ignored);
}

}  // namespace
}  // namespace drive

// A scenario that is not what the tool expects gives one message naming the
// file, the line and what was expected, never a crash; the command exits with
// 2 for bad input and 3 for a library that is not the plug-in. (The malformed
// files in malformed/ are run through the program itself by CMakeLists.txt.)
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "drive_command.h"
#include "scenario_parser.h"

namespace drive {
namespace {

constexpr const char* Train = "[train]\nservice_notches = 8\npower_notches = 5\n";

TEST(DriveScenario, MalformedScenarioGivesOneMessageWithItsFileAndLine) {
  const std::string train = Train;
  const struct {
    std::string Text;
    int Line;
    const char* Expected;  // part of the message
  } cases[] = {
      {"[train]\nservice_notches = 8\n", 1, "needs 'power_notches'"},
      {train + "[[event]]\ntime_s = 3\n", 4, "this event does nothing"},
      {train + "[[event]]\nsignal = 30\n", 4, "needs a trigger"},
      {train + "[[event]]\ntime_s = 1\nposition_m = 5\nsignal = 3\n", 6, "one trigger"},
      {train + "[event]\ntime_s = 0\nsignal = 3\n", 4, "under its own [[event]]"},
      {train + "[[event]]\ntime_s = = 3\n", 5, "not valid TOML"},
      // Times and positions are each in order, whatever comes between them.
      {train + "[[event]]\nposition_m = 800\nsignal = 30\n[[event]]\ntime_s = 1\nsignal = 25\n"
               "[[event]]\nposition_m = 300\nsignal = 25\n",
       10, "events out of order: position_m = 300"},
  };
  for (const auto& bad : cases) {
    SCOPED_TRACE(bad.Text);
    const ParsedScenario parsed = ParseScenarioText(bad.Text, "bad.toml");
    ASSERT_FALSE(parsed.Value.has_value());
    EXPECT_NE(parsed.Error.Message.find(bad.Expected), std::string::npos) << parsed.Error.Message;
    const std::string place = "bad.toml:" + std::to_string(bad.Line) + ":";
    EXPECT_EQ(FormatScenarioError(parsed.Error).rfind(place, 0), 0u) << parsed.Error.Line;
  }
}

// A folder in the build tree for one test's files.
std::filesystem::path FreshFolder(const std::string& name) {
  const std::filesystem::path folder = std::filesystem::path(DRIVE_TEST_OUT) / name;
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  return folder;
}

TEST(DriveCommand, BadInputExitsWithTwoAndALibraryThatIsNotThePluginWithThree) {
  const std::filesystem::path folder = FreshFolder("bad_input");
  const std::string scenario = (folder / "good.toml").string();
  const std::string notLibrary = (folder / "not.so").string();
  std::ofstream(scenario) << Train;
  std::ofstream(notLibrary) << "plain text";
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(RunDriveCommand({(folder / "none.toml").string()}, out, err), ExitBadInput);
  EXPECT_NE(err.str().find("cannot open"), std::string::npos) << err.str();
  EXPECT_EQ(RunDriveCommand({scenario, "--axis", "speed"}, out, err), ExitBadInput);
  EXPECT_EQ(RunDriveCommand({scenario, "--plugin", notLibrary}, out, err), ExitPluginFailed);
  EXPECT_NE(err.str().find("cannot load"), std::string::npos) << err.str();
  EXPECT_EQ(out.str(), "");
}

TEST(DriveCommand, RunWritesSummaryTraceAndChart) {
  const std::filesystem::path folder = FreshFolder("run");
  std::ostringstream out;
  std::ostringstream err;
  const std::string scenario = std::string(KELVRIN_EXAMPLES_DIR) + "/rollback.toml";
  ASSERT_EQ(RunDriveCommand({scenario, "--plugin", KELVRIN_LIBRARY, "--out", folder.string(),
                             "--frame-rate", "30"},
                            out, err),
            ExitOk)
      << err.str();
  EXPECT_NE(out.str().find("ATC interventions: 2"), std::string::npos) << out.str();
  std::ifstream trace(folder / "trace.csv");
  std::string row;
  std::getline(trace, row);
  EXPECT_EQ(row.rfind("time_s,position_m,speed_kmh,limit_kmh,", 0), 0u) << row;
  int rows = 0;
  for (; std::getline(trace, row); ++rows) {
  }
  EXPECT_EQ(rows, 40 * 30 + 1);  // 30 Hz for 40 s, both ends included
  std::ifstream chart(folder / "chart.svg");
  const std::string svg{std::istreambuf_iterator<char>(chart), std::istreambuf_iterator<char>()};
  EXPECT_NE(svg.find("<svg xmlns=\"http://www.w3.org/2000/svg\""), std::string::npos);
  EXPECT_NE(svg.find("Rollback on a rising grade"), std::string::npos);
  EXPECT_NE(svg.rfind("</svg>"), std::string::npos);
}

}  // namespace
}  // namespace drive

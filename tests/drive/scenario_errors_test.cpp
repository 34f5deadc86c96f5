// The command as a user meets it: a scenario that is not what the tool
// expects gives one message naming the file, the line and what was expected;
// usage and version exit with 0, bad arguments and unreadable files with 2
// and the system's reason, a library that is not the plug-in with 3; options
// files are read as the plug-in reads them; what the ATC will ignore is warned
// about; a run writes its summary, trace and page.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "drive_command.h"
#include "scenario_parser.h"

namespace drive {
namespace {

const std::string Train = "[train]\nservice_notches = 8\npower_notches = 5\n";

std::string Times(size_t count, const std::string& text) {
  std::string all;
  for (size_t k = 0; k < count; ++k) {
    all += text;
  }
  return all;
}

TEST(DriveScenario, MalformedScenarioGivesOneMessageWithItsFileAndLine) {
  const struct {
    std::string Text;
    int Line;
    const char* Expected;  // part of the message
  } cases[] = {
      {"title = \"no train\"\n", 1, "missing [train]"},
      {"[train]\nservice_notches = 8\n", 1, "needs 'power_notches'"},
      {"[train]\nservice_notches = 8\npower_notches = \"five\"\n", 3,
       "'power_notches' must be a whole number, not a string"},
      {Train + "[[event]]\ntime_s = 3\n", 4, "this event does nothing"},
      {Train + "[[event]]\ntime_s = 2\nwhistle = true\n", 6, "unknown key 'whistle' in [[event]]"},
      {Train + "[[event]]\nsignal = 30\n", 4, "needs a trigger"},
      {Train + "[[event]]\ntime_s = 1\nposition_m = 5\nsignal = 3\n", 6, "one trigger"},
      {Train + "[event]\ntime_s = 0\nsignal = 3\n", 4, "under its own [[event]]"},
      {Train + "[[event]]\ntime_s = = 3\n", 5, "not valid TOML"},
      {Train + "[driver]\nstyle = \"lazy\"\n", 5, "'style' must be \"scripted\" or \"follow\""},
      {Train + "[run]\nduration_s = 86401\n", 5, "at most 86400 (24 hours)"},
      {Train + "[[event]]\ntime_s = 1\nsignal = 3\nrepeats = 2\n", 4, "go together"},
      {Train + "[[event]]\ntime_s = 1\nsignal = 3\nrepeat_every_s = 9\nrepeat_every_m = 9\n", 8,
       "by time or by distance"},
      // Times and positions are each in order, whatever comes between them.
      {Train + "[[event]]\nposition_m = 800\nsignal = 30\n[[event]]\ntime_s = 1\nsignal = 25\n"
               "[[event]]\nposition_m = 300\nsignal = 25\n",
       10, "events out of order: position_m = 300"},
      {Train + "[[variant]]\nuse_atc = 1\n", 5,
       "'use_atc' in [[variant]]; expected one of: name, use_"},
      {Train + "[[variant]]\nini = \"\"\nuse_ats = true\n", 5, "cannot be combined"},
      {Train + "[[variant]]\nuse_ats = true\n[[variant]]\nname = \"UseATS=1\"\n", 6, "a second"},
      // Every number of the train, the track, the start and the run has its range; a
      // row for each kind of range (the fuzzer holds every number to its own).
      {Train + "acceleration_kmhps = 25\n", 4,
       "'acceleration_kmhps' must be greater than 0 and at most 20, not 25"},
      {Train + "rolling_resistance_kmhps = -0.1\n", 4,
       "'rolling_resistance_kmhps' must lie between 0 and 20"},
      {Train + "[track]\ngradients = [ { from_m = 2e7, permille = 1 } ]\n", 5,
       "'from_m' must lie between -10000000 and 10000000, not 20000000"},
      {Train + "[run]\nloop = \"open\"\nspeed_profile = [ [0, 1e30] ]\n", 6,
       "'speed_kmh' must lie between -400 and 400, not 1e+30"},
      {Train + "[[event]]\ntime_s = 86401\nsignal = 30\n", 5,
       "'time_s' must lie between 0 and 86400"},
      {Train + "[[event]]\ntime_s = 0\nsignal = 3\nrepeats = 2\nrepeat_every_s = 1e6\n", 8,
       "'repeat_every_s' must be greater than 0 and at most 86400"},
      {Train + "[[event]]\ntime_s = 0\nsignal = 3\nrepeats = 100000\nrepeat_every_s = 1\n", 7,
       "'repeats' must lie between 1 and 99999"},
      // What each firing of an event writes into the trace, and the firings, are bounded.
      {Train + "[[event]]\ntime_s = 0\nkey = [" + Times(9, "5,") + "]\n", 6,
       "at most 8 keys, not 9"},
      {Train + "[[event]]\ntime_s = 0\nsignal = 3\nlabel = \"" + Times(121, "\u00e9") + "\"\n", 7,
       "'label' must be at most 120 characters, not 121"},
      {Train + Times(2, "[[event]]\ntime_s = 0\nsignal = 3\nrepeats = 50000\nrepeat_every_s = 1\n"),
       9, "fire at most 100000 times in all"},
      {Train + Times(9, "[[variant]]\n"), 12, "at most 8 [[variant]] tables"},
      // One line, whatever the file quotes; the characters toml++ is handed moved take none.
      {Train + "[[variant]]\nuse_ats = tr\n", 5, "expected 'true', saw 'tr\\x0A'"},
      {Train + "title = \"\U000F00E9\"\n", 4, "from U+F0000 to U+FFFFF (private use)"},
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

std::string Write(const std::filesystem::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
  return path.string();
}

std::string Read(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Every part of expected, '|' between parts, is in text; a part after '!' is not.
void ExpectParts(const std::string& text, const std::string& expected) {
  for (size_t from = 0, to = 0; from < expected.size(); from = to + 1) {
    to = std::min(expected.find('|', from), expected.size());
    const bool no = expected[from] == '!';
    EXPECT_EQ(text.find(expected.substr(from + no, to - from - no)) > text.size(), no) << text;
  }
}

// Each row: the arguments ("FILE" stands for a file holding the row's text,
// if any: an options file or a scenario), the exit status and what must be
// printed. A scenario's warnings go to stderr and into the summary.
TEST(DriveCommand, ExitsAsDocumentedReadsOptionsFilesAsThePluginDoesWarnsAndWritesItsFiles) {
  const std::filesystem::path folder = std::filesystem::path(DRIVE_TEST_OUT) / "arguments";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  const std::string scenario = Write(folder / "good.toml", Train);
  const std::string notLibrary = Write(folder / "not.so", "plain text");
  const std::string file = (folder / "KELVRIN.ini").string();
  const std::vector<std::string> run = {"FILE", "--plugin", KELVRIN_LIBRARY, "--out",
                                        folder.string()};
  const std::vector<std::string> check = {"--check-ini", "FILE"};
  const std::vector<std::string> check6 = {"--check-ini=FILE", "--service-notches=6"};
  const std::string runs = Train + "[run]\nduration_s = 2\n[[event]]\n";
  const struct {
    std::vector<std::string> Args;
    std::string Text;
    int Status;
    std::string Expected;
  } cases[] = {
      {{"--help"}, "", ExitOk, "Usage: drive"},
      {{"--version"}, "", ExitOk, "drive " KELVRIN_VERSION "\n"},
      {{folder.string()}, "", ExitBadInput, "cannot open the scenario file: Is a directory"},
      {{scenario, "--frame-rate=0"}, "", ExitBadInput, "--frame-rate"},
      {{scenario, "--plugin", notLibrary},
       "",
       ExitPluginFailed,
       "drive: cannot load " + notLibrary + "|!kelvrin train"},
      {{"--service-notches", "6"}, "", ExitBadInput, "--check-ini"},
      {{"--check-ini=FILE"}, "", ExitBadInput, "KELVRIN.ini: No such file or directory"},
      {check, "[Settings]\nUse120Signal=1\n; note\nATCBrakeNotch = 7", ExitOk,
       "1 (on)    from the file, line 2|7         from the file, line 4"},
      {check, "[settings]\nUseATS=true\nATCBrakeNotch=four\nUse120Signal=1.5\nUseATC=1", 1,
       "0 (off)   default: value unreadable, 'true' reads as 0|10        default: value unreadable|"
       "line 4, '1.5' reads as 1|UseATS=true is not a plain|did you mean UseATS?|!ATCBrakeNotch=0"},
      {check, std::string("[\0S\0e\0t\0]\0", 10), 1, "default: section missing|UTF-16 without a"},
      {check, "[Setting]\nUseATS=1\n", 1, "no [Settings] section, but line 1: [Setting]"},
      {check6, "[Settings]\n# on\nUse120Signal=2147483648\nATCBrakeNotch=0", 1,
       "-2147483648 (on)  from the file|0 (off)           default: key missing|only ';'|"
       "8                 default: value out of range|is outside 1 to 8|low 32 bits and reads -2"},
      // --set replaces its key in the file's first [Settings] section (which a '[' line
      // without ']' does not end), or leaves it out; of a key set twice, the last counts.
      {{scenario, "--out", folder.string(), "--ini", "FILE", "--set", "ATCBrakeNotch=3", "--set",
        "atcbrakenotch=4", "--set", "UseATS=default", "--plugin", KELVRIN_LIBRARY},
       "[Settings]\n[note\nUseATS=1\nATCBrakeNotch=2\n",
       ExitOk,
       "from " + file +
           ", --set ATCBrakeNotch=3, --set ATCBrakeNotch=4, --set UseATS=default)|"
           "UseATS         0 (off)   default: key missing|"
           "ATCBrakeNotch  4         from the file, line 2"},
      {{"FILE"},
       std::string(5 << 20, '#'),
       ExitBadInput,
       "cannot open the scenario file: larger than 4 MB"},
      {check, "[Settings]\n" + Times(25, "x=1\n"), 1,
       "line 21: 'x' is not|!line 22: 'x'|5 more lines like these, not shown"},
      {{scenario, "--set", "UseATC=1"}, "", ExitBadInput, "--set UseATC=1: expected KEY=VALUE"},
      {{scenario, "--set", "UseATS=1\n[Other]"},
       "",
       ExitBadInput,
       "UseATS: the value holds a line break"},
      // toml++ reaches an unreachable point for an é after a line-ending backslash, unless moved.
      {run, "title = \"\"\"one \\\n  \u00e9t\u00e9\"\"\"\n" + runs + "time_s = 0\nsignal = 30\n",
       ExitOk, "one \u00e9t\u00e9\n"},
      {{scenario, "--from=9", "--to=9"}, "", ExitBadInput, "--from must be less than --to"},
      // A window without a frame of the run is refused, before the run where its time tells.
      {{scenario, "--from", "99999", "--plugin", KELVRIN_LIBRARY},
       "",
       ExitBadInput,
       "the page's window (--from 99999) holds no frame of the run, which spans 0.00 to 120.00 s"},
      {{scenario, "--axis=distance", "--from=5", "--plugin", KELVRIN_LIBRARY, "--out",
        folder.string()},
       "",
       ExitBadInput,
       "(--from 5) holds no frame of the run, which spans 0.00 to 0.00 m"},
      // A trace of gigabytes is warned about before the run; a notch beyond the train's named.
      {{"FILE", "--plugin", notLibrary},
       Train + "[run]\nduration_s = 86400\nframe_rate_hz = 1000\n",
       ExitPluginFailed,
       "warning: trace.csv will be about 8.6 GB (86400001 rows|--trace-rate 100 keeps it to about "
       "0.86 GB"},
      {{"FILE", "--plugin", KELVRIN_LIBRARY, "--out", (folder / "notch").string(), "--set",
        "ATCBrakeNotch=10000000"},
       runs + "time_s = 0\nsignal = 30\n",
       ExitOk,
       "drive: warning: the plug-in handed back brake notch 10000000 (EB+9999991) at|  the plug-in "
       "handed back"},
      {{"FILE", "--compare", "--set", "ATCBrakeNotch=4,UseATS=1", "--set", "ATCBrakeNotch=default",
        "--out", (folder / "sets").string(), "--plugin", KELVRIN_LIBRARY},
       runs + "time_s = 0\nsignal = 30\n[[event]]\ntime_s = 0.5\nkey = \"mode_up\"\n"
              "[[event]]\ntime_s = 1\nsignal = 25\n",
       ExitOk,
       "set 2  ATCBrakeNotch=default: interventions 1, drops 1|set 1 ATCBrakeNotch=4,UseATS=1:\n  "
       "Summary        " +
           (folder / "sets" / "ATCBrakeNotch_4_UseATS_1").string() + "|" +
           (folder / "sets" / "ATCBrakeNotch_default" / "report.html").string() +
           "|every set:\n  Interventions  " + (folder / "sets" / "interventions.csv").string()},
      {{"FILE", "--compare", "--plugin", KELVRIN_LIBRARY, "--out", (folder / "variants").string()},
       runs + "time_s = 0\nsignal = 30\n[[variant]]\nname = \"B 4\"\natc_brake_notch = 4\n"
              "[[variant]]\nuse_ats = true\natc_brake_notch = 7\n[[variant]]\natc_brake_notch = 7\n"
              "[[variant]]\nname = \"b_4\"\natc_brake_notch = 5\n",
       ExitOk,
       "set 1 B 4:\n  Summary|B_4|set 2 UseATS=1,ATCBrakeNotch=7:\n  "
       "Summary|UseATS_1_ATCBrakeNotch_7|"
       "set 3 ATCBrakeNotch=7:|set 4 b_4:\n  Summary        " +
           (folder / "variants" / "b_4_4").string()},
      // Each warning on stderr and in the summary, by the line of its event.
      {run,
       runs + "time_s = 0\nsignal = 45\n[[event]]\ntime_s = 0\nbeacon = { type = 600 }\n"
              "[[event]]\ntime_s = 1\nbeacon = { type = 600, parameter = 1 }\n[[event]]\n"
              "position_m = 500\nsignal = 30\n[start]\nspeed_kmh = 30",
       ExitOk,
       "drive: warning: line 6: aspect 45 carries no ATC code|  line 6: aspect 45 carries|"
       "warning: line 9: beacon type 600 without a parameter|  line 9: beacon type 600|"
       "warning: line 12: reset beacon ignored: the train was moving|  line 12: reset beacon|"
       "warning: line 15: event never fired (at 500 m): signal 30|  line 15: event never fired"},
      // The plug-in has seen the train at rest when the beacon comes.
      {run,
       Train + "[run]\nduration_s = 4\n[start]\nspeed_kmh = 10\nbrake = 8\n[[event]]\n"
               "stopped = true\nbeacon = { type = 600, parameter = 1 }\n",
       ExitOk, "reset beacon at standstill|!ignored"},
      {{std::string(KELVRIN_EXAMPLES_DIR) + "/rollback.toml", "--plugin=" KELVRIN_LIBRARY,
        "--out=" + (folder / "rollback").string(), "--frame-rate=30", "--trace-rate=10",
        "--axis=distance"},
       "",
       ExitOk,
       "closed loop at 30 Hz|emergency  EB  |rollback: 5."},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = c.Args;
    for (std::string& arg : args) {
      arg = arg.substr(0, arg.find("FILE")) + (arg.find("FILE") == std::string::npos ? "" : file);
    }
    SCOPED_TRACE(args[0] + " " + c.Text);
    std::filesystem::remove(file);
    if (!c.Text.empty()) {
      Write(file, c.Text);
    }
    std::ostringstream printed;  // both streams, run in-process
    EXPECT_EQ(RunDriveCommand(args, printed, printed), c.Status);
    ExpectParts(printed.str(), c.Expected);
  }
  // A notch a million times the train's is named on a page of the usual size.
  ExpectParts(Read(folder / "notch" / "report.html"), "beyond the train's notches");
  EXPECT_LT(std::filesystem::file_size(folder / "notch" / "report.html"), 1u << 20);
  // The last run's files: the causes in the trace, 10 rows a simulated second, the page.
  const std::string trace = Read(folder / "rollback" / "trace.csv");
  EXPECT_LT(trace.find(",intervention,cause,mode,"), trace.find('\n'));  // in the header
  EXPECT_NE(trace.find(",emergency,rollback: "), std::string::npos);
  EXPECT_EQ(std::count(trace.begin(), trace.end(), '\n'), 1 + 40 * 10 + 1);
  ExpectParts(Read(folder / "rollback" / "report.html"),
              "\"axis\":\"distance\"|\"rollback\"|\"restricted\"|</html>");
}

}  // namespace
}  // namespace drive

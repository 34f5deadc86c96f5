// A session in the cab, driven by a key script through the same input source
// the terminal feeds, must play again from its recording to the same trace,
// byte for byte: the person's moves are events of the one frame loop.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cab_session.h"
#include "drive_command.h"
#include "plugin_library.h"
#include "reports.h"
#include "run_analysis.h"
#include "scenario_parser.h"

namespace drive {
namespace {
namespace fs = std::filesystem;

struct KeysAt {
  int64_t Frame;
  std::string Keys;  // as typed; \x03 is Ctrl-C
};

struct Session {
  const char* Example;
  std::vector<KeysAt> Script;
  int64_t QuitFrame;  // the frame before which the run must end
};

void PrintTo(const Session& session, std::ostream* out) { *out << session.Example; }

std::string FileText(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

class CabReplay : public testing::TestWithParam<Session> {};

TEST_P(CabReplay, TheRecordingPlaysTheSameTrace) {
  const Session& session = GetParam();
  const fs::path dir = fs::path(DRIVE_TEST_OUT) / "cab" / session.Example;
  fs::remove_all(dir);
  fs::create_directories(dir / "cab");
  ParsedScenario parsed =
      ParseScenarioFile(std::string(KELVRIN_EXAMPLES_DIR) + "/" + session.Example + ".toml");
  ASSERT_TRUE(parsed.Value) << FormatScenarioError(parsed.Error);
  Scenario& setup = *parsed.Value;
  PrepareCabScenario(setup);
  CabSession cab = StartCabSession(setup);

  PluginCopy plugin;
  const PluginLoadResult loaded = LoadPlugin(KELVRIN_LIBRARY, setup.Options, plugin);
  ASSERT_TRUE(loaded.Ok) << loaded.Error;
  std::ofstream traceFile(dir / "cab" / "trace.csv", std::ios::binary);
  RunAnalyser analyser(setup, EmergencyNotchOf(setup.Train));
  TraceWriter trace(traceFile, setup, 0.0);
  size_t next = 0;
  const RunRecord record = RunScenario(
      setup, plugin.Module->Api(),
      [&](const FrameRecord& row, const RunRecord& sofar) {
        analyser.Add(row, sofar);
        trace.Add(row, sofar, analyser.CurrentCause());
        NoteCabFrame(cab, row, sofar, analyser.CurrentCause());
      },
      [&](int64_t frame, double nowS) {
        for (; next < session.Script.size() && session.Script[next].Frame == frame; ++next) {
          for (const char key : session.Script[next].Keys) {
            CabKey(cab, key);
          }
        }
        return TakeCabInput(cab, frame, nowS);
      });
  UnloadPlugin(plugin);
  traceFile.close();
  EXPECT_EQ(record.EndReason, RunEnd::Quit);
  EXPECT_EQ(record.FrameCount, static_cast<size_t>(session.QuitFrame));

  const fs::path recording = dir / "session.toml";
  std::ofstream(recording, std::ios::binary) << [&] {
    std::ostringstream text;
    WriteCabRecording(text, setup, record, session.Example);
    return text.str();
  }();
  std::ostringstream out;
  std::ostringstream err;
  ASSERT_EQ(RunDriveCommand({recording.string(), "--out", (dir / "replay").string(), "--quiet",
                             "--plugin", KELVRIN_LIBRARY},
                            out, err),
            ExitOk)
      << err.str();
  const std::string played = FileText(dir / "cab" / "trace.csv");
  EXPECT_EQ(std::count(played.begin(), played.end(), '\n'), session.QuitFrame + 1);  // and a header
  EXPECT_TRUE(played == FileText(dir / "replay" / "trace.csv"))
      << "the replay's trace differs from the session's";
}

// Selector, restriction and cut-out keys, every handle, pauses and time keys
// (which must leave no trace), over signals by position, a reset beacon, a
// rising grade and an open-loop profile.
INSTANTIATE_TEST_SUITE_P(
    Sessions, CabReplay,
    testing::Values(
        Session{"approach",
                {{3, "u"},
                 {10, "xxxxxxxxxaaaaa"},
                 {900, "zz+"},
                 {1800, "r"},
                 {2400, "s-"},
                 {3000, "e"},
                 {3300, "xxxxxxxxxp"},
                 {3301, "p"},
                 {3500, "q"}},
                3500},
        Session{"reset_beacon", {{5, "xa"}, {600, "dcc"}, {700, "nb"}, {1200, "\x03"}}, 1200},
        Session{"rollback", {{2, "uxxxxxxxxx"}, {400, "ff"}, {1500, "q"}}, 1500},
        Session{"open_loop", {{0, "q"}}, 2}),
    [](const testing::TestParamInfo<Session>& param) { return std::string(param.param.Example); });

}  // namespace
}  // namespace drive

// The library this build made (KELVRIN.so natively, KELVRIN.dll for x64 or x86
// under wine) as the host loads it: a copy in a train's folder of its own,
// options beside it or not, called through the addresses its names resolve to.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <functional>
#include <set>
#include <thread>
#include <tuple>
#include <vector>

#include "host_records.h"
#include "loaded_plugin.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t ServiceNotches = 8;  // emergency notch 9
constexpr int32_t KeyModeUp = 6;
constexpr int32_t TopStepAspect = 32;   // 110 km/h, 120 km/h with Use120Signal
constexpr float OverspeedKmh = 130.0f;  // above the top step either way
constexpr int32_t Unwritten = -777777;
constexpr int PanelAtsLamp = 33;
constexpr int PanelRestrictedLamp = 35;
constexpr int PanelLimitKmh = 72;

const fs::path Library = BuildPath(KELVRIN_LIBRARY_FILE);

struct Frame {
  std::array<int32_t, 4> Output;  // brake, power, reverser, auxiliary command
  std::array<int32_t, PANEL_ARRAY_MIN_LENGTH> Panel;
  std::array<int32_t, SOUND_ARRAY_MIN_LENGTH> Sound;
  bool operator==(const Frame&) const = default;
};
using Trace = std::vector<Frame>;

// Two runs of one load, as the host drives them: every name looked up, then
// start-up, a frame at a stand, the top step in the ATC position, and three
// frames far above its limit. `betweenCalls` runs after each Initialize and
// again before the overspeed.
Trace DriveTwoRuns(const LoadedPlugin& plugin, const std::function<void()>& betweenCalls) {
  for (const char* name : ENTRY_POINT_NAMES) {
    EXPECT_NE(plugin.Address(name), nullptr) << name;
  }
  EXPECT_EQ(plugin.Get<GetPluginVersionEntryPoint>("GetPluginVersion")(), 0x20000);
  const auto elapse = plugin.Get<ElapseEntryPoint>("Elapse");
  const auto keyDown = plugin.Get<KeyDownEntryPoint>("KeyDown");
  Trace trace;
  Frame frame{};
  frame.Panel.fill(Unwritten);
  frame.Sound.fill(Unwritten);
  const auto runFrame = [&](float speedKmh) {
    VehicleState state{};
    state.Speed = speedKmh;
    const Handles h = elapse(PassRecord(state), frame.Panel.data(), frame.Sound.data());
    frame.Output = {h.Brake, h.Power, h.Reverser, h.AuxiliaryCommand};
    trace.push_back(frame);
  };

  plugin.Get<SetVehicleSpecEntryPoint>("SetVehicleSpec")(PassRecord(VehicleSpec{ServiceNotches}));
  for (int run = 0; run < 2; ++run) {
    plugin.Get<InitializeEntryPoint>("Initialize")(0);
    betweenCalls();
    plugin.Get<SetBrakeEntryPoint>("SetBrake")(0);
    runFrame(0.0f);
    plugin.Get<SetSignalEntryPoint>("SetSignal")(TopStepAspect);
    keyDown(KeyModeUp);  // ATS to ATC, or restricted straight to ATC
    keyDown(KeyModeUp);
    runFrame(0.0f);
    betweenCalls();
    for (int i = 0; i < 3; ++i) {
      runFrame(OverspeedKmh);
    }
  }
  return trace;
}

// What the host sees of the options: the ATS position, the top step's limit
// (km/h) and the ATC brake notch.
using Options = std::tuple<bool, int32_t, int32_t>;

// The options as the five frames of the run from `first` show them.
Options ObservedOptions(const Trace& trace, size_t first) {
  const Frame& start = trace.at(first);
  const bool ats = start.Panel[PanelAtsLamp] == 1;
  const int32_t atcBrake = trace.at(first + 4).Output[0];
  EXPECT_NE(start.Panel[PanelAtsLamp], start.Panel[PanelRestrictedLamp]);
  // The first frame after Initialize brakes, except in the ATS position.
  EXPECT_EQ(start.Output[0], ats ? 0 : atcBrake);
  return {ats, trace.at(first + 1).Panel[PanelLimitKmh], atcBrake};
}

void NoCall() {}
void StartAndJoinThread() {
  std::thread([] {}).join();
}

struct OptionsCase {
  const char* Name;
  std::optional<std::string> IniText;  // none: no options file beside the library
  Options Expected;
};

class OptionsFile : public testing::TestWithParam<OptionsCase> {};

TEST_P(OptionsFile, ReadFromBesideTheLibraryAtInitialize) {
  TrainFolder folder(Library, GetParam().IniText);
  LoadedPlugin plugin(folder.Library());
  ASSERT_TRUE(plugin.Loaded()) << plugin.Error();
  EXPECT_EQ(ObservedOptions(DriveTwoRuns(plugin, NoCall), 0), GetParam().Expected);
}

constexpr char Configured[] = "[Settings]\nUse120Signal=1\nUseATS=1\nATCBrakeNotch=7\n";
constexpr Options Defaults(false, 110, ServiceNotches + 2);

INSTANTIATE_TEST_SUITE_P(
    LoadedLibrary, OptionsFile,
    testing::Values(OptionsCase{"NoFileGivesDefaults", std::nullopt, Defaults},
                    OptionsCase{"EmptySectionGivesDefaults", "[Settings]\n", Defaults},
                    OptionsCase{"ConfiguredValues", Configured, Options(true, 120, 7)},
                    OptionsCase{"NamesInAnyLetterCase",
                                "[settings]\nuse120SIGNAL=5\nUseAts=1\natcbrakenotch=7\n",
                                Options(true, 120, 7)},
                    OptionsCase{"ZeroMeansOff", "[SETTINGS]\nUSE120SIGNAL=0\nUSEATS=0\n", Defaults},
                    OptionsCase{"NotchBelowOneMeansDefault", "[Settings]\nATCBrakeNotch=0\n",
                                Defaults}),
    [](const testing::TestParamInfo<OptionsCase>& param) { return param.param.Name; });

// Under Windows the loader notifies the library of every thread that starts
// or ends while it is loaded. The notifications must leave the options file's
// path, the options and the controller as they were: a run with threads gives
// the host exactly what a run without them gives, and the second run's
// Initialize still finds the file.
TEST(LoadedLibrary, ThreadNotificationsChangeNothingTheHostSees) {
  TrainFolder folder(Library, Configured);
  Trace runs[2];
  for (const bool threads : {false, true}) {
    LoadedPlugin plugin(folder.Library());
    ASSERT_TRUE(plugin.Loaded()) << plugin.Error();
    runs[threads] = DriveTwoRuns(plugin, threads ? StartAndJoinThread : NoCall);
  }
  EXPECT_EQ(ObservedOptions(runs[1], 0), Options(true, 120, 7));
  EXPECT_EQ(ObservedOptions(runs[1], runs[1].size() / 2), Options(true, 120, 7));
  EXPECT_TRUE(runs[1] == runs[0]);
}

#ifndef _WIN32
// Library paths around the stand-in's fixed 260-byte buffers, UseATS=1 beside
// the copy: a path whose options file name fits is read, a longer one gives
// the defaults and nothing else.
class LongPath : public testing::TestWithParam<size_t> {};

TEST_P(LongPath, TooLongForTheBuffersGivesTheDefaults) {
  const size_t length = GetParam();
  const size_t fileLength = Library.filename().string().size();
  TrainFolder base(Library, std::nullopt);
  // Each level is a slash and a name; no name longer than the file system allows.
  fs::path folder = base.Folder();
  for (size_t missing = length - folder.string().size() - 1 - fileLength; missing > 0;) {
    const size_t nameLength = missing > 250 ? 150 : missing - 1;
    folder /= std::string(nameLength, 'd');
    missing -= nameLength + 1;
  }
  fs::create_directories(folder);
  fs::copy_file(Library, folder / Library.filename());
  std::ofstream(folder / "KELVRIN.ini") << "[Settings]\nUseATS=1\n";
  ASSERT_EQ((folder / Library.filename()).string().size(), length);

  LoadedPlugin plugin(folder / Library.filename());
  ASSERT_TRUE(plugin.Loaded()) << plugin.Error();
  // The module path, the folder and the options file's path each within their
  // buffers, the terminating zero included.
  const size_t folderLength = length - fileLength;
  const bool read =
      length < 260 && folderLength < 256 && folderLength + sizeof "KELVRIN.ini" <= 260;
  EXPECT_EQ(std::get<0>(ObservedOptions(DriveTwoRuns(plugin, NoCall), 0)), read);
}

INSTANTIATE_TEST_SUITE_P(Lengths, LongPath, testing::Values(258u, 259u, 260u, 300u, 600u));

TEST(LoadedLibrary, DynamicSymbolTableHoldsExactlyTheSixteenEntryPoints) {
  const std::string command =
      KELVRIN_NM " -D --defined-only --format=posix '" + Library.string() + "'";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::set<std::string> names;
  for (char line[512]; std::fgets(line, sizeof line, pipe) != nullptr;) {
    names.insert(std::string(line).substr(0, std::string(line).find(' ')));
  }
  ASSERT_EQ(pclose(pipe), 0) << command;
  EXPECT_EQ(names, std::set<std::string>(ENTRY_POINT_NAMES.begin(), ENTRY_POINT_NAMES.end()));
}
#endif

}  // namespace

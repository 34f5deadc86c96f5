// The library this build made (KELVRIN.so natively, KELVRIN.dll for x64 or x86
// under wine) as the host loads it: a copy in a train's folder of its own,
// options beside it or not, called through the addresses its names resolve to.
// KELVRIN_DLL in the environment points the suite at another copy, such as one
// unpacked from the release zip.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <set>
#include <thread>
#include <tuple>
#include <vector>

#include "build_path.h"
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

const fs::path Library =
    BuildPath(std::getenv("KELVRIN_DLL") ? std::getenv("KELVRIN_DLL") : KELVRIN_LIBRARY_FILE);

struct Frame {
  std::array<int32_t, 4> Output;  // brake, power, reverser, auxiliary command
  std::array<int32_t, PANEL_ARRAY_MIN_LENGTH> Panel;
  std::array<int32_t, SOUND_ARRAY_MIN_LENGTH> Sound;
  bool operator==(const Frame&) const = default;
};
using Trace = std::vector<Frame>;

// Two runs of one load (every name resolved), as the host drives them:
// start-up, a frame at a stand, the top step in the ATC position, and three
// frames far above its limit. `betweenCalls` runs after each Initialize and
// again before the overspeed.
Trace DriveTwoRuns(const LoadedPlugin& plugin, const std::function<void()>& betweenCalls) {
  const PluginEntryPoints& api = plugin.Api();
  EXPECT_EQ(api.GetPluginVersion(), 0x20000);
  Trace trace;
  Frame frame{};
  frame.Panel.fill(Unwritten);
  frame.Sound.fill(Unwritten);
  const auto runFrame = [&](float speedKmh) {
    VehicleState state{};
    state.Speed = speedKmh;
    const Handles h = api.Elapse(PassRecord(state), frame.Panel.data(), frame.Sound.data());
    frame.Output = {h.Brake, h.Power, h.Reverser, h.AuxiliaryCommand};
    trace.push_back(frame);
  };

  api.SetVehicleSpec(PassRecord(VehicleSpec{ServiceNotches}));
  for (int run = 0; run < 2; ++run) {
    api.Initialize(0);
    betweenCalls();
    api.SetBrake(0);
    runFrame(0.0f);
    api.SetSignal(TopStepAspect);
    // ATS to ATC, or restricted straight to ATC.
    api.KeyDown(KeyModeUp);
    api.KeyDown(KeyModeUp);
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
  const char8_t* Folder = u8"";  // below the train's folder
};

class OptionsFile : public testing::TestWithParam<OptionsCase> {};

TEST_P(OptionsFile, ReadFromBesideTheLibraryAtInitialize) {
  ScopedTrainFolder folder(Library, GetParam().IniText, fs::path(GetParam().Folder));
  LoadedPlugin plugin(folder.Library());
  ASSERT_TRUE(plugin.Loaded()) << plugin.Error();
  EXPECT_EQ(ObservedOptions(DriveTwoRuns(plugin, NoCall), 0), GetParam().Expected);
}

constexpr char Configured[] = "[Settings]\nUse120Signal=1\nUseATS=1\nATCBrakeNotch=7\n";
constexpr Options Defaults(false, 110, ServiceNotches + 2);
constexpr Options ConfiguredValues(true, 120, 7);
// The deep folder takes more than 260 bytes in UTF-8, beyond the native
// stand-in's buffers, and fewer than the 260 characters Windows allows in UTF-16.
#ifdef _WIN32
constexpr Options DeepFolder = ConfiguredValues;
#else
constexpr Options DeepFolder = Defaults;
#endif

INSTANTIATE_TEST_SUITE_P(
    LoadedLibrary, OptionsFile,
    testing::Values(
        OptionsCase{"NoFileGivesDefaults", std::nullopt, Defaults},
        OptionsCase{"ConfiguredValues", Configured, ConfiguredValues},
        OptionsCase{"NamesInAnyLetterCase",
                    "[settings]\nuse120SIGNAL=5\nUseAts=1\natcbrakenotch=7\n", ConfiguredValues},
        OptionsCase{"NotchBelowOneMeansDefault", "[Settings]\nATCBrakeNotch=0\n", Defaults},
        OptionsCase{"NegativeNotchMeansDefault", "[Settings]\nATCBrakeNotch=-3\n", Defaults},
        // Folders named in any script, whatever the ANSI code page.
        OptionsCase{"Latin1Accents", Configured, ConfiguredValues, u8"Zürich Gare Lyon-Perrache"},
        OptionsCase{"Japanese", Configured, ConfiguredValues, u8"列車 フォルダ"},
        OptionsCase{"Cyrillic", Configured, ConfiguredValues, u8"Поезд №7"},
        OptionsCase{"Emoji", Configured, ConfiguredValues, u8"🚆 Express"},
        OptionsCase{"DeepJapanese", Configured, DeepFolder,
                    u8"東海道本線の列車フォルダ/東海道本線の列車フォルダ/東海道本線の列車フォルダ/"
                    u8"東海道本線の列車フォルダ/東海道本線の列車フォルダ/東海道本線の列車フォルダ/"
                    u8"東海道本線の列車フォルダ/東海道本線の列車フォルダ"}),
    [](const testing::TestParamInfo<OptionsCase>& param) { return param.param.Name; });

// Under Windows the loader notifies the library of every thread that starts
// or ends while it is loaded. The notifications must leave the options file's
// path, the options and the controller as they were: a run with threads gives
// the host exactly what a run without them gives, and the second run's
// Initialize still finds the file.
TEST(LoadedLibrary, ThreadNotificationsChangeNothingTheHostSees) {
  ScopedTrainFolder folder(Library, Configured);
  Trace runs[2];
  for (const bool threads : {false, true}) {
    LoadedPlugin plugin(folder.Library());
    ASSERT_TRUE(plugin.Loaded()) << plugin.Error();
    runs[threads] = DriveTwoRuns(plugin, threads ? StartAndJoinThread : NoCall);
  }
  EXPECT_TRUE(runs[1] == runs[0]);
  EXPECT_EQ(ObservedOptions(runs[1], runs[1].size() / 2), ConfiguredValues);
}

// The folder (a blank in its name) goes with the test; a library without the
// sixteen names is refused with all of them named.
TEST(LoadedLibrary, LoaderRemovesItsFolderAndNamesWhatALibraryLacks) {
  const fs::path below(u8"列車 フォルダ");
  fs::path root;
  {
    ScopedTrainFolder folder(Library, Configured, below);
    root = folder.Library().parent_path().parent_path();
    EXPECT_NE(root.filename().string().find(' '), std::string::npos) << root;
    EXPECT_TRUE(fs::is_regular_file(root / below / "KELVRIN.ini"));
  }
  EXPECT_FALSE(fs::exists(root));
#ifdef _WIN32
  const std::string otherName = "kernel32.dll";
#else
  const std::string otherName = "libm.so.6";
#endif
  const LoadedPlugin other(otherName);
  std::string all;
  for (const char* name : ENTRY_POINT_NAMES) {
    all += (all.empty() ? "" : ", ") + std::string(name);
  }
  EXPECT_EQ(other.Error(), otherName + " lacks the entry points " + all);
}

#ifdef _WIN32
// Read back as Explorer reads it, from the strings and the fixed part.
TEST(LoadedLibrary, VersionResourceCarriesTheProjectVersion) {
  const std::wstring dll = Library.wstring();
  std::vector<char> block(GetFileVersionInfoSizeW(dll.c_str(), nullptr));
  ASSERT_FALSE(block.empty());
  ASSERT_TRUE(GetFileVersionInfoW(dll.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
  const auto value = [&](const std::wstring& name) {
    wchar_t* text = nullptr;
    UINT length = 0;
    const std::wstring key = L"\\StringFileInfo\\040904B0\\" + name;
    const bool found =
        VerQueryValueW(block.data(), key.c_str(), reinterpret_cast<void**>(&text), &length);
    return std::wstring(found && length > 0 ? text : L"(none)");
  };
  EXPECT_EQ(value(L"FileVersion"), KELVRIN_VERSION);
  EXPECT_EQ(value(L"ProductVersion"), KELVRIN_VERSION);
  EXPECT_EQ(value(L"OriginalFilename"), L"KELVRIN.dll");
  EXPECT_NE(value(L"FileDescription").find(std::to_wstring(8 * sizeof(void*)) + L"-bit"),
            std::wstring::npos);

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT size = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
  const WORD words[] = {KELVRIN_VERSION_WORDS};  // major, minor, patch, build 0
  EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(words[1], words[0]));
  EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(words[3], words[2]));
}
#else
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

// The built KELVRIN.dll as a host meets it: copied into a train's folder of its
// own, loaded by the Windows loader and called through the addresses that
// GetProcAddress returns. The module path, the profile reader and the thread
// notifications are the platform's own here, not the native build's stand-ins.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "exports.h"
#include "host_records.h"

namespace {

constexpr int32_t ServiceNotches = 8;  // emergency notch 9
constexpr int32_t DefaultAtcBrakeNotch = ServiceNotches + 2;
constexpr int32_t KeyModeUp = 6;
constexpr int32_t TopStepAspect = 32;   // 110 km/h, 120 km/h with Use120Signal
constexpr float OverspeedKmh = 130.0f;  // above the top step either way
constexpr int PanelAtsLamp = 33;
constexpr int PanelRestrictedLamp = 35;
constexpr int PanelLimitKmh = 72;

constexpr std::array<const char*, 16> ExportNames = {
    "Load",     "Dispose",   "GetPluginVersion", "SetVehicleSpec", "Initialize", "Elapse",
    "SetPower", "SetBrake",  "SetReverser",      "KeyDown",        "KeyUp",      "HornBlow",
    "DoorOpen", "DoorClose", "SetSignal",        "SetBeaconData"};

// The build passes the library's path as the build machine writes it; under
// wine the Unix root is drive Z:.
std::string WindowsPath(std::string path) {
  if (!path.empty() && path[0] == '/') {
    path.insert(0, "Z:");
  }
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

// A train's folder in the temp folder with the library in it and, when given,
// the options file beside it. The blank in the name is as common in real
// train folders as it is unwelcome to path code.
class TrainFolder {
 public:
  explicit TrainFolder(const char* iniText) {
    static int count = 0;
    char temp[MAX_PATH];
    const DWORD length = GetTempPathA(MAX_PATH, temp);
    EXPECT_TRUE(length > 0 && length < MAX_PATH);
    dir_ = std::string(temp) + "kelvrin train " + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(++count);
    EXPECT_TRUE(CreateDirectoryA(dir_.c_str(), nullptr)) << dir_;
    dll_ = dir_ + "\\KELVRIN.dll";
    EXPECT_TRUE(CopyFileA(WindowsPath(KELVRIN_DLL_PATH).c_str(), dll_.c_str(), FALSE))
        << KELVRIN_DLL_PATH;
    if (iniText != nullptr) {
      std::ofstream(dir_ + "\\KELVRIN.ini") << iniText;
    }
  }
  ~TrainFolder() {
    DeleteFileA((dir_ + "\\KELVRIN.ini").c_str());
    DeleteFileA(dll_.c_str());
    RemoveDirectoryA(dir_.c_str());
  }
  TrainFolder(const TrainFolder&) = delete;
  TrainFolder& operator=(const TrainFolder&) = delete;

  const std::string& DllPath() const { return dll_; }

 private:
  std::string dir_;
  std::string dll_;
};

template <typename Function>
Function Resolve(HMODULE module, const char* name) {
  // Through the generic function pointer type: FARPROC to a typed pointer is
  // what GetProcAddress is for.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// The library loaded for one run and unloaded after it, so every run starts
// from the state of a fresh load.
class LoadedPlugin {
 public:
  explicit LoadedPlugin(const std::string& path) : module_(LoadLibraryA(path.c_str())) {}
  ~LoadedPlugin() {
    if (module_ != nullptr) {
      FreeLibrary(module_);
    }
  }
  LoadedPlugin(const LoadedPlugin&) = delete;
  LoadedPlugin& operator=(const LoadedPlugin&) = delete;

  HMODULE Module() const { return module_; }

 private:
  HMODULE module_;
};

struct Frame {
  std::array<int32_t, 4> Output;  // brake, power, reverser, auxiliary command
  std::array<int32_t, PANEL_ARRAY_MIN_LENGTH> Panel;
  std::array<int32_t, SOUND_ARRAY_MIN_LENGTH> Sound;
  bool operator==(const Frame&) const = default;
};
using Trace = std::vector<Frame>;

// Two runs of the same plug-in, as the host drives them: start-up, a frame at
// a stand, the top ATC step in the ATC position, then far above its limit.
// `betweenCalls` runs after each Initialize and again before the overspeed.
Trace DriveTwoRuns(HMODULE module, const std::function<void()>& betweenCalls) {
  const auto setVehicleSpec = Resolve<decltype(&SetVehicleSpec)>(module, "SetVehicleSpec");
  const auto initialize = Resolve<decltype(&Initialize)>(module, "Initialize");
  const auto setBrake = Resolve<decltype(&SetBrake)>(module, "SetBrake");
  const auto keyDown = Resolve<decltype(&KeyDown)>(module, "KeyDown");
  const auto setSignal = Resolve<decltype(&SetSignal)>(module, "SetSignal");
  const auto elapse = Resolve<decltype(&Elapse)>(module, "Elapse");

  Trace trace;
  Frame frame{};
  frame.Panel.fill(-1);
  frame.Sound.fill(-1);
  const auto runFrame = [&](float speedKmh) {
    VehicleState state{};
    state.Speed = speedKmh;
    const Handles h = elapse(&state, frame.Panel.data(), frame.Sound.data());
    frame.Output = {h.Brake, h.Power, h.Reverser, h.AuxiliaryCommand};
    trace.push_back(frame);
  };

  const VehicleSpec spec{ServiceNotches};
  setVehicleSpec(&spec);
  for (int run = 0; run < 2; ++run) {
    initialize(0);
    betweenCalls();
    setBrake(0);
    runFrame(0.0f);
    setSignal(TopStepAspect);
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

struct Options {
  bool AtsPosition;
  int32_t TopStepLimitKmh;
  int32_t AtcBrakeNotch;
  bool operator==(const Options&) const = default;
};

// What the host sees of the options in the frames of one run.
Options ObservedOptions(const Trace& trace, size_t firstFrame) {
  const Frame& start = trace.at(firstFrame);
  EXPECT_NE(start.Panel[PanelAtsLamp], start.Panel[PanelRestrictedLamp]);
  return {start.Panel[PanelAtsLamp] == 1, trace.at(firstFrame + 1).Panel[PanelLimitKmh],
          trace.at(firstFrame + 4).Output[0]};
}

void PrintTo(const Options& o, std::ostream* os) {
  *os << "{ATS " << o.AtsPosition << ", top step " << o.TopStepLimitKmh << " km/h, ATC brake "
      << o.AtcBrakeNotch << "}";
}

void NoCall() {}

// A thread that starts and ends: the loader notifies the library on it.
void StartAndJoinThread() {
  const HANDLE thread = CreateThread(
      nullptr, 0, [](LPVOID) -> DWORD { return 0; }, nullptr, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
  CloseHandle(thread);
}

constexpr char ConfiguredOptions[] = "[Settings]\nUse120Signal=1\nUseATS=1\nATCBrakeNotch=7\n";

TEST(KelvrinDll, ExportsEveryEntryPointTheHostLooksUp) {
  TrainFolder folder(nullptr);
  LoadedPlugin plugin(folder.DllPath());
  ASSERT_NE(plugin.Module(), nullptr) << "LoadLibraryA failed: " << GetLastError();
  for (const char* name : ExportNames) {
    EXPECT_NE(GetProcAddress(plugin.Module(), name), nullptr) << name;
  }
  EXPECT_EQ(Resolve<decltype(&GetPluginVersion)>(plugin.Module(), "GetPluginVersion")(), 0x20000);
}

struct OptionsCase {
  const char* Name;
  const char* IniText;  // null: no options file beside the library
  Options Expected;
};

void PrintTo(const OptionsCase& c, std::ostream* os) { *os << c.Name; }

class OptionsFile : public testing::TestWithParam<OptionsCase> {};

TEST_P(OptionsFile, ReadFromBesideTheLibraryAtInitialize) {
  TrainFolder folder(GetParam().IniText);
  LoadedPlugin plugin(folder.DllPath());
  ASSERT_NE(plugin.Module(), nullptr) << "LoadLibraryA failed: " << GetLastError();
  const Trace trace = DriveTwoRuns(plugin.Module(), NoCall);
  EXPECT_EQ(ObservedOptions(trace, 0), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    KelvrinDll, OptionsFile,
    testing::Values(OptionsCase{"NoFileGivesDefaults", nullptr, {false, 110, DefaultAtcBrakeNotch}},
                    OptionsCase{"EmptySectionGivesDefaults",
                                "[Settings]\n",
                                {false, 110, DefaultAtcBrakeNotch}},
                    OptionsCase{"ConfiguredValues", ConfiguredOptions, {true, 120, 7}},
                    OptionsCase{"NamesInAnyLetterCase",
                                "[settings]\nuse120SIGNAL=5\nUseAts=1\natcbrakenotch=7\n",
                                {true, 120, 7}},
                    OptionsCase{"ZeroMeansOff",
                                "[SETTINGS]\nUSE120SIGNAL=0\nUSEATS=0\n",
                                {false, 110, DefaultAtcBrakeNotch}}),
    [](const testing::TestParamInfo<OptionsCase>& param) { return param.param.Name; });

// The loader notifies the library of every thread that starts or ends while
// it is loaded. Those notifications must leave the options file's path, the
// options and the controller as they were: the run with threads gives the
// host exactly what the run without them gives, and the second run's
// Initialize still finds the file.
TEST(KelvrinDll, ThreadNotificationsChangeNothingTheHostSees) {
  TrainFolder folder(ConfiguredOptions);
  Trace quiet;
  {
    LoadedPlugin plugin(folder.DllPath());
    ASSERT_NE(plugin.Module(), nullptr) << "LoadLibraryA failed: " << GetLastError();
    quiet = DriveTwoRuns(plugin.Module(), NoCall);
  }
  Trace withThreads;
  {
    LoadedPlugin plugin(folder.DllPath());
    ASSERT_NE(plugin.Module(), nullptr) << "LoadLibraryA failed: " << GetLastError();
    withThreads = DriveTwoRuns(plugin.Module(), StartAndJoinThread);
  }
  const Options configured{true, 120, 7};
  EXPECT_EQ(ObservedOptions(withThreads, 0), configured);
  EXPECT_EQ(ObservedOptions(withThreads, withThreads.size() / 2), configured);
  ASSERT_EQ(withThreads.size(), quiet.size());
  for (size_t i = 0; i < quiet.size(); ++i) {
    EXPECT_TRUE(withThreads[i] == quiet[i]) << "frame " << i;
  }
}

}  // namespace

// The built library loaded as the host loads it: a copy in a fresh folder,
// opened by path, its sixteen entry points looked up by name. Each copy is a
// new load, so each test starts from a freshly loaded module.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <set>
#include <string>

#include "exports.h"

namespace {

namespace fs = std::filesystem;

constexpr std::array<const char*, 16> EntryPointNames = {
    "Load",     "Dispose",   "GetPluginVersion", "SetVehicleSpec", "Initialize", "Elapse",
    "SetPower", "SetBrake",  "SetReverser",      "KeyDown",        "KeyUp",      "HornBlow",
    "DoorOpen", "DoorClose", "SetSignal",        "SetBeaconData"};

constexpr int32_t Unwritten = -777777;

struct RowName {
  template <typename Row>
  std::string operator()(const ::testing::TestParamInfo<Row>& row) const {
    return row.param.name;
  }
};

class LoadedLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("kelvrin_lib_") + info->name();
    std::replace(name.begin(), name.end(), '/', '_');
    folder_ = fs::canonical(fs::temp_directory_path()) /
              (name + "_" + std::to_string(std::random_device{}()));
    fs::create_directories(folder_);
  }

  void TearDown() override {
    if (handle_ != nullptr) {
      EXPECT_EQ(dlclose(handle_), 0);
    }
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  // Copies the library into the folder, with the given options beside it.
  fs::path Install(const fs::path& folder, const std::optional<std::string>& ini) {
    fs::create_directories(folder);
    const fs::path library = folder / fs::path(KELVRIN_LIBRARY_FILE).filename();
    fs::copy_file(KELVRIN_LIBRARY_FILE, library);
    if (ini) {
      std::ofstream(folder / "KELVRIN.ini", std::ios::binary) << *ini;
    }
    return library;
  }

  template <typename Function>
  void Resolve(const char* name, Function*& entry) {
    entry = reinterpret_cast<Function*>(dlsym(handle_, name));
    ASSERT_NE(entry, nullptr) << name << ": " << dlerror();
  }

  void Open(const fs::path& library) {
    handle_ = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle_, nullptr) << dlerror();
    Resolve("Load", load_);
    Resolve("GetPluginVersion", getPluginVersion_);
    Resolve("SetVehicleSpec", setVehicleSpec_);
    Resolve("Initialize", initialize_);
    Resolve("Elapse", elapse_);
    for (const char* name : EntryPointNames) {
      EXPECT_NE(dlsym(handle_, name), nullptr) << name;
    }
  }

  // Load, SetVehicleSpec with 8 service notches, Initialize.
  void StartRun() {
    ASSERT_EQ(getPluginVersion_(), 0x20000);
    const VehicleSpec spec{8};
    load_();
    setVehicleSpec_(&spec);
    initialize_(0);
  }

  Handles Frame(float speedKmh = 0.0f) {
    panel_.fill(Unwritten);
    sound_.fill(Unwritten);
    VehicleState state{};
    state.Speed = speedKmh;
    return elapse_(&state, panel_.data(), sound_.data());
  }

  fs::path folder_;
  void* handle_ = nullptr;
  decltype(&::Load) load_ = nullptr;
  decltype(&::GetPluginVersion) getPluginVersion_ = nullptr;
  decltype(&::SetVehicleSpec) setVehicleSpec_ = nullptr;
  decltype(&::Initialize) initialize_ = nullptr;
  decltype(&::Elapse) elapse_ = nullptr;
  std::array<int32_t, 256> panel_{};
  std::array<int32_t, 128> sound_{};
};

struct OptionsRow {
  const char* name;
  std::optional<std::string> ini;
  bool atsMode;
  int32_t firstFrameBrake;  // the driver's 9, or the ATC brake notch
};

class OptionsBesideTheCopy : public LoadedLibrary,
                             public ::testing::WithParamInterface<OptionsRow> {};

TEST_P(OptionsBesideTheCopy, TakeEffect) {
  const OptionsRow& row = GetParam();
  Open(Install(folder_, row.ini));
  StartRun();
  const Handles first = Frame();
  EXPECT_EQ(first.Brake, row.firstFrameBrake);
  EXPECT_EQ(panel_[33], row.atsMode);
  EXPECT_EQ(panel_[35], !row.atsMode);
  EXPECT_EQ(panel_[247], row.atsMode ? 1 : Unwritten);
  EXPECT_EQ(panel_[249], Unwritten);
  EXPECT_EQ(sound_[5], SOUND_PLAY);
}

INSTANTIATE_TEST_SUITE_P(Files, OptionsBesideTheCopy,
                         ::testing::Values(OptionsRow{"NoFile", std::nullopt, false, 10},
                                           OptionsRow{"UseAts", "[Settings]\nUseATS=1\n", true, 9},
                                           OptionsRow{"AtcBrakeNotch",
                                                      "[Settings]\nATCBrakeNotch=7\n", false, 7}),
                         RowName{});

// Library paths around the fixed 260-byte buffers, with UseATS=1 beside the
// copy: a path whose options file name fits is read, a longer one gives the
// defaults and nothing else.
class LongPath : public LoadedLibrary, public ::testing::WithParamInterface<size_t> {};

TEST_P(LongPath, TooLongForTheBuffersGivesTheDefaults) {
  const size_t libraryPathLength = GetParam();
  const size_t fileNameLength = fs::path(KELVRIN_LIBRARY_FILE).filename().string().size();
  fs::path folder = folder_;
  // Each level is a slash and a name; no name longer than the file system allows.
  size_t missing = libraryPathLength - folder.string().size() - 1 - fileNameLength;
  ASSERT_GE(missing, 2u);
  while (missing > 0) {
    const size_t nameLength = missing > 250 ? 150 : missing - 1;
    folder /= std::string(nameLength, 'd');
    missing -= nameLength + 1;
  }
  const fs::path library = Install(folder, "[Settings]\nUseATS=1\n");
  ASSERT_EQ(library.string().size(), libraryPathLength);

  Open(library);
  StartRun();
  Frame();
  Frame();
  // The module path, the folder and the options file's path each within their
  // buffers, the terminating zero included.
  const size_t folderLength = libraryPathLength - fileNameLength;
  const bool optionsRead = libraryPathLength < 260 && folderLength < 256 &&
                           folderLength + std::strlen("KELVRIN.ini") < 260;
  EXPECT_EQ(panel_[33], optionsRead);
  EXPECT_EQ(panel_[35], !optionsRead);
}

INSTANTIATE_TEST_SUITE_P(Lengths, LongPath, ::testing::Values(258u, 259u, 260u, 300u, 600u));

TEST(LibraryExports, DynamicSymbolTableHoldsExactlyTheSixteenEntryPoints) {
  const std::string command =
      std::string(KELVRIN_NM) + " -D --defined-only --format=posix '" KELVRIN_LIBRARY_FILE "'";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::set<std::string> names;
  char line[512];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    const std::string text(line);
    names.insert(text.substr(0, text.find(' ')));
  }
  ASSERT_EQ(pclose(pipe), 0) << command;
  EXPECT_EQ(names, std::set<std::string>(EntryPointNames.begin(), EntryPointNames.end()));
}

}  // namespace

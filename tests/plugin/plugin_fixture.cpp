#include "plugin_fixture.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <random>

namespace {

// Mode lamps, ATC lamps, step lamps and the limit (72).
constexpr std::array<int, 21> AlwaysWrittenPanel = {33, 34, 35, 52, 53, 56, 57, 58, 59, 70, 71,
                                                    72, 74, 76, 80, 82, 84, 86, 89, 91, 93};

bool Contains(const auto& list, int value) {
  return std::find(list.begin(), list.end(), value) != list.end();
}

// A folder name unique to the running test, parameterised ones included.
std::string FolderName() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = std::string("kelvrin_") + info->test_suite_name() + "_" + info->name();
  std::replace(name.begin(), name.end(), '/', '_');
  return name + "_" + std::to_string(std::random_device{}());
}

}  // namespace

void PluginTest::SetUp() {
  folder_ = std::filesystem::temp_directory_path() / FolderName();
  std::filesystem::create_directories(folder_);
  ResetModule();
}

void PluginTest::TearDown() {
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

void PluginTest::ResetModule() {
  Module = ModuleRecords{};
  BindControllerReferences();
  const std::string path = IniFile().string();
  ASSERT_LT(path.size(), static_cast<size_t>(IniPathCapacity));
  std::memcpy(Module.IniPath, path.c_str(), path.size() + 1);
  state_ = VehicleState{};
}

void PluginTest::WriteIni(const std::string& text) {
  std::ofstream file(IniFile(), std::ios::binary | std::ios::trunc);
  file << text;
  ASSERT_TRUE(file.good());
}

void PluginTest::StartRun(int32_t serviceNotches) {
  const VehicleSpec spec{serviceNotches};
  Load();
  SetVehicleSpec(&spec);
  Initialize(0);
}

void PluginTest::StartRunWithIni(const std::string& text, int32_t serviceNotches) {
  WriteIni(text);
  StartRun(serviceNotches);
}

void PluginTest::FillUnwritten() {
  panel_.fill(Unwritten);
  sound_.fill(Unwritten);
}

Handles PluginTest::Frame(float speedKmh) {
  FillUnwritten();
  state_.Speed = speedKmh;
  const Handles handles = Elapse(&state_, PanelArray(), SoundArray());
  CheckFrameWrites();
  return handles;
}

void PluginTest::Settle() {
  for (int frame = 0; frame < 3; ++frame) {
    Frame();
  }
}

// What every frame may write: the fixed panel indices, the two ATS lamps only
// with the ATS position fitted, and sounds 5, 110 and 111. The ready lamp 249
// is only ever lit.
void PluginTest::CheckFrameWrites() {
  const bool atsFitted = Module.Controller.UseAts != 0;
  for (int i = -Guard; i < PanelLength + Guard; ++i) {
    const int32_t value = Panel(i);
    if (Contains(AlwaysWrittenPanel, i)) {
      EXPECT_NE(value, Unwritten) << "panel " << i << " not written";
    } else if (i == PanelAtsRunning && atsFitted) {
      EXPECT_TRUE(value == 0 || value == 1) << "panel 247 = " << value;
    } else if (i == PanelAtsReady && atsFitted) {
      EXPECT_TRUE(value == Unwritten || value == 1) << "panel 249 = " << value;
    } else {
      EXPECT_EQ(value, Unwritten) << "panel " << i << " written";
    }
  }
  for (int i = -Guard; i < SoundLength + Guard; ++i) {
    const int32_t value = Sound(i);
    if (i == SoundChange || i == SoundAtcCode || i == SoundAspect10) {
      EXPECT_TRUE(value == SOUND_STOP || value == SOUND_PLAY || value == SOUND_CONTINUE)
          << "sound " << i << " = " << value;
    } else {
      EXPECT_EQ(value, Unwritten) << "sound " << i << " written";
    }
  }
}

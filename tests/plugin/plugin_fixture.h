// Drives the plug-in through its exports, as the host does, with a fresh module
// and an options file in a temporary folder of its own. Every frame hands over
// panel and sound arrays filled with a sentinel and checks that exactly the
// listed indices were written.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <random>
#include <string>

#include "exports.h"
#include "module_records.h"

inline constexpr int32_t EmergencyNotch8 = 9;  // with 8 service notches
inline constexpr int32_t AtcNotch8 = 10;       // the default ATC brake notch
inline constexpr char AtsIni[] = "[Settings]\nUseATS=1\n";

inline constexpr int32_t KeyModeDown = 5, KeyModeUp = 6, KeyRestrict = 12, KeyCutOut = 13;

inline constexpr int PanelModeAts = 33, PanelModeAtc = 34, PanelModeRestricted = 35;
inline constexpr int PanelActive = 52, PanelAtcSignal = 53, PanelRestrict = 56;
inline constexpr int PanelEmergency = 58, PanelCutOut = 59, PanelSpeedLimit = 72;
inline constexpr int PanelAtsRunning = 247, PanelAtsReady = 249;
inline constexpr std::array<int, 11> PanelStepLamps = {70, 71, 74, 76, 80, 82, 84, 86, 89, 91, 93};
// Written every frame: the above but the ATS lamps, and the brake lamp, 57.
inline constexpr std::array<int, 21> PanelAlways = {33, 34, 35, 52, 53, 56, 57, 58, 59, 72, 70,
                                                    71, 74, 76, 80, 82, 84, 86, 89, 91, 93};

inline constexpr int SoundChange = 5, SoundAtcCode = 110, SoundAspect10 = 111;
inline constexpr int32_t P = SOUND_PLAY, C = SOUND_CONTINUE, S = SOUND_STOP;

inline bool operator==(const Handles& a, const Handles& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}
inline void PrintTo(const Handles& h, std::ostream* out) {
  *out << "{" << h.Brake << ", " << h.Power << ", " << h.Reverser << ", " << h.AuxiliaryCommand
       << "}";
}

struct RowName {
  template <typename Row>
  std::string operator()(const ::testing::TestParamInfo<Row>& row) const {
    return row.param.name;
  }
};

class PluginTest : public ::testing::Test {
 protected:
  static constexpr int32_t Unwritten = -777777;
  static constexpr int Guard = 16;  // entries before and after each array

  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string("kelvrin_") + info->test_suite_name() + "_" + info->name() +
                       "_" + std::to_string(std::random_device{}());
    std::replace(name.begin(), name.end(), '/', '_');
    folder_ = std::filesystem::temp_directory_path() / name;
    std::filesystem::create_directories(folder_);
    ResetModule();
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }

  // The module as a fresh load leaves it, pointed at this test's options file.
  void ResetModule() {
    Module = ModuleRecords{};
    BindControllerReferences();
    const std::string path = IniFile().string();
    ASSERT_LT(path.size(), sizeof Module.IniPath);
    std::memcpy(Module.IniPath, path.c_str(), path.size() + 1);
  }
  std::filesystem::path IniFile() const { return folder_ / "KELVRIN.ini"; }
  void WriteIni(const char* text) {
    std::ofstream file(IniFile(), std::ios::binary | std::ios::trunc);
    file << text;
    ASSERT_TRUE(file.good());
  }

  // Load, SetVehicleSpec and Initialize; with an options file only when given.
  void StartRun(const char* ini = nullptr, int32_t serviceNotches = 8) {
    if (ini != nullptr) {
      WriteIni(ini);
    } else {
      std::filesystem::remove(IniFile());
    }
    const VehicleSpec spec{serviceNotches};
    Load();
    SetVehicleSpec(&spec);
    Initialize(0);
  }

  Handles Frame(float speedKmh = 0.0f) {
    FillUnwritten();
    state_.Speed = speedKmh;
    const Handles handles = Elapse(&state_, Panel(), Sound());
    CheckFrameWrites();
    return handles;
  }
  // Past the power-on cycles: permitted, no sound pending.
  void Settle() {
    for (int i = 0; i < 3; ++i) {
      Frame();
    }
  }
  std::array<int32_t, 3> Sounds() const {
    return {Sound(SoundChange), Sound(SoundAtcCode), Sound(SoundAspect10)};
  }

  void FillUnwritten() {
    panel_.fill(Unwritten);
    sound_.fill(Unwritten);
  }
  int32_t* Panel() { return panel_.data() + Guard; }
  int32_t* Sound() { return sound_.data() + Guard; }
  int32_t Panel(int i) const { return panel_[static_cast<size_t>(Guard + i)]; }
  int32_t Sound(int i) const { return sound_[static_cast<size_t>(Guard + i)]; }

  VehicleState state_{};
  std::array<int32_t, Guard + 256 + Guard> panel_{};
  std::array<int32_t, Guard + 128 + Guard> sound_{};

 private:
  // The two ATS lamps only with the ATS position fitted; 249 only ever lit.
  void CheckFrameWrites() {
    const bool ats = Module.Controller.UseAts != 0;
    for (int i = -Guard; i < 256 + Guard; ++i) {
      const int32_t v = Panel(i);
      if (std::find(PanelAlways.begin(), PanelAlways.end(), i) != PanelAlways.end()) {
        EXPECT_NE(v, Unwritten) << "panel " << i << " not written";
      } else if (ats && i == PanelAtsRunning) {
        EXPECT_TRUE(v == 0 || v == 1) << "panel 247 = " << v;
      } else if (ats && i == PanelAtsReady) {
        EXPECT_TRUE(v == Unwritten || v == 1) << "panel 249 = " << v;
      } else {
        EXPECT_EQ(v, Unwritten) << "panel " << i << " written";
      }
    }
    for (int i = -Guard; i < 128 + Guard; ++i) {
      const int32_t v = Sound(i);
      if (i == SoundChange || i == SoundAtcCode || i == SoundAspect10) {
        EXPECT_TRUE(v == S || v == P || v == C) << "sound " << i << " = " << v;
      } else {
        EXPECT_EQ(v, Unwritten) << "sound " << i << " written";
      }
    }
  }

  std::filesystem::path folder_;
};

// Drives the plug-in through its exports, as the host does, with a fresh module
// and an options file in a temporary folder of its own. (Which panel and sound
// indices a frame writes is the guide suite's to check.)
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <tuple>

#include "../exports_by_address.h"
#include "module_records.h"

inline constexpr int32_t EmergencyNotch8 = 9;  // with 8 service notches
inline constexpr int32_t AtcNotch8 = 10;       // the default ATC brake notch
inline constexpr char AtsIni[] = "[Settings]\nUseATS=1\n";
// The train's wiring written out again, apart from the plug-in's own names.
namespace cab {
inline constexpr int32_t KeyModeDown = 5, KeyModeUp = 6, KeyRestrict = 12, KeyCutOut = 13;
inline constexpr int PanelModeAts = 33, PanelModeRestricted = 35, PanelSpeedLimit = 72;
inline constexpr int SoundChange = 5, SoundAtcCode = 110, SoundAspect10 = 111;
}  // namespace cab
inline constexpr int32_t P = SOUND_PLAY, C = SOUND_CONTINUE;

using HandleValues = std::array<int32_t, 4>;
inline HandleValues Values(const Handles& h) {
  return {h.Brake, h.Power, h.Reverser, h.AuxiliaryCommand};
}

class PluginTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() /
              ("kelvrin_plugin_" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(folder_);
    ResetModule();
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  // The module as a fresh load leaves it, pointed at this test's options file.
  void ResetModule() {
    Module = ModuleRecords{};
    BindControllerReferences();
    std::strcpy(Module.IniPath, IniFile().string().c_str());
  }
  std::filesystem::path IniFile() const { return folder_ / "KELVRIN.ini"; }
  void WriteIni(const char* text) { std::ofstream(Module.IniPath) << text; }

  // A fresh module, SetVehicleSpec and Initialize; with an options file only
  // when given.
  void StartRun(const char* ini = nullptr) {
    ResetModule();
    std::filesystem::remove(Module.IniPath);
    if (ini != nullptr) {
      WriteIni(ini);
    }
    SpecAndInitialize();
  }
  // SetVehicleSpec (8 service notches) and Initialize, on the options file as it stands.
  static void SpecAndInitialize() {
    const VehicleSpec spec{8};
    SetVehicleSpec(&spec);
    Initialize(0);
  }

  Handles Frame(float speedKmh = 0.0f) {
    state_.Speed = speedKmh;
    return Elapse(&state_, panel_.data(), sound_.data());
  }
  // Past the power-on frames: permitted, no sound pending.
  void Settle() { Frame(), Frame(), Frame(); }
  std::array<int32_t, 3> Sounds() const {
    return {sound_[cab::SoundChange], sound_[cab::SoundAtcCode], sound_[cab::SoundAspect10]};
  }

  VehicleState state_{};
  std::array<int32_t, PANEL_ARRAY_MIN_LENGTH> panel_{};
  std::array<int32_t, SOUND_ARRAY_MIN_LENGTH> sound_{};
  std::filesystem::path folder_;
};

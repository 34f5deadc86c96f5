// Drives the plug-in through its sixteen exports, as the host does, with a
// fresh module and an options file in a temporary folder of its own.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "exports.h"
#include "module_records.h"

inline constexpr int32_t ServiceNotches8 = 8;
inline constexpr int32_t EmergencyNotch8 = 9;
inline constexpr int32_t DefaultAtcBrakeNotch8 = 10;

// Keys of the cab.
inline constexpr int32_t KeyModeDown = 5;
inline constexpr int32_t KeyModeUp = 6;
inline constexpr int32_t KeyRestrict = 12;
inline constexpr int32_t KeyCutOut = 13;

// Panel indices the frame step writes.
inline constexpr int PanelModeAts = 33;
inline constexpr int PanelModeAtc = 34;
inline constexpr int PanelModeRestricted = 35;
inline constexpr int PanelActive = 52;
inline constexpr int PanelAtcSignal = 53;
inline constexpr int PanelRestrict = 56;
inline constexpr int PanelBrake = 57;
inline constexpr int PanelEmergency = 58;
inline constexpr int PanelCutOut = 59;
inline constexpr int PanelSpeedLimit = 72;
inline constexpr int PanelAtsRunning = 247;
inline constexpr int PanelAtsReady = 249;
// Lamps of speed steps 0 to 10.
inline constexpr std::array<int, 11> PanelStepLamps = {70, 71, 74, 76, 80, 82, 84, 86, 89, 91, 93};

inline constexpr int SoundChange = 5;
inline constexpr int SoundAtcCode = 110;
inline constexpr int SoundAspect10 = 111;

inline bool operator==(const Handles& a, const Handles& b) {
  return a.Brake == b.Brake && a.Power == b.Power && a.Reverser == b.Reverser &&
         a.AuxiliaryCommand == b.AuxiliaryCommand;
}
inline void PrintTo(const Handles& h, std::ostream* out) {
  *out << "{Brake " << h.Brake << ", Power " << h.Power << ", Reverser " << h.Reverser
       << ", Auxiliary " << h.AuxiliaryCommand << "}";
}

// Names a parameterised test after its row.
struct RowName {
  template <typename Row>
  std::string operator()(const ::testing::TestParamInfo<Row>& row) const {
    return row.param.name;
  }
};

class PluginTest : public ::testing::Test {
 protected:
  // Never a value the plug-in writes.
  static constexpr int32_t Unwritten = -777777;
  // Entries kept before and after the host's arrays, to catch writes outside.
  static constexpr int Guard = 16;
  static constexpr int PanelLength = 256;
  static constexpr int SoundLength = 128;

  void SetUp() override;
  void TearDown() override;

  // The module as a fresh load leaves it, pointed at this test's options file.
  void ResetModule();
  void WriteIni(const std::string& text);
  std::filesystem::path IniFile() const { return folder_ / "KELVRIN.ini"; }

  // Load, SetVehicleSpec, Initialize.
  void StartRun(int32_t serviceNotches = ServiceNotches8);
  void StartRunWithIni(const std::string& text, int32_t serviceNotches = ServiceNotches8);

  // One frame at the given speed, with both arrays filled with Unwritten
  // first; checks that nothing outside the listed indices was written.
  Handles Frame(float speedKmh = 0.0f);
  // Three frames at standstill: the power-on cycles are over, the permits are
  // granted and no sound is pending.
  void Settle();

  int32_t Panel(int index) const { return panel_[Guard + index]; }
  int32_t Sound(int index) const { return sound_[Guard + index]; }
  int32_t* PanelArray() { return panel_.data() + Guard; }
  int32_t* SoundArray() { return sound_.data() + Guard; }
  void FillUnwritten();

  VehicleState state_{};
  std::array<int32_t, Guard + PanelLength + Guard> panel_{};
  std::array<int32_t, Guard + SoundLength + Guard> sound_{};

 private:
  void CheckFrameWrites();
  std::filesystem::path folder_;
};

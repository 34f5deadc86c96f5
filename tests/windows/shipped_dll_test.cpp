// KELVRIN.dll as a train author installs it: it finds its options in a folder
// named in any script, whatever the ANSI code page, and it carries the
// project's version. KELVRIN_DLL in the environment points the suite at
// another copy, such as the one unpacked from the release zip.
#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "entry_points.h"
#include "host_records.h"
#include "loaded_plugin.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t ServiceNotches = 8;  // default ATC brake notch 10
constexpr int32_t ConfiguredAtcBrakeNotch = 3;
constexpr int PanelAtsLamp = 33;

const fs::path DllUnderTest =
    BuildPath(std::getenv("KELVRIN_DLL") ? std::getenv("KELVRIN_DLL") : KELVRIN_DLL_PATH);

struct FolderCase {
  const char* Name;
  const char8_t* Folder;
};

class ScriptFolder : public testing::TestWithParam<FolderCase> {};

// UseATS=1 lights the ATS lamp in the first frame; ATCBrakeNotch=3 is the
// notch an overspeed in ATC brings. Lost options show the default 10 and no lamp.
TEST_P(ScriptFolder, OptionsBesideTheDllTakeEffect) {
  TrainFolder folder(DllUnderTest, "[Settings]\nUseATS=1\nATCBrakeNotch=3\n",
                     fs::path(GetParam().Folder));
  LoadedPlugin plugin(folder.Library());
  ASSERT_TRUE(plugin.Loaded()) << plugin.Error();
  std::array<int32_t, PANEL_ARRAY_MIN_LENGTH> panel{};
  std::array<int32_t, SOUND_ARRAY_MIN_LENGTH> sound{};
  const auto frame = [&](float speedKmh) {
    VehicleState state{};
    state.Speed = speedKmh;
    const auto elapse = plugin.Get<ElapseEntryPoint>("Elapse");
    return elapse(PassRecord(state), panel.data(), sound.data()).Brake;
  };
  plugin.Get<SetVehicleSpecEntryPoint>("SetVehicleSpec")(PassRecord(VehicleSpec{ServiceNotches}));
  plugin.Get<InitializeEntryPoint>("Initialize")(0);
  plugin.Get<SetBrakeEntryPoint>("SetBrake")(0);
  frame(0.0f);
  EXPECT_EQ(panel[PanelAtsLamp], 1);
  plugin.Get<SetSignalEntryPoint>("SetSignal")(32);  // 110 km/h
  plugin.Get<KeyDownEntryPoint>("KeyDown")(6);       // ATS to ATC
  frame(0.0f);
  frame(130.0f);
  EXPECT_EQ(frame(130.0f), ConfiguredAtcBrakeNotch);
}

// The deep one takes more than 260 bytes in UTF-8 on its own, and fewer than
// the 260 characters Windows allows a path in UTF-16.
INSTANTIATE_TEST_SUITE_P(
    ShippedDll, ScriptFolder,
    testing::Values(
        FolderCase{"Plain", u8"train"}, FolderCase{"Latin1Accents", u8"Zürich Gare Lyon-Perrache"},
        FolderCase{"Japanese", u8"列車 フォルダ"}, FolderCase{"Cyrillic", u8"Поезд №7"},
        FolderCase{"Emoji", u8"🚆 Express"},
        FolderCase{"DeepJapanese",
                   u8"東海道本線の列車フォルダ/東海道本線の列車フォルダ/東海道本線の列車フォルダ/"
                   u8"東海道本線の列車フォルダ/東海道本線の列車フォルダ/東海道本線の列車フォルダ/"
                   u8"東海道本線の列車フォルダ/東海道本線の列車フォルダ"}),
    [](const testing::TestParamInfo<FolderCase>& param) { return param.param.Name; });

// Read back as Explorer reads it, from the fixed part and the strings.
TEST(ShippedDll, VersionResourceCarriesTheProjectVersion) {
  const std::wstring dll = DllUnderTest.wstring();
  std::vector<char> block(GetFileVersionInfoSizeW(dll.c_str(), nullptr));
  ASSERT_FALSE(block.empty());
  ASSERT_TRUE(GetFileVersionInfoW(dll.c_str(), 0, static_cast<DWORD>(block.size()), block.data()));
  const auto value = [&](const std::wstring& name) {
    void* text = nullptr;
    UINT length = 0;
    const std::wstring key = L"\\StringFileInfo\\040904B0\\" + name;
    return VerQueryValueW(block.data(), key.c_str(), &text, &length) && length > 0
               ? std::wstring(static_cast<const wchar_t*>(text))
               : std::wstring(L"(none)");
  };
  const std::wstring bits = std::to_wstring(8 * sizeof(void*)) + L"-bit";
  EXPECT_EQ(value(L"FileVersion"), KELVRIN_VERSION);
  EXPECT_EQ(value(L"ProductVersion"), KELVRIN_VERSION);
  EXPECT_EQ(value(L"OriginalFilename"), L"KELVRIN.dll");
  EXPECT_EQ(value(L"InternalName"), L"KELVRIN");
  EXPECT_EQ(value(L"ProductName"), L"KELVRIN");
  EXPECT_NE(value(L"FileDescription").find(bits), std::wstring::npos) << bits;

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT size = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &size));
  EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(KELVRIN_VERSION_MINOR, KELVRIN_VERSION_MAJOR));
  EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(0, KELVRIN_VERSION_PATCH));
}

}  // namespace

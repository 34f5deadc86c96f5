// The three options read from KELVRIN.ini at every Initialize, and the
// module's attachment to the loader.
#include <chrono>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>

#include "platform.h"
#include "plugin_fixture.h"

namespace {

struct IniRow {
  const char* name;
  std::optional<const char*> text;  // none: no file
  bool use120Signal;
  bool useAts;
  int32_t atcBrakeNotch;  // with 8 service notches
};

std::string Contents(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

class IniVariants : public PluginTest, public ::testing::WithParamInterface<IniRow> {};

TEST_P(IniVariants, GiveTheOptionsThePlatformReaderGives) {
  const IniRow& row = GetParam();
  if (row.text) {
    WriteIni(*row.text);
  }
  StartRun();
  EXPECT_EQ(Module.Controller.Use120Signal, row.use120Signal);
  EXPECT_EQ(Module.Controller.UseAts, row.useAts);
  EXPECT_EQ(Module.AtcBrakeNotch, row.atcBrakeNotch);
  EXPECT_EQ(Module.Controller.Mode, row.useAts ? ModeAts : ModeRestricted);
  if (row.text) {
    EXPECT_EQ(Contents(IniFile()), *row.text) << "the file is only read";
  } else {
    EXPECT_FALSE(std::filesystem::exists(IniFile()));
  }
}

constexpr int32_t Default = DefaultAtcBrakeNotch8;

INSTANTIATE_TEST_SUITE_P(
    Files, IniVariants,
    ::testing::Values(
        IniRow{"NoFile", std::nullopt, false, false, Default},
        IniRow{"EmptyFile", "", false, false, Default},
        IniRow{"UseAts", "[Settings]\nUseATS=1\n", false, true, Default},
        IniRow{"Use120SignalFive", "[Settings]\nUse120Signal=5\n", true, false, Default},
        IniRow{"AllOff", "[Settings]\nUse120Signal=0\nUseATS=0\n", false, false, Default},
        IniRow{"AtcBrakeNotch7", "[Settings]\nATCBrakeNotch=7\n", false, false, 7},
        IniRow{"LowerCaseNames", "[settings]\nuse120signal=1\nuseats=1\natcbrakenotch=3\n", true,
               true, 3},
        IniRow{"BlanksAndTrailingComment",
               "[ Settings ]\n  UseATS = 1 \nATCBrakeNotch = 7 ; gentler\n", false, true, 7},
        IniRow{"WordsReadAsZero", "[Settings]\nUseATS=yes\nUse120Signal=on\nATCBrakeNotch=seven\n",
               false, false, 0},
        IniRow{"DigitsThenGarbage", "[Settings]\nUse120Signal=1x34\nATCBrakeNotch=0x0C\n", true,
               false, 12},
        IniRow{"EmptyValuesTakeDefaults", "[Settings]\nUseATS=\nATCBrakeNotch=\n", false, false,
               Default},
        IniRow{"Negative", "[Settings]\nUseATS=-1\nATCBrakeNotch=-1\n", false, true, -1},
        IniRow{"LowThirtyTwoBitsKept", "[Settings]\nATCBrakeNotch=4294967297\n", false, false, 1},
        IniRow{"OtherSection", "[Options]\nUseATS=1\nATCBrakeNotch=7\n", false, false, Default},
        IniRow{"NoSection", "UseATS=1\nATCBrakeNotch=7\n", false, false, Default},
        IniRow{"CommentedOut", "[Settings]\n;UseATS=1\n#ATCBrakeNotch=7\n", false, false, Default},
        IniRow{"BomCrLfQuotes", "\xEF\xBB\xBF[Settings]\r\nUseATS=1\r\nATCBrakeNotch=\"7\"\r\n",
               false, true, 7},
        IniRow{"FirstKeyWins", "[Settings]\nATCBrakeNotch=7\nATCBrakeNotch=3\n", false, false, 7}),
    RowName{});

using Configuration = PluginTest;

TEST_F(Configuration, Use120SignalRaisesTheTopStep) {
  for (const bool on : {false, true}) {
    for (const int32_t aspect : {32, 34}) {
      SCOPED_TRACE(std::to_string(on) + " " + std::to_string(aspect));
      ResetModule();
      StartRunWithIni(on ? "[Settings]\nUse120Signal=5\n" : "[Settings]\nUse120Signal=0\n");
      SetSignal(aspect);
      KeyDown(KeyModeUp);
      Frame();
      EXPECT_EQ(Panel(PanelSpeedLimit), on ? 120 : 110);
    }
  }
}

TEST_F(Configuration, SecondInitializeReadsTheFileAfresh) {
  StartRunWithIni("[Settings]\nUseATS=1\n");
  Frame();
  KeyDown(KeyRestrict);

  const auto written = std::filesystem::last_write_time(IniFile());
  WriteIni("[Settings]\nUseATS=0\nUse120Signal=1\nATCBrakeNotch=7\n");
  // A reader that caches by the file's time must see the change.
  std::filesystem::last_write_time(IniFile(), written + std::chrono::seconds(2));
  Frame();
  EXPECT_EQ(Module.Controller.UseAts, 1) << "read only at Initialize";
  EXPECT_EQ(Module.AtcBrakeNotch, DefaultAtcBrakeNotch8);

  Initialize(0);
  EXPECT_EQ(Module.Controller.UseAts, 0);
  EXPECT_EQ(Module.Controller.Use120Signal, 1);
  EXPECT_EQ(Module.AtcBrakeNotch, 7);
  EXPECT_EQ(Module.Controller.Mode, ModeRestricted);
  EXPECT_EQ(Module.Controller.RestrictSwitch, 0) << "a fresh power-on reset";
  Frame();
  EXPECT_EQ(Sound(SoundAtcCode), SOUND_STOP);
}

// A library path that did not fit the fixed buffers leaves no path: nothing
// is read and every option takes its default.
TEST_F(Configuration, WithoutAPathInitializeUsesTheDefaults) {
  WriteIni("[Settings]\nUseATS=1\nUse120Signal=1\nATCBrakeNotch=7\n");
  Module.IniPath[0] = '\0';
  StartRun();
  EXPECT_EQ(Module.Controller.UseAts, 0);
  EXPECT_EQ(Module.Controller.Use120Signal, 0);
  EXPECT_EQ(Module.AtcBrakeNotch, DefaultAtcBrakeNotch8);
  EXPECT_EQ(Module.Controller.Mode, ModeRestricted);
  EXPECT_EQ(Frame().Brake, DefaultAtcBrakeNotch8);
}

// A thread starting or ending while the library is loaded rebinds the two
// references and changes nothing else: not the path, not the options, not the
// controller's state.
TEST_F(Configuration, ThreadNotificationOnlyRebindsTheReferences) {
  StartRunWithIni("[Settings]\nUseATS=1\nATCBrakeNotch=7\n");
  SetSignal(19);
  KeyDown(KeyModeUp);
  KeyDown(KeyRestrict);
  Frame();
  Frame(12.0f);
  unsigned char before[sizeof(ModuleRecords)];
  std::memcpy(before, &Module, sizeof before);

  Module.Controller.StateRef = nullptr;
  Module.Controller.HandlesRef = nullptr;
  AttachModule(&Module, false);
  EXPECT_EQ(Module.Controller.StateRef, &Module.CurrentState);
  EXPECT_EQ(Module.Controller.HandlesRef, &Module.DriverHandles);
  EXPECT_EQ(std::string(Module.IniPath), IniFile().string());
  EXPECT_EQ(0, std::memcmp(before, &Module, sizeof before));

  AttachModule(&Module, false);  // again, already bound
  EXPECT_EQ(0, std::memcmp(before, &Module, sizeof before));
  Initialize(0);  // the path still leads to the file
  EXPECT_EQ(Module.Controller.Mode, ModeAts);
  EXPECT_EQ(Module.AtcBrakeNotch, 7);
}

}  // namespace

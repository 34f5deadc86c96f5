// The three options read from KELVRIN.ini at every Initialize, and the
// module's attachment to the loader. Odd and hostile files are the hostile
// suite's; these are the files a train author writes.
#include <chrono>

#include "platform.h"
#include "plugin_fixture.h"

namespace {

struct IniRow {
  const char* name;
  const char* text;  // nullptr: no file
  bool use120Signal, useAts;
  int32_t atcBrakeNotch;  // with 8 service notches
};

class IniVariants : public PluginTest, public ::testing::WithParamInterface<IniRow> {};

// Seen where they act: the starting position, the brake of the power-on frame
// and the limit of aspect 32 in ATC.
TEST_P(IniVariants, SetTheOptionsOfTheRun) {
  const IniRow& row = GetParam();
  StartRun(row.text);
  EXPECT_EQ(Module.Controller.Use120Signal, row.use120Signal);
  EXPECT_EQ(Module.Controller.UseAts, row.useAts);
  EXPECT_EQ(Module.AtcBrakeNotch, row.atcBrakeNotch);
  SetSignal(32);
  EXPECT_EQ(Frame().Brake, row.atcBrakeNotch);
  EXPECT_EQ(Panel(row.useAts ? PanelModeAts : PanelModeRestricted), 1);
  KeyDown(KeyModeUp), KeyDown(KeyModeUp);
  Frame();
  EXPECT_EQ(Panel(PanelSpeedLimit), row.use120Signal ? 120 : 110);
}

INSTANTIATE_TEST_SUITE_P(
    Files, IniVariants,
    ::testing::Values(
        IniRow{"NoFile", nullptr, false, false, AtcNotch8},
        IniRow{"UseAts", "[Settings]\nUseATS=1\n", false, true, AtcNotch8},
        IniRow{"Use120SignalFive", "[Settings]\nUse120Signal=5\n", true, false, AtcNotch8},
        IniRow{"AtcBrakeNotch7", "[Settings]\nATCBrakeNotch=7\n", false, false, 7},
        IniRow{"AllSet", "[Settings]\nUse120Signal=1\nUseATS=-1\nATCBrakeNotch=3\n", true, true, 3},
        IniRow{"LowerCaseNames", "[settings]\nuse120signal=1\nuseats=1\natcbrakenotch=3\n", true,
               true, 3},
        IniRow{"GarbageValues", "[Settings]\nUseATS=yes\nUse120Signal=1x4\nATCBrakeNotch=0x0C\n",
               true, false, 12},
        IniRow{"CommentedOutEmptyOrElsewhere",
               "[Options]\nUseATS=1\n[Settings]\n;Use120Signal=1\n#ATCBrakeNotch=7\nUseATS=\n",
               false, false, AtcNotch8}),
    RowName{});

using Configuration = PluginTest;

TEST_F(Configuration, SecondInitializeReadsTheFileAfresh) {
  StartRun(AtsIni);
  Frame();
  KeyDown(KeyRestrict);
  const auto written = std::filesystem::last_write_time(IniFile());
  WriteIni("[Settings]\nUseATS=0\nUse120Signal=1\nATCBrakeNotch=7\n");
  // A reader that caches by the file's time must see the change.
  std::filesystem::last_write_time(IniFile(), written + std::chrono::seconds(2));
  Frame();
  EXPECT_EQ(Module.Controller.UseAts, 1) << "read only at Initialize";

  Initialize(0);
  EXPECT_EQ(Module.Controller.UseAts, 0);
  EXPECT_EQ(Module.Controller.Use120Signal, 1);
  EXPECT_EQ(Module.AtcBrakeNotch, 7);
  EXPECT_EQ(Module.Controller.Mode, ModeRestricted);
  EXPECT_EQ(Module.Controller.RestrictSwitch, 0) << "a fresh power-on reset";
}

// A library path that did not fit the fixed buffers leaves no path: nothing
// is read and every option takes its default.
TEST_F(Configuration, WithoutAPathInitializeUsesTheDefaults) {
  StartRun("[Settings]\nUseATS=1\nUse120Signal=1\nATCBrakeNotch=7\n");
  Module.IniPath[0] = '\0';
  Initialize(0);
  EXPECT_EQ(Module.Controller.UseAts, 0);
  EXPECT_EQ(Module.Controller.Use120Signal, 0);
  EXPECT_EQ(Module.AtcBrakeNotch, AtcNotch8);
}

// A thread starting or ending while the library is loaded rebinds the two
// references and changes nothing else: not the path, not the options, not the
// controller's state.
TEST_F(Configuration, ThreadNotificationOnlyRebindsTheReferences) {
  StartRun("[Settings]\nUseATS=1\nATCBrakeNotch=7\n");
  SetSignal(19);
  KeyDown(KeyModeUp);
  KeyDown(KeyRestrict);
  Frame(12.0f);
  unsigned char before[sizeof(ModuleRecords)];
  std::memcpy(before, &Module, sizeof before);
  Module.Controller.StateRef = nullptr;
  Module.Controller.HandlesRef = nullptr;
  for (int i = 0; i < 2; ++i) {  // unbound, then already bound
    AttachModule(&Module, false);
    EXPECT_EQ(0, std::memcmp(before, &Module, sizeof before));
  }
  Initialize(0);  // the path still leads to the file
  EXPECT_EQ(Module.Controller.Mode, ModeAts);
  EXPECT_EQ(Module.AtcBrakeNotch, 7);
}

}  // namespace

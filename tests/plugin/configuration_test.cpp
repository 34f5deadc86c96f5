// The three options read from KELVRIN.ini at every Initialize. Odd and hostile
// files are the hostile suite's; these are the files a train author writes.
#include "plugin_fixture.h"

namespace {

using Configuration = PluginTest;

// Seen where they act: the starting position, the brake of the power-on frame
// with the driver's brake released, and the limit of aspect 32 in ATC. An ATC
// brake notch below 1 would release the brakes: it counts as absent.
TEST_F(Configuration, OptionsFileSetsTheOptionsOfTheRun) {
  struct Row {
    const char* text;  // nullptr: no file
    bool use120Signal, useAts;
    int32_t atcBrakeNotch;
  };
  for (const Row& row : {
           Row{nullptr, false, false, AtcNotch8},
           Row{"[settings]\nuse120signal=5\nuseats=-1\natcbrakenotch=3\n", true, true, 3},
           Row{"[Settings]\nATCBrakeNotch=0\n", false, false, AtcNotch8},
           Row{"[Settings]\nATCBrakeNotch=-3\n", false, false, AtcNotch8},
       }) {
    SCOPED_TRACE(row.text != nullptr ? row.text : "no file");
    StartRun(row.text);
    SetBrake(0);
    SetSignal(32);
    EXPECT_EQ(Frame().Brake, row.atcBrakeNotch);
    EXPECT_EQ(panel_[row.useAts ? cab::PanelModeAts : cab::PanelModeRestricted], 1);
    KeyDown(cab::KeyModeUp);
    KeyDown(cab::KeyModeUp);
    Frame();
    EXPECT_EQ(panel_[cab::PanelSpeedLimit], row.use120Signal ? 120 : 110);
  }
}

TEST_F(Configuration, EveryInitializeReadsTheFileAfreshAndResets) {
  StartRun(AtsIni);
  KeyDown(cab::KeyRestrict);
  WriteIni("[Settings]\nUse120Signal=1\nATCBrakeNotch=7\n");
  Frame();
  EXPECT_EQ(Module.Controller.UseAts, 1) << "read only at Initialize";
  Initialize(0);
  const AtcController& atc = Module.Controller;
  EXPECT_EQ(std::tie(atc.UseAts, atc.Use120Signal, atc.Mode, atc.RestrictSwitch),
            std::tuple(0, 1, ModeRestricted, 0));
  EXPECT_EQ(Module.AtcBrakeNotch, 7);
  Module.IniPath[0] = '\0';  // a library path that did not fit: the defaults
  Initialize(0);
  EXPECT_EQ(std::tie(atc.Use120Signal, Module.AtcBrakeNotch), std::tuple(0, AtcNotch8));
}

}  // namespace

// The three options read from KELVRIN.ini at every Initialize. What each file
// sets is the loaded library's suite to show, odd and hostile files the hostile
// suite's; here, when the file is read.
#include "plugin_fixture.h"

namespace {

using Configuration = PluginTest;

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

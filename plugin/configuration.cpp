// The three options, read from "KELVRIN.ini" beside the library at the start
// of every run, and the module's attachment to the loader.
#include "module_records.h"
#include "platform.h"
#include "plugin_module.h"
#include "published_numbers.h"

namespace {

// Without a usable path nothing is read: every option takes its default.
int32_t ReadOption(const char* key, int32_t defaultValue) {
  if (Module.IniPath[0] == '\0') {
    return defaultValue;
  }
  return ReadIniInt(Module.IniPath, IniSection, key, defaultValue);
}

// The default notch follows the emergency notch as the host's vehicle data
// stood when the run started.
int32_t ReadAtcBrakeNotch() {
  const int32_t notch = ReadOption(IniKeyAtcBrakeNotch, NotchAbove(Module.EmergencyNotch));
  return AtcBrakeNotchInUse(notch, Module.EmergencyNotch);
}

}  // namespace

// The path is built once, on the process attach: later thread notifications
// may run on other threads while the host starts a run, and leave it alone.
// A path that does not fit leaves it empty rather than half built.
void AttachModule(const void* moduleHandle, bool processAttach) {
  BindControllerReferences();
  if (processAttach && !LocateIniPath(moduleHandle, Module.IniPath)) {
    Module.IniPath[0] = '\0';
  }
}

// The reset comes after the options because it picks the starting selector
// position from the ATS option.
void StartRun() {
  AtcController& atc = Module.Controller;
  atc.Use120Signal = ReadOption(IniKeyUse120Signal, 0) != 0;
  atc.UseAts = ReadOption(IniKeyUseAts, 0) != 0;
  Module.AtcBrakeNotch = ReadAtcBrakeNotch();
  Reset(atc, PowerOnReset);
}

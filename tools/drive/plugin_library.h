// The plug-in as the host sees it: a library file with sixteen entry points
// looked up by name. LoadPlugin copies the library into a fresh temporary
// folder, writes the scenario's KELVRIN.ini beside the copy (so the user's own
// files are never read or touched), loads the copy and resolves the names.
#pragma once

#include <string>

#include "loaded_plugin.h"
#include "options_text.h"
#include "scenario.h"

namespace drive {

// A run's private copy of the library, loaded.
struct PluginCopy {
  loader::TrainFolder Folder;          // the temporary folder with the copy and KELVRIN.ini
  std::optional<LoadedPlugin> Module;  // the copy as loaded, when it loaded
  std::string IniText;                 // what was written as KELVRIN.ini; empty: no file
};

struct PluginLoadResult {
  bool Ok = false;
  std::string Error;  // when not Ok: what failed, naming the file or the entry point
};

// Loads a private copy of the library at libraryPath (UTF-8) with the given options.
PluginLoadResult LoadPlugin(const std::string& libraryPath, const PluginOptions& options,
                            PluginCopy& plugin);

// Unloads the copy and removes the temporary folder.
void UnloadPlugin(PluginCopy& plugin);

// The native library's file name on this platform: KELVRIN.so or KELVRIN.dll.
const char* PluginFileName();

// The library beside this program (as unpacked from the release), else the one
// built beside it: <program folder>/../plugin/KELVRIN.so
// (KELVRIN.dll on Windows); in UTF-8, empty when the program's own path is unknown.
std::string DefaultPluginPath();

// A --plugin argument as the path it names, in UTF-8.
std::string PluginPathArgument(const std::string& given);

}  // namespace drive

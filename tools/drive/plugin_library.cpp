// The drive tool's side of loading the plug-in: the options it writes as
// KELVRIN.ini and where it finds the library; the loading itself is the shared
// loader's (tools/loader).
#include "plugin_library.h"

#include <fmt/format.h>

#include <filesystem>

namespace drive {
namespace fs = std::filesystem;

const char* PluginFileName() {
#ifdef _WIN32
  return "KELVRIN.dll";
#else
  return "KELVRIN.so";
#endif
}

std::string DefaultPluginPath() {
  std::error_code failure;
#ifdef _WIN32
  char self[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    return "";
  }
  const fs::path program(self);
#else
  const fs::path program = fs::read_symlink("/proc/self/exe", failure);
  if (failure) {
    return "";
  }
#endif
  // Unpacked from the release, the library lies beside the program; in the
  // build tree, in the plug-in's folder beside the tool's.
  const fs::path beside = program.parent_path() / PluginFileName();
  if (fs::is_regular_file(beside, failure)) {
    return beside.string();
  }
  return (program.parent_path().parent_path() / "plugin" / PluginFileName()).string();
}

PluginLoadResult LoadPlugin(const std::string& libraryPath, const PluginOptions& options,
                            LoadedPlugin& plugin) {
  PluginLoadResult result;
  std::error_code failure;
  if (!fs::is_regular_file(libraryPath, failure)) {
    result.Error = "no plug-in library at " + libraryPath;
    return result;
  }
  plugin.IniText = ComposeIniText(options);
  const std::optional<std::string> ini =
      plugin.IniText.empty() ? std::nullopt : std::optional(plugin.IniText);
  result.Error = loader::MakeTrainFolder(libraryPath, ini, plugin.Folder);
  if (result.Error.empty()) {
    result.Error = loader::OpenLibrary(plugin.Folder.Library, plugin.Handle);
  }
  const std::string missing =
      result.Error.empty() ? loader::ResolveEntryPoints(plugin.Handle, plugin.Api) : "";
  if (!missing.empty()) {
    result.Error = libraryPath + " lacks the entry points " + missing;
  }
  result.Ok = result.Error.empty();
  if (!result.Ok) {
    UnloadPlugin(plugin);
  }
  return result;
}

void UnloadPlugin(LoadedPlugin& plugin) {
  loader::CloseLibrary(plugin.Handle);
  loader::RemoveTrainFolder(plugin.Folder);
  plugin.Api = PluginEntryPoints{};
}

}  // namespace drive

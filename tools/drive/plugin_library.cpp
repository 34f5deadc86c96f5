// The drive tool's side of loading the plug-in: the options it writes as
// KELVRIN.ini and where it finds the library; the loading itself is the shared
// loader's (tools/loader).
#include "plugin_library.h"

#include <fmt/format.h>

#include <filesystem>

namespace drive {
namespace fs = std::filesystem;

#ifdef _WIN32
// The longest path Windows names, in UTF-16 units.
constexpr DWORD LongestPath = 32768;
#endif

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
  // The wide name, as the plug-in finds its own folder: the ANSI one turns a
  // folder named outside the code page into question marks.
  std::wstring self(LongestPath, L'\0');
  const DWORD length = GetModuleFileNameW(nullptr, self.data(), LongestPath);
  if (length == 0 || length >= LongestPath) {
    return "";
  }
  const fs::path program(self.substr(0, length));
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
    return loader::PathText(beside);
  }
  return loader::PathText(program.parent_path().parent_path() / "plugin" / PluginFileName());
}

std::string PluginPathArgument(const std::string& given) {
  // A narrow path names a file through the ANSI code page on Windows.
  return loader::PathText(fs::path(given));
}

PluginLoadResult LoadPlugin(const std::string& libraryPath, const PluginOptions& options,
                            PluginCopy& plugin) {
  PluginLoadResult result;
  std::error_code failure;
  const fs::path library = loader::Utf8Path(libraryPath);
  if (!fs::is_regular_file(library, failure)) {
    result.Error = "no plug-in library at " + libraryPath;
    return result;
  }
  plugin.IniText = ComposeIniText(options);
  const std::optional<std::string> ini =
      plugin.IniText.empty() ? std::nullopt : std::optional(plugin.IniText);
  result.Error = loader::MakeTrainFolder(library, ini, plugin.Folder);
  if (result.Error.empty()) {
    // The copy is the tool's own business: the message names the file given.
    result.Error = plugin.Module.emplace(plugin.Folder.Library).Error();
    const std::string copy = loader::PathText(plugin.Folder.Library);
    for (size_t at = result.Error.find(copy); at != std::string::npos;
         at = result.Error.find(copy, at + libraryPath.size())) {
      result.Error.replace(at, copy.size(), libraryPath);
    }
  }
  result.Ok = result.Error.empty();
  if (!result.Ok) {
    UnloadPlugin(plugin);
  }
  return result;
}

void UnloadPlugin(PluginCopy& plugin) {
  plugin.Module.reset();
  loader::RemoveTrainFolder(plugin.Folder);
}

}  // namespace drive

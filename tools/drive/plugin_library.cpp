// Loading the plug-in: dlopen on POSIX, LoadLibraryA on Windows. Everything
// else here (the private copy, the INI file, the names) is the same on both.
#include "plugin_library.h"

#include <fmt/format.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "ini_reader.h"
#include "published_numbers.h"

#ifdef _WIN32
#include "windows_api.h"
#else
#include <dlfcn.h>
#include <stdlib.h>
#endif

namespace drive {
namespace fs = std::filesystem;

namespace {

#ifdef _WIN32

bool MakeWorkFolder(std::string& folder, std::string& error) {
  static unsigned counter = 0;
  const fs::path base = fs::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const fs::path candidate = base / ("kelvrin-drive-" + std::to_string(GetCurrentProcessId()) +
                                       "-" + std::to_string(++counter));
    if (CreateDirectoryA(candidate.string().c_str(), nullptr)) {
      folder = candidate.string();
      return true;
    }
  }
  error = "cannot create a temporary folder in " + base.string();
  return false;
}

void* OpenLibrary(const std::string& path, std::string& error) {
  HMODULE module = LoadLibraryA(path.c_str());
  if (module == nullptr) {
    error = "cannot load " + path + " (Windows error " + std::to_string(GetLastError()) + ")";
  }
  return reinterpret_cast<void*>(module);
}

// Copies the entry's address into target, a function pointer of the right type.
bool FindEntry(void* handle, const char* name, void* target) {
  FARPROC address = GetProcAddress(static_cast<HMODULE>(handle), name);
  if (address == nullptr) {
    return false;
  }
  static_assert(sizeof address == sizeof(void (*)()));
  std::memcpy(target, &address, sizeof address);
  return true;
}

void CloseLibrary(void* handle) { FreeLibrary(static_cast<HMODULE>(handle)); }

#else

bool MakeWorkFolder(std::string& folder, std::string& error) {
  std::string pattern = (fs::temp_directory_path() / "kelvrin-drive-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    error = "cannot create a temporary folder like " + pattern;
    return false;
  }
  folder = pattern;
  return true;
}

void* OpenLibrary(const std::string& path, std::string& error) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = dlerror();
    error = "cannot load " + path + ": " + (reason != nullptr ? reason : "unknown reason");
  }
  return handle;
}

bool FindEntry(void* handle, const char* name, void* target) {
  void* address = dlsym(handle, name);
  if (address == nullptr) {
    return false;
  }
  std::memcpy(target, &address, sizeof address);
  return true;
}

void CloseLibrary(void* handle) { dlclose(handle); }

#endif

template <typename Function>
void Resolve(void* handle, const char* name, Function& target, std::string& missing) {
  static_assert(sizeof(Function) == sizeof(void*));
  if (!FindEntry(handle, name, &target)) {
    missing += missing.empty() ? name : std::string(", ") + name;
  }
}

// Looks up all sixteen names; lists the ones the library lacks.
std::string ResolveAll(void* handle, PluginEntryPoints& api) {
  std::string missing;
  Resolve(handle, "Load", api.Load, missing);
  Resolve(handle, "Dispose", api.Dispose, missing);
  Resolve(handle, "GetPluginVersion", api.GetPluginVersion, missing);
  Resolve(handle, "SetVehicleSpec", api.SetVehicleSpec, missing);
  Resolve(handle, "Initialize", api.Initialize, missing);
  Resolve(handle, "Elapse", api.Elapse, missing);
  Resolve(handle, "SetPower", api.SetPower, missing);
  Resolve(handle, "SetBrake", api.SetBrake, missing);
  Resolve(handle, "SetReverser", api.SetReverser, missing);
  Resolve(handle, "KeyDown", api.KeyDown, missing);
  Resolve(handle, "KeyUp", api.KeyUp, missing);
  Resolve(handle, "HornBlow", api.HornBlow, missing);
  Resolve(handle, "DoorOpen", api.DoorOpen, missing);
  Resolve(handle, "DoorClose", api.DoorClose, missing);
  Resolve(handle, "SetSignal", api.SetSignal, missing);
  Resolve(handle, "SetBeaconData", api.SetBeaconData, missing);
  return missing;
}

void RemoveFolder(const std::string& folder) {
  std::error_code ignored;
  fs::remove_all(folder, ignored);
}

}  // namespace

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

const char* PluginOptionKey(const std::string& name) {
  for (const char* key : {IniKeyUse120Signal, IniKeyUseAts, IniKeyAtcBrakeNotch}) {
    if (IniSameName(name.data(), name.size(), key, std::strlen(key))) {
      return key;
    }
  }
  return nullptr;
}

namespace {

std::string KeyedIniText(const PluginOptions& options) {
  if (!options.Use120Signal && !options.UseAts && !options.AtcBrakeNotch) {
    return "";
  }
  std::string text = fmt::format("; written by the drive tool for this run\n[{}]\n", IniSection);
  for (const auto& [key, value] : {std::pair{IniKeyUse120Signal, options.Use120Signal},
                                   std::pair{IniKeyUseAts, options.UseAts}}) {
    text += value ? fmt::format("{}={}\n", key, *value ? 1 : 0) : "";
  }
  if (options.AtcBrakeNotch) {
    text += fmt::format("{}={}\n", IniKeyAtcBrakeNotch, *options.AtcBrakeNotch);
  }
  return text;
}

// The lines an override touches, as the plug-in's reader numbers them.
struct OverridePlaces {
  const PluginOptions* Options = nullptr;
  std::optional<IniLine> Settings;  // the first [Settings] header
  bool InSettings = false;
  std::vector<IniLine> Replaced;
};

bool FindOverridePlaces(void* context, const IniLine& line) {
  OverridePlaces& places = *static_cast<OverridePlaces*>(context);
  if (line.Kind != IniLineKind::Key) {
    const bool settings = line.Kind == IniLineKind::Section && IniNameIs(line, IniSection);
    if (settings && !places.Settings) {
      places.Settings = line;
      places.InSettings = true;
      return true;
    }
    places.InSettings = false;
    return !places.Settings;
  }
  for (const auto& [key, value] : places.Options->Overrides) {
    if (places.InSettings && IniNameIs(line, key.c_str())) {
      places.Replaced.push_back(line);
    }
  }
  return true;
}

}  // namespace

std::string ComposeIniText(const PluginOptions& options) {
  const std::string base = options.IniText ? *options.IniText : KeyedIniText(options);
  if (options.Overrides.empty()) {
    return base;
  }
  OverridePlaces places;
  places.Options = &options;
  SplitIniLines(reinterpret_cast<const unsigned char*>(base.data()), base.size(),
                FindOverridePlaces, &places);
  std::string set;
  for (const auto& [key, value] : options.Overrides) {
    set += value == "default" ? "" : fmt::format("{}={}\n", key, value);
  }
  if (!places.Settings) {
    const bool ended = base.empty() || base.back() == '\n' || base.back() == '\r';
    return fmt::format("{}{}[{}]\n{}", base, ended ? "" : "\n", IniSection, set);
  }
  // The replaced lines go, the new keys come straight after the header.
  const size_t afterHeader = places.Settings->Offset + places.Settings->Length;
  const char last = base[afterHeader - 1];
  std::string text = base.substr(0, afterHeader) + (last == '\n' || last == '\r' ? "" : "\n") + set;
  size_t at = afterHeader;
  for (const IniLine& line : places.Replaced) {
    text.append(base, at, line.Offset - at);
    at = line.Offset + line.Length;
  }
  return text.append(base, at, std::string::npos);
}

PluginLoadResult LoadPlugin(const std::string& libraryPath, const PluginOptions& options,
                            LoadedPlugin& plugin) {
  PluginLoadResult result;
  std::error_code failure;
  if (!fs::is_regular_file(libraryPath, failure)) {
    result.Error = "no plug-in library at " + libraryPath;
    return result;
  }
  if (!MakeWorkFolder(plugin.WorkFolder, result.Error)) {
    return result;
  }
  const fs::path copy = fs::path(plugin.WorkFolder) / fs::path(libraryPath).filename();
  if (!fs::copy_file(libraryPath, copy, failure)) {
    result.Error = "cannot copy " + libraryPath + " to " + copy.string() + ": " + failure.message();
    RemoveFolder(plugin.WorkFolder);
    return result;
  }
  plugin.CopyPath = copy.string();
  plugin.IniText = ComposeIniText(options);
  if (!plugin.IniText.empty()) {
    std::ofstream ini(fs::path(plugin.WorkFolder) / IniFileName, std::ios::binary);
    ini << plugin.IniText;
    if (!ini) {
      result.Error = "cannot write KELVRIN.ini in " + plugin.WorkFolder;
      RemoveFolder(plugin.WorkFolder);
      return result;
    }
  }
  plugin.Handle = OpenLibrary(plugin.CopyPath, result.Error);
  if (plugin.Handle == nullptr) {
    RemoveFolder(plugin.WorkFolder);
    return result;
  }
  const std::string missing = ResolveAll(plugin.Handle, plugin.Api);
  if (!missing.empty()) {
    result.Error = libraryPath + " lacks the entry points " + missing;
    UnloadPlugin(plugin);
    return result;
  }
  result.Ok = true;
  return result;
}

void UnloadPlugin(LoadedPlugin& plugin) {
  if (plugin.Handle != nullptr) {
    CloseLibrary(plugin.Handle);
    plugin.Handle = nullptr;
  }
  if (!plugin.WorkFolder.empty()) {
    RemoveFolder(plugin.WorkFolder);
    plugin.WorkFolder.clear();
  }
  plugin.Api = PluginEntryPoints{};
}

}  // namespace drive

// The built library as a host meets it: a copy in a train's folder of its own,
// with or without KELVRIN.ini beside it, loaded by path and called through the
// addresses its names resolve to. Natively that is dlopen of KELVRIN.so; on
// Windows LoadLibraryW of KELVRIN.dll, with the platform's own module path,
// profile reader and thread notifications. Each load is a fresh module.
#pragma once

#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "entry_points.h"

// A path as the build wrote it; under wine the build machine's root is Z:.
inline std::filesystem::path BuildPath(const std::string& path) {
#ifdef _WIN32
  return path.starts_with('/') ? std::filesystem::path("Z:" + path).make_preferred() : path;
#else
  return path;
#endif
}

// A fresh "kelvrin train <n>" folder (a blank, as common in train folders as it
// is unwelcome to path code) in the temp folder, with `name` below it when
// given (subfolders and any characters the file system takes), holding a copy
// of `library` and, when given, `iniText` as KELVRIN.ini. Removed at the end.
class TrainFolder {
 public:
  TrainFolder(const std::filesystem::path& library, const std::optional<std::string>& iniText,
              const std::filesystem::path& name = {})
      : root_(std::filesystem::temp_directory_path() /
              ("kelvrin train " + std::to_string(std::random_device{}()))),
        folder_(name.empty() ? root_ : root_ / name),
        library_(folder_ / library.filename()) {
    std::filesystem::create_directories(folder_);
    std::filesystem::copy_file(library, library_);
    if (iniText) {
      std::ofstream(folder_ / "KELVRIN.ini", std::ios::binary) << *iniText;
    }
  }
  ~TrainFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  TrainFolder(const TrainFolder&) = delete;
  TrainFolder& operator=(const TrainFolder&) = delete;

  const std::filesystem::path& Library() const { return library_; }

 private:
  std::filesystem::path root_, folder_, library_;
};

// One load of a library, unloaded at the end.
class LoadedPlugin {
 public:
#ifdef _WIN32
  explicit LoadedPlugin(const std::filesystem::path& library)
      : module_(LoadLibraryW(library.c_str())),
        error_(module_ ? "" : "LoadLibraryW: error " + std::to_string(GetLastError())) {}
  ~LoadedPlugin() {
    if (module_ != nullptr) {
      FreeLibrary(static_cast<HMODULE>(module_));
    }
  }
  // The exported address of `name`, or null.
  void* Address(const char* name) const {
    const FARPROC address = module_ ? GetProcAddress(static_cast<HMODULE>(module_), name) : nullptr;
    void* data = nullptr;
    std::memcpy(&data, &address, sizeof data);
    return data;
  }
#else
  explicit LoadedPlugin(const std::filesystem::path& library)
      : module_(dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL)), error_(module_ ? "" : dlerror()) {}
  ~LoadedPlugin() {
    if (module_ != nullptr) {
      dlclose(module_);
    }
  }
  void* Address(const char* name) const { return module_ ? dlsym(module_, name) : nullptr; }
#endif
  LoadedPlugin(const LoadedPlugin&) = delete;
  LoadedPlugin& operator=(const LoadedPlugin&) = delete;

  bool Loaded() const { return module_ != nullptr; }
  const std::string& Error() const { return error_; }  // why it did not load

  // The entry point `name` as a host holds it.
  template <typename EntryPoint>
  EntryPoint Get(const char* name) const {
    const void* address = Address(name);
    EntryPoint entry = nullptr;
    static_assert(sizeof entry == sizeof address);
    std::memcpy(&entry, &address, sizeof entry);
    return entry;
  }

 private:
  void* module_;
  std::string error_;
};

// The plug-in library as a host loads it, for every program on the host's side
// (the drive tool, the test suites, the replay of a counterexample): a copy in
// a train's folder of its own, with or without KELVRIN.ini beside it, loaded by
// path and called through the addresses its sixteen names resolve to.
// Natively that is dlopen; on Windows LoadLibraryW with the wide path, so that
// a folder named in any script loads whatever the ANSI code page. Header-only,
// so that a suite or a script that builds one program by hand needs no more
// than this folder and host/.
#pragma once

#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#ifdef _WIN32
#include "windows_api.h"
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

#include "entry_points.h"
#include "published_numbers.h"

// The sixteen entry points, in the host's calling convention.
struct PluginEntryPoints {
#define KELVRIN_ENTRY_POINT_FIELD(Name, Result, Parameters) Name##EntryPoint Name = nullptr;
  KELVRIN_ENTRY_POINTS(KELVRIN_ENTRY_POINT_FIELD)
#undef KELVRIN_ENTRY_POINT_FIELD
};

namespace loader {

// A path as a message shows it; never throws, whatever the characters.
inline std::string PathText(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return {text.begin(), text.end()};
}

// The path that UTF-8 text (PathText's) names.
inline std::filesystem::path Utf8Path(const std::string& text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

// A fresh "kelvrin train <process>-<n>" folder in the temp folder (a blank, as
// common in train folders as it is unwelcome to path code), with `below` under
// it when given (subfolders, any characters the file system takes), holding a
// copy of the library and, when given, the options as KELVRIN.ini.
struct TrainFolder {
  std::filesystem::path Root;     // what RemoveTrainFolder removes; empty: none
  std::filesystem::path Library;  // the copy
};

inline void RemoveTrainFolder(TrainFolder& folder) {
  if (!folder.Root.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(folder.Root, ignored);
  }
  folder = TrainFolder{};
}

// "" when the folder is ready, else what failed (and nothing is left behind).
inline std::string MakeTrainFolder(const std::filesystem::path& library,
                                   const std::optional<std::string>& iniText, TrainFolder& folder,
                                   const std::filesystem::path& below = {}) {
  namespace fs = std::filesystem;
#ifdef _WIN32
  const unsigned process = GetCurrentProcessId();
#else
  const auto process = getpid();
#endif
  static unsigned counter = 0;
  std::error_code failure;
  const fs::path temp = fs::temp_directory_path(failure);
  if (failure) {
    return "no temporary folder: " + failure.message();
  }
  // A folder that is there already belongs to another run: the next name.
  for (int attempt = 0; attempt < 100 && folder.Root.empty(); ++attempt) {
    const fs::path root =
        temp / ("kelvrin train " + std::to_string(process) + "-" + std::to_string(++counter));
    if (fs::create_directory(root, failure)) {
      folder.Root = root;
    }
  }
  if (folder.Root.empty()) {
    return "cannot create a temporary folder in " + PathText(temp);
  }
  const fs::path inside = below.empty() ? folder.Root : folder.Root / below;
  folder.Library = inside / library.filename();
  std::string error;
  if (!fs::create_directories(inside, failure) && failure) {
    error = "cannot create " + PathText(inside) + ": " + failure.message();
  } else if (!fs::copy_file(library, folder.Library, failure)) {
    error = "cannot copy " + PathText(library) + " to " + PathText(folder.Library) + ": " +
            failure.message();
  } else if (iniText) {
    std::ofstream ini(inside / IniFileName, std::ios::binary);
    if (!(ini << *iniText)) {
      error = std::string("cannot write ") + IniFileName + " in " + PathText(inside);
    }
  }
  if (!error.empty()) {
    RemoveTrainFolder(folder);
  }
  return error;
}

// "" when the library is loaded, else why not.
inline std::string OpenLibrary(const std::filesystem::path& library, void*& handle) {
#ifdef _WIN32
  handle = reinterpret_cast<void*>(LoadLibraryW(library.c_str()));
  const DWORD reason = handle == nullptr ? GetLastError() : 0;
  return handle != nullptr ? ""
                           : "cannot load " + PathText(library) + " (Windows error " +
                                 std::to_string(reason) + ")";
#else
  handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  const char* reason = handle == nullptr ? dlerror() : nullptr;
  return handle != nullptr ? ""
                           : "cannot load " + PathText(library) + ": " +
                                 (reason != nullptr ? reason : "unknown reason");
#endif
}

// The exported address of `name`, or null.
inline void* EntryAddress(void* handle, const char* name) {
  if (handle == nullptr) {
    return nullptr;
  }
#ifdef _WIN32
  const FARPROC address = GetProcAddress(static_cast<HMODULE>(handle), name);
  void* data = nullptr;
  static_assert(sizeof data == sizeof address);
  std::memcpy(&data, &address, sizeof data);
  return data;
#else
  return dlsym(handle, name);
#endif
}

// Looks up the sixteen names; returns the ones the library lacks, comma-separated.
inline std::string ResolveEntryPoints(void* handle, PluginEntryPoints& api) {
  std::string missing;
  const auto resolve = [&](const char* name, auto& entry) {
    const void* address = EntryAddress(handle, name);
    static_assert(sizeof entry == sizeof address);
    std::memcpy(&entry, &address, sizeof entry);
    if (address == nullptr) {
      missing += (missing.empty() ? "" : ", ") + std::string(name);
    }
  };
#define KELVRIN_RESOLVE_ENTRY_POINT(Name, Result, Parameters) resolve(#Name, api.Name);
  KELVRIN_ENTRY_POINTS(KELVRIN_RESOLVE_ENTRY_POINT)
#undef KELVRIN_RESOLVE_ENTRY_POINT
  return missing;
}

inline void CloseLibrary(void*& handle) {
  if (handle != nullptr) {
#ifdef _WIN32
    FreeLibrary(static_cast<HMODULE>(handle));
#else
    dlclose(handle);
#endif
  }
  handle = nullptr;
}

}  // namespace loader

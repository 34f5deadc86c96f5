// The built library as a host meets it, for the suites: the host's own loader
// (tools/loader), with each train folder and each load undone at the end of a
// test. Each load is a fresh module.
#pragma once

#include <stdexcept>

#include "../../tools/loader/plugin_loader.h"

// A path as the build wrote it; under wine the build machine's root is Z:.
inline std::filesystem::path BuildPath(const std::string& path) {
#ifdef _WIN32
  return path.starts_with('/') ? std::filesystem::path("Z:" + path).make_preferred() : path;
#else
  return path;
#endif
}

// A train's folder of its own (loader::MakeTrainFolder), removed at the end; a
// folder that cannot be made fails the test.
class TrainFolder {
 public:
  TrainFolder(const std::filesystem::path& library, const std::optional<std::string>& iniText,
              const std::filesystem::path& name = {}) {
    const std::string error = loader::MakeTrainFolder(library, iniText, folder_, name);
    if (!error.empty()) {
      throw std::runtime_error(error);
    }
  }
  ~TrainFolder() { loader::RemoveTrainFolder(folder_); }
  TrainFolder(const TrainFolder&) = delete;
  TrainFolder& operator=(const TrainFolder&) = delete;

  const std::filesystem::path& Library() const { return folder_.Library; }

 private:
  loader::TrainFolder folder_;
};

// One load of a library with all sixteen names resolved, unloaded at the end.
class LoadedPlugin {
 public:
  explicit LoadedPlugin(const std::filesystem::path& library)
      : error_(loader::OpenLibrary(library, module_)) {
    const std::string missing = error_.empty() ? loader::ResolveEntryPoints(module_, api_) : "";
    error_ += missing.empty() ? "" : "lacks the entry points " + missing;
  }
  ~LoadedPlugin() { loader::CloseLibrary(module_); }
  LoadedPlugin(const LoadedPlugin&) = delete;
  LoadedPlugin& operator=(const LoadedPlugin&) = delete;

  bool Loaded() const { return error_.empty(); }
  const std::string& Error() const { return error_; }  // why it did not load
  const PluginEntryPoints& Api() const { return api_; }
  void* Address(const char* name) const { return loader::EntryAddress(module_, name); }

 private:
  void* module_ = nullptr;
  PluginEntryPoints api_;
  std::string error_;
};

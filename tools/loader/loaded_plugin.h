// The plug-in library loaded once, for whoever holds it for a scope: the
// drive tool for a run, a suite for a test, the replay of a counterexample
// and the differential bench for their whole run. Each load is a fresh module.
#pragma once

#include <stdexcept>

#include "plugin_loader.h"

// A train's folder of its own (loader::MakeTrainFolder), removed at the end; a
// folder that cannot be made throws, which fails a test or ends a program
// that cannot go on without it.
class ScopedTrainFolder {
 public:
  ScopedTrainFolder(const std::filesystem::path& library, const std::optional<std::string>& iniText,
                    const std::filesystem::path& below = {}) {
    const std::string error = loader::MakeTrainFolder(library, iniText, folder_, below);
    if (!error.empty()) {
      throw std::runtime_error(error);
    }
  }
  ~ScopedTrainFolder() { loader::RemoveTrainFolder(folder_); }
  ScopedTrainFolder(const ScopedTrainFolder&) = delete;
  ScopedTrainFolder& operator=(const ScopedTrainFolder&) = delete;

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
    error_ +=
        missing.empty() ? "" : loader::PathText(library) + " lacks the entry points " + missing;
  }
  ~LoadedPlugin() { loader::CloseLibrary(module_); }
  LoadedPlugin(const LoadedPlugin&) = delete;
  LoadedPlugin& operator=(const LoadedPlugin&) = delete;

  bool Loaded() const { return error_.empty(); }
  const std::string& Error() const { return error_; }  // why not, naming the file loaded
  const PluginEntryPoints& Api() const { return api_; }
  void* Address(const char* name) const { return loader::EntryAddress(module_, name); }

 private:
  void* module_ = nullptr;
  PluginEntryPoints api_;
  std::string error_;
};

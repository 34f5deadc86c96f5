// The native build's stand-ins for the loader: the module's own path comes from
// the dynamic linker, and the process attach runs when the object is loaded.
#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <cstring>

#include "module_records.h"
#include "platform.h"
#include "published_numbers.h"

bool LocateIniPath(const void* moduleHandle, char (&iniPath)[IniPathBytes]) {
  Dl_info info{};
  if (dladdr(moduleHandle, &info) == 0 || info.dli_fname == nullptr) {
    return false;
  }
  // The path as the library was loaded, made absolute against the folder the
  // process started in; links are not followed, as the Windows loader reports
  // the path it loaded from.
  char resolved[PATH_MAX];
  if (info.dli_fname[0] == '/') {
    if (std::strlen(info.dli_fname) >= sizeof resolved) {
      return false;
    }
    std::strcpy(resolved, info.dli_fname);
  } else if (getcwd(resolved, sizeof resolved) == nullptr ||
             std::strlen(resolved) + 1 + std::strlen(info.dli_fname) >= sizeof resolved) {
    return false;
  } else {
    std::strcat(resolved, "/");
    std::strcat(resolved, info.dli_fname);
  }
  // The same fixed buffers as the Windows build: a path that does not fit is
  // refused whole rather than cut.
  const size_t pathLength = std::strlen(resolved);
  if (pathLength >= static_cast<size_t>(ModulePathCapacity)) {
    return false;
  }
  const char* lastSlash = std::strrchr(resolved, '/');
  const size_t directoryLength =
      lastSlash != nullptr ? static_cast<size_t>(lastSlash - resolved) + 1 : 0;
  if (directoryLength >= static_cast<size_t>(DirectoryCapacity) ||
      directoryLength + sizeof IniFileName > static_cast<size_t>(IniPathCapacity)) {
    return false;
  }
  std::memcpy(iniPath, resolved, directoryLength);
  std::memcpy(iniPath + directoryLength, IniFileName, sizeof IniFileName);
  return true;
}

namespace {

// The process attach: the address of the module's own records identifies the
// shared object they live in.
__attribute__((constructor)) void AttachOnLoad() { AttachModule(&Module, true); }

}  // namespace

// The Windows build: the loader's entry point and the real platform APIs.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "platform.h"

namespace {

// The runtime's bounded splitting and joining abort the host process when a
// part does not fit. Refuse such a path first, measuring the parts the way the
// runtime cuts them: the drive is "X:", the directory runs to the last
// separator. Counting every separator byte can only overestimate the directory.
bool FitsFixedBuffers(const char* modulePath) {
  const size_t driveLength = (modulePath[0] != '\0' && modulePath[1] == ':') ? 2 : 0;
  size_t lastSeparatorEnd = 0;
  for (size_t i = 0; modulePath[i] != '\0'; ++i) {
    if (modulePath[i] == '\\' || modulePath[i] == '/') {
      lastSeparatorEnd = i + 1;
    }
  }
  const size_t directoryLength =
      lastSeparatorEnd > driveLength ? lastSeparatorEnd - driveLength : 0;
  return directoryLength < static_cast<size_t>(DirectoryCapacity) &&
         driveLength + directoryLength + sizeof IniFileName <= static_cast<size_t>(IniPathCapacity);
}

}  // namespace

bool LocateIniPath(const void* moduleHandle, char (&iniPath)[IniPathCapacity]) {
  char modulePath[ModulePathCapacity] = {};
  const DWORD length = GetModuleFileNameA(static_cast<HMODULE>(const_cast<void*>(moduleHandle)),
                                          modulePath, ModulePathCapacity);
  // A path that filled the buffer was cut short: it names another file.
  if (length == 0 || length >= static_cast<DWORD>(ModulePathCapacity) ||
      !FitsFixedBuffers(modulePath)) {
    return false;
  }
  char drive[DriveCapacity] = {};
  char directory[DirectoryCapacity] = {};
  return _splitpath_s(modulePath, drive, DriveCapacity, directory, DirectoryCapacity, nullptr, 0,
                      nullptr, 0) == 0 &&
         strcpy_s(iniPath, IniPathCapacity, drive) == 0 &&
         strcat_s(iniPath, IniPathCapacity, directory) == 0 &&
         strcat_s(iniPath, IniPathCapacity, IniFileName) == 0;
}

int32_t ReadIniInt(const char* iniPath, const char* section, const char* key,
                   int32_t defaultValue) {
  return static_cast<int32_t>(GetPrivateProfileIntA(section, key, defaultValue, iniPath));
}

// Every notification binds the controller's references; only the process
// attach locates the INI file.
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  AttachModule(module, reason == DLL_PROCESS_ATTACH);
  return TRUE;
}

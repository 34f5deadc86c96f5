// The Windows build: the loader's entry point and the real platform APIs.
// Paths go through the wide-character functions, so a folder named in any
// script is found whatever the ANSI code page; the shared code keeps the INI
// path in UTF-8, and this file converts at both ends.
#include <windows.h>

#include "platform.h"
#include "published_numbers.h"

namespace {

// Longest section or key name the plug-in asks for, in UTF-16 units.
constexpr int IniNameCapacity = 32;

// False when the text is not valid UTF-8 or does not fit.
bool ToWide(const char* text, wchar_t* wide, int wideCapacity) {
  return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, wide, wideCapacity) != 0;
}

}  // namespace

bool LocateIniPath(const void* moduleHandle, char (&iniPath)[IniPathBytes]) {
  wchar_t path[ModulePathCapacity] = {};
  const DWORD length = GetModuleFileNameW(static_cast<HMODULE>(const_cast<void*>(moduleHandle)),
                                          path, ModulePathCapacity);
  // A path that filled the buffer was cut short: it names another file.
  if (length == 0 || length >= static_cast<DWORD>(ModulePathCapacity)) {
    return false;
  }
  // The folder runs to the last separator. A path without one would send the
  // profile reader to the Windows folder instead.
  DWORD folderLength = 0;
  for (DWORD i = 0; i < length; ++i) {
    if (path[i] == L'\\' || path[i] == L'/') {
      folderLength = i + 1;
    }
  }
  if (folderLength == 0 ||
      folderLength + sizeof IniFileName > static_cast<size_t>(IniPathCapacity)) {
    return false;
  }
  for (size_t i = 0; i < sizeof IniFileName; ++i) {
    path[folderLength + i] = static_cast<wchar_t>(IniFileName[i]);
  }
  // An unpaired surrogate has no UTF-8 form: such a path is refused rather
  // than turned into the name of another file.
  return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, path, -1, iniPath, IniPathBytes,
                             nullptr, nullptr) != 0;
}

int32_t ReadIniInt(const char* iniPath, const char* section, const char* key,
                   int32_t defaultValue) {
  wchar_t widePath[IniPathCapacity];
  wchar_t wideSection[IniNameCapacity];
  wchar_t wideKey[IniNameCapacity];
  if (!ToWide(iniPath, widePath, IniPathCapacity) ||
      !ToWide(section, wideSection, IniNameCapacity) || !ToWide(key, wideKey, IniNameCapacity)) {
    return defaultValue;
  }
  return static_cast<int32_t>(GetPrivateProfileIntW(wideSection, wideKey, defaultValue, widePath));
}

// Every notification binds the controller's references; only the process
// attach locates the INI file.
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  AttachModule(module, reason == DLL_PROCESS_ATTACH);
  return TRUE;
}

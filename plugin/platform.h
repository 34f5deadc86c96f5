// The few services the plug-in takes from the platform, behind one narrow
// interface: the Windows build uses the real APIs, the native build a small
// stand-in of its own with the same behaviour.
#pragma once

#include <cstdint>

// Path lengths count characters as the platform's path functions do: UTF-16
// units on Windows, bytes natively.
inline constexpr int ModulePathCapacity = 260;
inline constexpr int DirectoryCapacity = 256;
inline constexpr int IniPathCapacity = 260;
// The INI path is kept as UTF-8, which holds any path the loader accepts: at
// most three bytes for each UTF-16 unit.
inline constexpr int IniPathBytes = 3 * IniPathCapacity;

// Builds the path of the INI file beside the library the module was loaded
// from, in UTF-8. Returns false, leaving the buffer unspecified, when the path
// cannot be had or does not fit the fixed buffers.
bool LocateIniPath(const void* moduleHandle, char (&iniPath)[IniPathBytes]);

// Reads an integer key of a section, as the platform's profile reader does;
// the default when the file, the section or the key is missing or empty.
int32_t ReadIniInt(const char* iniPath, const char* section, const char* key, int32_t defaultValue);

// The loader's notification: binds the controller's references every time,
// and on the process attach finds the INI file, once.
void AttachModule(const void* moduleHandle, bool processAttach);

// The few services the plug-in takes from the platform, behind one narrow
// interface: the Windows build uses the real APIs, the native build a small
// stand-in of its own with the same behaviour.
#pragma once

#include <cstdint>

#include "module_records.h"

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

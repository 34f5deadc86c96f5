// A library the table check must reject, built only to prove that it does: a
// C++ (decorated) export, a name outside the list, an entry point missing, and
// the C++ runtime imported as a DLL of its own.
#include <stdexcept>

extern "C" __declspec(dllexport) void Load() {}
extern "C" __declspec(dllexport) void ExtraEntryPoint() {}
__declspec(dllexport) int DecoratedEntryPoint(int notch) {
  if (notch < 0) {
    throw std::out_of_range("notch");
  }
  return notch;
}

// A library the table check must reject, built only to prove that it does: a
// C++ (decorated) export, a __stdcall one (decorated with @N on x86), a name
// outside the list, entry points missing, and the C++ runtime imported as a DLL
// of its own.
#include <stdexcept>

extern "C" __declspec(dllexport) void Load() {}
extern "C" __declspec(dllexport) void ExtraEntryPoint() {}
extern "C" __declspec(dllexport) void __stdcall SetSignal(int) {}
__declspec(dllexport) int DecoratedEntryPoint(int notch) {
  if (notch < 0) {
    throw std::out_of_range("notch");
  }
  return notch;
}

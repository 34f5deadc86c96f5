/* A host's calls as Microsoft's x86 compilers make them (clang for
 * i686-pc-windows-msvc): the records declared as the host declares them, each
 * entry point called through a __stdcall pointer with its records by value.
 * Each Call* returns how far the call moved the stack pointer: 0 when the
 * callee popped exactly what the caller pushed. No C runtime calls, so the
 * object links into a mingw program. */

typedef struct { int ServiceNotches, HostFields[4]; } VehicleSpec;
typedef struct { int HostBytes0To7[2]; float Speed; int HostBytes12To39[7]; } VehicleState;
typedef struct { int Type, HostBytes4To11[2], Parameter; } Beacon;
typedef struct { int Brake, Power, Reverser, AuxiliaryCommand; } Handles;

static unsigned StackBefore, StackAfter;

/* Around a call: after it, the stack pointer is read, then put back where it
 * was, so that a callee that popped the wrong amount leaves this caller intact. */
#define MEASURED(call)                                                                    \
  __asm__ volatile("movl %%esp, %0" : "=m"(StackBefore) : : "memory");                    \
  call;                                                                                   \
  __asm__ volatile("movl %%esp, %0\n\tmovl %1, %%esp" : "=m"(StackAfter) : "m"(StackBefore) \
                   : "memory");                                                           \
  return (int)(StackAfter - StackBefore)

int CallNoArguments(void(__stdcall* entry)(void)) { MEASURED(entry()); }
int CallVersion(int(__stdcall* entry)(void), int* version) { MEASURED(*version = entry()); }
int CallInteger(void(__stdcall* entry)(int), int argument) { MEASURED(entry(argument)); }
int CallVehicleSpec(void(__stdcall* entry)(VehicleSpec), const VehicleSpec* spec) {
  MEASURED(entry(*spec));
}
int CallElapse(Handles(__stdcall* entry)(VehicleState, int*, int*), const VehicleState* state,
               int* panel, int* sound, Handles* handles) {
  MEASURED(*handles = entry(*state, panel, sound));
}
int CallBeacon(void(__stdcall* entry)(Beacon), const Beacon* beacon) { MEASURED(entry(*beacon)); }

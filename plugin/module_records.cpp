#include "module_records.h"

constinit ModuleRecords Module;

// A thread notification may run this on another thread while the host runs a
// frame; it writes only when the references are not yet bound, so such a
// notification never writes what the frame reads.
void BindControllerReferences() {
  AtcController& atc = Module.Controller;
  if (atc.StateRef != &Module.CurrentState) {
    atc.StateRef = &Module.CurrentState;
  }
  if (atc.HandlesRef != &Module.DriverHandles) {
    atc.HandlesRef = &Module.DriverHandles;
  }
}

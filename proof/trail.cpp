#include "trail.h"

#include <cstdio>

#include "options_files.h"
#include "published_numbers.h"
#include "state_abstraction.h"

namespace proof {

void PrintCall(const Action& act) {
  switch (act.kind) {
    case KLoad:
      std::printf("CALL Load\n");
      break;
    case KDispose:
      std::printf("CALL Dispose\n");
      break;
    case KGetPluginVersion:
      std::printf("CALL GetPluginVersion\n");
      break;
    case KSetVehicleSpec:
      std::printf("CALL SetVehicleSpec %d\n", act.a);
      break;
    case KSetVehicleSpecNull:
      std::printf("CALL SetVehicleSpec null\n");
      break;
    case KInitialize:
      std::printf("CALL Initialize %s\n", OptionsFiles[act.a].name);
      break;
    case KElapse:
      // The frame's power and reverser, as calls of their own where they change.
      if (act.a != Exacts().hostDriver.Power)
        std::printf("CALL SetPower %d\n", act.a);
      if (act.b != Exacts().hostDriver.Reverser)
        std::printf("CALL SetReverser %d\n", act.b);
      std::printf("CALL Elapse %.9g\n", static_cast<double>(act.speed));
      break;
    case KSetBrake:
      std::printf("CALL SetBrake %d\n", act.a);
      break;
    case KKeyDown:
      std::printf("CALL KeyDown %d\n", act.a);
      break;
    case KKeyUp:
      std::printf("CALL KeyUp %d\n", act.a);
      break;
    case KHornBlow:
      std::printf("CALL HornBlow %d\n", act.a);
      break;
    case KDoorOpen:
      std::printf("CALL DoorOpen\n");
      break;
    case KDoorClose:
      std::printf("CALL DoorClose\n");
      break;
    case KSetSignal:
      std::printf("CALL SetSignal %d\n", act.a);
      break;
    case KSetBeaconData:
      std::printf("CALL SetBeaconData %d %d\n", act.a, act.b);
      break;
    case KSetBeaconDataNull:
      std::printf("CALL SetBeaconData null\n");
      break;
  }
  std::fflush(stdout);
}

void PrintFrame(const Handles& out, const int32_t* panel) {
  std::printf("FRAME brake %d power %d reverser %d aux %d | limit %d\n", out.Brake, out.Power,
              out.Reverser, out.AuxiliaryCommand, panel[PanelSpeedLimit]);
}

}  // namespace proof

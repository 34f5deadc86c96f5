#include "frame_floor.h"

#include "published_numbers.h"

namespace {

// Ready-made frame outputs: the values that the frame step computes.
struct FloorRecords {
  VehicleState State;
  int32_t ModeAts, ModeAtc, ModeRestricted;
  int32_t Active, AtcSignal, Restrict, Brake, Emergency, CutOut;
  int32_t StepLamp[PanelStepLampCount];
  int32_t SpeedLimitKmh;
  int32_t Sound[SoundCount];
  Handles Output;
};

FloorRecords Floor{{},
                   0,
                   1,
                   0,
                   1,
                   1,
                   0,
                   0,
                   0,
                   0,
                   {0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0},
                   100,
                   {SOUND_CONTINUE, SOUND_CONTINUE, SOUND_CONTINUE},
                   {0, 4, 1, 2}};

}  // namespace

// The panel indices are those of the frame step.
[[gnu::noinline]] Handles FrameFloor(const VehicleState* state, int32_t* panel, int32_t* sound) {
  Floor.State = *state;
  panel[PanelModeAts] = Floor.ModeAts;
  panel[PanelModeAtc] = Floor.ModeAtc;
  panel[PanelModeRestricted] = Floor.ModeRestricted;
  panel[PanelActive] = Floor.Active;
  panel[PanelAtcSignal] = Floor.AtcSignal;
  panel[PanelRestrict] = Floor.Restrict;
  panel[PanelBrake] = Floor.Brake;
  panel[PanelEmergency] = Floor.Emergency;
  panel[PanelCutOut] = Floor.CutOut;
  panel[PanelStepLamp[0]] = Floor.StepLamp[0];
  panel[PanelStepLamp[1]] = Floor.StepLamp[1];
  panel[PanelSpeedLimit] = Floor.SpeedLimitKmh;
  panel[PanelStepLamp[2]] = Floor.StepLamp[2];
  panel[PanelStepLamp[3]] = Floor.StepLamp[3];
  panel[PanelStepLamp[4]] = Floor.StepLamp[4];
  panel[PanelStepLamp[5]] = Floor.StepLamp[5];
  panel[PanelStepLamp[6]] = Floor.StepLamp[6];
  panel[PanelStepLamp[7]] = Floor.StepLamp[7];
  panel[PanelStepLamp[8]] = Floor.StepLamp[8];
  panel[PanelStepLamp[9]] = Floor.StepLamp[9];
  panel[PanelStepLamp[10]] = Floor.StepLamp[10];
  sound[SoundChange] = Floor.Sound[0];
  sound[SoundAtcCode] = Floor.Sound[1];
  sound[SoundAspect120] = Floor.Sound[2];
  return Floor.Output;
}

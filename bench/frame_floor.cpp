#include "frame_floor.h"

namespace {

// Ready-made frame outputs: the values that the frame step computes.
struct FloorRecords {
  VehicleState State;
  int32_t ModeAts, ModeAtc, ModeRestricted;
  int32_t Active, AtcSignal, Restrict, Brake, Emergency, CutOut;
  int32_t StepLamp[11];
  int32_t SpeedLimitKmh;
  int32_t Sound[3];
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
  panel[33] = Floor.ModeAts;
  panel[34] = Floor.ModeAtc;
  panel[35] = Floor.ModeRestricted;
  panel[52] = Floor.Active;
  panel[53] = Floor.AtcSignal;
  panel[56] = Floor.Restrict;
  panel[57] = Floor.Brake;
  panel[58] = Floor.Emergency;
  panel[59] = Floor.CutOut;
  panel[70] = Floor.StepLamp[0];
  panel[71] = Floor.StepLamp[1];
  panel[72] = Floor.SpeedLimitKmh;
  panel[74] = Floor.StepLamp[2];
  panel[76] = Floor.StepLamp[3];
  panel[80] = Floor.StepLamp[4];
  panel[82] = Floor.StepLamp[5];
  panel[84] = Floor.StepLamp[6];
  panel[86] = Floor.StepLamp[7];
  panel[89] = Floor.StepLamp[8];
  panel[91] = Floor.StepLamp[9];
  panel[93] = Floor.StepLamp[10];
  sound[5] = Floor.Sound[0];
  sound[110] = Floor.Sound[1];
  sound[111] = Floor.Sound[2];
  return Floor.Output;
}

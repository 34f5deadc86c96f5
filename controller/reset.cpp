#include "atc_controller.h"

namespace {

// Everything back to its construction value except what the resets keep: the
// last aspect, the configured options and the two references.
void PowerOn(AtcController& atc) {
  AtcController fresh;
  fresh.LastSignal = atc.LastSignal;
  fresh.UseAts = atc.UseAts;
  fresh.Use120Signal = atc.Use120Signal;
  fresh.StateRef = atc.StateRef;
  fresh.HandlesRef = atc.HandlesRef;
  fresh.Mode = atc.UseAts ? ModeAts : ModeRestricted;
  atc = fresh;
}

// As if the ATC had been running in ATC mode with three healthy channels that
// agree the speed is within the limit. The rollback entries are left set, so
// the next cycle latches the emergency brake until the driver acknowledges it
// with the brake at the emergency notch.
void OverrideForBeacon(AtcController& atc) {
  atc.ChannelOk = {1, 1, 1};
  atc.RollbackBits = {1, 1};
  atc.ChannelHealthy = {1, 1, 1};
  atc.MajorityHealthy = 1;
  atc.PoweredUp = 1;
  atc.PermitA = 1;
  atc.PermitB = 1;
  atc.ChannelVote = {1, 1, 1};
  atc.RollbackSeen = {1, 1};
  atc.Mode = ModeAtc;
  atc.Active = 1;
  atc.AtcSignalLamp = 1;
}

}  // namespace

void Reset(AtcController& atc, int32_t kind) {
  PowerOn(atc);
  if (kind == BeaconReset) {
    OverrideForBeacon(atc);
  }
}

#include <cstddef>
#include <cstring>
#include <type_traits>

#include "atc_controller.h"

namespace {

// The two references close the record, so every field before them can be
// reset in one copy that leaves them unwritten.
static_assert(std::is_trivially_copyable_v<AtcController>);
// The sizes taken are those of the two pointers themselves.
// NOLINTBEGIN(bugprone-sizeof-expression)
static_assert(offsetof(AtcController, HandlesRef) + sizeof(AtcController::HandlesRef) ==
              sizeof(AtcController));
static_assert(offsetof(AtcController, StateRef) + sizeof(AtcController::StateRef) ==
              offsetof(AtcController, HandlesRef));
// NOLINTEND(bugprone-sizeof-expression)

// Everything back to its construction value except what the resets keep: the
// last aspect, the configured options and the two references. The references
// are not even rewritten: a loader notification on another thread may read
// them while the host's thread resets the controller.
void PowerOn(AtcController& atc) {
  AtcController fresh;
  fresh.LastSignal = atc.LastSignal;
  fresh.UseAts = atc.UseAts;
  fresh.Use120Signal = atc.Use120Signal;
  fresh.Mode = atc.UseAts ? ModeAts : ModeRestricted;
  std::memcpy(static_cast<void*>(&atc), &fresh, offsetof(AtcController, StateRef));
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

// The counterexample as host calls: while SPIN's verifier replays a trail
// (pan -r), every call is printed as the replay program reads it, and what
// every frame handed back; prove.sh keeps the CALL lines.
#pragma once

#include <cstdint>

#include "alphabet.h"
#include "host_records.h"

// Set by SPIN's verifier while it replays a trail, and by alphabet_size -l.
extern "C" int readtrail;

namespace proof {

// Before the call runs: the frame's power and reverser are printed only where
// they change what the host last said.
void PrintCall(const Action& act);
void PrintFrame(const Handles& out, const int32_t* panel);

}  // namespace proof

#!/usr/bin/env bash
# The thread-notification test under ThreadSanitizer (the `tsan` preset,
# build/tsan): loader notifications on other threads while the host starts
# runs must not race it. A kernel whose address layout ThreadSanitizer cannot
# map gets the test again without address randomisation.
set -euo pipefail
cd "$(dirname "$0")/.."

echo "tsan-check: thread notifications under ThreadSanitizer (build/tsan)"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if cmake --workflow --preset tsan >"$log" 2>&1; then
  tail -3 "$log"
elif grep -q 'unexpected memory mapping' "$log"; then
  echo "tsan-check: ThreadSanitizer cannot map this address layout; again without randomisation"
  setarch "$(uname -m)" -R ctest --preset tsan
else
  cat "$log"
  exit 1
fi

#!/usr/bin/env bash
# The cab in a real terminal: drive --cab in a detached tmux session of a fixed
# size, keys sent as a person types them, the screen read back as text.
# Usage: cab_tmux_test.sh DRIVE OUTDIR
set -euo pipefail
drive=$(realpath "$1")
out=$(realpath -m "$2")
command -v tmux >/dev/null || { echo "cab_tmux_test: tmux is not installed: run scripts/install-deps.sh"; exit 1; }
rm -rf "$out" && mkdir -p "$out"
socket="kelvrin-cab-$$"
tmx() { tmux -L "$socket" -f /dev/null "$@"; }
trap 'tmx kill-server 2>/dev/null || true' EXIT

cat >"$out/track.toml" <<'TOML'
title = "Cab test track"
[train]
service_notches = 8
power_notches = 5
acceleration_kmhps = 4.0
[options]
use_ats = true
[run]
duration_s = 600
[[event]]
position_m = 2
signal = 19
label = "45 km/h"
TOML

# Without a terminal (a pipe, CI) the cab says so and runs nothing.
status=0
"$drive" --cab "$out/track.toml" --out "$out/none" </dev/null >/dev/null 2>"$out/none.txt" || status=$?
[ "$status" = 2 ] && grep -q 'needs a terminal' "$out/none.txt" && [ ! -e "$out/none" ] ||
  { echo "cab_tmux_test: without a terminal: status $status, $(cat "$out/none.txt")"; exit 1; }

screen() { tmx capture-pane -t cab -p; }
# Polls the screen until the pattern shows, so that a slow machine only waits longer.
wait_for() {
  for _ in $(seq 300); do
    screen | grep -qE "$1" && return 0
    [ -s "$out/rc" ] && break  # the cab ended early
    sleep 0.1
  done
  echo "cab_tmux_test: timed out waiting for $2; the screen:"
  screen
  exit 1
}
keys() { tmx send-keys -t cab "$@"; }

tmx new-session -d -s cab -x 100 -y 30 \
  "cd '$out' && '$drive' --cab track.toml --out cab 2>stderr.txt; echo \$? >rc; sleep 600"
wait_for '\[ATS\]' "the cab in ATS"
tmx resize-window -t cab -x 60 -y 20
wait_for 'needs a terminal of 80 x 24; this one is 60 x 20' "the too-small message"
tmx resize-window -t cab -x 100 -y 30
wait_for '\[ATS\]' "the cab again at full size"

keys d
wait_for '\[RESTRICTED\]' "selector down to restricted"
keys u
wait_for '\[ATS\]' "selector up to ATS"

keys + + + x x x x x x x x x a a a a a
wait_for 'time x8' "time x8"
wait_for 'Speed +([3-9]|[1-9][0-9]+)\.[0-9] km/h' "power to move the train"
wait_for 'Next +none' "the 45 km/h code"
keys u
wait_for ' ats +\[ATC\]' "selector up to ATC"
wait_for '\[ATC BRAKE\]' "the ATC brake lamp over 45 km/h"
screen >"$out/screen.txt"

keys q
for _ in $(seq 300); do
  [ -s "$out/rc" ] && break
  sleep 0.1
done
[ "$(cat "$out/rc" 2>/dev/null)" = 0 ] || { echo "cab_tmux_test: drive --cab ended with '$(cat "$out/rc" 2>/dev/null)'"; cat "$out/stderr.txt"; exit 1; }
[ -s "$out/cab/track-cab.toml" ] || { echo "cab_tmux_test: no session written"; exit 1; }
"$drive" "$out/cab/track-cab.toml" --out "$out/replay" --quiet >/dev/null
cmp "$out/cab/trace.csv" "$out/replay/trace.csv"
echo "cab_tmux_test: passed; $(($(wc -l <"$out/cab/trace.csv") - 1)) frames replayed to the same trace"

#!/usr/bin/env bash
# drive.exe --cab in a Windows console under wine: it must start, show the cab
# and quit on its key, leaving the session behind. The console is a detached
# tmux pane, as for the native cab. Run it inside a prefix of its own:
#
#   bash scripts/with-wine.sh bash scripts/cab-wine-smoke.sh [BUILD_DIR]
#
# scripts/test-all.sh runs it in its wine leg, after the x64 suites.
#
# BUILD_DIR defaults to build/windows (the x64 build of the windows preset).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$root/build/windows}")
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
[ -x "$build/tools/drive.exe" ] || { echo "cab-wine-smoke: no $build/tools/drive.exe: build the drive target first"; exit 1; }
command -v tmux >/dev/null || { echo "cab-wine-smoke: tmux is not installed: run scripts/install-deps.sh"; exit 1; }

out=$(mktemp -d "${TMPDIR:-/tmp}/kelvrin-cab-wine.XXXXXX")
socket="kelvrin-cab-wine-$$"
tmx() { tmux -L "$socket" -f /dev/null "$@"; }
trap 'tmx kill-server 2>/dev/null || true; rm -rf "$out"' EXIT
cp "$root/examples/approach.toml" "$out/"

# Relative paths throughout: wine shows the Unix ones under another drive letter.
tmx new-session -d -s cab -x 100 -y 30 \
  "cd '$out' && WINEDEBUG=-all '$wine' '$build/tools/drive.exe' --cab approach.toml --out cab 2>stderr.txt; echo \$? >rc; sleep 600"
# The first start of a program in a fresh prefix takes a while.
for _ in $(seq 1800); do
  tmx capture-pane -t cab -p | grep -q 'KELVRIN cab' && break
  [ -s "$out/rc" ] && break
  sleep 0.1
done
tmx capture-pane -t cab -p >"$out/screen.txt"
grep -q 'KELVRIN cab' "$out/screen.txt" || { echo "cab-wine-smoke: the cab never showed; the screen:"; cat "$out/screen.txt" "$out/stderr.txt" 2>/dev/null; exit 1; }
tmx send-keys -t cab q
for _ in $(seq 600); do
  [ -s "$out/rc" ] && break
  sleep 0.1
done
status=$(cat "$out/rc" 2>/dev/null || echo none)
[ "$status" = 0 ] || { echo "cab-wine-smoke: drive.exe --cab ended with $status"; cat "$out/stderr.txt" 2>/dev/null; exit 1; }
[ -s "$out/cab/approach-cab.toml" ] || { echo "cab-wine-smoke: no session written"; exit 1; }
echo "cab-wine-smoke: drive.exe --cab started in the console, quit on q and saved its session"

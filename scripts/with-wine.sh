#!/usr/bin/env bash
# Runs one command with a wine prefix of its own, e.g.
#
#   bash scripts/with-wine.sh cmake --workflow --preset windows
#
# The prefix is created fresh in a temporary folder and set up once before the
# command starts (first starts of wine racing each other in parallel tests fail
# now and then). At the end only this prefix's wineserver is stopped and the
# prefix removed. Exits with the command's status.
set -euo pipefail

# Debian's wine64 installs its loader and server outside PATH.
find_wine_tool() {
  local dir
  if command -v "$1" 2>/dev/null; then
    return 0
  fi
  for dir in /usr/lib/wine /usr/lib64/wine; do
    if [ -x "$dir/$1" ]; then
      echo "$dir/$1"
      return 0
    fi
  done
  return 1
}

if [ $# -eq 0 ]; then
  echo "usage: $0 command [argument...]" >&2
  exit 2
fi
wine=$(find_wine_tool wine64 || find_wine_tool wine) || {
  echo "with-wine: no wine64 found (Debian package wine64)" >&2
  exit 127
}
# Debian's 32-bit loader (wine32:i386) is /usr/lib/wine/wine; wine64 hands
# 32-bit programs on to it. Without it only 64-bit programs run.
wine32=$(find_wine_tool wine) || wine32=""
wineserver=$(find_wine_tool wineserver) || {
  echo "with-wine: no wineserver found (Debian package wine64)" >&2
  exit 127
}

prefix=$(mktemp -d "${TMPDIR:-/tmp}/kelvrin-wine.XXXXXX")
boot_log=$(mktemp "${TMPDIR:-/tmp}/kelvrin-wineboot.XXXXXX")

cleanup() {
  local status=$?
  # -k ends the server of WINEPREFIX only, and with it the prefix's processes.
  "$wineserver" -k >/dev/null 2>&1 || true
  "$wineserver" -w >/dev/null 2>&1 || true
  rm -rf "$prefix" "$boot_log"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

export WINEPREFIX=$prefix
export WINEDEBUG=-all
# No .NET or browser engine: the prefix never offers to install them.
export WINEDLLOVERRIDES="mscoree,mshtml="

# 32-bit Windows programs need the 32-bit loader to run: natively, or through
# an emulator, which makes every 32-bit start slow (wineboot starts several).
x86=$(bash "$(dirname "$0")/x86-support.sh")
case $x86 in
  native) echo "with-wine: setting up $WINEPREFIX" ;;
  emulated*) echo "with-wine: setting up $WINEPREFIX (32-bit programs run ${x86}; this takes a few minutes)" ;;
  none*)
    echo "with-wine: setting up $WINEPREFIX for 64-bit programs only: 32-bit programs can't run here (${x86#none: })"
    wine32="" ;;
esac
if ! { "$wine" wineboot --init && "$wineserver" -w; } >"$boot_log" 2>&1; then
  cat "$boot_log" >&2
  echo "with-wine: wineboot failed" >&2
  exit 1
fi

# A prefix made without wine32 (or before it was installed, or where 32-bit
# programs can't run) has no 32-bit system and fails 32-bit programs with
# "could not load kernel32.dll".
if [ -n "$wine32" ] && [ ! -f "$prefix/drive_c/windows/syswow64/kernel32.dll" ]; then
  echo "with-wine: the prefix has no 32-bit system despite $wine32" >&2
  exit 1
fi

status=0
"$@" || status=$?
exit "$status"

#!/usr/bin/env bash
# Installs what is missing, builds every configuration and runs every suite:
# the native suite, the Windows DLL's suite under wine, the sanitizer suite and
# a short fuzz run. Exits non-zero on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

echo "== native suite"
cmake --workflow --preset default

if [ -f cmake/mingw-w64-x86_64.cmake ]; then
  echo "== Windows DLL suite under wine"
  bash scripts/with-wine.sh cmake --workflow --preset windows
fi

if grep -q '"sanitize"' CMakePresets.json; then
  echo "== sanitizer suite"
  cmake --workflow --preset sanitize
fi

if [ -f scripts/fuzz-smoke.sh ]; then
  echo "== fuzz smoke run"
  bash scripts/fuzz-smoke.sh
fi

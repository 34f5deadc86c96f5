#!/usr/bin/env bash
# Installs what is missing, builds every configuration and runs every suite:
# the native suite, the Windows DLL's suite under wine, the sanitizer suite, the
# thread-notification race check and a short fuzz run. Exits non-zero on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

echo "== native suite"
cmake --workflow --preset default

echo "== Windows DLL suite under wine"
bash scripts/with-wine.sh cmake --workflow --preset windows

echo "== sanitizer suite"
cmake --workflow --preset sanitize

echo "== loader notifications racing Initialize, under ThreadSanitizer"
bash scripts/tsan-check.sh

echo "== fuzz smoke run"
bash scripts/fuzz-smoke.sh

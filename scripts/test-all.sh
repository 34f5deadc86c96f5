#!/usr/bin/env bash
# Installs what is missing, builds every configuration and runs every suite:
# the native suite, clang-tidy, the suites of both Windows DLLs (x64 and x86)
# under wine, the sanitizer suite, the thread-notification race check, the
# exhaustive check of the safety rules (reduced alphabet) and a short fuzz run.
# Exits non-zero on the first failure.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

echo "== native suite"
cmake --workflow --preset default

echo "== clang-tidy"
bash scripts/clang-tidy.sh

echo "== Windows DLL suites under wine: x64, then x86"
bash scripts/with-wine.sh bash -c \
  'cmake --workflow --preset windows && cmake --workflow --preset windows32'

echo "== sanitizer suite"
cmake --workflow --preset sanitize

echo "== loader notifications racing Initialize, under ThreadSanitizer"
bash scripts/tsan-check.sh

echo "== safety rules, exhaustive search over the reduced alphabet (SPIN)"
bash scripts/prove.sh --reduced --combined

echo "== fuzz smoke run"
bash scripts/fuzz-smoke.sh

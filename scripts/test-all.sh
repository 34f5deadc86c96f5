#!/usr/bin/env bash
# Installs what is missing, builds every configuration and runs every suite:
# the native suite, clang-tidy, the suites of both Windows DLLs (x64 and x86)
# under wine, the sanitizer suite, the thread-notification race check, the
# exhaustive check of the safety rules (reduced alphabet) and a short fuzz run.
# Exits non-zero on the first failure. Where 32-bit programs can't run at all,
# the x86 DLL is still built and its code checked, and only the runs of its
# test programs are skipped; the closing summary lists them.
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
declare -a legs=()

leg() {  # leg NAME COMMAND...: runs one leg and keeps its time for the summary
  local name=$1 start=$SECONDS
  shift
  echo "== $name"
  "$@"
  legs+=("$(printf '%-62s %4d s' "$name" $((SECONDS - start)))")
}

bash scripts/install-deps.sh
x86=$(bash scripts/x86-support.sh)
echo "32-bit x86 programs: $x86"

leg "native suite" cmake --workflow --preset default
leg "clang-tidy" bash scripts/clang-tidy.sh
# One wine prefix for both: under emulation its set-up alone takes minutes.
# The x86 leg's log is kept to name what it skipped.
x86_log=build/windows32-ctest.log
mkdir -p build
leg "Windows DLL suites under wine: x64, then x86 (${x86%%:*})" bash scripts/with-wine.sh bash -c "
  set -euo pipefail
  s=\$SECONDS; cmake --workflow --preset windows; bash scripts/cab-wine-smoke.sh build/windows
  echo \"of which the x64 build and suites, and the cab in a console: \$((SECONDS - s)) s\" >build/wine-legs.txt
  s=\$SECONDS; cmake --workflow --preset windows32 | tee $x86_log
  echo \"of which the x86 build and suites: \$((SECONDS - s)) s\" >>build/wine-legs.txt"
leg "sanitizer suite" cmake --workflow --preset sanitize
leg "loader notifications racing Initialize, under ThreadSanitizer" bash scripts/tsan-check.sh
leg "safety rules, exhaustive search over the reduced alphabet (SPIN)" \
  bash scripts/prove.sh --reduced --combined
leg "fuzz smoke run" bash scripts/fuzz-smoke.sh

echo
echo "== summary: every leg passed in $((SECONDS - started)) s"
printf '  %s\n' "${legs[@]}"
sed 's/^/    /' build/wine-legs.txt
skipped=$(sed -n 's/^[[:space:]]*[0-9]* - \(.*\) (Skipped)$/\1/p' "$x86_log")
if [ -n "$skipped" ]; then
  echo "  skipped, not run, as 32-bit programs can't run here (${x86#none: }):"
  printf '    x86 %s\n' $skipped
  echo "  the x86 DLL was built and its tables and code were checked without running it"
fi

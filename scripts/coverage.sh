#!/usr/bin/env bash
# Line and branch coverage of the ATC core (controller/) and the host boundary
# (plugin/) by the native suites: runs the `coverage` workflow (an instrumented
# Debug build in build/coverage and every native test), then prints the
# summary per file and writes build/coverage/html/index.html. Needs gcovr.
set -euo pipefail
cd "$(dirname "$0")/.."

# Counts from an earlier run would add up with this one's.
if [ -d build/coverage ]; then
  find build/coverage -name '*.gcda' -delete
fi
cmake --workflow --preset coverage

mkdir -p build/coverage/html
# Branches the compiler adds for exceptions, and those on lines without code,
# are not the program's own decisions.
report() {
  gcovr --root . --object-directory build/coverage --exclude-directories 'build/coverage/CMakeFiles' \
    --exclude-unreachable-branches --exclude-throw-branches "$@"
}
report --filter 'controller/' --filter 'plugin/' --txt --branches \
  --html-details build/coverage/html/index.html
for dir in controller plugin; do
  echo "== $dir/"
  # gcovr replaces its output file whole: never point it at /dev/null.
  report --filter "$dir/" --txt "build/coverage/$dir.txt" --print-summary
done
echo "HTML report: build/coverage/html/index.html"

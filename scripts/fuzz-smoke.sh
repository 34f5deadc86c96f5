#!/usr/bin/env bash
# A bounded fuzz run for CI: builds the libFuzzer harnesses with clang in
# build/fuzz (the `fuzz` preset) and runs each from a scratch copy of its
# checked-in corpus: the plug-in's two side by side for FUZZ_SECONDS (60 by
# default), then the drive tool's three readers side by side for
# READER_FUZZ_SECONDS (25 by default). New inputs stay in the scratch copy;
# the repository is never written. A crash or a broken invariant fails the
# run and leaves the input in build/fuzz/crashes/.
set -euo pipefail
cd "$(dirname "$0")/.."

echo "fuzz-smoke: building the harnesses (build/fuzz)"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
crashes=build/fuzz/crashes
mkdir -p "$crashes"
failed=0

# run SECONDS TARGET...: the targets side by side, each from its corpus; the
# options-file check also starts from the options reader's corpus.
run() {
  local seconds=$1 target
  shift
  local pids=()
  for target in "$@"; do
    mkdir -p "$work/$target"
    cp -R "fuzz/corpus/$target/." "$work/$target/"
    local seeds=()
    [ "$target" = check_ini ] && seeds=(fuzz/corpus/ini)
    build/fuzz/fuzz/${target}_fuzzer "$work/$target" "${seeds[@]}" \
      -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
      -print_final_stats=1 -artifact_prefix="$crashes/${target}-" \
      >"$work/$target.log" 2>&1 &
    pids+=($!)
  done
  local i=0
  for target in "$@"; do
    if wait "${pids[$i]}"; then
      runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$target.log")
      cov=$(grep -Eo 'cov: [0-9]+' "$work/$target.log" | tail -1)
      echo "fuzz-smoke: ${target}_fuzzer: ${runs:-?} executions in ${seconds}s, ${cov:-cov: ?} edges, no failure"
    else
      failed=1
      echo "fuzz-smoke: ${target}_fuzzer FAILED; the input is in $crashes/:"
      grep -E 'invariant broken|disagree|otherwise|ERROR|SUMMARY|runtime error|Test unit written' \
        "$work/$target.log" || tail -40 "$work/$target.log"
    fi
    i=$((i + 1))
  done
}

run "${FUZZ_SECONDS:-60}" exports ini
run "${READER_FUZZ_SECONDS:-25}" scenario options_text check_ini
[ "$failed" -eq 0 ]

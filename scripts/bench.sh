#!/usr/bin/env bash
# The cost of one frame, natively in Release: time against the floor with
# Google Benchmark, then instructions per frame counted by callgrind, which
# repeat exactly from run to run where wall time does not.
#
#   bash scripts/bench.sh                  # both
#   bash scripts/bench.sh --count-only     # instruction counts only (~10 s)
#   bash scripts/bench.sh --time-only [benchmark flags...]
#
# BENCH_BUILD_DIR (default build/bench) and BENCH_FRAMES (default 100000) may
# be set. Extra arguments go to the benchmark program.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BENCH_BUILD_DIR:-build/bench}
frames=${BENCH_FRAMES:-100000}
time=1
count=1
case "${1:-}" in
  --count-only) time=0; shift ;;
  --time-only) count=0; shift ;;
esac

bash scripts/install-deps.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DKELVRIN_BUILD_TESTS=OFF -DKELVRIN_BUILD_TOOLS=OFF >/dev/null
cmake --build "$build" --target frame_bench frame_count -j2 >/dev/null

compiler=$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$build/CMakeCache.txt")
echo "== machine"
echo "$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'), $(nproc) cores;" \
  "$("$compiler" --version | head -1); $(valgrind --version)"

if [ "$time" = 1 ]; then
  echo
  echo "== time per frame (Google Benchmark, Release)"
  "$build/bench/frame_bench" "$@"
fi

# Instructions per frame inside FUNCTION only, over $frames frames.
count_per_frame() {
  local mode=$1 scenario=$2 function=$3 out
  out=$(mktemp)
  valgrind --tool=callgrind --collect-atstart=no --toggle-collect="$function" \
    --callgrind-out-file="$out" "$build/bench/frame_count" "$mode" "$scenario" "$frames" \
    >/dev/null 2>"$out.log" || { cat "$out.log" >&2; rm -f "$out" "$out.log"; return 1; }
  awk -v n="$frames" '/^totals:/ { printf "%.1f", $2 / n; found = 1 } END { exit !found }' "$out"
  rm -f "$out" "$out.log"
}

if [ "$count" = 1 ]; then
  echo
  echo "== instructions per frame (callgrind, $frames frames each)"
  "$build/bench/frame_count" frame Mix "$frames"
  frame=$(count_per_frame frame Mix Elapse)
  cycle=$(count_per_frame cycle Mix 'RunCycle(*')
  floor=$(count_per_frame floor Mix 'FrameFloor(*')
  printf '  %-26s %8s\n' "Elapse, mix" "$frame" "RunCycle, mix" "$cycle" "floor" "$floor"
  awk -v f="$frame" -v c="$cycle" -v l="$floor" \
    'BEGIN { printf "  frame / floor %.2f, cycle / floor %.2f\n", f / l, c / l }'
  for scenario in AtcRunning Overspeed EmergencyLatch CutOut; do
    printf '  %-26s %8s\n' "Elapse, $scenario" "$(count_per_frame frame "$scenario" Elapse)"
  done
fi

#!/usr/bin/env bash
# Exhaustive check of the safety rules (docs/safety.md) over every sequence of
# host calls, with SPIN: the plug-in's own sources compiled into the verifier,
# one search per rule, no depth cut-off, no bitstate hashing.
#
#   bash scripts/prove.sh              # every rule, full alphabet; then the sanitizer build
#   bash scripts/prove.sh --full --combined  # every rule in one search, full alphabet
#   bash scripts/prove.sh --reduced    # every rule, the reduced alphabet (CI)
#   bash scripts/prove.sh --faults     # each planted fault, one at a time: its counterexample
#   bash scripts/prove.sh --rule N     # one rule only (with --reduced or --faults as well)
#   bash scripts/prove.sh --combined   # every rule in one search (with --reduced: the CI run)
#
# Builds in build/proof/. Prints, per rule: states stored, transitions, the
# depth reached, errors and wall time. Exits non-zero if any rule fails (or,
# with --faults, if any planted fault goes unnoticed).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

# The product's sources the verifier runs, as the build lists them: the
# controller and the plug-in with the native platform layer and options reader.
cmake -S "$root" -B "$root/build/proof/sources" -DKELVRIN_BUILD_TESTS=OFF \
  -DKELVRIN_BUILD_TOOLS=OFF >/dev/null
mapfile -t product_sources <"$root/build/proof/sources/product_sources.txt"
include_dirs=(controller plugin host proof)
# The checker's own sources, built into every verifier (proof/README.md).
proof_sources=(proof/alphabet.cpp proof/state_abstraction.cpp proof/rules.cpp proof/trail.cpp proof/harness.cpp)

# Rule numbers and the names the table gives them (8 is the sanitizer build).
rules=(1 2 3 4 5 6 7 9 10 11 12 13)
declare -A rule_name=(
  [1]=BrakeNeverWeaker [2]=PowerCutWithOverride [3]=OverspeedBrakesNextFrame
  [4]=EmergencyHeld [5]=SoundsOnce [6]=PanelIndices [7]=StateRanges
  [8]=NoUndefinedBehaviour [9]=RollbackEmergency [10]=NoCodeEmergency
  [11]=IdleCallsChangeNothing [12]=MajorityNeverLost [13]=PermitCopiesAgree
)

# Planted faults: rule, file, sed expression. Each must give a counterexample.
faults=(
  "1|plugin/frame_step.cpp|s/return std::max(Module.AtcBrakeNotch, driverBrake);/return std::min(Module.AtcBrakeNotch, driverBrake);/"
  "2|plugin/frame_step.cpp|s/out.Power = 0;/out.Power = emergency ? 0 : driver.Power;/"
  "3|controller/supervise_speed.cpp|s/speedKmh <= atc.SpeedLimit ? 1 : 0;/speedKmh <= atc.SpeedLimit + ChannelMarginKmh ? 1 : 0;/"
  "4|controller/run_cycle.cpp|s/atc.ServiceBrakeCommand = 0;/atc.ServiceBrakeCommand = 0;\n    atc.EmergencyLatch = 0;/"
  "5|controller/run_cycle.cpp|s/atc.SoundRequest.fill(SOUND_CONTINUE);/atc.SoundRequest[ChangeSoundSlot] = SOUND_CONTINUE;\n  atc.SoundRequest[Aspect10SoundSlot] = SOUND_CONTINUE;/"
  "6|plugin/frame_step.cpp|s/panel\[PanelAtsRunning\] = 1;/panel[PanelAtsRunning] = 1;\n    panel[PanelAtsReady] = 0;/"
  "7|plugin/signal_events.cpp|s/atc.StepFlags.fill(0);//"
  "9|controller/run_cycle.cpp|s/ || (atc.RollbackSeen\[0\] \&\& atc.RollbackSeen\[1\])//"
  "10|controller/run_cycle.cpp|s/(1U << SpeedStepNoCode) | (1U << SpeedStepStop)/(1U << SpeedStepNoCode)/"
  "11|plugin/exports.cpp|s/ATC_CALL KeyUp(int32_t) noexcept {}/ATC_CALL KeyUp(int32_t key) noexcept { OnKeyDown(key); }/"
)

mode=full
only_rule=
combined=
while [ $# -gt 0 ]; do
  case $1 in
    --full) mode=full ;;
    --reduced) mode=reduced ;;
    --faults) mode=faults ;;
    --rule) only_rule=$2; shift ;;
    --combined) combined=1 ;;
    *) echo "prove.sh: unknown option $1" >&2; exit 2 ;;
  esac
  shift
done

command -v spin >/dev/null || { echo "prove.sh: spin is missing (bash scripts/install-deps.sh)" >&2; exit 2; }
jobs=2
build=$root/build/proof
mkdir -p "$build"
cxxflags=(-std=c++20 -O2 -g0 -Wall -Wextra -Werror)
for d in "${include_dirs[@]}"; do cxxflags+=(-I"$root/$d"); done
# pan.c is SPIN's; its own warnings are not ours.
# The full alphabet's search stores about ten million states (3 GB of the
# limit): a hash table of 2^26 slots keeps its chains short.
hashbits=24
[ $mode = full ] && hashbits=26
panflags=(-O2 -w -DSAFETY -DCOLLAPSE -DMEMLIM=6144 -DNOFAIR -DNOCLAIM -I"$root/proof")
depth=20000000

# Compiles the product sources under $1 (a tree holding them) into $2, with
# extra flags $3...
compile_product() {
  local src=$1 out=$2; shift 2
  mkdir -p "$out"
  local objs=()
  for f in "${product_sources[@]}"; do
    objs+=("$out/$(basename "${f%.cpp}").o")
    g++ "${cxxflags[@]}" "$@" -c "$src/$f" -o "$out/$(basename "${f%.cpp}").o" &
    while [ "$(jobs -rp | wc -l)" -ge $jobs ]; do wait -n; done
  done
  wait
}

# Builds the verifier for rule $1 in directory $2 from product objects in $3,
# with extra compile flags $4...
build_pan() {
  local rule=$1 dir=$2 objs=$3; shift 3
  mkdir -p "$dir"
  local model=()
  for f in "${proof_sources[@]}"; do
    model+=("$dir/$(basename "${f%.cpp}").o")
    g++ "${cxxflags[@]}" "$@" -DKV_PROPERTY="$rule" -c "$root/$f" -o "${model[-1]}"
  done
  gcc -O2 -I"$root/proof" -c "$root/proof/alphabet_size.c" -o "$dir/alphabet_size.o"
  g++ "$@" "$dir/alphabet_size.o" "${model[@]}" "$objs"/*.o -o "$dir/alphabet" -ldl
  local n
  n=$(cd "$dir" && ./alphabet)
  {
    sed '/@ALTERNATIVES@/,$d' "$root/proof/kelvrin.pml.in"
    for ((k = 0; k < n; k++)); do
      echo "  :: d_step { c_code { now.broken = kv_call($k); }; assert(broken == 0) }"
    done
    sed '1,/@ALTERNATIVES@/d' "$root/proof/kelvrin.pml.in"
  } >"$dir/kelvrin.pml"
  (cd "$dir" && spin -a kelvrin.pml >/dev/null)
  gcc "${panflags[@]}" "$@" -c "$dir/pan.c" -o "$dir/pan.o"
  g++ "$@" "$dir/pan.o" "${model[@]}" "$objs"/*.o -o "$dir/pan" -ldl
}

# Runs the search in $1; prints one line of figures; returns 1 on an error.
run_pan() {
  local dir=$1 label=$2 start end
  start=$(date +%s.%N)
  # Line-buffered, so that a long search shows its progress in pan.out.
  (cd "$dir" && stdbuf -oL ./pan -m$depth -w$hashbits -n >pan.out 2>&1) || true
  end=$(date +%s.%N)
  local states transitions reached errors
  states=$(awk '/states, stored/ {print $1; exit}' "$dir/pan.out")
  transitions=$(awk '/transitions \(= stored\+matched\)/ {print $1; exit}' "$dir/pan.out")
  reached=$(sed -n 's/.*depth reached \([0-9]*\).*/\1/p' "$dir/pan.out" | head -1)
  errors=$(sed -n 's/.*errors: \([0-9]*\).*/\1/p' "$dir/pan.out" | head -1)
  printf '%-28s states %12s  transitions %13s  depth %9s  errors %s  %6.1f s\n' \
    "$label" "${states:-?}" "${transitions:-?}" "${reached:-?}" "${errors:-?}" \
    "$(echo "$end - $start" | bc)"
  if grep -q "max search depth too small" "$dir/pan.out"; then
    echo "  search cut off by the depth bound: raise depth in scripts/prove.sh" >&2
    return 1
  fi
  if grep -q "out of memory\|Hash-Compact\|Bit statespace" "$dir/pan.out"; then
    echo "  search not exhaustive:" >&2
    cat "$dir/pan.out" >&2
    return 1
  fi
  [ "${errors:-1}" = 0 ]
}

# The counterexample of the search in $1 as host calls, into $1/calls.txt.
replay_trail() {
  local dir=$1
  (cd "$dir" && ./pan -r -n kelvrin.pml.trail >replay.out 2>&1) || true
  sed -n 's/^CALL //p' "$dir/replay.out" >"$dir/calls.txt"
  grep -m1 '^BROKEN' "$dir/replay.out" || true
}

# The replay program: host calls from a file against a built library.
build_replay() {
  g++ "${cxxflags[@]}" -I"$root/tools/loader" "$root/proof/replay.cpp" -o "$build/replay" -ldl
}

selected() { [ -z "$only_rule" ] || [ "$only_rule" = "$1" ]; }

status=0
case $mode in
  full | reduced)
    extra=()
    [ $mode = reduced ] && extra=(-DKV_REDUCED)
    compile_product "$root" "$build/$mode/product" "${extra[@]}"
    if [ -n "$combined" ]; then
      echo "== every rule in one exhaustive search, $mode alphabet"
      build_pan 0 "$build/$mode/all" "$build/$mode/product" "${extra[@]}"
      if ! run_pan "$build/$mode/all" "all rules"; then
        status=1
        replay_trail "$build/$mode/all"
        echo "  counterexample: $build/$mode/all/calls.txt; replay it:"
        echo "  $build/replay build/default/plugin/KELVRIN.so $build/$mode/all/calls.txt"
      else
        # The one search asserts every rule after every call: the figures above
        # are each rule's.
        for r in "${rules[@]}"; do printf '  R%-3s %-26s 0 errors\n' "$r" "${rule_name[$r]}"; done
      fi
      only_rule=none
    else
      echo "== rules, $mode alphabet: one exhaustive search each"
    fi
    for r in "${rules[@]}"; do
      selected "$r" || continue
      build_pan "$r" "$build/$mode/rule$r" "$build/$mode/product" "${extra[@]}"
      if ! run_pan "$build/$mode/rule$r" "R$r ${rule_name[$r]}"; then
        status=1
        replay_trail "$build/$mode/rule$r"
        echo "  counterexample: $build/$mode/rule$r/calls.txt"
      fi
    done
    if selected 8; then
      # Every rule at once, in a verifier built with the sanitizers: any
      # undefined behaviour or bad access on any path stops the search.
      san=(-fsanitize=undefined,address -fno-sanitize-recover=all -D_GLIBCXX_ASSERTIONS)
      compile_product "$root" "$build/$mode/product-san" "${extra[@]}" "${san[@]}"
      build_pan 0 "$build/$mode/rule8" "$build/$mode/product-san" "${extra[@]}" "${san[@]}"
      ASAN_OPTIONS=detect_leaks=0:verify_asan_link_order=0 run_pan "$build/$mode/rule8" "R8 ${rule_name[8]}" || status=1
    fi
    ;;
  faults)
    build_replay
    echo "== planted faults, one at a time (reduced alphabet; shortest counterexample by rising depth bounds)"
    for entry in "${faults[@]}"; do
      IFS='|' read -r r file expr <<<"$entry"
      selected "$r" || continue
      tree=$build/faults/fault$r/src
      rm -rf "$tree"
      mkdir -p "$tree"
      cp -r controller plugin host "$tree/"
      sed -i "$expr" "$tree/$file"
      if cmp -s "$file" "$tree/$file"; then
        echo "R$r: the fault did not apply to $file" >&2
        status=1
        continue
      fi
      compile_product "$tree" "$build/faults/fault$r/product" -DKV_REDUCED
      build_pan "$r" "$build/faults/fault$r" "$build/faults/fault$r/product" -DKV_REDUCED
      found=
      for bound in 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 20 24 32 64; do
        rm -f "$build/faults/fault$r/kelvrin.pml.trail"
        (cd "$build/faults/fault$r" && ./pan -m$bound -n >pan.out 2>&1) || true
        if [ -f "$build/faults/fault$r/kelvrin.pml.trail" ]; then found=$bound; break; fi
      done
      if [ -z "$found" ]; then
        echo "R$r: planted fault NOT found ($file: $expr)"
        status=1
      else
        broken=$(replay_trail "$build/faults/fault$r")
        printf 'R%-3s %-26s counterexample of %3d host calls  %s\n' "$r" "${rule_name[$r]}" \
          "$(wc -l <"$build/faults/fault$r/calls.txt")" "$broken"
        # The same calls against a library built from the faulty sources, as a
        # host loads it: the fault as the host sees it.
        faulty_sources=()
        for f in "${product_sources[@]}"; do faulty_sources+=("$tree/$f"); done
        g++ "${cxxflags[@]}" -fPIC -shared "${faulty_sources[@]}" -o "$build/faults/fault$r/KELVRIN.so" -ldl
        "$build/replay" "$build/faults/fault$r/KELVRIN.so" "$build/faults/fault$r/calls.txt" \
          >"$build/faults/fault$r/replay.txt"
        sed 's/^/      /' "$build/faults/fault$r/replay.txt"
      fi
    done
    ;;
esac
exit $status

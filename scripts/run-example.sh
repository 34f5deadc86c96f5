#!/usr/bin/env bash
# The first thing to run: installs what is missing, builds the native plug-in
# and the drive tool, drives the plug-in through an example scenario and says
# where its outputs are; then builds the release zip (both Windows DLLs, the
# sample options, the guide) and ends by naming the run's page.
#
#   bash scripts/run-example.sh [SCENARIO]     (default: examples/approach.toml)
set -euo pipefail
cd "$(dirname "$0")/.."

scenario=${1:-examples/approach.toml}

bash scripts/install-deps.sh

echo "== native build (build/default)"
cmake --preset default
cmake --build --preset default --target KELVRIN drive

echo
echo "== driving KELVRIN.so through $scenario"
name=$(basename "$scenario" .toml)
build/default/tools/drive "$scenario" --plugin build/default/plugin/KELVRIN.so \
  --out "drive-out/$name"

echo
echo "== release zip: KELVRIN.dll for x64 and x86, KELVRIN.ini, the guide"
bash scripts/release.sh

echo
echo "Trace:  $(pwd)/drive-out/$name/trace.csv"
echo "Report: $(pwd)/drive-out/$name/report.html   (open it in a browser)"

#!/usr/bin/env bash
# Checks a release zip as a train author gets it: unpacked, the README and both
# options files there, every link of the guide resolving, and each DLL loaded
# under wine from its unpacked folder by the library suite (options found in
# folders named in any script, thread notifications, the version resource).
#
#   bash tests/release/check-release-zip.sh dist/KELVRIN-<version>-windows.zip
set -euo pipefail
zip=$(realpath "$1")
cd "$(dirname "$0")/../.."

check=$(pwd)/build/release-check
rm -rf "$check/unpacked"
mkdir -p "$check/unpacked"
unzip -q "$zip" -d "$check/unpacked"
for file in README.txt x64/KELVRIN.ini x86/KELVRIN.ini guide/guide.html; do
  [ -f "$check/unpacked/$file" ] || { echo "check-release-zip: no $file in $zip" >&2; exit 1; }
done
cmake -DDIR="$check/unpacked/guide" -P tests/release/check_guide_links.cmake

for build in x64:windows x86:windows32; do
  arch=${build%%:*}
  cmake --preset "${build#*:}" -B "$check/$arch" -DKELVRIN_BUILD_TOOLS=OFF >/dev/null
  cmake --build "$check/$arch" -j2 --target library_tests
  KELVRIN_DLL="$check/unpacked/$arch/KELVRIN.dll" \
    bash scripts/with-wine.sh ctest --test-dir "$check/$arch" -j2 -L library
done

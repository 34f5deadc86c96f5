#!/usr/bin/env bash
# Checks a release zip as a train author gets it: unpacked, the README and both
# options files there, every link of the guide resolving, and each DLL loaded
# under wine from its unpacked folder by the shipped-DLL suite (options found
# in folders named in any script, the version resource).
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

declare -A preset=([x64]=windows [x86]=windows32)
for arch in x64 x86; do
  cmake --preset "${preset[$arch]}" -B "$check/$arch" -DKELVRIN_BUILD_TOOLS=OFF >/dev/null
  cmake --build "$check/$arch" -j2 --target shipped_dll_tests
done
bash scripts/with-wine.sh bash -c "
  KELVRIN_DLL='$check/unpacked/x64/KELVRIN.dll' ctest --test-dir '$check/x64' -j2 -R ShippedDll &&
  KELVRIN_DLL='$check/unpacked/x86/KELVRIN.dll' ctest --test-dir '$check/x86' -j2 -R ShippedDll"

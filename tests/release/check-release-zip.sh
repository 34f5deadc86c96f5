#!/usr/bin/env bash
# Checks a release zip as a train author gets it: unpacked, the README and both
# options files there, every link of the guide resolving, and each DLL loaded
# under wine from its unpacked folder by the library suite (options found in
# folders named in any script, thread notifications, the version resource);
# the x86 one only where 32-bit programs run, natively or emulated; and each
# folder's drive.exe run from there on an example, driving the DLL beside it.
#
#   bash tests/release/check-release-zip.sh dist/KELVRIN-<version>-windows.zip
set -euo pipefail
zip=$(realpath "$1")
cd "$(dirname "$0")/../.."

check=$(pwd)/build/release-check
rm -rf "$check/unpacked"
mkdir -p "$check/unpacked"
unzip -q "$zip" -d "$check/unpacked"
for file in README.txt x64/KELVRIN.ini x86/KELVRIN.ini x64/drive.exe x86/drive.exe \
  examples/approach.toml guide/guide.html licences/uPlot.txt; do
  [ -f "$check/unpacked/$file" ] || { echo "check-release-zip: no $file in $zip" >&2; exit 1; }
done
cmake -DDIR="$check/unpacked/guide" -P tests/release/check_guide_links.cmake

# Both DLLs under one wine prefix: where 32-bit programs are emulated, its
# set-up alone takes minutes. Where they can't run, the x86 DLL is not run.
x86=$(bash scripts/x86-support.sh)
arches=(x64 x86)
if [ "${x86%%:*}" = none ]; then
  echo "check-release-zip: x86/KELVRIN.dll not run: 32-bit programs can't run here (${x86#none: })"
  arches=(x64)
fi
declare -A preset=([x64]=windows [x86]=windows32)
for arch in "${arches[@]}"; do
  cmake --preset "${preset[$arch]}" -B "$check/$arch" -DKELVRIN_BUILD_TOOLS=OFF >/dev/null
  cmake --build "$check/$arch" -j2 --target library_tests
done
root=$(pwd) check=$check bash scripts/with-wine.sh bash -c '
  set -euo pipefail
  for arch in '"${arches[*]}"'; do
    KELVRIN_DLL="$check/unpacked/$arch/KELVRIN.dll" ctest --test-dir "$check/$arch" -j2 -L library
    # drive.exe as an author runs it: from its folder, on the DLL beside it.
    wine=$(sed -n "s/^KELVRIN_WINE:[A-Z]*=//p" "$check/$arch/CMakeCache.txt")
    (cd "$check/unpacked/$arch" &&
      bash "$root/cmake/wine-run.sh" "$wine" drive.exe ../examples/approach.toml \
        --out "$check/drive-$arch" --quiet)
    for file in summary.txt trace.csv report.html; do
      [ -s "$check/drive-$arch/$file" ] || { echo "check-release-zip: $arch/drive.exe wrote no $file" >&2; exit 1; }
    done
    grep -q "KELVRIN.dll" "$check/drive-$arch/summary.txt" || exit 1
  done'

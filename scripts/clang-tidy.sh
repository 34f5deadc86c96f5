#!/usr/bin/env bash
# clang-tidy over controller/ and plugin/ with the checks in .clang-tidy: the
# native sources through the default build's compile commands, and the Windows
# sources as the mingw-w64 compilers see them (64-bit, and 32-bit where that
# compiler is installed), with the cross compiler's C++ library.
# Exits non-zero on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/default
[ -f "$build/compile_commands.json" ] || cmake --preset default >/dev/null

mapfile -t native < <(git ls-files controller plugin | grep '\.cpp$' | grep -v '_windows\.cpp$')
echo "clang-tidy: ${#native[@]} native sources"
clang-tidy -p "$build" --quiet "${native[@]}"

mapfile -t windows < <(git ls-files plugin | grep '\.cpp$' | grep -v -e '_posix\.cpp$' -e 'ini_reader\.cpp$')
for triple in x86_64-w64-mingw32 i686-w64-mingw32; do
  cxx=$(command -v "$triple-g++-posix" || true)
  [ -n "$cxx" ] || continue
  # clang brings its own compiler headers; it takes only the C++ library's
  # folders from the cross compiler.
  includes=()
  while read -r dir; do
    includes+=("-isystem" "$dir")
  done < <("$cxx" -E -x c++ -v - </dev/null 2>&1 |
           sed -n '/#include <...> search starts here:/,/End of search list./p' | grep '/c++')
  echo "clang-tidy: ${#windows[@]} sources for $triple"
  clang-tidy --quiet "${windows[@]}" -- --target="$triple" -std=c++20 -nostdinc++ \
    "${includes[@]}" -Icontroller -Ihost -Iplugin
done

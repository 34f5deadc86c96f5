#!/usr/bin/env bash
# Installs what building and testing the plug-in needs, from Debian's packages.
# Idempotent: when everything is present it only checks and returns.
set -euo pipefail

packages=(
  build-essential cmake ninja-build git
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libtomlplusplus-dev libcli11-dev
  clang libclang-rt-14-dev clang-format clang-tidy
  g++-mingw-w64-x86-64 wine64
  g++-mingw-w64-i686-posix wine32:i386
  valgrind binutils gcovr
  cmark-gfm zip unzip
  spin bc
)

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

# The 32-bit wine is an i386 package: the architecture must be known first.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "install-deps: adding the i386 architecture"
  "${sudo_cmd[@]}" dpkg --add-architecture i386
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q '^install ok installed$'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "install-deps: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

#!/usr/bin/env bash
# Installs what building and testing the plug-in needs, from Debian's packages,
# and the charting library of the drive tool's page from the npm registry, as
# tools/report/package-lock.json pins it. Idempotent: when everything is
# present it only checks and returns.
set -euo pipefail

packages=(
  build-essential cmake ninja-build git
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libtomlplusplus-dev libcli11-dev libfmt-dev libncurses-dev tmux
  clang libclang-rt-14-dev clang-format clang-tidy
  g++-mingw-w64-x86-64 wine64
  g++-mingw-w64-i686-posix wine32:i386
  valgrind binutils gcovr
  cmark-gfm zip unzip
  spin bc python3
  nodejs chromium chromium-driver python3-selenium
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

# Debian's nodejs comes without npm, which is a package of its own there; a
# nodejs that brings its own npm conflicts with that package.
if ! command -v npm >/dev/null; then
  echo "install-deps: installing npm"
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends npm >/dev/null
fi

# The library as locked; the lock file kept beside it says which it is.
report=$(dirname "$0")/../tools/report
if ! cmp -s "$report/package-lock.json" "$report/node_modules/.kelvrin-lock.json"; then
  echo "install-deps: installing the page's charting library (npm ci in tools/report)"
  (cd "$report" && npm ci --no-audit --no-fund --silent)
  cp "$report/package-lock.json" "$report/node_modules/.kelvrin-lock.json"
fi

# A kernel built without 32-bit support refuses every 32-bit program, the
# 32-bit wine loader among them. There Debian's qemu-user-static runs them,
# registered with binfmt_misc for 32-bit x86 programs; the registration lasts
# until the machine restarts. Machines that run 32-bit programs themselves are
# left as they are. KELVRIN_NO_X86_EMULATION=1 forbids the registration (to
# try the build on a machine without any 32-bit support).
x86=$(bash "$(dirname "$0")/x86-support.sh")
if [ "${x86%%:*}" = none ]; then
  binfmt=/proc/sys/fs/binfmt_misc
  if [ -n "${KELVRIN_NO_X86_EMULATION:-}" ]; then
    echo "install-deps: 32-bit programs don't run here (${x86#none: }); KELVRIN_NO_X86_EMULATION is set, so no emulator is registered"
  elif [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: 32-bit programs don't run here (${x86#none: }); registering an emulator for them needs root"
  else
    if ! dpkg-query -W -f='${Status}' qemu-user-static 2>/dev/null | grep -q '^install ok installed$'; then
      DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends qemu-user-static >/dev/null
    fi
    [ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null || true
    if [ -e "$binfmt/qemu-i386" ]; then
      echo 1 >"$binfmt/qemu-i386"  # registered before, then switched off
    elif [ -w "$binfmt/register" ]; then
      # Magic and mask of a 32-bit little-endian i386 ELF executable or shared
      # object; F opens the emulator now, so it also serves inside other roots.
      printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
        >"$binfmt/register"
    fi
    after=$(bash "$(dirname "$0")/x86-support.sh")
    if [ "${after%%:*}" = emulated ]; then
      echo "install-deps: the kernel refuses 32-bit programs, so qemu-i386-static now runs them (binfmt_misc, until the machine restarts)"
    else
      echo "install-deps: the kernel refuses 32-bit programs and the emulator could not be registered (${after#none: })"
    fi
  fi
fi

#!/usr/bin/env bash
# Tells how this machine runs 32-bit x86 programs, found out by running one.
# Prints one line; its first word is the verdict:
#
#   native     the kernel runs them itself
#   emulated   a user-mode emulator registered with binfmt_misc runs them
#              (the rest of the line names it)
#   none       they do not run at all (the rest of the line says why)
#
#   bash scripts/x86-support.sh
#
# Used by install-deps.sh (to register the emulator only where it is needed),
# with-wine.sh, test-all.sh, release.sh and the x86 test registration in CMake.
# It never changes the machine.
set -euo pipefail

# The smallest 32-bit x86 Linux program there is: a 52-byte ELF header, one
# loadable segment and twelve bytes of code, `mov ebx, 32; mov eax, 1;
# int 0x80`, the exit system call with status 32. It needs no libraries, so it
# tells what the kernel (or its emulator) does with 32-bit code and nothing
# else.
write_probe() {
  local header segment code
  header='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'  # ELF32, little-endian
  header+='\x02\x00\x03\x00\x01\x00\x00\x00'                       # executable, i386, version 1
  header+='\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00'       # entry 0x08048054, segments at 52
  header+='\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00'  # one 32-byte segment entry
  segment='\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08'  # load from 0
  segment+='\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'  # 96 bytes, r-x
  code='\xbb\x20\x00\x00\x00\xb8\x01\x00\x00\x00\xcd\x80'
  printf "$header$segment$code" >"$1"
  chmod +x "$1"
}

# An enabled binfmt_misc entry that takes 32-bit x86 ELF programs, by its
# magic: ELF class 32, little-endian, version 1, ..., type executable, i386.
emulator_entry() {
  local dir=/proc/sys/fs/binfmt_misc entry
  [ -r "$dir/status" ] && [ "$(cat "$dir/status")" = enabled ] || return 1
  for entry in "$dir"/*; do
    case ${entry##*/} in register | status) continue ;; esac
    if grep -qx enabled "$entry" 2>/dev/null &&
      grep -q '^magic 7f454c4601010100000000000000000002000300' "$entry" 2>/dev/null; then
      echo "${entry##*/} ($(sed -n 's/^interpreter //p' "$entry"))"
      return 0
    fi
  done
  return 1
}

if [ "$(uname -m)" != x86_64 ] && [ "$(uname -m)" != i686 ]; then
  echo "none: this is a $(uname -m) machine"
  exit 0
fi

probe_dir=$(mktemp -d "${TMPDIR:-/tmp}/kelvrin-x86-probe.XXXXXX")
trap 'rm -rf "$probe_dir"' EXIT
write_probe "$probe_dir/probe"

status=0
error=$("$probe_dir/probe" 2>&1) || status=$?
if [ "$status" -eq 32 ]; then
  if entry=$(emulator_entry); then
    echo "emulated: binfmt_misc entry $entry"
  else
    echo "native"
  fi
  exit 0
fi

# bash reports "Exec format error" for a program the kernel refused.
case $error in
  *"Exec format error"*) reason="the kernel refuses 32-bit programs (Exec format error)" ;;
  *) reason="a 32-bit program failed with status $status${error:+: $error}" ;;
esac
if [ ! -e /proc/sys/fs/binfmt_misc/status ]; then
  reason+=", and no emulator is registered (binfmt_misc is not mounted)"
else
  reason+=", and no emulator is registered for them"
fi
echo "none: $reason"

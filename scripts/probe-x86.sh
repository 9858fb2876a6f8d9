#!/usr/bin/env bash
# Can this machine run the x86 tests? Prints "ok", or the reason it cannot, and
# exits 0 or 1.
#   probe-x86.sh kernel   only whether the kernel executes 32-bit programs
#   probe-x86.sh          that, and whether Wine's 32-bit half is installed and starts
# Machines of our kind differ in the first: some kernels lack 32-bit support.
set -u

probe_kernel() {
  local dir exe out rc
  dir=$(mktemp -d) || { echo "cannot make a temporary folder"; return 1; }
  exe=$dir/exit42
  # A complete i386 ELF program of 96 bytes: exit(42) through int 0x80. Written
  # out byte by byte so the probe needs no 32-bit toolchain or library.
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00' >"$exe"
  printf '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00' >>"$exe"
  printf '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00' >>"$exe"
  printf '\x00\x00\x00\x00' >>"$exe"
  printf '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08' >>"$exe"
  printf '\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00' >>"$exe"
  printf '\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >>"$exe"
  chmod +x "$exe"
  out=$("$exe" 2>&1)
  rc=$?
  rm -rf "$dir"
  [ $rc -eq 42 ] && return 0
  out=${out##*: }
  echo "this machine cannot execute 32-bit programs: a 32-bit test program failed with \"${out:-exit code $rc}\""
  return 1
}

probe_wine32() {
  local out
  if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'; then
    echo "wine32:i386 is not installed"
    return 1
  fi
  if ! out=$(/usr/lib/wine/wine --version 2>&1); then
    echo "Wine's 32-bit loader does not start: ${out##*: }"
    return 1
  fi
}

case "${1:-all}" in
kernel) probe_kernel || exit 1 ;;
all) probe_kernel && probe_wine32 || exit 1 ;;
*) echo "usage: $0 [kernel]" >&2; exit 2 ;;
esac
echo ok

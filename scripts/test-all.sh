#!/usr/bin/env bash
# Configures, builds and tests x86 and x64, then prints one summary line per
# arch. A build fails on its own exit status; compiler warnings are errors in
# the presets. x86 runs only where the machine can execute 32-bit programs and
# Wine's 32-bit half is there; otherwise it is built and reported NOT RUN with
# the reason. Exits non-zero when anything that ran failed or x64 did not pass.
set -u
cd "$(dirname "$0")/.."

declare -A result
rc=0

# Why x86 cannot run here, or nothing when it can.
x86_not_run_reason() {
  local probe status
  probe=$(./scripts/probe-x86.sh) && return 0
  status=$(cat build/wine32.status 2>/dev/null || true)
  # setup's own words say why wine32 is missing; the probe only sees that it is.
  case "$probe" in
  'wine32:i386 is not installed') echo "${status:-$probe (run make setup)}" ;;
  *) echo "$probe" ;;
  esac
}

run_arch() {
  local arch=$1 log=build/$arch-test.log reason
  mkdir -p build
  if ! cmake --preset "$arch" >"build/$arch-configure.log" 2>&1; then
    tail -n 30 "build/$arch-configure.log"
    result[$arch]="FAILED (configure, see build/$arch-configure.log)"
    return 1
  fi
  if ! cmake --build --preset "$arch" >"build/$arch-build.log" 2>&1; then
    grep -E 'error|warning|FAILED' "build/$arch-build.log" | head -n 40
    result[$arch]="FAILED (build, see build/$arch-build.log)"
    return 1
  fi
  if [ "$arch" = x86 ]; then
    reason=$(x86_not_run_reason)
    if [ -n "$reason" ]; then
      result[$arch]="NOT RUN ($reason; the build passed)"
      return 2
    fi
  fi
  # One X display for the whole run: GUI tests need it, the rest ignore it.
  if xvfb-run -a -s '-screen 0 1280x1024x24' ctest --preset "$arch" >"$log" 2>&1; then
    result[$arch]="passed ($(grep -Eo '[0-9]+ tests failed out of [0-9]+' "$log" | awk '{print $NF}') tests, see $log)"
    return 0
  fi
  grep -E '^\s+[0-9]+ - |tests passed' "$log"
  result[$arch]="FAILED ($(grep -Eo '[0-9]+ tests failed out of [0-9]+' "$log"), see $log)"
  return 1
}

for arch in x86 x64; do
  echo "== $arch"
  run_arch "$arch"
  r=$?
  if [ $r -eq 1 ]; then rc=1; fi
  if [ "$arch" = x64 ] && [ $r -ne 0 ]; then rc=1; fi
done

echo
echo "== summary"
for arch in x86 x64; do
  printf '%-4s %s\n' "$arch:" "${result[$arch]}"
done
exit $rc

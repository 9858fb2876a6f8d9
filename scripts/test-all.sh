#!/usr/bin/env bash
# Configures, builds and tests x86 and x64, then prints one summary line per
# arch. Exits non-zero when anything that ran failed or when x64 could not run.
set -u
cd "$(dirname "$0")/.."

status_file=build/wine32.status
declare -A result
rc=0

run_arch() {
  local arch=$1 log=build/$arch-test.log
  mkdir -p build
  if ! cmake --preset "$arch" >"build/$arch-configure.log" 2>&1; then
    tail -n 30 "build/$arch-configure.log"
    result[$arch]="FAILED (configure, see build/$arch-configure.log)"
    return 1
  fi
  if ! cmake --build --preset "$arch" 2>&1 | tee "build/$arch-build.log" | grep -E 'warning|error|FAILED' ; then :; fi
  if [ "${PIPESTATUS[0]}" -ne 0 ]; then
    result[$arch]="FAILED (build, see build/$arch-build.log)"
    return 1
  fi
  if [ "$arch" = x86 ] && [ "$(cat "$status_file" 2>/dev/null)" != ok ]; then
    result[$arch]="NOT RUN ($(cat "$status_file" 2>/dev/null || echo 'wine32 status unknown: run make setup'))"
    return 2
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

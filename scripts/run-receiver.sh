#!/usr/bin/env bash
# The receiver console (examples/receiver) against the fake receiver:
#   run-receiver.sh <x86|x64>
# With a display the console's window opens, its settings imported from an INI file
# that points it at the fake receiver on a free TCP port; Connect and type *IDN?,
# FREQ 100.5, FREQ?, MEAS? or FREQ 9000. Without a display the end-to-end test plays
# the scripted session under Xvfb and the screenshots go to docs/screenshots/receiver_*.png.
set -eu
arch=$1
case "$arch" in
x64) export WINELOADER=/usr/lib/wine/wine64 ;;
x86)
  if ! reason=$(./scripts/probe-x86.sh); then
    echo "run-receiver.sh: x86 programs cannot run here: $reason" >&2
    exit 1
  fi
  export WINELOADER=/usr/lib/wine/wine
  ;;
*) echo "usage: $0 x86|x64" >&2; exit 2 ;;
esac

if [ -z "${DISPLAY:-}" ]; then
  log="build/$arch-receiver.log"
  (cd "build/$arch" && xvfb-run -a -s '-screen 0 1280x1024x24' \
    ctest -V -R 'receiver_test|wine') >"$log" 2>&1 || { tail -n 40 "$log"; exit 1; }
  grep -oE '\[ +(OK|SKIPPED|FAILED) +\].*' "$log" || true
  python3 tools/screenshots.py --shrink "build/$arch/test-output/receiver_test" docs/screenshots \
    receiver_connected_en receiver_script_en receiver_error_en receiver_serial_en \
    receiver_connected_de receiver_error_de
  for shot in receiver_filedlg_en receiver_browse_en; do # only with the library's pickers
    if [ -f "build/$arch/test-output/receiver_test/$shot.png" ]; then
      python3 tools/screenshots.py --shrink "build/$arch/test-output/receiver_test" docs/screenshots $shot
    fi
  done
  echo "scripted session passed; screenshots in docs/screenshots/receiver_*.png (see docs/receiver.md)"
  exit 0
fi

export WINEPREFIX="$PWD/build/$arch/wineprefix"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
bin="$PWD/build/$arch/bin"
./scripts/wine-prefix.sh start
fake=
cleanup() {
  [ -n "$fake" ] && kill "$fake" 2>/dev/null || true
  ./scripts/wine-prefix.sh stop
}
trap cleanup EXIT
trap "exit 1" INT TERM
rm -f "$bin/fake_receiver.port"
(cd "$bin" && exec "$WINELOADER" fake_receiver.exe --tcp 0 --port-file fake_receiver.port \
  --log fake_receiver.log) >/dev/null 2>&1 &
fake=$!
for _ in $(seq 100); do [ -s "$bin/fake_receiver.port" ] && break; sleep 0.1; done
port=$(tr -d '\r\n' <"$bin/fake_receiver.port")
printf '[Receiver]\r\nConnection=TCP\r\nHost=127.0.0.1\r\nTcpPort=%s\r\n' "$port" >"$bin/fake_receiver.ini"
echo "fake receiver TK-100 on 127.0.0.1:$port; its log: $bin/fake_receiver.log"
(cd "$bin" && "$WINELOADER" receiver.exe /import "Z:${bin//\//\\}\\fake_receiver.ini")

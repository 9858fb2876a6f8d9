#!/usr/bin/env bash
# Runs one program of an arch's build under Wine with the test prefix of that
# build tree: run-wine.sh <x86|x64> <program.exe> [arguments...]
set -eu
# The wineserver and the desktop must start inside the X display the program
# uses, or its windows may fail to appear.
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s '-screen 0 1280x1024x24' "$0" "$@"
fi
arch=$1
shift
case "$arch" in
x64) export WINELOADER=/usr/lib/wine/wine64 ;;
x86)
  if ! reason=$(./scripts/probe-x86.sh); then
    echo "run-wine.sh: x86 programs cannot run here: $reason" >&2
    exit 1
  fi
  export WINELOADER=/usr/lib/wine/wine
  ;;
*) echo "usage: $0 x86|x64 program.exe [arguments...]" >&2; exit 2 ;;
esac
export WINEPREFIX="$PWD/build/$arch/wineprefix"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
./scripts/wine-prefix.sh start
trap './scripts/wine-prefix.sh stop' EXIT
# TARNKIT_UNMANAGED=<program.exe>: Wine draws the program's window frames itself, as
# there is no window manager under Xvfb to draw them.
if [ -n "${TARNKIT_UNMANAGED:-}" ]; then
  "$WINELOADER" reg.exe add "HKCU\\Software\\Wine\\AppDefaults\\$TARNKIT_UNMANAGED\\X11 Driver" \
    /v Managed /t REG_SZ /d N /f </dev/null >/dev/null 2>&1
fi
"$WINELOADER" "$@"

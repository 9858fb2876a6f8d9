#!/usr/bin/env bash
# Runs one program of an arch's build under Wine with the test prefix of that
# build tree: run-wine.sh <x86|x64> <program.exe> [arguments...]
set -eu
arch=$1
shift
export WINEPREFIX="$PWD/build/$arch/wineprefix"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
./scripts/wine-prefix.sh start
trap './scripts/wine-prefix.sh stop' EXIT
if [ -n "${DISPLAY:-}" ]; then
  wine "$@"
else
  xvfb-run -a wine "$@"
fi

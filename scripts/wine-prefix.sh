#!/usr/bin/env bash
# Test fixture: "start" makes the Wine prefix named by WINEPREFIX (created on
# first use, crash debugger off) and starts a persistent wineserver for the
# whole test run; "stop" ends that server.
set -eu
: "${WINEPREFIX:?WINEPREFIX must name the test prefix}"
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

case "${1:-}" in
start)
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot -i </dev/null >/dev/null 2>&1
    wineserver -w
    # Without a debugger an unhandled crash ends the process at once instead of
    # waiting in winedbg until the run's time limit.
    for view in 64 32; do
      wine reg delete 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
        /v Debugger /f /reg:$view >/dev/null 2>&1 || true
    done
    wineserver -w
  fi
  # Detached from our output, or CTest would wait for the server to exit.
  wineserver -p </dev/null >/dev/null 2>&1
  # Bring up the services and the desktop now, detached as well: started later
  # by a test program they would hold on to that test's output.
  wine cmd /c exit </dev/null >/dev/null 2>&1
  ;;
stop)
  wineserver -k 2>/dev/null || true
  ;;
*)
  echo "usage: $0 start|stop" >&2
  exit 2
  ;;
esac

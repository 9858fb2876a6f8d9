#!/usr/bin/env bash
# Test fixture: "start" makes the Wine prefix named by WINEPREFIX (created on
# first use, crash dialog off) and starts a persistent wineserver for the
# whole test run; "stop" ends that server. Around the server, serial-line.sh runs
# the test serial lines that the prefix maps as COM5, COM7 and COM8. WINELOADER names
# the arch's Wine loader (/usr/lib/wine/wine64 or /usr/lib/wine/wine); every Wine program
# starts through it, never through the `wine` script, which would pick the
# 32-bit loader whenever wine32 is installed.
set -eu
: "${WINEPREFIX:?WINEPREFIX must name the test prefix}"
: "${WINELOADER:?WINELOADER must name the Wine loader of the arch}"
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

case "${1:-}" in
start)
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    "$WINELOADER" wineboot.exe -i </dev/null >/dev/null 2>&1
    wineserver -w
  fi
  # An unhandled crash starts winedbg, whose crash dialog would wait, with no one
  # to answer it, until the run's time limit; without the dialog winedbg prints a
  # backtrace and the process ends at once. (Wine 8 ignores the AeDebug Debugger
  # value, so the debugger itself cannot be switched off.)
  if ! grep -q '"ShowCrashDialog"=dword:00000000' "$WINEPREFIX/user.reg" 2>/dev/null; then
    "$WINELOADER" reg.exe add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
      </dev/null >/dev/null 2>&1
    wineserver -w
  fi
  # Under Xvfb no window manager answers activation, so a managed window waits on it:
  # dialogs_test's boxes stalled seconds each. The test sets this for itself, but Wine's
  # X11 driver reads it only on a later start, so a fresh prefix needs it here.
  if ! grep -qF 'AppDefaults\\dialogs_test.exe\\X11 Driver' "$WINEPREFIX/user.reg" 2>/dev/null; then
    "$WINELOADER" reg.exe add 'HKCU\Software\Wine\AppDefaults\dialogs_test.exe\X11 Driver' \
      /v Managed /t REG_SZ /d N /f </dev/null >/dev/null 2>&1
    wineserver -w
  fi
  # Debian's Wine looks for its own fonts (Tahoma, Marlett, MS Sans Serif) one folder
  # beside where fonts-wine puts them, so dialogs fell back to DejaVu and caption
  # buttons showed Marlett's letters. C:\windows\Fonts is searched too: link them there.
  fonts="$WINEPREFIX/drive_c/windows/Fonts"
  mkdir -p "$fonts"
  for f in /usr/share/wine/fonts/*; do
    if [ -e "$f" ] && [ ! -e "$fonts/${f##*/}" ]; then ln -s "$f" "$fonts/"; fi
  done
  # Wine's Tahoma has no Greek; Windows' has. Link DejaVu Sans behind it, as Windows
  # links its fallback fonts, so that every script our tests name shows.
  if ! grep -q 'DejaVuSans.ttf,DejaVu Sans' "$WINEPREFIX/system.reg" 2>/dev/null; then
    "$WINELOADER" reg.exe add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
      /v Tahoma /t REG_MULTI_SZ /f /d 'DejaVuSans.ttf,DejaVu Sans\0MSGOTHIC.TTC,MS UI Gothic\0SIMSUN.TTC,SimSun' \
      </dev/null >/dev/null 2>&1
    wineserver -w
  fi
  # The serial lines must exist before the server starts, and a changed COM mapping is
  # read only by a fresh server: write it, then let that server end.
  # A server left over from an interrupted run still holds the old line: end it first.
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  here="$(cd "$(dirname "$0")" && pwd)"
  "$here/serial-line.sh" start
  # COM7 and COM8 are the two ends of the second pair, for two Wine programs at once.
  for port in COM5 COM7 COM8; do
    line=$("$here/serial-line.sh" path $port)
    if ! grep -qF "\"$port\"=\"$line\"" "$WINEPREFIX/system.reg" 2>/dev/null; then
      "$WINELOADER" reg.exe add 'HKLM\Software\Wine\Ports' /v $port /t REG_SZ /d "$line" /f \
        </dev/null >/dev/null 2>&1
      wineserver -w
    fi
  done
  # Detached from our output, or CTest would wait for the server to exit.
  wineserver -p </dev/null >/dev/null 2>&1
  # Bring up the services and the desktop now, detached as well: started later
  # by a test program they would hold on to that test's output.
  "$WINELOADER" cmd.exe /c exit </dev/null >/dev/null 2>&1
  ;;
stop)
  wineserver -k 2>/dev/null || true
  # The server holds the pty as its terminal: hanging it up first would hang the server.
  wineserver -w 2>/dev/null || true
  "$(cd "$(dirname "$0")" && pwd)/serial-line.sh" stop
  ;;
*)
  echo "usage: $0 start|stop" >&2
  exit 2
  ;;
esac

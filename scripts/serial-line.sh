#!/usr/bin/env bash
# Test serial line: "start" makes a pseudo-terminal pair with socat and runs the
# scripted receiver (serial-peer.py) on one end; the other end, <dir>/com5, is the
# one a Wine prefix maps as COM5. A second pair, <dir>/com7 and <dir>/com8, joins two
# Wine programs (the receiver console and the fake receiver) as COM7 and COM8. "stop"
# ends all. "path [COM5|COM7|COM8]" names a port's end (COM5 without argument). <dir>
# is the "serial" folder beside WINEPREFIX. Without socat or python3 nothing starts
# and the serial tests skip, saying so.
set -eu
: "${WINEPREFIX:?WINEPREFIX must name the test prefix}"
dir="$(cd "$(dirname "$WINEPREFIX")" && pwd)/serial"
here="$(cd "$(dirname "$0")" && pwd)"
mkdir -p "$dir"

# Ends the process whose id a pid file holds, if it is still the one we started.
end() {
  local file="$dir/$1.pid" pid
  [ -f "$file" ] || return 0
  pid=$(cat "$file")
  if ps -p "$pid" -o args= 2>/dev/null | grep -q "$2"; then
    kill "$pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  fi
  rm -f "$file"
}

case "${1:-}" in
start)
  end peer serial-peer
  end socat socat
  end socat2 socat
  rm -f "$dir/com5" "$dir/peer" "$dir/com7" "$dir/com8"
  if ! command -v socat >/dev/null || ! command -v python3 >/dev/null; then
    echo "socat or python3 is missing (make setup installs them)" > "$dir/status"
    exit 0
  fi
  setsid socat pty,raw,echo=0,link="$dir/com5" pty,raw,echo=0,link="$dir/peer" \
    </dev/null >"$dir/socat.log" 2>&1 &
  echo $! > "$dir/socat.pid"
  for _ in $(seq 50); do [ -e "$dir/com5" ] && [ -e "$dir/peer" ] && break; sleep 0.1; done
  if [ ! -e "$dir/peer" ]; then
    echo "socat made no pseudo-terminal pair, see $dir/socat.log" > "$dir/status"
    exit 0
  fi
  setsid python3 "$here/serial-peer.py" "$dir/peer" </dev/null >"$dir/peer.log" 2>&1 &
  echo $! > "$dir/peer.pid"
  setsid socat pty,raw,echo=0,link="$dir/com7" pty,raw,echo=0,link="$dir/com8" \
    </dev/null >"$dir/socat2.log" 2>&1 &
  echo $! > "$dir/socat2.pid"
  for _ in $(seq 50); do [ -e "$dir/com7" ] && [ -e "$dir/com8" ] && break; sleep 0.1; done
  echo "ok" > "$dir/status"
  ;;
stop)
  end peer serial-peer
  end socat socat
  end socat2 socat
  ;;
path)
  case "${2:-COM5}" in
  COM5) echo "$dir/com5" ;;
  COM7) echo "$dir/com7" ;;
  COM8) echo "$dir/com8" ;;
  *) echo "no test serial line for $2" >&2; exit 2 ;;
  esac
  ;;
*)
  echo "usage: $0 start|stop|path [COM5|COM7|COM8]" >&2
  exit 2
  ;;
esac

#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks to build and test TarnKit.
# Idempotent and quiet when everything is present. x86 is optional: on a machine
# whose kernel cannot execute 32-bit programs wine32 is neither installed nor
# prepared for (no i386 architecture, no host package changed), and a wine32
# that cannot be installed is no error either; the x86 tests then report NOT RUN
# with the reason kept in build/wine32.status.
set -u

pkgs=(g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686
      binutils-mingw-w64-x86-64 wine wine64 xvfb xauth googletest cmake ninja-build make
      clang-format fonts-wine socat python3)
state_dir=${TARNKIT_STATE_DIR:-build}
mkdir -p "$state_dir"
note="$state_dir/wine32.status"

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

missing=()
for p in "${pkgs[@]}"; do installed "$p" || missing+=("$p"); done
need32=0
if ! kernel32=$("$(dirname "$0")/probe-x86.sh" kernel); then
  echo "$kernel32" > "$note"
elif ! installed wine32:i386; then
  need32=1
fi

# Records that the x86 tests can run, unless the kernel probe said otherwise.
x86_ready() { [ "$kernel32" != ok ] || echo ok > "$note"; }

if [ ${#missing[@]} -eq 0 ] && [ $need32 -eq 0 ]; then
  x86_ready
  exit 0
fi

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
apt=($sudo apt-get -y -qq --no-install-recommends)

if [ $need32 -eq 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi

echo "setup: installing ${missing[*]:-}$([ $need32 -eq 1 ] && echo ' wine32:i386')"
# An i386 index may fail while the mirror is mid-sync: carry on and try the install.
$sudo apt-get update -qq >"$state_dir/apt-update.log" 2>&1 || true

if [ ${#missing[@]} -gt 0 ]; then
  if ! "${apt[@]}" install "${missing[@]}" >"$state_dir/apt-install.log" 2>&1; then
    echo "setup: apt-get install failed, see $state_dir/apt-install.log" >&2
    tail -n 20 "$state_dir/apt-install.log" >&2
    exit 1
  fi
fi

[ $need32 -eq 0 ] && { x86_ready; exit 0; }

log="$state_dir/apt-wine32.log"
if "${apt[@]}" install wine32:i386 >"$log" 2>&1; then
  echo ok > "$note"
  exit 0
fi

# When the i386 security index could not be fetched, amd64 libraries may be newer
# than any i386 build of them, and multi-arch packages must match exactly. Take
# both halves from the release itself, pinning each clashing library to the one
# version both architectures have.
release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
extra=()
for round in 1 2 3 4 5; do
  sim=$(apt-get install -s --no-install-recommends --allow-downgrades -t "$release" wine32:i386 "${extra[@]}" 2>&1)
  removed=$(printf '%s\n' "$sim" | awk '/^Remv /{print $2}' | grep -v ':i386$' || true)
  blocked=$(printf '%s\n' "$sim" | sed -n 's/.*Depends: \([^ ]*\):i386 .*not going to be installed.*/\1/p' | sort -u)
  if ! printf '%s\n' "$sim" | grep -q '^E:' && [ -z "$removed" ]; then
    if "${apt[@]}" install --allow-downgrades -t "$release" wine32:i386 "${extra[@]}" >>"$log" 2>&1; then
      echo ok > "$note"
      echo "setup: wine32:i386 installed from $release with ${extra[*]:-no pins}"
      exit 0
    fi
    break
  fi
  progress=0
  for p in $removed $blocked; do
    v=$(apt-cache policy "$p:i386" 2>/dev/null | awk '/Candidate:/{print $2}')
    [ -n "$v" ] && [ "$v" != "(none)" ] || continue
    case " ${extra[*]:-} " in *" $p=$v "*) continue ;; esac
    extra+=("$p=$v" "$p:i386=$v")
    progress=1
  done
  [ $progress -eq 1 ] || break
done

reason=$(grep -hE '^(E:|W:)' "$log" "$state_dir/apt-update.log" 2>/dev/null | sed 's/^[EW]: //' | head -n 2 | tr '\n' ' ')
echo "wine32:i386 could not be installed: ${reason:-see $log}" > "$note"
echo "setup: $(cat "$note")" >&2
exit 0

#!/usr/bin/env bash
# The README's picture of the window: larkpad_screenshot (built with the tests) opens a
# fixed notebook maximized on a virtual display with openbox, runs a find-all and writes
# the whole screen as a PNG. The script then checks the PNG's signature and size.
# Usage: scripts/screenshot.sh [BUILD] [OUTPUT]   (defaults: build docs/screenshot.png)
set -euo pipefail
build=${1:-build}
out=${2:-docs/screenshot.png}
width=1000
height=680
tool="$build/tests/larkpad_screenshot"
if [ ! -x "$tool" ]; then
  echo "screenshot: $tool is missing (cmake --build $build --target larkpad_screenshot)" >&2
  exit 1
fi
for program in xvfb-run openbox; do
  command -v "$program" >/dev/null || { echo "screenshot: $program is not installed (make deps)" >&2; exit 1; }
done

# A home of its own: no settings, recovery copies or registrations of the user's are read
# or written.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data"
export XDG_STATE_HOME="$work/state" XDG_CACHE_HOME="$work/cache" XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
export LC_ALL=C.UTF-8 QT_QPA_PLATFORM=xcb
unset DBUS_SESSION_BUS_ADDRESS
mkdir -p "$(dirname "$out")"
rm -f "$out"

xvfb-run -a -s "-screen 0 ${width}x${height}x24" bash -c '
  openbox >/dev/null 2>&1 &
  wm=$!
  sleep 1
  status=0
  "$0" "$1" || status=$?
  kill "$wm" 2>/dev/null || true
  exit "$status"' "$tool" "$out"

# A PNG starts with its 8-byte signature; the width and height are the big-endian words
# at bytes 16 and 20.
signature=$(od -An -tx1 -N8 "$out" | tr -d ' \n')
if [ "$signature" != "89504e470d0a1a0a" ]; then
  echo "screenshot: $out is not a PNG" >&2
  exit 1
fi
read -r w h < <(od -An -tu1 -j16 -N8 "$out" |
  awk '{ print $1*16777216 + $2*65536 + $3*256 + $4, $5*16777216 + $6*65536 + $7*256 + $8 }')
if [ "$w" != "$width" ] || [ "$h" != "$height" ]; then
  echo "screenshot: $out is ${w}x${h}, not ${width}x${height}" >&2
  exit 1
fi
echo "screenshot: $out (${w}x${h})"

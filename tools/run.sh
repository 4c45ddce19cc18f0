#!/usr/bin/env bash
# `make run`: starts the program under Wine. With a DISPLAY that answers it shows there until it is closed;
# otherwise it runs on a private Xvfb, a screenshot is saved to build/screenshot.png after a few seconds, and
# the program is closed with the session.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/.." && pwd)
exe="$top/build/x64/Velmora.exe"   # the 32-bit build/Velmora.exe cannot execute on this machine
[ -f "$exe" ] || { echo "run: $exe is missing (make build)" >&2; exit 1; }

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  export VELMORA_DISPLAY=host
  exec bash "$here/session.sh" bash -c 'cd "$(dirname "$1")" && "$2/wine.sh" ./Velmora.exe' _ "$exe" "$here"
fi

exec bash "$here/session.sh" bash -c '
  exe=$1; here=$2; shot=$3
  (cd "$(dirname "$exe")" && "$here/wine.sh" ./Velmora.exe >/dev/null 2>&1 </dev/null) &
  sleep "${VELMORA_RUN_SECONDS:-6}"
  import -window root "$shot" && echo "screenshot: $shot"
' _ "$exe" "$here" "$top/build/screenshot.png"

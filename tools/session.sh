#!/usr/bin/env bash
# Runs one command inside a Wine session of its own and takes the session down afterwards, whatever happens:
#   - a private Xvfb on a free display (or the caller's display with VELMORA_DISPLAY=host and DISPLAY set);
#   - the project's Wine prefix, build/wineprefix, made once and kept;
#   - one wineserver held for the whole command and stopped after it (`wineserver -k` on our prefix only).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/.." && pwd)

export WINEPREFIX="$top/build/wineprefix"
export WINEDEBUG=-all
xvfb_pid=

cleanup() {
  "$here/wine.sh" --server -k >/dev/null 2>&1 || true
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ "${VELMORA_DISPLAY:-}" = host ] && [ -n "${DISPLAY:-}" ]; then
  :
else
  # A free display: no lock file and no socket.
  n=${VELMORA_XVFB_FIRST:-91}
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 "${VELMORA_SCREEN:-1920x1080x24}" -nolisten tcp -ac >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 200); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.05; done
  [ -e "/tmp/.X11-unix/X$n" ] || { echo "session: Xvfb did not start" >&2; exit 1; }
  export DISPLAY=":$n"
fi

if [ ! -f "$WINEPREFIX/.velmora-prefix-ready" ]; then
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  # No Mono or Gecko installer prompts while the prefix is made.
  WINEDLLOVERRIDES="mscoree=;mshtml=" "$here/wine.sh" wineboot -i >/dev/null 2>&1 </dev/null
  # Unmanaged top-level windows: without a window manager, Wine otherwise waits up to a second for each
  # window to be mapped or withdrawn.
  "$here/wine.sh" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 </dev/null
  "$here/wine.sh" --server -w >/dev/null 2>&1 || true
  touch "$WINEPREFIX/.velmora-prefix-ready"
fi

"$here/wine.sh" --server -p >/dev/null 2>&1 </dev/null
# Start Wine's helper processes now, with their output on /dev/null, so later commands may use pipes.
"$here/wine.sh" cmd /c exit >/dev/null 2>&1 </dev/null || true

status=0
"$@" || status=$?
exit $status

#!/usr/bin/env bash
# Runs the acceptance tests in a Wine prefix of their own, in which the web browser control's class id is
# mapped to the stand-in browser (fakebrowser.dll), so that a login page's script reaches the program:
#   acceptance.sh TEST_EXE FAKEBROWSER_DLL [gtest arguments...]
# Called from inside tools/session.sh (display and the shared prefix set up). The shared prefix is left as
# it is; this prefix's own wineserver is started here and stopped on the way out, whatever happens.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
wine_sh="$here/../tools/wine.sh"
[ $# -ge 2 ] || { echo "usage: $0 TEST_EXE FAKEBROWSER_DLL [ARGS...]" >&2; exit 2; }
test_exe=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
dll=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
shift 2
[ -n "${WINEPREFIX:-}" ] || { echo "acceptance: run inside tools/session.sh" >&2; exit 2; }

export WINEPREFIX="$WINEPREFIX-fake"
export WINEDEBUG=-all
cleanup() { "$wine_sh" --server -k >/dev/null 2>&1 || true; }
trap cleanup EXIT
trap 'exit 130' INT TERM

# Made once and kept; the mapping is redone when the DLL has moved.
ready="$WINEPREFIX/.velmora-fake-ready"
if [ ! -f "$ready" ]; then
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  WINEDLLOVERRIDES="mscoree=;mshtml=" "$wine_sh" wineboot -i >/dev/null 2>&1 </dev/null
  # Unmanaged top-level windows, as in the shared prefix: no waiting for a window manager.
  "$wine_sh" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 </dev/null
  touch "$ready"
fi
"$wine_sh" --server -p >/dev/null 2>&1 </dev/null || true
if [ "$(cat "$ready")" != "$dll" ]; then
  bash "$here/fakebrowser/use-fake-browser.sh" "$WINEPREFIX" "$dll" >/dev/null
  echo "$dll" >"$ready"
fi
# Wine's helper processes start now, with their output on /dev/null, so that none holds the test's output.
"$wine_sh" cmd /c exit >/dev/null 2>&1 </dev/null || true

cd "$(dirname "$test_exe")"
"$wine_sh" "./$(basename "$test_exe")" "$@"

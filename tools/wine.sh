#!/usr/bin/env bash
# Runs a Windows program (or, with --server ARGS, the wineserver) with the session's display and prefix.
# ctest uses it as the cross-compiling emulator; outside tools/session.sh there is no prefix to use.
set -euo pipefail
[ -n "${WINEPREFIX:-}" ] || { echo "wine.sh: run inside tools/session.sh" >&2; exit 2; }
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree=}"
export WINEARCH=win64
if [ "${1:-}" = --server ]; then
  shift
  exec /usr/lib/wine/wineserver "$@"
fi
exec /usr/lib/wine/wine64 "$@"

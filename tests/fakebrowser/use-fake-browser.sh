#!/usr/bin/env bash
# Makes a Wine prefix create the stand-in browser for the web browser control's class id, or puts the
# system's control back:
#   use-fake-browser.sh PREFIX DLLPATH     map the class id to DLLPATH (a Unix path) in PREFIX
#   use-fake-browser.sh --restore PREFIX   map it back to Wine's own control
# Wine 8 looks class ids up under HKLM\Software\Classes and ignores per-user registrations, so the machine-wide
# key is replaced: use a prefix of its own (e.g. build/wineprefix-fake), never the shared build/wineprefix.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
wine_sh="$here/../../tools/wine.sh"
key='HKLM\Software\Classes\CLSID\{8856F961-340A-11D0-A96B-00C04FD705A2}\InprocServer32'
system_control='C:\windows\system32\ieframe.dll'

usage() { echo "usage: $0 PREFIX DLLPATH | --restore PREFIX" >&2; exit 2; }

if [ "${1:-}" = --restore ]; then
  [ $# -eq 2 ] || usage
  prefix=$2
  server="$system_control"
else
  [ $# -eq 2 ] || usage
  prefix=$1
  [ -f "$2" ] || { echo "$0: no such DLL: $2" >&2; exit 1; }
  # Wine maps the Unix root to drive Z:.
  server="Z:$(cd "$(dirname "$2")" && pwd)/$(basename "$2")"
  server=${server//\//\\}
fi
[ -d "$prefix" ] || { echo "$0: no such prefix: $prefix" >&2; exit 1; }
export WINEPREFIX=$(cd "$prefix" && pwd)

# Output to files, never pipes: Wine's helper processes may outlive the command and hold a pipe open.
"$wine_sh" reg add "$key" /ve /d "$server" /f >/dev/null 2>&1 </dev/null
"$wine_sh" reg add "$key" /v ThreadingModel /d Apartment /f >/dev/null 2>&1 </dev/null
echo "$key = $server"

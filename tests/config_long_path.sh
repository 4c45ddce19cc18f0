#!/usr/bin/env bash
# An executable deeper than MAX_PATH still finds the config.ini beside it. Run from outside Wine because
# Wine's CreateProcess cannot start a program at such a path, while its loader can.
set -euo pipefail
probe=$1
here=$(cd "$(dirname "$0")" && pwd)
base=$(mktemp -d "${TMPDIR:-/tmp}/velmora-longpath.XXXXXX")
trap 'rm -rf "$base"' EXIT
deep=$base
for i in 1 2 3 4 5; do deep="$deep/$(printf 'segment%.0s' {1..8})$i"; done
mkdir -p "$deep"
cp "$probe" "$deep/config_probe.exe"
printf '[pexo]\r\nhome_url=http://deep.example/\r\n' > "$deep/config.ini"
echo "directory length: ${#deep}"
# Wine cannot make such a directory its working directory either: the answer goes to a short path.
out="Z:$(printf '%s' "$base/out.txt" | tr / '\\')"
(cd "$deep" && "$here/../tools/wine.sh" ./config_probe.exe home_url "$out") >/dev/null 2>&1 || true
got=$(iconv -f UTF-16LE -t UTF-8 "$base/out.txt" 2>/dev/null || true)
if [ "$got" = "http://deep.example/" ]; then
  echo "long path: found config.ini"; exit 0
fi
echo "long path: expected http://deep.example/, got '$got'"; exit 1

#!/usr/bin/env bash
# Creates the private 32-bit Wine prefix once; later calls return at once.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/scripts/wine-env.sh"

[ -f "$WINEPREFIX/.ready" ] && exit 0
mkdir -p "$(dirname "$WINEPREFIX")"
exec 9>"$WINEPREFIX.lock"
flock 9
[ -f "$WINEPREFIX/.ready" ] && exit 0
rm -rf "$WINEPREFIX"
wineboot --init >/dev/null 2>&1
wineserver -w
touch "$WINEPREFIX/.ready"

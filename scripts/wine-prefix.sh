#!/usr/bin/env bash
# Creates the private Wine prefix of the chosen architecture once; later calls
# return at once.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/scripts/wine-env.sh"

[ -f "$WINEPREFIX/.ready" ] && exit 0
mkdir -p "$(dirname "$WINEPREFIX")"
exec 9>"$WINEPREFIX.lock"
flock 9
[ -f "$WINEPREFIX/.ready" ] && exit 0
rm -rf "$WINEPREFIX"
if ! wineboot --init >"$WINEPREFIX.log" 2>&1 || ! wineserver -w; then
    echo "wine-prefix: could not create the $WINEARCH Wine prefix $WINEPREFIX" \
         "for $TARNHOLD_ARCH programs; Wine said:" >&2
    tail -n 5 "$WINEPREFIX.log" >&2 || true
    exit 1
fi
touch "$WINEPREFIX/.ready"

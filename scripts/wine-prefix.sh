#!/usr/bin/env bash
# Creates the private Wine prefix of the chosen architecture once; later calls
# return at once.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/scripts/wine-env.sh"

[ -f "$WINEPREFIX/.ready" ] && [ -f "$WINEPREFIX/.sandboxed" ] && exit 0
mkdir -p "$(dirname "$WINEPREFIX")"
exec 9>"$WINEPREFIX.lock"
flock 9
if [ ! -f "$WINEPREFIX/.ready" ]; then
    rm -rf "$WINEPREFIX"
    if ! wineboot --init >"$WINEPREFIX.log" 2>&1 || ! wineserver -w; then
        echo "wine-prefix: could not create the $WINEARCH Wine prefix $WINEPREFIX" \
             "for $TARNHOLD_ARCH programs; Wine said:" >&2
        tail -n 5 "$WINEPREFIX.log" >&2 || true
        exit 1
    fi
    touch "$WINEPREFIX/.ready"
fi
# Wine links the user's Desktop, Documents, Downloads and the like to the
# home folder of this machine; the tests install and uninstall into them, so
# they become folders of the prefix.
for folder in "$WINEPREFIX"/drive_c/users/*/*; do
    if [ -L "$folder" ]; then
        rm "$folder"
        mkdir "$folder"
    fi
done
touch "$WINEPREFIX/.sandboxed"

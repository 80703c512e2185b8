#!/usr/bin/env bash
# Publishes a sample game into the build folder, then starts the built
# launcher under Wine from a fresh game folder. Without a display it runs on
# Xvfb, saves a screenshot under the build folder and ends.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
export WINEPREFIX=$build/wineprefix
source "$here/scripts/wine-env.sh"
"$here/scripts/wine-prefix.sh"

# A small sample game published as an update server's tree in
# build/demo/server, for the update run to fetch from.
/usr/bin/python3 "$here/scripts/sample-game.py" "$build/demo/sample-game"
wine "$build/publisher.exe" "$(winepath -w "$build/demo/sample-game")" "$(winepath -w "$build/demo/server")"

game=$build/demo/game
rm -rf "$game"
mkdir -p "$game"
cp "$build/TarnholdLauncher.exe" "$game/"

if [ -n "${DISPLAY:-}" ]; then
    echo "Starting the launcher on $DISPLAY from $game"
    cd "$game" && wine TarnholdLauncher.exe
    exit 0
fi

display=:$((500 + RANDOM % 400))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
trap 'wineserver -k 2>/dev/null || true; kill $xvfb_pid 2>/dev/null || true' EXIT
sleep 1

(cd "$game" && wine TarnholdLauncher.exe) &
sleep 8
import -window root "$build/demo/screenshot.png"
echo "The launcher is running on Xvfb; screenshot: $build/demo/screenshot.png"

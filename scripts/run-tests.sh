#!/usr/bin/env bash
# Runs the whole test suite: one persistent wineserver for the run, Xvfb when
# there is no display, then ctest.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
export WINEPREFIX=$build/wineprefix
source "$here/scripts/wine-env.sh"

"$here/scripts/wine-prefix.sh"

xvfb_pid=
if [ -z "${DISPLAY:-}" ]; then
    display=:$((90 + RANDOM % 400))
    Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=$display
    sleep 1
fi
cleanup() {
    wineserver -k 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

wineserver -p
# The first process of a session starts Wine's background services, which keep
# its output open; start them here so no test's output pipe is held by them.
wine cmd.exe /c exit >/dev/null 2>&1 </dev/null || true
ctest --test-dir "$build" --output-on-failure -j2 ${CTEST_ARGS:-}

#!/usr/bin/env bash
# Runs the whole test suite: one persistent wineserver for the run, Xvfb when
# there is no display, then ctest.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
# Absolute: Wine refuses a relative prefix path, and ctest runs elsewhere.
build=$(cd "${1:-$here/build}" && pwd)
export WINEPREFIX=$build/wineprefix
export WINEARCH=win32
export WINEDEBUG=-all
export WINEDLLOVERRIDES=mscoree,mshtml=

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
# Wine starts its services with the first program and hands them that
# program's output: started by a test, they would hold the test's output open
# and ctest would wait for its end for ever. Start them here, detached.
wine cmd /c exit >/dev/null 2>&1 </dev/null
ctest --test-dir "$build" --output-on-failure -j2 ${CTEST_ARGS:-}

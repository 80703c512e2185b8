#!/usr/bin/env bash
# Runs the whole test suite on the architecture this machine can run (see
# test-arch.sh): one persistent wineserver for the run, Xvfb when there is no
# display, then ctest in that architecture's build folder.
#   run-tests.sh [I686_BUILD_DIR [X86_64_BUILD_DIR]]
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
i686_build=$(cd "${1:-$here/build}" && pwd)
x86_64_build=${2:-$here/build-x86_64}

arch=$("$here/scripts/test-arch.sh" "$i686_build")
if [ "$arch" = i686 ]; then
    build=$i686_build
else
    if [ ! -f "$x86_64_build/CTestTestfile.cmake" ]; then
        echo "run-tests: the x86_64 build in $x86_64_build is missing; 'make test' builds it" >&2
        exit 1
    fi
    build=$(cd "$x86_64_build" && pwd)
fi
export TARNHOLD_ARCH=$arch
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
    kill -0 "$xvfb_pid" 2>/dev/null || { echo "run-tests: Xvfb did not start on $display" >&2; exit 1; }
fi
cleanup() {
    wineserver -k 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

# One persistent wineserver for the run; the architecture probe may have left
# a short-lived one behind, which would refuse to make way for it.
wineserver -k 2>/dev/null || true
wineserver -w
wineserver -p
# The first process of a session starts Wine's background services, which keep
# its output open; start them here so no test's output pipe is held by them.
wine cmd.exe /c exit >/dev/null 2>&1 </dev/null || true
if ! ctest --test-dir "$build" --output-on-failure -j2 ${CTEST_ARGS:-}; then
    echo "run-tests: some tests failed on $arch (details above; log in $build/Testing/Temporary/LastTest.log)" >&2
    exit 1
fi

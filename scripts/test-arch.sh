#!/usr/bin/env bash
# Chooses the architecture the test suite runs on: i686, the shipped build,
# where this machine can run 32-bit Windows programs, x86_64 under 64-bit Wine
# where it cannot. The probe is real: it creates the 32-bit Wine prefix of the
# i686 build and runs a trivial i686 program in it. TARNHOLD_TEST_ARCH=i686 or
# x86_64 forces the choice (a forced i686 still has to pass the probe).
# Prints the architecture on stdout and one line saying why on stderr.
#   test-arch.sh I686_BUILD_DIR
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/scripts/apt-common.sh"
i686_build=$(cd "${1:?usage: test-arch.sh I686_BUILD_DIR}" && pwd)
forced=${TARNHOLD_TEST_ARCH:-}

say() { echo "$*" >&2; }

case "$forced" in
    x86_64)
        say "Architecture: x86_64 (forced by TARNHOLD_TEST_ARCH)"
        echo x86_64
        exit 0
        ;;
    i686|"") ;;
    *)
        say "test-arch: TARNHOLD_TEST_ARCH must be i686 or x86_64, not '$forced'"
        exit 2
        ;;
esac

probe_dir=$i686_build/arch-probe
mkdir -p "$probe_dir"
reason=
if ! kernel_runs_i386; then
    reason="this kernel cannot run 32-bit programs (Exec format error)"
elif ! dpkg-query -W -f='${Status}\n' wine32 2>/dev/null | grep -q 'install ok installed'; then
    reason="32-bit Wine is not installed"
elif ! printf '#include <stdio.h>\nint main(void) { puts("i686 runs"); return 0; }\n' |
        i686-w64-mingw32-gcc -x c -o "$probe_dir/probe.exe" - 2>"$probe_dir/compile.log"; then
    reason="the i686 probe program did not compile ($(head -n 1 "$probe_dir/compile.log"))"
elif ! TARNHOLD_ARCH=i686 WINEPREFIX=$i686_build/wineprefix "$here/scripts/wine-prefix.sh" 2>"$probe_dir/prefix.log"; then
    # The first line is wine-prefix's own; Wine's words follow it.
    reason="32-bit Wine could not create its prefix ($(tail -n +2 "$probe_dir/prefix.log" | grep -m 1 -i 'error\|cannot\|could not' || head -n 1 "$probe_dir/prefix.log"))"
else
    output=$(cd "$probe_dir" && TARNHOLD_ARCH=i686 WINEPREFIX=$i686_build/wineprefix \
             timeout 120 "$here/scripts/wine-run.sh" probe.exe 2>"$probe_dir/run.log" </dev/null || true)
    if [ "${output//$'\r'/}" != "i686 runs" ]; then
        reason="a trivial i686 program did not run under 32-bit Wine ($(head -n 1 "$probe_dir/run.log"))"
    fi
fi

if [ -z "$reason" ]; then
    if [ "$forced" = i686 ]; then
        say "Architecture: i686 (forced by TARNHOLD_TEST_ARCH; this machine runs 32-bit Windows programs)"
    else
        say "Architecture: i686, the shipped build (this machine runs 32-bit Windows programs under Wine)"
    fi
    echo i686
elif [ "$forced" = i686 ]; then
    say "test-arch: TARNHOLD_TEST_ARCH=i686, but this machine cannot run 32-bit Windows programs: $reason"
    exit 1
else
    say "Architecture: x86_64 under 64-bit Wine (this machine cannot run 32-bit Windows programs: $reason)"
    echo x86_64
fi

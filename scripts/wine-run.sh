#!/usr/bin/env bash
# Runs a Windows executable under Wine in the build's private prefix, with the
# Wine of TARNHOLD_ARCH (wine-env.sh).
#   wine-run.sh [--fresh-dir DIR] PROGRAM.exe [ARGS...]
# --fresh-dir empties DIR, creates it and makes it the current directory.
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/scripts/wine-env.sh"

if [ "${1:-}" = "--fresh-dir" ]; then
    rm -rf "$2"
    mkdir -p "$2"
    cd "$2"
    shift 2
fi

"$here/scripts/wine-prefix.sh"
exec wine "$@"

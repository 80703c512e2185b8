#!/usr/bin/env bash
# Builds the fuzz targets natively (clang, libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs each for SECONDS seconds, one after
# the other, from the committed seeds (tests/fuzz/corpus). Exits non-zero on
# any crash, leak, timeout or sanitizer report; the input that caused it stays
# in BUILD_DIR/fuzz/artifacts.
#   fuzz.sh SECONDS [BUILD_DIR] [TARGET...]   (native build in BUILD_DIR/fuzz, default build/fuzz)
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:?usage: fuzz.sh SECONDS [BUILD_DIR] [TARGET...]}
build=${2:-$here/build}
shift $(( $# < 2 ? $# : 2 ))
out=$build/fuzz
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(fuzz_unzip fuzz_roundtrip fuzz_index fuzz_index_package fuzz_datasources fuzz_game_stream)
fi

cmake -S "$here/tests/fuzz" -B "$out" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$out" -j2

# Every target chooses small reads of its input and the round trip expands
# its own, so short inputs reach everything.
artifacts=$out/artifacts
mkdir -p "$artifacts"
for target in "${targets[@]}"; do
    corpus=$out/corpus/$target
    mkdir -p "$corpus"
    echo "== $target for ${seconds}s"
    # close_fd_mask=2 silences the codec's diagnostics; sanitizer reports and
    # libFuzzer's own output still come through.
    "$out/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
        -close_fd_mask=2 -print_final_stats=1 -artifact_prefix="$artifacts/$target-" \
        "$corpus" "$here/tests/fuzz/corpus/$target"
done
echo "fuzzing finished without findings"

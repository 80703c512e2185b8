#!/usr/bin/env bash
# Builds the gzip codec's fuzz targets natively (clang, libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs each for SECONDS seconds from a fresh
# seed corpus. Exits non-zero on any crash, leak, timeout or sanitizer report.
#   fuzz.sh SECONDS [BUILD_DIR]     (native build in BUILD_DIR/fuzz, default build/fuzz)
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:?usage: fuzz.sh SECONDS [BUILD_DIR]}
build=${2:-$here/build}
out=$build/fuzz

cmake -S "$here/tests/fuzz" -B "$out" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$out" -j2

rm -rf "$out/seeds"
/usr/bin/python3 "$here/tests/fuzz/seeds/make_seeds.py" "$out/zipcli" "$out/seeds"

# Both targets choose small refills of the input buffer and expand their
# input, so short inputs reach everything.
declare -A max_len=([fuzz_unzip]=8192 [fuzz_roundtrip]=8192)
for target in fuzz_unzip fuzz_roundtrip; do
    corpus=$out/corpus/$target
    artifacts=$out/artifacts
    mkdir -p "$corpus" "$artifacts"
    echo "== $target for ${seconds}s"
    # close_fd_mask=2 silences the codec's diagnostics; sanitizer reports and
    # libFuzzer's own output still come through.
    "$out/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -max_len="${max_len[$target]}" -close_fd_mask=2 -print_final_stats=1 \
        -artifact_prefix="$artifacts/$target-" "$corpus" "$out/seeds/$target"
done
echo "fuzzing finished without findings"

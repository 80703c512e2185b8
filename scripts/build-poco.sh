#!/usr/bin/env bash
# Cross-builds POCO Foundation and Net (Debian's 1.11 source package) as static
# mingw libraries for one architecture into a cache folder outside the work
# tree, once per architecture.
#   build-poco.sh [i686|x86_64]        (default i686)
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
source "$here/scripts/apt-common.sh"
arch=${1:-i686}
case "$arch" in
    i686|x86_64) ;;
    *) echo "build-poco: unknown architecture '$arch' (i686 or x86_64)" >&2; exit 2 ;;
esac
prefix=/opt/tarnhold-deps/poco-$arch
# Bumped whenever the build below changes, so cached builds are made anew.
revision=2
stamp="$prefix/.built"
[ -f "$stamp" ] && [ "$(cat "$stamp")" = "$revision" ] && exit 0
trap 'echo "build-poco: building POCO for $arch failed (see the output above)" >&2' ERR
echo "build-poco: cross-building POCO Foundation and Net for $arch into $prefix (once)"

# A deb-src entry mirroring the machine's own Debian entries.
add_source_entries() {
    local out=/etc/apt/sources.list.d/tarnhold-deb-src.sources
    [ -f "$out" ] && return 0
    local f wrote=0
    : > "$out.tmp"
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] || continue
        grep -q '^Types:.*\bdeb\b' "$f" || continue
        grep -qi 'debian' "$f" || continue
        sed -e 's/^Types:.*/Types: deb-src/' "$f" >> "$out.tmp"
        echo >> "$out.tmp"
        wrote=1
    done
    if [ -f /etc/apt/sources.list ] && grep -q '^deb ' /etc/apt/sources.list; then
        grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' > /etc/apt/sources.list.d/tarnhold-deb-src.list
        wrote=1
    fi
    if [ "$wrote" = 1 ] && [ -s "$out.tmp" ]; then mv "$out.tmp" "$out"; else rm -f "$out.tmp"; fi
    apt_update build-poco
}

work=$(mktemp -d /tmp/poco-build.XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work"
if ! apt-get source -q poco >/dev/null 2>&1; then
    add_source_entries
    apt-get source -q poco >"$work/source.log" 2>&1 || {
        echo "build-poco: cannot fetch the poco source package: $(grep -m 1 '^E:' "$work/source.log" || tail -n 1 "$work/source.log")" >&2
        exit 1
    }
fi
src=$(find "$work" -maxdepth 1 -type d -name 'poco-1.11*' | head -n 1)
[ -n "$src" ] || { echo "build-poco: no poco 1.11 source found" >&2; exit 1; }

# mingw's headers are lower case; POCO includes some in mixed case.
compat="$work/compat-include"
mkdir -p "$compat"
echo '#include <winsock2.h>' > "$compat/Winsock2.h"
echo '#include <iphlpapi.h>' > "$compat/Iphlpapi.h"
echo '#include <iphlpapi.h>' > "$compat/IPHlpApi.h"
# wincrypt.h defines TIMESTAMP_REQUEST as a macro, which collides with an enum value.
sed -i 's/^\(\s*\)TIMESTAMP_REQUEST\b/\1TIMESTAMP_REQUEST_ = 13, \/\/ /' \
    "$src/Net/include/Poco/Net/ICMPv4PacketImpl.h" || true
grep -q 'undef TIMESTAMP_REQUEST' "$src/Net/include/Poco/Net/ICMPv4PacketImpl.h" ||
    sed -i '0,/^#include "Poco\/Net\/Net.h"/s//#include "Poco\/Net\/Net.h"\n#ifdef TIMESTAMP_REQUEST\n#undef TIMESTAMP_REQUEST\n#endif/' \
    "$src/Net/include/Poco/Net/ICMPv4PacketImpl.h"

# Under Wine every receive is a round trip to the Wine server: 64 KiB per
# receive instead of 4 KiB lets a download run at loopback speed rather than
# about 20 MB/s.
sed -i 's/BUFFER_SIZE = 4096/BUFFER_SIZE = 65536/' "$src/Net/include/Poco/Net/HTTPBufferAllocator.h"
grep -q 'BUFFER_SIZE = 65536' "$src/Net/include/Poco/Net/HTTPBufferAllocator.h" ||
    { echo "build-poco: could not enlarge POCO's HTTP buffer" >&2; exit 1; }

rm -rf "$prefix"
cmake -S "$src" -B "$work/build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-$arch.cmake" \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_CXX_FLAGS="-I$compat -D_WIN32_WINNT=0x0601" \
    -DCMAKE_C_FLAGS="-I$compat -D_WIN32_WINNT=0x0601" \
    -DBUILD_SHARED_LIBS=OFF -DPOCO_MT=OFF \
    -DENABLE_NET=ON -DENABLE_XML=OFF -DENABLE_JSON=OFF -DENABLE_MONGODB=OFF \
    -DENABLE_DATA=OFF -DENABLE_DATA_SQLITE=OFF -DENABLE_DATA_MYSQL=OFF \
    -DENABLE_DATA_POSTGRESQL=OFF -DENABLE_DATA_ODBC=OFF -DENABLE_REDIS=OFF \
    -DENABLE_PDF=OFF -DENABLE_UTIL=OFF -DENABLE_ZIP=OFF -DENABLE_SEVENZIP=OFF \
    -DENABLE_APACHECONNECTOR=OFF -DENABLE_CPPPARSER=OFF -DENABLE_ENCODINGS=OFF \
    -DENABLE_ENCODINGS_COMPILER=OFF -DENABLE_PAGECOMPILER=OFF \
    -DENABLE_PAGECOMPILER_FILE2PAGE=OFF -DENABLE_POCODOC=OFF -DENABLE_TESTS=OFF \
    -DENABLE_NETSSL=OFF -DENABLE_NETSSL_WIN=OFF -DENABLE_CRYPTO=OFF -DENABLE_JWT=OFF \
    -DENABLE_ACTIVERECORD=OFF -DENABLE_ACTIVERECORD_COMPILER=OFF \
    -DENABLE_PROMETHEUS=OFF -DENABLE_MONGODB=OFF
cmake --build "$work/build" -j"$(nproc)"
cmake --install "$work/build"
echo "$revision" > "$stamp"

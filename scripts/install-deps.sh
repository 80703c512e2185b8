#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Idempotent: returns at once when everything is already there.
# The 32-bit packages (32-bit Wine and its graphics libraries) come last and
# may fail or be skipped: the tests then run on the x86_64 build.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/apt-common.sh"

if [ "$(id -u)" != 0 ]; then
    echo "install-deps: run as root (apt-get is needed)" >&2
    exit 1
fi

packages=(
    make cmake ninja-build pkg-config dpkg-dev
    g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    mingw-w64-tools
    wine wine64 xvfb xauth imagemagick
    # Wine's Direct3D 9 draws through OpenGL; without a libGL of the prefix's
    # architecture it cannot create Direct3D at all, and the first start asks
    # for DirectX.
    libgl1:amd64 libgl1-mesa-dri:amd64
    nginx-light
    python3 python3-pytest python3-pefile
    # The report server, its PostgreSQL storage, and the browser its tests
    # load its page in.
    gunicorn python3-psycopg2 postgresql chromium
    googletest
    clang libclang-rt-14-dev
)
packages32=(wine32 libgl1:i386 libgl1-mesa-dri:i386)

installed() { dpkg-query -W -f='${Status}\n' "$1" 2>/dev/null | grep -q 'install ok installed'; }

missing=()
for p in "${packages[@]}"; do
    installed "$p" || missing+=("$p")
done
updated=0
if [ ${#missing[@]} -gt 0 ]; then
    apt_update install-deps
    updated=1
    apt_install install-deps "${packages[@]}" ||
        { echo "install-deps: installing the Debian packages failed" >&2; exit 1; }
fi

# 32-bit Wine: only where this kernel can run 32-bit programs at all.
missing32=()
for p in "${packages32[@]}"; do
    installed "$p" || missing32+=("$p")
done
[ ${#missing32[@]} -eq 0 ] && exit 0
if ! kernel_runs_i386; then
    echo "install-deps: this kernel cannot run 32-bit programs (Exec format error); 32-bit Wine is not installed and the tests run on x86_64" >&2
    exit 0
fi
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    updated=0
fi
[ "$updated" = 1 ] || apt_update install-deps
if ! apt_install install-deps "${packages32[@]}"; then
    echo "install-deps: 32-bit Wine could not be installed (see the line above); the tests run on x86_64" >&2
fi
exit 0

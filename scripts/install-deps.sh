#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Idempotent: returns at once when everything is already there.
set -euo pipefail
trap 'echo "install-deps: installing the Debian packages failed (see the output above)" >&2' ERR

if [ "$(id -u)" != 0 ]; then
    echo "install-deps: run as root (apt-get is needed)" >&2
    exit 1
fi

packages=(
    make cmake ninja-build pkg-config dpkg-dev
    g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix binutils-mingw-w64-i686
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    mingw-w64-tools
    wine wine32 wine64 xvfb xauth imagemagick
    # Wine's Direct3D 9 draws through OpenGL; without a libGL of the prefix's
    # architecture it cannot create Direct3D at all, and the first start asks
    # for DirectX.
    libgl1:i386 libgl1-mesa-dri:i386 libgl1:amd64 libgl1-mesa-dri:amd64
    nginx-light
    python3 python3-pytest python3-pefile
    googletest
    clang libclang-rt-14-dev
)

missing=()
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
    missing=(force-update)
fi
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${packages[@]}"

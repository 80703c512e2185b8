# Sourced by the Wine scripts. TARNHOLD_ARCH (i686, the default, or x86_64)
# chooses the Wine of the build under test: a 32-bit prefix for i686, a 64-bit
# prefix for x86_64 (build/wineprefix of that build unless WINEPREFIX is set).
# Quiet, without Mono or Gecko install prompts.
export TARNHOLD_ARCH=${TARNHOLD_ARCH:-i686}
export WINEPREFIX=${WINEPREFIX:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
case "$TARNHOLD_ARCH" in
    i686)
        export WINEARCH=win32
        ;;
    x86_64)
        export WINEARCH=win64
        # Debian's wine, wineboot and winepath start the 32-bit loader whenever
        # it is installed, whether or not this machine can run it; these
        # stand-ins start the 64-bit loader for every caller, Python included.
        export WINELOADER=/usr/lib/wine/wine64
        wine64_bin=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/wine64
        case ":$PATH:" in
            *":$wine64_bin:"*) ;;
            *) export PATH=$wine64_bin:$PATH ;;
        esac
        ;;
    *)
        echo "wine-env: unknown architecture '$TARNHOLD_ARCH' (i686 or x86_64)" >&2
        return 2 2>/dev/null || exit 2
        ;;
esac

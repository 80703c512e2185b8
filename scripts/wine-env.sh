# Sourced by the Wine scripts: the private 32-bit prefix (build/wineprefix
# unless WINEPREFIX is set), quiet, without Mono or Gecko install prompts.
export WINEPREFIX=${WINEPREFIX:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/wineprefix}
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

# Sourced by the Wine scripts: the private 32-bit prefix of a build folder,
# quiet, without Mono or Gecko install prompts.
#   source wine-env.sh [BUILD_DIR]    (keeps a WINEPREFIX already set)
export WINEPREFIX=${WINEPREFIX:-${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build}/wineprefix}
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

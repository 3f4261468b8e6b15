#!/bin/bash
# Runs a Windows program under Wine in the build tree's own prefix
# (never the user's ~/.wine). Used as CMake's cross-compiling emulator.
set -e
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
: "${PELMORA_WINEPREFIX:?PELMORA_WINEPREFIX must name the test prefix (set by ctest)}"
export WINEPREFIX="$PELMORA_WINEPREFIX"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winemenubuilder.exe=d}"
exec wine "$@"

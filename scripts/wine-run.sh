#!/usr/bin/env bash
# Runs a Windows program of the cross builds under Wine, in the project's own Wine prefix (build/wine),
# with Wine's own chatter off. Used by CMake as the cross-compiling emulator and by the scripts.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEPREFIX="${QUIB_WINEPREFIX:-$root/build/wine}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installers: the programs need neither.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
if [ ! -f "$WINEPREFIX/.quib-ready" ]; then
    # Made once, by one of the programs ctest starts side by side.
    mkdir -p "$(dirname "$WINEPREFIX")"
    exec 9>"$WINEPREFIX.lock"
    flock 9
    if [ ! -f "$WINEPREFIX/.quib-ready" ]; then
        wineboot -i >/dev/null 2>&1 || true
        # Without a window manager (Xvfb) a managed window costs seconds each time it is hidden.
        wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 || true
        wineserver -w || true
        touch "$WINEPREFIX/.quib-ready"
    fi
    flock -u 9
    exec 9>&-
fi
exec wine "$@"

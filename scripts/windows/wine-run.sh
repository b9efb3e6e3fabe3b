#!/bin/sh
# Runs a cross-built Windows program under Wine with the project's pinned prefix and
# no dialogs: ctest's emulator and the build's (the demo song's generator).
# DISPLAY must name a running X server for windows and GL (scripts/windows/env.sh).
export WINEPREFIX="${WINEPREFIX:-${CORVANE_WIN_CACHE:-/var/cache/corvane-windows}/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
exec wine "$@"

# Sourced by the Windows scripts: the cache, the pinned Wine prefix and an X server.
#   corvane_win_prefix      -> the libraries' prefix (builds them when missing)
#   corvane_wine_prefix     -> makes the Wine prefix once (crash dialog off)
#   corvane_xvfb DISPLAY    -> an Xvfb on that display, stopped when the shell exits
CORVANE_WIN_CACHE=${CORVANE_WIN_CACHE:-/var/cache/corvane-windows}
export CORVANE_WIN_CACHE
export WINEPREFIX=${WINEPREFIX:-$CORVANE_WIN_CACHE/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
CORVANE_WIN_SCRIPTS=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

corvane_win_prefix() {
  bash "$CORVANE_WIN_SCRIPTS/deps.sh" | tail -1
}

corvane_xvfb() {
  local display=$1
  # An Xvfb already serving that display is used as it is.
  if ! xdpyinfo -display "$display" >/dev/null 2>&1; then
    Xvfb "$display" -screen 0 1024x768x24 -noreset -nolisten tcp >/dev/null 2>&1 &
    CORVANE_XVFB_PID=$!
    trap 'kill $CORVANE_XVFB_PID 2>/dev/null || true' EXIT
    for _ in $(seq 50); do
      xdpyinfo -display "$display" >/dev/null 2>&1 && break
      sleep 0.1
    done
  fi
  export DISPLAY=$display
}

corvane_wine_prefix() {
  if [ ! -f "$WINEPREFIX/.corvane-ready" ]; then
    mkdir -p "$WINEPREFIX"
    wine wineboot -i >/dev/null 2>&1 || true
    # A crash must not open winedbg's dialog, which waits for ever: print and end.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
    wineserver -w
    touch "$WINEPREFIX/.corvane-ready"
  fi
}

#!/bin/sh
# SPDX-License-Identifier: MIT
# A wine prefix for the loader checks, usable without a display.
#
#   scripts/wine_env.sh start PREFIX   create PREFIX if needed, select the null
#                                      graphics driver, keep a wineserver alive
#   scripts/wine_env.sh stop PREFIX    stop that wineserver
#
# Programs run in the prefix need WINEPREFIX=PREFIX (and WINEDEBUG=-all for
# quiet output). Windows can only be created without a display through the
# null graphics driver; a wineserver that started with the default driver
# keeps failing, so it is stopped once the registry says "null". A persistent
# server (-p) saves seconds on every wine start.
set -eu
[ $# -eq 2 ] || { echo "usage: $0 start|stop PREFIX" >&2; exit 2; }
mkdir -p "$2"
WINEPREFIX=$(cd "$2" && pwd)
WINEDEBUG=-all
WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
unset DISPLAY WAYLAND_DISPLAY

case "$1" in
  start)
    if [ ! -f "$WINEPREFIX/.null-graphics" ]; then
      wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f \
        </dev/null >/dev/null 2>&1
      wineserver -k </dev/null >/dev/null 2>&1 || true
      wineserver -w </dev/null >/dev/null 2>&1
      touch "$WINEPREFIX/.null-graphics"
    fi
    # Every wine process here gets /dev/null for its standard streams: the
    # server and the services started with the first program outlive this
    # script and would keep a caller's pipes open.
    wineserver -p </dev/null >/dev/null 2>&1
    wine cmd /c exit </dev/null >/dev/null 2>&1
    ;;
  stop)
    wineserver -k </dev/null >/dev/null 2>&1 || true
    wineserver -w </dev/null >/dev/null 2>&1 || true
    ;;
  *)
    echo "usage: $0 start|stop PREFIX" >&2
    exit 2
    ;;
esac

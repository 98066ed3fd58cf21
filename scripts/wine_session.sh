#!/bin/sh
# SPDX-License-Identifier: MIT
# Keeps a wine prefix ready while the end-to-end tests run the Windows program.
#
#   scripts/wine_session.sh start PREFIX   create PREFIX if needed, keep a
#                                          wineserver alive with the prefix's
#                                          services already running
#   scripts/wine_session.sh stop PREFIX    stop that prefix's wineserver
#
# Everything wine starts in the background is detached from this script's
# output: a service that inherited a test's output pipe would keep the test
# waiting for the pipe to close. A persistent server (-p) saves seconds on
# every start of the program.
set -eu
[ $# -eq 2 ] || { echo "usage: $0 start|stop PREFIX" >&2; exit 2; }
mkdir -p "$2"
WINEPREFIX=$(cd "$2" && pwd)
WINEDEBUG=-all
WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko installers
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
unset DISPLAY WAYLAND_DISPLAY

case "$1" in
  start)
    wineserver -p </dev/null >/dev/null 2>&1
    # The first program in a prefix sets it up and brings up its services.
    wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
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

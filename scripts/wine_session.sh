#!/bin/sh
# Keeps a wine prefix ready while the end-to-end tests run the Windows program.
#
#   scripts/wine_session.sh start PREFIX   prefix with a persistent wineserver
#                                          and its services already running
#   scripts/wine_session.sh stop PREFIX    stop that prefix's wineserver
#
# Everything wine starts in the background is detached from this script's
# output: a service that inherited a test's output pipe would keep the test
# waiting for the pipe to close.
set -eu
[ $# -eq 2 ] || { echo "usage: $0 start|stop PREFIX" >&2; exit 2; }
here=$(dirname "$0")
sh "$here/wine_env.sh" "$1" "$2" </dev/null >/dev/null 2>&1
if [ "$1" = start ]; then
  WINEPREFIX=$(cd "$2" && pwd)
  WINEDEBUG=-all
  export WINEPREFIX WINEDEBUG
  # The first program in a prefix brings up its services.
  wine cmd.exe /c exit </dev/null >/dev/null 2>&1 || true
fi

#!/bin/sh
# SPDX-License-Identifier: MIT
# The wine prefix of a test run, usable without a display.
#
#   scripts/wine_env.sh start PREFIX [HOLDER]
#       create PREFIX if needed with the null graphics driver selected, keep
#       a wineserver alive, and with HOLDER (the loader probe) keep the
#       desktop up until "stop"
#   scripts/wine_env.sh stop PREFIX
#       stop that wineserver and everything running in the prefix
#
# Programs run in the prefix need WINEPREFIX=PREFIX (and WINEDEBUG=-all for
# quiet output). Windows can only be created without a display through the
# null graphics driver, chosen in the registry. The server saves the registry
# when it ends, so the setting is read back from the saved file: a marker
# file could claim a setting that never reached it.
#
# A program that creates the first window brings up the desktop and waits at
# most ten seconds for it; on a busy machine (a parallel test run) that is
# too short and all its windows fail. The holder brings the desktop up once,
# before any test runs, and keeps it up: the tests never start it themselves.
set -eu
[ $# -ge 2 ] && [ $# -le 3 ] ||
  { echo "usage: $0 start PREFIX [HOLDER] | stop PREFIX" >&2; exit 2; }
mkdir -p "$2"
WINEPREFIX=$(cd "$2" && pwd)
WINEDEBUG=-all
WINEDLLOVERRIDES="mscoree,mshtml="  # no Mono or Gecko installers
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
unset DISPLAY WAYLAND_DISPLAY
holder=${3:-}

# Every wine process here gets /dev/null or a file for its standard streams:
# the server and the programs started in the background outlive this script
# and would keep a caller's pipes open.
quietly() { "$@" </dev/null >/dev/null 2>&1; }

null_driver_saved() {
  grep -q '^"Graphics"="null"' "$WINEPREFIX/user.reg" 2>/dev/null
}

# Creates the prefix (the first wine program does) and selects the driver.
# Nothing is killed on the way: the server ends by itself once the prefix's
# set-up has finished, and saves the registry as it ends.
select_null_driver() {
  quietly wineserver -k || true  # a server left over from an earlier run
  quietly wineserver -w || true
  quietly wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f
  quietly wineserver -w
  if ! null_driver_saved; then
    echo "$0: the null graphics driver is not selected in $WINEPREFIX" >&2
    exit 1
  fi
}

# Wine's own fonts (Debian's fonts-wine), where this wine does not look for
# them itself: without them Tahoma and MS Shell Dlg fall back to another
# face, and titles are drawn at other widths than on Windows.
install_wine_fonts() {
  fonts="$WINEPREFIX/drive_c/windows/Fonts"
  [ -d /usr/share/wine/fonts ] && [ -d "$fonts" ] || return 0
  for font in /usr/share/wine/fonts/*.ttf; do
    [ -e "$fonts/$(basename "$font")" ] || cp "$font" "$fonts/"
  done
}

# Starts the holder and waits for its first line; true when it is "ready".
start_holder() {
  report="$WINEPREFIX/holder.out"
  : >"$report"
  wine "$holder" --hold </dev/null >"$report" 2>/dev/null &
  pid=$!
  while [ ! -s "$report" ] && kill -0 "$pid" 2>/dev/null; do sleep 1; done
  [ "$(head -n 1 "$report")" = ready ]
}

case "$1" in
  start)
    null_driver_saved || select_null_driver
    install_wine_fonts
    quietly wineserver -p
    if [ -z "$holder" ]; then
      quietly wine cmd /c exit
      exit 0
    fi
    # A holder that gave up waiting stays and keeps the desktop it started
    # open; the next one finds it up.
    for attempt in 1 2 3 4 5; do
      if start_holder; then exit 0; fi
      echo "$0: attempt $attempt: the desktop is not up yet" >&2
    done
    echo "$0: the desktop of $WINEPREFIX did not come up" >&2
    exit 1
    ;;
  stop)
    quietly wineserver -k || true
    quietly wineserver -w || true
    ;;
  *)
    echo "usage: $0 start PREFIX [HOLDER] | stop PREFIX" >&2
    exit 2
    ;;
esac

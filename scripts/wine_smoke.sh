#!/bin/sh
# SPDX-License-Identifier: MIT
# Real-world smoke run: translates copies of Windows programs that Debian's
# wine package ships and checks with the loader probe that their menus,
# dialogs and string tables still load, with exactly their texts changed:
# once with menus and dialogs translated, once with string tables too.
#
#   scripts/wine_smoke.sh PREFIX UITRANS PROBE WORKDIR [PE...]
#
# PREFIX is a prefix started by scripts/wine_env.sh. Every text of a file's
# menus and dialogs is listed with its ASCII letters' case swapped, so the
# texts keep their lengths. Copies get another name: wine would substitute
# its built-in module for a file named like one.
set -eu
[ $# -ge 4 ] || { echo "usage: $0 PREFIX UITRANS PROBE WORKDIR [PE...]" >&2; exit 2; }
WINEPREFIX=$(cd "$1" && pwd)
WINEDEBUG=-all
WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
unset DISPLAY WAYLAND_DISPLAY
uitrans=$2 probe=$3 work=$4
shift 4
texts="python3 $(cd "$(dirname "$0")/.." && pwd)/tests/real/pe_texts.py"
windows=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
if [ $# -eq 0 ]; then
  set -- "$windows/notepad.exe" "$windows/wordpad.exe" "$windows/winefile.exe" \
    "$windows/taskmgr.exe" "$windows/regedit.exe" "$windows/comdlg32.dll"
fi

rm -rf "$work"
mkdir -p "$work"
cd "$work"
failures=0

# The probe's printout of FILE into OUT. A probe that failed and printed
# nothing never reached FILE: wine failed to start it (seen now and then
# under load), and it runs once more.
run_probe() {
  if ! wine "$probe" "$1" </dev/null >"$2" 2>>wine.log && [ ! -s "$2" ]; then
    wine "$probe" "$1" </dev/null >"$2" 2>>wine.log || true
  fi
}

# Translates the copy NAME of SOURCE with every text listed (with FLAG
# --strings, the strings of its string tables too, translated with
# --string-tables) and compares its printout with the one expected from the
# original's printout BEFORE.
check() {
  source=$1 name=$2 before=$3 flag=$4
  option= what=
  if [ -n "$flag" ]; then option=--string-tables what=" with string tables"; fi
  cp "$source" "$name"
  $texts list "$name" "$name.list" $flag >/dev/null
  messages=$("$uitrans" $option "$name.list" "$name")
  run_probe "$name" "$name.after"
  $texts expect "$name.list" "$before" $flag >"$name.expected"
  layout="in place"
  case "$messages" in *Warning*) layout="grown section" ;; esac
  changed=$(diff "$before" "$name.after" | grep -c '^>' || true)
  strings=$(diff "$before" "$name.after" | grep -c '^> string ' || true)
  if ! cmp -s "$name.expected" "$name.after"; then
    echo "FAIL $source$what ($layout): the probe printout differs from the expected one"
    diff "$name.expected" "$name.after" | head -20
    failures=$((failures + 1))
  elif [ "$changed" -eq 0 ]; then
    echo "FAIL $source$what: no text changed"
    failures=$((failures + 1))
  elif [ -n "$flag" ] && [ "$strings" -eq 0 ] && grep -q '^string ' "$before"; then
    echo "FAIL $source$what: no string changed"
    failures=$((failures + 1))
  else
    echo "ok   $source$what ($layout): $(echo "$messages" | head -1)" \
      "$changed lines changed, $strings of them strings"
  fi
}

for source in "$@"; do
  name="smoke_$(basename "$source")"
  cp "$source" "original_$name"
  run_probe "original_$name" "$name.before"
  check "$source" "$name" "$name.before" ""
  check "$source" "strings_$name" "$name.before" --strings
done
exit "$failures"

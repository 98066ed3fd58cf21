#!/bin/sh
# SPDX-License-Identifier: MIT
# The preview page in a real browser: a fixture translated with a pseudo
# catalogue (a dry run) gives a page that Debian's headless chromium loads,
# with one drawing (before and after) for each dialog the run changed; a
# screenshot of it stays in WORKDIR.
#
#   scripts/preview_check.sh UITRANS FIXTURE WORKDIR
#
# Exit status: 0 the page holds every drawing, 1 it does not or chromium
# failed, 77 chromium is not installed (the test is skipped).
set -eu
[ $# -eq 3 ] || { echo "usage: $0 UITRANS FIXTURE WORKDIR" >&2; exit 2; }
absolute() { case $1 in /*) echo "$1" ;; *) echo "$PWD/$1" ;; esac; }
uitrans=$(absolute "$1") fixture=$(absolute "$2") work=$3
browser=/usr/bin/chromium
[ -x "$browser" ] || { echo "chromium is not installed: skipped"; exit 77; }

rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
name=$(basename "$fixture")
cp "$fixture" "$work/$name"
cd "$work"
"$uitrans" --extract --po --pseudo -o p.po "$name" >/dev/null
"$uitrans" --dry-run --report report.tsv --preview preview.html p.po "$name" \
  >/dev/null

# Each dialog resource with a replaced text: TYPE NAME LANGUAGE once.
expected=$(awk -F '\t' '$1 == "replaced" && $3 == "DIALOG" { print $3, $4, $5 }' \
  report.tsv | sort -u | wc -l)
[ "$expected" -gt 0 ] || { echo "no dialog changed" >&2; exit 1; }

profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT
run_browser() {
  timeout 120 "$browser" --headless --no-sandbox --disable-gpu --disable-quic \
    --no-first-run --disable-background-networking --disable-component-update \
    --disable-sync --user-data-dir="$profile" "$@"
}
if ! run_browser --dump-dom "file://$work/preview.html" >dom.html \
  2>chromium.log; then
  echo "chromium failed to load the page:" >&2
  cat chromium.log >&2
  exit 1
fi
# The page's drawings as the browser built them: one "pair dialog" per
# dialog, holding a frame before and one after.
drawings=$(grep -o 'class="pair dialog"' dom.html | wc -l)
frames=$(grep -o 'class="frame"' dom.html | wc -l)
echo "dialogs changed: $expected, drawn: $drawings, frames: $frames"
if [ "$drawings" -ne "$expected" ] || [ "$frames" -ne $((2 * expected)) ]; then
  echo "a dialog drawing is missing" >&2
  exit 1
fi

if ! run_browser --screenshot="$work/preview.png" --window-size=1280,2000 \
  "file://$work/preview.html" >>chromium.log 2>&1 || [ ! -s preview.png ]; then
  echo "chromium made no screenshot:" >&2
  cat chromium.log >&2
  exit 1
fi
echo "screenshot: $work/preview.png"

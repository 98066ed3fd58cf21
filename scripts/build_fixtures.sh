#!/bin/sh
# Regenerates the executables under tests/fixtures/ from tests/fixtures/src/
# with the mingw-w64 cross toolchain (windres and gcc, 32 and 64 bit).
# The results are committed, so the ordinary test run needs no cross-compiler.
#
# Each fixture is linked twice: the first link measures the resource section,
# the second sizes a padding resource so that the section ends just past a
# file-alignment step, which leaves room for a translation that grows a little.
set -eu
cd "$(dirname "$0")/.."
src=tests/fixtures/src
out=tests/fixtures
tool="python3 $src/fixture_tool.py"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

$tool icon "$work/app.ico"
$tool raw-classic-dialog "$work/raw_classic_dialog.bin"
cp "$src/app.manifest" "$work/"

# Bytes the section keeps free behind its contents, out of one alignment step.
headroom=480

link() {  # prefix output
  "$1-windres" -I "$src" -I "$work" "$src/app.rc" -O coff -o "$work/app.res"
  "$1-gcc" -Os -s -Wl,--no-insert-timestamp -I "$src" -o "$2" \
    "$src/app.c" "$work/app.res"
}

build() {  # prefix name
  head -c 8 /dev/zero >"$work/padding.bin"
  link "$1" "$work/$2"
  set -- "$1" "$2" $($tool rsrc-size "$work/$2")
  size=$3 alignment=$4
  # Grow the padding until the contents end `alignment - headroom` bytes past
  # an alignment step (padding is stored at 8-byte steps, so round to 8).
  pad=$(( 8 + (alignment - headroom - size % alignment + alignment) % alignment ))
  pad=$(( (pad + 7) / 8 * 8 ))
  head -c "$pad" /dev/zero >"$work/padding.bin"
  link "$1" "$out/$2"
  echo "$out/$2: .rsrc $($tool rsrc-size "$out/$2") (padding $pad bytes)"
}

build x86_64-w64-mingw32 app64.exe
build i686-w64-mingw32 app32.exe

#!/bin/sh
# SPDX-License-Identifier: MIT
# Regenerates the executables under tests/fixtures/ from tests/fixtures/src/
# with the mingw-w64 cross toolchain (windmc, windres and gcc, 32 and 64 bit).
# The results are committed, so the ordinary test run needs no cross-compiler.
#
# Each fixture is linked twice: the first link measures the resource section,
# the second sizes a padding resource so that the section's contents end a
# chosen number of bytes (the headroom) short of an alignment step. app64.exe
# and app32.exe keep room for a translation that grows a little (rewritten in
# place); the others keep almost none, so the same translation grows the
# section past its raw size (a file-alignment step) or past its room in memory
# (a section-alignment step), with relocations, debug sections or nothing
# following it.
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
# The message tables: English as Unicode entries, German as ANSI entries in
# code page 1252 (the sources are UTF-8). The sources get CR LF line ends
# first, as Windows text files have, so that every message ends with CR LF.
# windmc writes a resource script per source (app_en.rc, app_de.rc) and the
# table it includes, both named after the source.
sed 's/$/\r/' "$src/app.mc" >"$work/app_en.mc"
sed 's/$/\r/' "$src/app_de.mc" >"$work/app_de.mc"
x86_64-w64-mingw32-windmc -U -C 65001 -b -r "$work" -h "$work" "$work/app_en.mc"
x86_64-w64-mingw32-windmc -A -C 65001 -b -r "$work" -h "$work" "$work/app_de.mc"

link() {  # prefix output linker-options...
  prefix=$1 output=$2
  shift 2
  "$prefix-windres" -I "$src" -I "$work" "$src/app.rc" -O coff -o "$work/app.res"
  "$prefix-gcc" -Os -Wl,--no-insert-timestamp "$@" -I "$src" -I "$work" \
    -o "$output" "$src/app.c" "$work/app.res"
}

build() {  # prefix name file|section headroom linker-options...
  prefix=$1 name=$2 step=$3 headroom=$4
  shift 4
  head -c 8 /dev/zero >"$work/padding.bin"
  link "$prefix" "$work/$name" "$@"
  read -r size file section <<MEASURED
$($tool rsrc-size "$work/$name")
MEASURED
  if [ "$step" = file ]; then alignment=$file; else alignment=$section; fi
  # Grow the padding until the contents end `alignment - headroom` bytes past
  # an alignment step (padding is stored at 8-byte steps, so round to 8).
  pad=$(( 8 + (alignment - headroom - size % alignment + alignment) % alignment ))
  pad=$(( (pad + 7) / 8 * 8 ))
  head -c "$pad" /dev/zero >"$work/padding.bin"
  link "$prefix" "$out/$name" "$@"
  echo "$out/$name: .rsrc $($tool rsrc-size "$out/$name") (padding $pad bytes)"
}

# Rewritten in place.
build x86_64-w64-mingw32 app64.exe file 480 -s
build i686-w64-mingw32 app32.exe file 480 -s
# Grown past the raw size (16 bytes short of a file-alignment step half-way
# through a section-alignment step) but not past the room in memory; .reloc
# follows.
build x86_64-w64-mingw32 app64_grown.exe section 2064 -s
# Grown past the room in memory: .reloc follows and has to move up.
build x86_64-w64-mingw32 app64_shift.exe section 16 -s
build i686-w64-mingw32 app32_shift.exe section 16 -s
# Not stripped, with a build id: .reloc and the debug sections follow, the
# symbol table ends the file and a debug directory is present.
build x86_64-w64-mingw32 app64_debug.exe section 16 -g -Wl,--build-id
# No relocations: the resource section is the last one.
build x86_64-w64-mingw32 app64_last.exe section 16 -s -Wl,--disable-reloc-section

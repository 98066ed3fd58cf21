#!/bin/sh
# SPDX-License-Identifier: MIT
# Builds uitrans and translates the bundled sample into out/sample/.
set -eu
cd "$(dirname "$0")/.."
scripts/install_deps.sh cmake g++ make
cmake -S . -B build-sample -DUITRANS_BUILD_TESTS=OFF >/dev/null
cmake --build build-sample -j"$(nproc)" --target uitrans >/dev/null
rm -rf out/sample
mkdir -p out/sample
cp sample/app.exe sample/list.txt out/sample/
cd out/sample
../../build-sample/src/uitrans list.txt app.exe
echo "Wrote out/sample/app.exe (original kept as out/sample/app.exe.old)."

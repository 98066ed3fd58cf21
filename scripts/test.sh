#!/bin/sh
# Installs what is missing, builds uitrans with its tests and runs them.
set -eu
cd "$(dirname "$0")/.."
scripts/install_deps.sh
cmake -S . -B build -DUITRANS_WERROR=ON
cmake --build build -j"$(nproc)"
ctest --test-dir build --output-on-failure -j"$(nproc)"

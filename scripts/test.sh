#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs what is missing, builds uitrans with its tests and runs them.
set -eu
cd "$(dirname "$0")/.."
scripts/install_deps.sh

# The Windows program, cross-built with mingw-w64 for both architectures;
# the end-to-end tests run the x86_64 one under wine beside the Linux binary.
# Wine's fonts let the loader probe measure titles as the estimates do, and
# headless chromium loads the preview page.
scripts/install_deps.sh g++-mingw-w64-x86-64-win32 g++-mingw-w64-i686-win32 \
  wine wine64 gettext fonts-wine chromium
for arch in x86_64 i686; do
  cmake -S . -B "build-windows-$arch" -DUITRANS_BUILD_TESTS=OFF \
    -DUITRANS_WERROR=ON \
    -DCMAKE_TOOLCHAIN_FILE="cmake/toolchains/mingw-w64-$arch.cmake"
  cmake --build "build-windows-$arch" -j"$(nproc)"
done

cmake -S . -B build -DUITRANS_WERROR=ON -DUITRANS_BUILD_TESTS=ON \
  -DUITRANS_WINDOWS_EXE="$PWD/build-windows-x86_64/src/uitrans.exe"
cmake --build build -j"$(nproc)"
ctest --test-dir build --no-tests=error --output-on-failure -j"$(nproc)"

# Packages: a .deb from the Linux build, a .zip of the Windows program, both
# named with the version of the build, which is also the changelog's latest
# release. Debian's package checker must have nothing at all to say.
scripts/install_deps.sh lintian
(cd build && cpack -G DEB)
(cd build-windows-x86_64 && cpack -G ZIP)
scripts/check_packages.sh build build-windows-x86_64

# The whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer,
# then a bounded fuzzing run (one minute per target); any finding fails.
cmake -S . -B build-asan -DUITRANS_WERROR=ON -DUITRANS_SANITIZE=ON -DUITRANS_BUILD_TESTS=ON
cmake --build build-asan -j"$(nproc)"
ctest --test-dir build-asan --no-tests=error --output-on-failure -j"$(nproc)"
scripts/fuzz.sh 60

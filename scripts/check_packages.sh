#!/bin/sh
# SPDX-License-Identifier: MIT
# Checks the packages cpack made: the .deb passes lintian without a single
# remark; the program, both packages and the latest release in CHANGELOG.md
# name the same version; the .zip holds the program with its README, licence
# and changelog.
# Usage: scripts/check_packages.sh LINUX_BUILD_DIR WINDOWS_BUILD_DIR
set -eu
changelog="$(dirname "$0")/../CHANGELOG.md"
linux_build=$1
windows_build=$2

fail() {
  echo "check_packages: $*" >&2
  exit 1
}

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:[A-Z]*=//p' \
  "$linux_build/CMakeCache.txt")
[ -n "$version" ] || fail "no project version in $linux_build/CMakeCache.txt"
released=$(sed -n 's/^## \[\([0-9][^]]*\)\].*/\1/p' "$changelog" | head -n 1)
[ "$released" = "$version" ] ||
  fail "the build is version $version, the latest release in CHANGELOG.md" \
    "is ${released:-missing}"

printed=$("$linux_build/src/uitrans" --version) ||
  fail "uitrans --version failed"
[ "$printed" = "uitrans $version" ] ||
  fail "uitrans --version prints '$printed', the build is version $version"

deb="$linux_build/uitrans_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "$deb is missing"
# lintian prints one line per finding; errors and warnings also fail it.
if ! findings=$(lintian --fail-on error,warning "$deb") || [ -n "$findings" ]
then
  printf '%s\n' "$findings"
  fail "lintian does not accept $deb"
fi

zip=$(find "$windows_build" -maxdepth 1 -name "uitrans-$version-win*.zip")
[ -n "$zip" ] || fail "no uitrans-$version-win*.zip in $windows_build"
listing=$(cmake -E tar tf "$zip")
for name in uitrans.exe README.md LICENSE CHANGELOG.md; do
  printf '%s\n' "$listing" | grep -qx "uitrans-$version-win[0-9]*/$name" ||
    fail "$zip holds no $name"
done
echo "Packages of uitrans $version: lintian clean, contents complete."

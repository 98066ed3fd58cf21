#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs the Debian packages the build and the tests need, when missing.
# Usage: scripts/install_deps.sh [PACKAGE...]   (defaults to the basic set)
set -eu

packages="${*:-cmake g++ make libgtest-dev python3}"
missing=""
for package in $packages; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed"; then
    missing="$missing $package"
  fi
done
[ -z "$missing" ] && exit 0

as_root=""
if [ "$(id -u)" -ne 0 ]; then as_root="sudo"; fi
echo "Installing:$missing"
export DEBIAN_FRONTEND=noninteractive
$as_root apt-get update -qq
# shellcheck disable=SC2086
$as_root apt-get install -y -qq --no-install-recommends $missing >/dev/null

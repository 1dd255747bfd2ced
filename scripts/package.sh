#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian package (rt420config_<version>_<arch>.deb) with CPack's
# DEB generator from the normal build in build/ (built with Debian's
# hardening flags, see scripts/build.sh), and prints its path. After the test
# command has run, the programs are built already and only CPack runs.
# scripts/check-package.sh checks the package afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
START=$SECONDS
BUILD_DIR=build

bash scripts/setup.sh
bash scripts/build.sh "$BUILD_DIR" rt420_package_contents
rm -f "$BUILD_DIR"/rt420config_*.deb
(cd "$BUILD_DIR" && cpack -G DEB)

shopt -s nullglob
packages=("$BUILD_DIR"/rt420config_*.deb)
if [ ${#packages[@]} -ne 1 ]; then
  echo "package.sh: expected one package in $BUILD_DIR, found ${#packages[@]}" >&2
  exit 1
fi
echo "package.sh: ${packages[0]} ($((SECONDS - START)) s)"

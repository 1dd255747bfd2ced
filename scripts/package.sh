#!/usr/bin/env bash
# Builds the Debian package (rt420config_<version>_<arch>.deb) with CPack's
# DEB generator from a Release build in build-package/, and prints its path.
# scripts/check-package.sh checks it afterwards.
set -euo pipefail
cd "$(dirname "$0")/.."
# The package's own build needs: Qt's SVG generator for the scalable icon,
# dpkg-shlibdeps (dpkg-dev) and file for the dependencies, gzip for the
# manuals.
bash scripts/setup.sh qt6-svg-dev dpkg-dev file gzip
START=$SECONDS
BUILD_DIR=build-package

# Debian's compiler and linker flags with every hardening feature, as a
# package built by Debian's own tools gets them.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CXXFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"

cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DRT420_PACKAGE=ON \
  -DCMAKE_CXX_FLAGS="$CXXFLAGS" -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS" >/dev/null
cmake --build "$BUILD_DIR" -j"$(nproc)" --target rt420_package_contents
rm -f "$BUILD_DIR"/rt420config_*.deb
(cd "$BUILD_DIR" && cpack -G DEB)

shopt -s nullglob
packages=("$BUILD_DIR"/rt420config_*.deb)
if [ ${#packages[@]} -ne 1 ]; then
  echo "package.sh: expected one package in $BUILD_DIR, found ${#packages[@]}" >&2
  exit 1
fi
echo "package.sh: ${packages[0]} ($((SECONDS - START)) s)"

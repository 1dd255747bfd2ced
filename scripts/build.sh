#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Configures and builds into a folder (default build/). Further arguments name
# the targets to build; without them everything is built.
#
# build/, the normal build, is also the Debian package's build: it is built
# with Debian's hardening flags and with the package's files, so that the
# tests run on the very programs scripts/package.sh packs. Other folders get
# a plain configuration; RT420_CMAKE_ARGS adds configure options to any
# (e.g. -DRT420_SANITIZE=ON).
#
# Every build is a unity build (several sources compiled as one), and goes
# through ccache when it is installed.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${1:-build}
shift || true

# Optimised, with line tables only (-g1): a failure's stack still names
# functions, files and lines, and the build is a fifth quicker than with full
# debug information (the package strips it anyway).
CONFIG=(-DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" -DCMAKE_UNITY_BUILD=ON)
if command -v ccache >/dev/null; then
  CONFIG+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
if [ "$BUILD_DIR" = build ]; then
  # Debian's compiler and linker flags with every hardening feature, as a
  # package built by Debian's own tools gets them.
  export DEB_BUILD_MAINT_OPTIONS=hardening=+all
  CONFIG+=(-DRT420_PACKAGE=ON
    "-DCMAKE_CXX_FLAGS=$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
    "-DCMAKE_EXE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)")
fi
# shellcheck disable=SC2086
cmake -S . -B "$BUILD_DIR" "${CONFIG[@]}" ${RT420_CMAKE_ARGS:-} >/dev/null
if [ $# -gt 0 ]; then
  cmake --build "$BUILD_DIR" -j"$(nproc)" --target "$@"
else
  cmake --build "$BUILD_DIR" -j"$(nproc)"
fi

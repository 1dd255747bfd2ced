#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Cross-builds the Windows programs with Debian's mingw-w64 (64-bit, POSIX
# threads) into a folder (default build-windows/): the link, the store, the
# catalogue, the tone, rt420ctl.exe, the Windows tests and benchmarks, and
# the installer and the portable zip (BUILD_DIR/rt420config-<version>-win64
# .msi and .zip, with rt420config.exe too when the build makes it). The Qt
# window is left out. Further arguments name the targets to build; without
# them everything is built. Installs its packages first (scripts/setup.sh
# windows).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${1:-build-windows}
shift || true
bash scripts/setup.sh windows
# A unity build (several sources compiled as one), through ccache when it is
# installed, like the native builds.
CONFIG=(-DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG"
  -DRT420_WINDOW=OFF -DCMAKE_UNITY_BUILD=ON)
if command -v ccache >/dev/null; then
  CONFIG+=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
# The toolchain file counts at the first configure only; later runs would
# warn that it went unused.
# shellcheck disable=SC2086
cmake --no-warn-unused-cli -S . -B "$BUILD_DIR" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  "${CONFIG[@]}" ${RT420_CMAKE_ARGS:-} >/dev/null
if [ $# -gt 0 ]; then
  cmake --build "$BUILD_DIR" -j"$(nproc)" --target "$@"
else
  cmake --build "$BUILD_DIR" -j"$(nproc)"
fi

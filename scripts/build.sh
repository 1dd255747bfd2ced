#!/usr/bin/env bash
# Configures and builds into a folder (default build/). Further arguments name
# the targets to build; without them everything is built.
# RT420_CMAKE_ARGS adds configure options (e.g. -DRT420_SANITIZE=ON).
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${1:-build}
shift || true
# shellcheck disable=SC2086
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=RelWithDebInfo ${RT420_CMAKE_ARGS:-} >/dev/null
if [ $# -gt 0 ]; then
  cmake --build "$BUILD_DIR" -j"$(nproc)" --target "$@"
else
  cmake --build "$BUILD_DIR" -j"$(nproc)"
fi

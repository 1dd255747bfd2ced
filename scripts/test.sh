#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds everything and runs every test,
# first in a normal build, then in a build with AddressSanitizer and
# UndefinedBehaviorSanitizer. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

export QT_QPA_PLATFORM=offscreen
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

echo "== Sanitizer build (AddressSanitizer, UndefinedBehaviorSanitizer)"
RT420_CMAKE_ARGS="-DRT420_SANITIZE=ON" bash scripts/build.sh build-sanitize
(cd build-sanitize && ctest --output-on-failure -j"$(nproc)")

echo "== Build"
bash scripts/build.sh build
cd build
ctest --output-on-failure -j"$(nproc)"

#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds everything and runs every test.
# Exits non-zero on any failure. The stages, in order:
#   1. a build with AddressSanitizer and UndefinedBehaviorSanitizer
#      (build-sanitize/) and all its tests;
#   2. the normal build (build/) and all its tests, the fuzz corpora replayed
#      among them;
#   3. the Windows programs, cross-built with mingw-w64 (build-windows/), and
#      their tests under wine against the simulated module;
#   4. the Debian package (build-package/): built, checked with lintian and
#      the desktop and AppStream validators, installed, run, and purged.
set -euo pipefail
cd "$(dirname "$0")/.."
STARTED=$SECONDS
stage() { echo "== $1 (at $((SECONDS - STARTED)) s)"; }
bash scripts/setup.sh

export QT_QPA_PLATFORM=offscreen
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

stage "Sanitizer build (AddressSanitizer, UndefinedBehaviorSanitizer)"
RT420_CMAKE_ARGS="-DRT420_SANITIZE=ON" bash scripts/build.sh build-sanitize
(cd build-sanitize && ctest --output-on-failure -j"$(nproc)")

stage "Build"
bash scripts/build.sh build
(cd build && ctest --output-on-failure -j"$(nproc)")

stage "Windows programs under wine"
bash scripts/test-windows.sh

stage "Debian package"
bash scripts/package.sh
bash scripts/check-package.sh

stage "All stages passed"

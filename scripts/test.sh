#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds everything and runs every test.
# Exits non-zero on any failure. The stages, in order:
#   1. every Debian package of every stage, in one apt-get call;
#   2. a build with AddressSanitizer and UndefinedBehaviorSanitizer
#      (build-sanitize/) and all its tests;
#   3. the normal build (build/), which is also the Debian package's build
#      (Debian's hardening flags), and all its tests, the fuzz corpora
#      replayed among them;
#   4. the Windows programs, cross-built with mingw-w64 (build-windows/), and
#      their tests under wine against the simulated module;
#   5. the Debian package, packed by CPack from build/ (nothing is compiled
#      again), checked with lintian and the desktop and AppStream validators,
#      installed, run, and purged.
# At the end, passed or not, a table gives each stage's time.
set -euo pipefail
cd "$(dirname "$0")/.."

STAGES=()   # "name|seconds|result" of every stage begun
CURRENT=""
CURRENT_START=0
STARTED=$SECONDS
finish_stage() {
  [ -n "$CURRENT" ] || return 0
  STAGES+=("$CURRENT|$((SECONDS - CURRENT_START))|$1")
  CURRENT=""
}
stage() {
  finish_stage passed
  CURRENT=$1
  CURRENT_START=$SECONDS
  echo "== $1 (at $((SECONDS - STARTED)) s)"
}
print_table() {
  local status=$?
  finish_stage "$([ $status -eq 0 ] && echo passed || echo FAILED)"
  echo
  printf '%-44s %8s  %s\n' "stage" "seconds" "result"
  local row name seconds result
  for row in "${STAGES[@]}"; do
    IFS='|' read -r name seconds result <<<"$row"
    printf '%-44s %8d  %s\n' "$name" "$seconds" "$result"
  done
  printf '%-44s %8d  %s\n' "total" "$((SECONDS - STARTED))" "$([ $status -eq 0 ] && echo passed || echo FAILED)"
}
trap print_table EXIT

stage "Packages (one apt-get call)"
bash scripts/setup.sh all

export QT_QPA_PLATFORM=offscreen
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

stage "Sanitizer build"
RT420_CMAKE_ARGS="-DRT420_SANITIZE=ON" bash scripts/build.sh build-sanitize
stage "Sanitizer tests"
(cd build-sanitize && ctest --output-on-failure -j"$(nproc)")

stage "Build (hardened, the package's build)"
bash scripts/build.sh build
stage "Tests"
(cd build && ctest --output-on-failure -j"$(nproc)")

stage "Windows build and tests under wine"
bash scripts/test-windows.sh

stage "Debian package: pack and check"
bash scripts/package.sh
bash scripts/check-package.sh
finish_stage passed

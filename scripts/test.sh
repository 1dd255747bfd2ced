#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Sets up a fresh Debian 12 machine, builds everything and runs every test.
# Exits non-zero on any failure. The stages:
#   1. every Debian package of every stage, in one apt-get call;
#   2. a build with AddressSanitizer and UndefinedBehaviorSanitizer
#      (build-sanitize/) and all its tests;
#   3. the normal build (build/), which is also the Debian package's build
#      (Debian's hardening flags), and all its tests, the fuzz corpora
#      replayed among them;
#   3a. a small build with ThreadSanitizer (build-tsan/) of only the tests
#      labelled "parallel" (CMake target tsan_targets), and those tests;
#   4. the Windows programs, cross-built with mingw-w64 (build-windows/), and
#      their tests under wine against the simulated module;
#   5. the Debian package, packed by CPack from build/ (nothing is compiled
#      again), checked with lintian and the desktop and AppStream validators,
#      installed, run, and purged.
#
# The tests mostly wait for the line, so each test run goes on beside the
# next build instead of after it: the sanitizer tests beside the normal
# build, the normal tests beside the ThreadSanitizer and the Windows build,
# the ThreadSanitizer tests beside the Windows build, the Windows tests
# beside the package stage. The tests are written to pass on a busy machine. A
# stage that runs beside another writes its output to build-logs/, and the
# output is printed when the stage ends. At the end, passed or not, a table
# gives each stage's time.
set -euo pipefail
cd "$(dirname "$0")/.."

STARTED=$SECONDS
EPOCH_STARTED=$(date +%s)
LOGS=build-logs
STAGES=()      # "name|start|end|result" of every stage that ended
declare -A BESIDE=()   # stage name -> "pid|start" while it runs beside others

# In the foreground: stage NAME COMMAND...
stage() {
  local name=$1 start=$SECONDS status=0
  shift
  echo "== $name (at $((start - STARTED)) s)"
  "$@" || status=$?
  STAGES+=("$name|$start|$SECONDS|$([ $status -eq 0 ] && echo passed || echo FAILED)")
  return $status
}
# Beside the next stages: beside NAME COMMAND... ; then await NAME. The
# stage's end is taken when its command ends, not when it is awaited.
beside() {
  local name=$1 log
  shift
  log=$LOGS/$(log_name "$name")
  echo "== $name, beside what follows (at $((SECONDS - STARTED)) s; output in $LOGS/)"
  rm -f "$log.end"
  ( status=0; "$@" >"$log" 2>&1 || status=$?; date +%s >"$log.end"; exit $status ) &
  BESIDE[$name]="$!|$SECONDS"
}
await() {
  local name=$1 pid start end status=0 log
  log=$LOGS/$(log_name "$name")
  IFS='|' read -r pid start <<<"${BESIDE[$name]}"
  wait "$pid" || status=$?
  unset "BESIDE[$name]"
  end=$(($(cat "$log.end") - EPOCH_STARTED + STARTED))
  echo "== $name: its output"
  cat "$log"
  STAGES+=("$name|$start|$end|$([ $status -eq 0 ] && echo passed || echo FAILED)")
  return $status
}
# Ends a process and every process it started.
kill_tree() {
  local child
  for child in $(pgrep -P "$1"); do kill_tree "$child"; done
  kill "$1" 2>/dev/null || true
}
log_name() { tr -c 'A-Za-z0-9\n' '-' <<<"$1" | tr -s '-' | sed 's/-$//; s/$/.log/'; }

print_table() {
  local status=$? row name start end result pid
  # A stage still running beside a failed one is stopped and shown as such.
  for name in "${!BESIDE[@]}"; do
    IFS='|' read -r pid start <<<"${BESIDE[$name]}"
    kill_tree "$pid"
    wait "$pid" 2>/dev/null || true
    STAGES+=("$name|$start|$SECONDS|stopped")
  done
  echo
  printf '%-44s %6s %6s  %s\n' "stage" "from" "to" "result"
  for row in "${STAGES[@]}"; do
    IFS='|' read -r name start end result <<<"$row"
    printf '%-44s %5ds %5ds  %s (%d s)\n' "$name" "$((start - STARTED))" "$((end - STARTED))" "$result" "$((end - start))"
  done
  printf '%-44s %13ds  %s\n' "total" "$((SECONDS - STARTED))" "$([ $status -eq 0 ] && echo passed || echo FAILED)"
}
trap print_table EXIT

mkdir -p "$LOGS"
export QT_QPA_PLATFORM=offscreen
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
CTEST=(ctest --output-on-failure -j"$(nproc)")

stage "Packages (one apt-get call)" bash scripts/setup.sh all

stage "Sanitizer build" env RT420_CMAKE_ARGS="-DRT420_SANITIZE=ON -DRT420_BENCH=OFF" \
  bash scripts/build.sh build-sanitize
beside "Sanitizer tests" bash -c 'cd build-sanitize && "$@"' _ "${CTEST[@]}"
stage "Build (hardened, the package's build)" bash scripts/build.sh build
await "Sanitizer tests"

beside "Tests" bash -c 'cd build && "$@"' _ "${CTEST[@]}"
stage "ThreadSanitizer build (parallel tests)" env \
  RT420_CMAKE_ARGS="-DRT420_TSAN=ON -DRT420_BENCH=OFF -DRT420_WINDOW=OFF" \
  bash scripts/build.sh build-tsan tsan_targets
# A report ends the program with exit code 66 (the tests set TSAN_OPTIONS
# for themselves and every program they start). setarch -R: gcc 12's
# ThreadSanitizer aborts on kernels that randomise mappings more widely
# than it expects (vm.mmap_rnd_bits above 28); without randomisation it runs
# everywhere.
beside "ThreadSanitizer tests" bash -c 'cd build-tsan && setarch -R "$@" -L parallel' _ "${CTEST[@]}"
stage "Windows build" bash scripts/build-windows.sh build-windows
await "Tests"
await "ThreadSanitizer tests"

stage "Debian package" bash scripts/package.sh
beside "Debian package checks" bash scripts/check-package.sh
stage "Windows tests under wine" bash scripts/test-windows.sh
await "Debian package checks"

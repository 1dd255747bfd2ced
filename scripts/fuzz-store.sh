#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A timed libFuzzer campaign on the settings-file reader and writer
# (fuzz/store/fuzz_store.cpp), built with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer into build-fuzz-store/.
#
#   bash scripts/fuzz-store.sh [SECONDS]     (default 300)
#
# Starts from the seed corpus fuzz/corpus/store, grows a working corpus in
# build-fuzz-store/corpus-store (the seeds in the repository stay as they are) and
# writes any finding to build-fuzz-store/findings-store/<time>/. Prints the
# executions and the findings of this campaign at the end; exits non-zero
# when there is a finding.
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_TO_RUN=${1:-300}

# clang and its libFuzzer runtime, installed once like the other packages.
bash scripts/setup.sh clang libclang-rt-14-dev

BUILD=build-fuzz-store
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link" \
  -DRT420_SANITIZE=ON -DRT420_LIBFUZZER=ON >/dev/null
cmake --build "$BUILD" -j"$(nproc)" --target fuzz_store

CORPUS="$BUILD/corpus-store"
FINDINGS="$BUILD/findings-store/$(date +%Y%m%d-%H%M%S)"
LOG="$BUILD/fuzz-store.log"
mkdir -p "$CORPUS" "$FINDINGS"
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

echo "== Fuzzing the settings file for ${SECONDS_TO_RUN} s (log: $LOG)"
status=0
"$BUILD/fuzz/store/fuzz_store" -max_total_time="$SECONDS_TO_RUN" -max_len=8192 -timeout=10 \
  -print_final_stats=1 -artifact_prefix="$FINDINGS/" "$CORPUS" fuzz/corpus/store >"$LOG" 2>&1 || status=$?

executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$LOG" | tail -1)
findings=$(find "$FINDINGS" -type f | wc -l)
echo "executions: ${executions:-unknown}"
echo "corpus: $(find "$CORPUS" -type f | wc -l) inputs"
echo "findings: $findings"
if [ "$findings" -gt 0 ] || [ "$status" -ne 0 ]; then
  find "$FINDINGS" -type f
  tail -40 "$LOG"
  exit 1
fi

#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A timed fuzzing campaign with libFuzzer (clang from Debian) on the fuzz
# targets of fuzz/, starting from their seed corpora in fuzz/corpus/.
#
#   bash scripts/fuzz.sh [SECONDS] [FOLDER...]
#
# SECONDS per target (default 60); FOLDER names targets by their folder in
# fuzz/ (default: every folder that has one); the folder's target is
# fuzz_<folder>. Builds in build-fuzz/ (clang, AddressSanitizer,
# UndefinedBehaviorSanitizer, libFuzzer). New inputs go to
# build-fuzz/corpus/<folder> (the repository's corpus is only read; copy an
# input into it to keep it), findings to build-fuzz/findings/<folder>.
# Prints per target the executions, the real time it ran, the executions
# per second, the inputs found and the findings; exits
# non-zero when there is a finding. The normal test run does not need any of
# this: it replays the corpora with the project's own compiler.
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_PER_TARGET=${1:-60}
shift || true

# clang and its libFuzzer runtime, installed once like the other packages.
bash scripts/setup.sh clang-14 libclang-rt-14-dev

folders=("$@")
if [ ${#folders[@]} -eq 0 ]; then
  for d in fuzz/*/; do
    d=$(basename "$d")
    [ "$d" != corpus ] && [ -f "fuzz/$d/CMakeLists.txt" ] && folders+=("$d")
  done
fi

cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++-14 \
  -DRT420_SANITIZE=ON -DRT420_LIBFUZZER=ON -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link" >/dev/null
targets=()
for f in "${folders[@]}"; do targets+=("fuzz_$f"); done
cmake --build build-fuzz -j"$(nproc)" --target "${targets[@]}"

export ASAN_OPTIONS=detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
status=0
for f in "${folders[@]}"; do
  corpus=build-fuzz/corpus/$f
  findings=build-fuzz/findings/$f
  mkdir -p "$corpus" "$findings"
  log=build-fuzz/fuzz_$f.log
  started=$(date +%s.%N)
  set +e
  "build-fuzz/fuzz/$f/fuzz_$f" -max_total_time="$SECONDS_PER_TARGET" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" "fuzz/corpus/$f" >"$log" 2>&1
  rc=$?
  set -e
  real=$(awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(awk -v n="${executions:-0}" -v t="$real" 'BEGIN { printf "%d", (t > 0 ? n / t : 0) }')
  found=$(find "$findings" -type f | wc -l)
  printf 'fuzz %s: %s executions in %s s real time (asked for %s s), %s per second, %s new inputs kept, %s findings (log: %s)\n' \
    "$f" "${executions:-?}" "$real" "$SECONDS_PER_TARGET" "$rate" "$(find "$corpus" -type f | wc -l)" "$found" "$log"
  if [ "$rc" -ne 0 ] || [ "$found" -gt 0 ]; then
    find "$findings" -type f -printf '  finding: %p\n'
    tail -n 30 "$log"
    status=1
  fi
done
exit $status

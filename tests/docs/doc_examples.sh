#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs the examples of one Markdown file and compares what they print with
# what the file shows.
#
#   doc_examples.sh FILE.md SOURCE_DIR RT420CTL RT420_SIM
#
# An example is a fenced block of the kind "console": lines that start with
# "$ " are commands, the lines after each are its output (stdout and stderr,
# as a terminal shows them). The commands an example may run:
#   bash scripts/demo-cli.sh [--bench|--bus] ARGS   as the script runs them: rt420ctl
#                                             ARGS against the demo's simulated
#                                             modules (scripts/demo-env.sh)
#   rt420ctl ARGS                             the same as demo-cli.sh ARGS
#   cat FILE                                  a file of the clone's folder
# The examples of one file run in order in one fresh clone folder, as one
# user's session: the demo's modules are started at their first use with the
# demo's own functions, keep their state from one example to the next, and
# are stopped at the end.
#
# What a run cannot repeat is left out of the comparison on both sides:
# times (2026-12-09T11:48:11.052Z), process IDs, pseudo-terminal numbers,
# how many cards a watch read (the demo's module presents one a second), the
# order in which a bench's modules finish, and the clone's folder (the file
# shows /home/op/rt420config; the run's clone is that path inside a
# temporary folder).
#
# A session that differs is run again from a fresh clone, up to five
# times: on a very busy machine a module may miss a reply window and an
# operation print its failure, while a wrong text differs every time.
#
# With RT420_DOC_WRITE=1 a file whose examples differ is rewritten with
# what they printed (one session).
set -euo pipefail
DOC=$1 SOURCE=$(realpath "$2") CTL=$(realpath "$3") SIM=$(realpath "$4")

WORK=""
STARTED=()   # the demo kinds whose modules this session started
# A fresh clone folder for one session.
prepare() {
  WORK=$(mktemp -d /tmp/rt420-doc-XXXXXX)
  CLONE=$WORK/home/op/rt420config
  mkdir -p "$CLONE/build/sim" "$WORK/bin"
  ln -s "$SIM" "$CLONE/build/sim/rt420-sim"
  ln -s "$CTL" "$WORK/bin/rt420ctl"
  STARTED=()
}
# In the clone, with the demo KIND's settings and functions: runs COMMAND.
in_demo() {
  local kind=$1
  shift
  (
    cd "$CLONE"
    export DEMO_KIND=$kind PATH="$WORK/bin:$PATH"
    # shellcheck source=scripts/demo-env.sh
    source "$SOURCE/scripts/demo-env.sh"
    "$@"
  ) || true
}
cleanup() {
  local kind
  [ -n "$WORK" ] || return 0
  for kind in "${STARTED[@]}"; do in_demo "$kind" StopDemoModules > /dev/null; done
  rm -rf "$WORK"
  WORK=""
}
trap cleanup EXIT

# The file as lines "TXT <line>" for its text, and within an example
# "CMD <line number> <command>", "OUT <shown output>" and "END".
Examples() {
  awk '
    /^```/ {
      if (inside) { print "END"; inside = 0 }
      else {
        split(substr($0, 4), info, " ")
        if (!fenced && info[1] == "console") inside = 1
        else fenced = !fenced
      }
      print "TXT " $0
      next
    }
    inside && /^\$ / { print "CMD " NR " " substr($0, 3); next }
    inside { print "OUT " $0; next }
    { print "TXT " $0 }
  ' "$1"
}

# The parts of a run's output that no two runs share, made equal.
Normal() {
  sed -E \
    -e "s#$WORK##g" \
    -e 's/[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}Z/<time>/g' \
    -e 's/PID [0-9]+/PID <pid>/g' \
    -e 's#/dev/pts/[0-9]+#/dev/pts/<n>#g' \
    -e 's/^<time> reader [12] /<time> reader <n> /' \
    -e 's/^stopped: [0-9]+ cards read$/stopped: <n> cards read/' |
    uniq |  # a watch's card lines, as many as it read, count as one
    # A bench's modules finish in any order: their result lines and records
    # are compared sorted.
    awk '
      function flush(  i, j, t) {
        for (i = 2; i <= n; i++) {
          t = run[i]
          for (j = i - 1; j >= 1 && run[j] > t; j--) run[j + 1] = run[j]
          run[j + 1] = t
        }
        for (i = 1; i <= n; i++) print run[i]
        n = 0
      }
      /^(<time>,)?COM[0-9]+[ ,]/ { run[++n] = $0; next }
      { flush(); print }
      END { flush() }
    '
}

# The demo an example's command runs against: demo, bench or bus.
KindOf() {
  case "$1" in
    "bash scripts/demo-cli.sh --bench "*) echo bench ;;
    "bash scripts/demo-cli.sh --bus "*) echo bus ;;
    *) echo demo ;;
  esac
}

# Runs one command of an example, printing what it prints.
Run() {
  local command=$1 kind=$2
  case "$command" in
    "bash scripts/demo-cli.sh --bench "*) command="rt420ctl ${command#bash scripts/demo-cli.sh --bench }" ;;
    "bash scripts/demo-cli.sh --bus "*) command="rt420ctl ${command#bash scripts/demo-cli.sh --bus }" ;;
    "bash scripts/demo-cli.sh "*) command="rt420ctl ${command#bash scripts/demo-cli.sh }" ;;
    "rt420ctl "* | "cat "*) ;;
    *) echo "an example may run rt420ctl, scripts/demo-cli.sh or cat, not: $command"; return ;;
  esac
  in_demo "$kind" run_in_demo "$command"
}
# Within in_demo: the demo's modules, started when they do not run, and the
# command (rt420ctl without its tone, which only costs time here).
# shellcheck disable=SC2317  # called through in_demo
run_in_demo() {
  KeepDemoModules 2> /dev/null
  bash -c "${1/#rt420ctl /rt420ctl --no-beep }" 2>&1
}

compare() {
  local at=$1 command=$2 expected=$3 actual kind
  kind=$(KindOf "$command")
  [[ " ${STARTED[*]} " == *" $kind "* ]] || STARTED+=("$kind")
  actual=$(Run "$command" "$kind")
  count=$((count + 1))
  written+=$(printf '%s\n' "$actual" | sed "s#$WORK##g")$'\n'
  if ! diff -u --label "$DOC:$at: $ $command (shown)" --label "(printed)" \
    <(printf '%s\n' "$expected" | Normal) <(printf '%s\n' "$actual" | Normal); then
    failures=$((failures + 1))
  fi
}

# One session: every example of the file in order, in a fresh clone.
session() {
  local record kind text command="" expected="" at=0
  failures=0 count=0 written=""
  prepare
  while IFS= read -r record; do
    kind=${record%% *}
    text=${record#* }
    case "$kind" in
      CMD | END)
        if [ -n "$command" ]; then compare "$at" "$command" "$expected"; fi
        command="" expected=""
        if [ "$kind" = CMD ]; then
          at=${text%% *}
          command=${text#* }
          written+="\$ $command"$'\n'
        fi
        ;;
      OUT) expected+="${expected:+$'\n'}$text" ;;
      TXT) written+="$text"$'\n' ;;
    esac
  done < <(Examples "$DOC")
  cleanup
  echo "$DOC: $count example command(s), $failures differ"
}

attempts=5
[ "${RT420_DOC_WRITE:-}" = 1 ] && attempts=1
for attempt in $(seq "$attempts"); do
  session
  [ "$failures" -eq 0 ] && exit 0
  [ "$attempt" -lt "$attempts" ] && echo "$DOC: run again ($((attempt + 1)) of $attempts)"
done
# RT420_DOC_WRITE=1: the file takes what its examples printed, for a change
# of a message (read the change through before it is committed).
if [ "${RT420_DOC_WRITE:-}" = 1 ]; then
  printf '%s' "$written" > "$DOC"
  echo "$DOC: rewritten with what the examples printed"
fi
exit 1

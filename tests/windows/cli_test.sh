#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# rt420ctl.exe end to end under wine, run as a user runs it: "wine
# rt420ctl.exe SUBCOMMAND", its output, its exit code, the frames the
# simulated module logged, and the scan result in wine's registry as
# "wine reg query" shows it.
#
#   cli_test.sh CASE RT420CTL.EXE
#
# Started by run-with-sim.sh --native (see CMakeLists.txt beside this file):
# WINEPREFIX is the test prefix, COM3 of wine leads to the simulated module
# that was started for the case with its own options, RT420_SIM_LOG is the
# module's frame log. Cases:
#   scan        a full search finds the module on COM3 and stores where;
#               the registry holds it in its names and types; the next run
#               finds the module at once; ports; Chinese text through a
#               pipe and on a console
#   writes      set-id and factory-default after the quick try
#   watch       cards presented every 300 ms; watch --seconds, and Ctrl+C
#   interrupt   a module that never answers: a first Ctrl+C lets the scan go
#               on, a second one ends the program at once
#   interrupt-once  the same module: one Ctrl+C ends the search after COM3
#   no-module   no simulated module at all (RT420_SIM unset)
#   bench       discover over COM2 to COM4 and apply --ports 3, one
#               connection per port on threads of their own; nothing stored
# Each case starts from a store with nothing in it. Exit status 0 when every
# check passed; each failed check says what it expected and what it got.
set -uo pipefail

CASE=${1:?usage: cli_test.sh CASE RT420CTL.EXE}
RT420CTL=${2:?usage: cli_test.sh CASE RT420CTL.EXE}
SIM_LOG=${RT420_SIM_LOG:-}

# The store's key in the registry's 32-bit view, the view every build uses.
STORE_KEY='HKLM\Software\TAVIX\Corvel'
USER_KEY='HKCU\Software\TAVIX\Corvel'
# Only a limit for waits on conditions: nothing waits this long unless
# something is broken.
WAIT_LIMIT_S=60
# The exit status of a Windows program that Ctrl+C ended
# (STATUS_CONTROL_C_EXIT, 0xC000013A), as wine hands it to Linux: its low
# byte.
CTRL_C_EXIT=$((0xC000013A & 0xff))
# The five frames of a scan that reads the module.
SCAN_FRAMES="H00M H00V H00L H00A H00N"

failures=0
fail() {
  echo "FAIL [$CASE]: $*" >&2
  failures=$((failures + 1))
}

# Runs rt420ctl.exe; its output (stdout and stderr, CRs removed) in OUT,
# its exit status in STATUS.
run() {
  STATUS=0
  OUT=$(wine "$RT420CTL" --no-beep "$@" 2>&1 | tr -d '\r') || STATUS=$?
  echo "\$ rt420ctl $* -> exit $STATUS"
  printf '%s\n' "$OUT" | sed 's/^/  | /'
}

# As run(), but with a terminal as stdout and stderr (script(1)), in a
# UTF-8 locale so that wine writes the console's characters as UTF-8.
run_on_console() {
  local command
  STATUS=0
  command=$(printf '%q ' wine "$RT420CTL" --no-beep "$@")
  OUT=$(LC_ALL=C.UTF-8 script -qefc "$command" /dev/null </dev/null | tr -d '\r') || STATUS=$?
  echo "\$ (on a console) rt420ctl $* -> exit $STATUS"
  printf '%s\n' "$OUT" | sed 's/^/  | /'
}

expect_status() {
  [ "$STATUS" = "$1" ] || fail "exit status $STATUS, expected $1"
}

expect_line() {
  grep -qxF -- "$1" <<<"$OUT" || fail "no line '$1' in the output"
}

expect_text() {
  grep -qF -- "$1" <<<"$OUT" || fail "no '$1' in the output"
}

expect_no_text() {
  if grep -qF -- "$1" <<<"$OUT"; then fail "'$1' in the output"; fi
}

# The commands the module received, one per line, from its log line number
# $1 on: "<ms> <- \tH00M0C\r  [...]" gives H00M (without the tab, the
# two-character checksum and the CR).
received_since() {
  tail -n +"$(($1 + 1))" "$SIM_LOG" | sed -n 's/^ *[0-9.]* <- \\t\(.*\)..\\r  \[.*$/\1/p'
}

log_lines() { wc -l <"$SIM_LOG"; }

# Compares the commands received since log line $1 with the list $2.
expect_frames_since() {
  local got
  got=$(received_since "$1" | tr '\n' ' ' | sed 's/ $//')
  [ "$got" = "$2" ] || fail "frames '$got', expected '$2'"
}

# Waits until the module has received at least $2 commands since log line
# $1; false after the limit.
wait_for_frames() {
  local deadline=$((SECONDS + WAIT_LIMIT_S))
  while [ "$(received_since "$1" | wc -l)" -lt "$2" ]; do
    [ $SECONDS -lt $deadline ] || return 1
    sleep 0.05
  done
}

# Waits for the background program $1 to end (within the limit), its exit
# status in STATUS and its output (file $2) in OUT.
finish() {
  local deadline=$((SECONDS + WAIT_LIMIT_S))
  while kill -0 "$1" 2>/dev/null && [ $SECONDS -lt $deadline ]; do sleep 0.05; done
  if kill -0 "$1" 2>/dev/null; then
    fail "the program did not end within ${WAIT_LIMIT_S} s"
    kill -KILL "$1" 2>/dev/null
  fi
  STATUS=0
  wait "$1" || STATUS=$?
  OUT=$(tr -d '\r' <"$2")
  echo "\$ (in the background) -> exit $STATUS"
  printf '%s\n' "$OUT" | sed 's/^/  | /'
}

# Nothing stored: the machine's key and the user's.
clear_store() {
  wine reg delete "$STORE_KEY" /reg:32 /f >/dev/null 2>&1
  wine reg delete "$USER_KEY" /f >/dev/null 2>&1
}

# The scan result as another program (or an administrator) stores it.
store_scan_result() {
  wine reg add "$STORE_KEY" /reg:32 /v ScanCommNo /t REG_DWORD /d "$1" /f >/dev/null &&
    wine reg add "$STORE_KEY" /reg:32 /v ScanBaudRate /t REG_SZ /d "$2" /f >/dev/null &&
    wine reg add "$STORE_KEY" /reg:32 /v ScanBaudRateNo /t REG_DWORD /d "$3" /f >/dev/null ||
    fail "could not store the scan result with wine reg add"
}

# "wine reg query" of the store's key, CRs removed, in REG.
query_store() {
  REG=$(wine reg query "$STORE_KEY" /reg:32 2>&1 | tr -d '\r')
  echo "\$ wine reg query '$STORE_KEY' /reg:32"
  printf '%s\n' "$REG" | sed 's/^/  | /'
}

# A value in REG: name, type and data as reg prints them.
expect_value() {
  grep -qE "^ +$1 +$2 +$3\$" <<<"$REG" || fail "no value $1 of type $2 with data $3 in the registry"
}

case_scan() {
  local mark setting index
  mark=$(log_lines)
  run scan
  expect_status 0
  # Nothing stored: the full search from COM1; the module answers on COM3.
  expect_line "Scan COM : #1"
  expect_line "Get Module Info Ok. (COM : #3)"
  expect_line 'port:          COM3 (\\.\COM3)'
  expect_line "serial number: 12345678-9"
  expect_line "version:       03.20-01"
  # COM3 heard the line settings up to the module's own, then the scan read
  # the module.
  received_since "$mark" | tail -n 5 | tr '\n' ' ' | grep -qx "$SCAN_FRAMES " ||
    fail "the scan did not end with its five frames: $(received_since "$mark" | tr '\n' ' ')"

  # Where the scan found the module, in the names and types of the store.
  # At 19200 baud the module answers "n" (index 4) and "e" (index 5) alike;
  # the scan takes "n" unless a loaded machine held the reply back past the
  # reply window, and then "e". The store holds what the scan printed.
  setting=$(sed -n 's/^line setting:  //p' <<<"$OUT")
  case $setting in
    19200,n,8,1) index=0x4 ;;
    19200,e,8,1) index=0x5 ;;
    *) fail "the module found at line setting '$setting', not at 19200 baud"; index=none ;;
  esac
  query_store
  expect_value ScanCommNo REG_DWORD 0x3
  expect_value ScanBaudRate REG_SZ "$setting"
  expect_value ScanBaudRateNo REG_DWORD "$index"
  # The key of the 32-bit view, as a 32-bit program's key on 64-bit Windows.
  wine reg query 'HKLM\Software\WOW6432Node\TAVIX\Corvel' /v ScanCommNo >/dev/null 2>&1 ||
    fail "the scan result is not below HKLM\\Software\\WOW6432Node"

  # The next run reads it back: the quick try on COM3 finds the module, no
  # other port is tried.
  mark=$(log_lines)
  run scan
  expect_status 0
  expect_no_text "Scan COM : #1"
  expect_line "Get Module Info Ok. (COM : #3)"
  expect_frames_since "$mark" "$SCAN_FRAMES"

  # ports: the system's own names, listed and opening; looking sends nothing.
  mark=$(log_lines)
  run ports
  expect_status 0
  [ "$(grep -c '^COM[0-9]*: ' <<<"$OUT")" = 16 ] || fail "not a line for each of COM1 to COM16"
  expect_line 'COM3: \\.\COM3 (system, listed): opens'
  expect_line 'COM16: \\.\COM16 (system, listed): opens'
  expect_frames_since "$mark" ""
  run --json ports
  expect_status 0
  expect_text '"port":"COM3","number":3,"device":"\\\\.\\COM3"'
  expect_text '"source":"system"'
  expect_text '"listed":true,"state":"opens","holders":[],"hints":[]'

  # Chinese on a console: wine gives a program whose output is a terminal a
  # console. The text must arrive as the characters themselves, as through
  # a pipe (the pipe carries UTF-8).
  run --lang gb scan
  expect_status 0
  expect_text "读取模组资讯完成. (串口 : #3)"
  run_on_console --lang gb scan
  expect_status 0
  expect_text "读取模组资讯完成. (串口 : #3)"
}

case_writes() {
  local mark
  store_scan_result 3 '19200,n,8,1' 4
  mark=$(log_lines)
  run set-id 12 7
  expect_status 0
  expect_no_text "Scan COM : #1"
  expect_line "Set Module ID = 12"
  expect_line "Set Module ID Ok"
  # The quick try's scan, then both IDs, each written after reading its
  # reader's serial field.
  expect_frames_since "$mark" "$SCAN_FRAMES H00M H00C1234567812 H00N H00C8765432107"

  mark=$(log_lines)
  run factory-default
  expect_status 0
  expect_line "Set Factory Default Ok"
  expect_frames_since "$mark" "$SCAN_FRAMES H00M H00C1234567801 H00N H00C8765432105 H00A001 H00E5"
  # The module holds the factory IDs again: the next scan reads them.
  run scan
  expect_line "ID 1:          01"
  expect_line "ID 2:          05"
}

case_watch() {
  local mark pid out
  store_scan_result 3 '19200,n,8,1' 4
  mark=$(log_lines)
  run watch --seconds 2
  expect_status 0
  expect_text " reader 1 0012345678"
  expect_text " reader 2 0012345678"
  grep -qE '^stopped: [1-9][0-9]* cards read$' <<<"$OUT" || fail "no line 'stopped: N cards read' with N > 0"
  # After the scan, both readers polled under their IDs, in turn.
  received_since "$mark" | tail -n +6 | head -n 4 | tr '\n' ' ' | grep -qx "H01F H05F H01F H05F " ||
    fail "not both readers polled in turn: $(received_since "$mark" | tr '\n' ' ')"

  # Ctrl+C (wine hands SIGINT to the program as CTRL_C_EVENT) ends polling
  # after the current cycle, and the program ends normally.
  out=$(mktemp)
  mark=$(log_lines)
  wine "$RT420CTL" --no-beep watch >"$out" 2>&1 &
  pid=$!
  wait_for_frames "$mark" 11 || fail "watch did not poll"
  kill -INT "$pid"
  finish "$pid" "$out"
  rm -f "$out"
  expect_status 0
  grep -qE '^stopped: [0-9]+ cards read$' <<<"$OUT" || fail "no line 'stopped: N cards read'"
  # The port is free again: the next run opens it and reads the module.
  run scan
  expect_status 0
}

# Starts a scan with nothing stored in the background (its output going to
# the file SCAN_OUT, its process SCAN_PID, the log line it started at
# SCAN_MARK): a full search, which the silent module makes last. Once COM3
# has a frame, sends the first Ctrl+C.
scan_then_ctrl_c() {
  SCAN_OUT=$(mktemp)
  SCAN_MARK=$(log_lines)
  wine "$RT420CTL" --no-beep scan >"$SCAN_OUT" 2>&1 &
  SCAN_PID=$!
  wait_for_frames "$SCAN_MARK" 1 || fail "the scan did not reach COM3"
  kill -INT "$SCAN_PID"
}

case_interrupt() {
  local polled
  scan_then_ctrl_c
  # The first Ctrl+C lets the operation go on: the module keeps getting
  # frames from the same scan.
  polled=$(received_since "$SCAN_MARK" | wc -l)
  wait_for_frames "$SCAN_MARK" $((polled + 2)) || fail "the scan stopped at the first Ctrl+C"
  kill -0 "$SCAN_PID" 2>/dev/null || fail "the program ended at the first Ctrl+C"
  # The second one ends the program at once: the search never finishes.
  kill -INT "$SCAN_PID"
  finish "$SCAN_PID" "$SCAN_OUT"
  rm -f "$SCAN_OUT"
  expect_status "$CTRL_C_EXIT"
  expect_line "Scan COM : #3"
  expect_line "rt420ctl: stopping after this step; Ctrl+C again to quit now"
  expect_no_text "Module Not Find"
  # A scan that was cut off stores nothing.
  wine reg query "$STORE_KEY" /reg:32 /v ScanCommNo >/dev/null 2>&1 && fail "the cut-off scan stored a result"
}

case_interrupt_once() {
  scan_then_ctrl_c
  # COM3 finishes its line settings; no further port is tried.
  finish "$SCAN_PID" "$SCAN_OUT"
  rm -f "$SCAN_OUT"
  expect_status 1
  expect_line "rt420ctl: stopping after this step; Ctrl+C again to quit now"
  expect_line "rt420ctl: the search was stopped"
  expect_line "Scan COM : #3"
  expect_no_text "Scan COM : #4"
  wine reg query "$STORE_KEY" /reg:32 /v ScanCommNo >/dev/null 2>&1 && fail "the stopped scan stored a result"
}

case_no_module() {
  # Where a module was found before; nothing is behind COM3 now. Under wine
  # every port up to COM16 opens (wine's own serial driver, with nothing
  # connected), so the scan sends its frames and hears nothing: exit 1, the
  # module was not found (exit 3 is for a scan in which no port opened).
  store_scan_result 3 '19200,n,8,1' 4
  run scan --lock
  expect_status 1
  expect_line "Module Not Find"
  expect_line "Scan COM : #16"
  # A scan that found nothing leaves the stored result as it was.
  query_store
  expect_value ScanCommNo REG_DWORD 0x3
  expect_value ScanBaudRate REG_SZ '19200,n,8,1'
}

case_bench() {
  local dir
  run discover --ports 2-4
  expect_status 0
  # At 19200 baud the module answers "n" and "e" alike (see case_scan).
  expect_text 'COM3 (\\.\COM3): 19200,'
  expect_text "serial 12345678-9 version 03.20-01 ID 1 01 ID 2 05 key count 04 mode two readers RS-485 32"
  expect_line "found 1 module(s) on 3 port(s) searched"
  dir=$(mktemp -d)
  printf '[module]\r\nid1 = 21\r\nkey-count = 6\r\n' >"$dir/bench.ini"
  run apply "$dir/bench.ini" --ports 3 --csv "$dir/bench.csv"
  expect_status 0
  expect_text "COM3 12345678-9: ok (wrote ids key-count)"
  expect_line "COM3: provisioned 1, failed 0, skipped 0"
  [ "$(wc -l <"$dir/bench.csv")" = 2 ] || fail "bench.csv holds $(wc -l <"$dir/bench.csv") lines, expected a header and one record"
  grep -qE '^[^,]*,COM3,12345678-9,03\.20-01,01,05,"19200,[ne],8,1",04,two,32,21,05,"19200,[ne],8,1",06,two,32,ids key-count,ok'$'\r''?$' \
    "$dir/bench.csv" || fail "no record of COM3 as provisioned in bench.csv: $(cat "$dir/bench.csv")"
  rm -rf "$dir"
  # A bench stores no scan result.
  wine reg query "$STORE_KEY" /reg:32 /v ScanCommNo >/dev/null 2>&1 && fail "a bench stored a scan result"
}

if [ "$CASE" != no-module ] && [ ! -f "$SIM_LOG" ]; then
  echo "cli_test.sh: no frame log of the simulated module (run through run-with-sim.sh with RT420_SIM set)" >&2
  exit 1
fi
clear_store
case "$CASE" in
  scan) case_scan ;;
  writes) case_writes ;;
  watch) case_watch ;;
  interrupt) case_interrupt ;;
  interrupt-once) case_interrupt_once ;;
  no-module) case_no_module ;;
  bench) case_bench ;;
  *) echo "cli_test.sh: unknown case $CASE" >&2; exit 2 ;;
esac
clear_store
if [ $failures -gt 0 ]; then
  echo "[$CASE] $failures check(s) failed" >&2
  exit 1
fi
echo "[$CASE] passed"

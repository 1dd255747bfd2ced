#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs a Windows program under wine, optionally against the simulated module.
#
#   run-with-sim.sh --prefix DIR --sim PROGRAM [--setup] [--native] [--] PROGRAM [ARGS...]
#
# --prefix  the wine prefix: a throwaway one inside the build folder. It is
#           made (one boot of wine) the first time it is needed, under a lock
#           so that programs started side by side wait for the one boot.
# --sim     the native simulated module (build/sim/rt420-sim).
# --setup   only make the prefix ready and start its server, run nothing.
# --native  PROGRAM is a Linux program (a test script that starts Windows
#           programs with wine itself), run with the same environment;
#           without it PROGRAM is a Windows program, run by wine.
#
# The wine server stays 10 seconds after the last program, for the next one;
# with RT420_WINE_KEEP_SERVER set it stays until "wineserver --kill" (the
# caller's job then).
#
# In the prefix, COM3 and COM12 are mapped to the symbolic link that the
# simulated module places beside the prefix (DIR-com, a link to its
# pseudo-terminal). wine's mount manager makes the device links
# dosdevices/com3 and dosdevices/com12 and lists both ports under
# HARDWARE\DEVICEMAP\SERIALCOMM, as Windows lists the ports present.
#
# Every other number from COM1 to COM16 is mapped to nothing. Otherwise
# wine would give the machine's own serial devices (/dev/ttyS0, often a
# serial console, and any USB adapter) the lowest free numbers, and a full
# scan of rt420ctl.exe would write its frames to them; wine's own finds now
# get COM17 and above. A number mapped to nothing is still listed under
# SERIALCOMM (wine lists every number of its port table), and it opens:
# wine's own serial driver takes the open, fails every read and write, and
# answers nothing, like a built-in UART with nothing connected. (So does
# COM3 while no simulated module runs.) Only a number without any port in
# wine does not open, as COM99 in the tests.
#
# With RT420_SIM set in the environment the simulated module is started for
# the run with the options in RT420_SIM_ARGS; its frame log goes to a file
# that the program finds in RT420_SIM_LOG (on wine's drive Z:; a native
# program gets the log's Linux path) and that is printed when the program
# fails. The module is stopped when the program ends. The exit status is the
# program's.
set -euo pipefail

PREFIX=""
SIM=""
SETUP_ONLY=0
NATIVE=0
while [ $# -gt 0 ]; do
  case "$1" in
    --prefix) PREFIX=$2; shift 2 ;;
    --sim) SIM=$2; shift 2 ;;
    --setup) SETUP_ONLY=1; shift ;;
    --native) NATIVE=1; shift ;;
    --) shift; break ;;
    *) break ;;
  esac
done
if [ -z "$PREFIX" ] || { [ $SETUP_ONLY = 0 ] && [ $# -eq 0 ]; }; then
  echo "usage: run-with-sim.sh --prefix DIR --sim PROGRAM [--setup] [--native] [--] PROGRAM [ARGS...]" >&2
  exit 2
fi

export WINEPREFIX="$PREFIX"
export WINEDEBUG=-all
# No prompts to install the optional .NET and HTML runtimes.
export WINEDLLOVERRIDES="mscoree,mshtml="
# Console programs need no display; without one wine does not try X.
unset DISPLAY WAYLAND_DISPLAY
COM_LINK="$PREFIX-com"
READY="$PREFIX/.rt420-ready"
SERVER_LOG="$PREFIX-server.log"
BOOT_LOG="$PREFIX-boot.log"

# Boots the prefix once and maps the ports; a no-op when it is ready. What
# wine says meanwhile goes to BOOT_LOG, shown when the boot fails.
setup_prefix() {
  [ -f "$READY" ] && return 0
  rm -rf "$PREFIX"
  mkdir -p "$(dirname "$PREFIX")"
  echo "run-with-sim: booting wine prefix $PREFIX" >&2
  if ! boot_prefix >"$BOOT_LOG" 2>&1; then
    echo "run-with-sim: wine could not make the prefix:" >&2
    cat "$BOOT_LOG" >&2
    exit 1
  fi
  touch "$READY"
}

# wine's port table as a registry file: COM3 and COM12 lead to COM_LINK,
# every other number up to COM16 to nothing; and the display driver.
port_table() {
  # Windows are made on wine's null display driver: the window tests need
  # no screen, and no program of the tests reaches for one.
  printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\Drivers]\n"Graphics"="null"\n'
  printf '\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n'
  local n target
  for n in $(seq 1 16); do
    target=""
    case $n in 3 | 12) target=$COM_LINK ;; esac
    printf '"COM%d"="%s"\n' "$n" "$target"
  done
}

# (Called as a condition, where set -e does not apply: each step checks.)
boot_prefix() {
  wineboot --init || return 1
  port_table >"$PREFIX-ports.reg" || return 1
  wine reg import "$(winepath -w "$PREFIX-ports.reg")" || return 1
  # The mount manager reads the port mapping when wine starts.
  wineserver --kill || true
  wineserver --wait || true
}

# The wine server of the prefix, started here with its own log, so that its
# messages (it dumps its state when a terminal it holds hangs up) stay out
# of the program's output. A server that already runs is kept (the command
# then fails, quietly). With a new server, wine's background services
# (services.exe, winedevice.exe) start with the first program and keep the
# descriptors they inherit: started here, they hold the server log open
# rather than the output of a test, which CTest would wait for until they end.
start_server() {
  local persistence=--persistent=10
  [ -n "${RT420_WINE_KEEP_SERVER:-}" ] && persistence=--persistent
  if wineserver "$persistence" >>"$SERVER_LOG" 2>&1; then
    wine reg query 'HKLM\Software\Wine\Ports' >>"$SERVER_LOG" 2>&1 </dev/null || true
  fi
}

exec 9>"$PREFIX.lock"
flock 9
setup_prefix
start_server
flock -u 9
exec 9>&-
[ $SETUP_ONLY = 1 ] && exit 0

SIM_PID=""
SIM_LOG=""
stop_sim() {
  if [ -n "$SIM_PID" ]; then
    kill "$SIM_PID" 2>/dev/null || true
    wait "$SIM_PID" 2>/dev/null || true
  fi
}
trap stop_sim EXIT

if [ -n "${RT420_SIM:-}" ]; then
  if [ ! -x "$SIM" ]; then
    echo "run-with-sim: no simulated module at $SIM (build it natively: bash scripts/build.sh build rt420-sim)" >&2
    exit 1
  fi
  mkdir -p "$(dirname "$PREFIX")/sim-logs"
  SIM_LOG=$(mktemp "$(dirname "$PREFIX")/sim-logs/$(basename "$1" .exe).XXXXXX")
  # shellcheck disable=SC2086
  "$SIM" --link "$COM_LINK" ${RT420_SIM_ARGS:-} >"$SIM_LOG" 2>&1 </dev/null &
  SIM_PID=$!
  for _ in $(seq 200); do
    grep -q '^link: ' "$SIM_LOG" && break
    kill -0 "$SIM_PID" 2>/dev/null || break
    sleep 0.05
  done
  if ! grep -q '^link: ' "$SIM_LOG"; then
    echo "run-with-sim: the simulated module did not start:" >&2
    cat "$SIM_LOG" >&2
    exit 1
  fi
  export RT420_SIM_LOG="Z:$SIM_LOG"
  [ $NATIVE = 1 ] && export RT420_SIM_LOG="$SIM_LOG"
fi

status=0
if [ $NATIVE = 1 ]; then
  "$@" || status=$?
else
  wine "$@" || status=$?
fi
stop_sim
SIM_PID=""
if [ -n "$SIM_LOG" ]; then
  if [ $status -ne 0 ]; then
    echo "---- frame log of the simulated module ($SIM_LOG)"
    cat "$SIM_LOG"
  else
    rm -f "$SIM_LOG"
  fi
fi
exit $status

# SPDX-License-Identifier: MIT
# shellcheck shell=bash
# Sourced by run.sh and demo-cli.sh: the demo's settings and its simulated
# modules. A demo keeps its own settings (not the user's ~/.config) with a
# port table that maps its modules' COM numbers to them and every other port
# to nothing, so a demo never touches a real serial port. DEMO_KIND picks it:
#   demo   (the default) build/demo: one module on COM3, which presents a
#          card every second, to its two readers in turn;
#   bench  build/bench-demo: four modules on COM3 to COM6, each at a line
#          setting and with a serial number of its own (a production bench).
# Sets DEMO, DEMO_PORTS, LINK (the link of the first module) and
# XDG_CONFIG_HOME, and writes the demo's settings and a profile for
# rt420ctl apply (DEMO/bench.ini) when they are not there yet. Sourcing it by hand prepares a fresh clone for running
# rt420ctl against simulated modules of one's own.
#
# A simulated module that owns a link holds a lock on LINK.lock, which also
# holds its PID; a second one on the same link refuses to start. So whichever
# script starts a module, the other uses that one:
#   StartDemoModule   (run.sh) the demo's module, ending with the calling
#                     script, its frame log in the terminal;
#   KeepDemoModules   (demo-cli.sh) the demo's modules, which keep running,
#                     and so keep their settings, from one call to the next;
#                     their frame logs go to DEMO/sim-COMn.log;
#   StopDemoModules   ends the modules KeepDemoModules started.
case "${DEMO_KIND:-demo}" in
  bench)
    DEMO="$PWD/build/bench-demo"
    DEMO_PORTS=(3 4 5 6)
    ;;
  bus)
    DEMO="$PWD/build/bus-demo"
    DEMO_PORTS=(3)
    ;;
  *)
    DEMO="$PWD/build/demo"
    DEMO_PORTS=(3)
    ;;
esac
export XDG_CONFIG_HOME="$DEMO/config"
SETTINGS="$XDG_CONFIG_HOME/TAVIX/Corvel.reg"

# The link of the module on COM n.
DemoLink() {
  if [ "${DEMO_KIND:-demo}" = bench ]; then echo "$DEMO/tty$1"; else echo "$DEMO/ttyRT420"; fi
}
LINK=$(DemoLink "${DEMO_PORTS[0]}")

# The simulated module's options for COM n: the bench's modules at 4800,
# 9600, 38400 and 115200 baud, each with a serial number of its own.
DemoModuleArgs() {
  local line
  if [ "${DEMO_KIND:-demo}" = bench ]; then
    line=([3]=0 [4]=2 [5]=6 [6]=10)
    echo "--line ${line[$1]} --serial1 1000000$1"
  elif [ "${DEMO_KIND:-demo}" = bus ]; then
    # Four modules on one line: the third shares reader ID 13 with the
    # second, the fourth serves one reader.
    echo "--module id1=11,id2=12 --module id1=13,id2=14 --module id1=13,id2=15 --module id1=16,id2=17,mode=1"
  else
    echo "--card-every 1000 --card-data 0012345678"
  fi
}

mkdir -p "$(dirname "$SETTINGS")"
if [ ! -f "$SETTINGS" ]; then
  {
    printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\TAVIX\\Corvel\\Ports]\n'
    for n in $(seq 1 16); do
      path=""
      [[ " ${DEMO_PORTS[*]} " == *" $n "* ]] && path=$(DemoLink "$n")
      printf '"COM%s"="%s"\n' "$n" "$path"
    done
  } > "$SETTINGS"
fi

# A profile to try rt420ctl apply with.
if [ ! -f "$DEMO/bench.ini" ]; then
  {
    echo "# rt420ctl apply ${DEMO#"$PWD/"}/bench.ini"
    if [ "${DEMO_KIND:-demo}" = bench ]; then
      printf '[module]\nid1 = 12\nid2 = 7\nkey-count = 6\nrs485 = 40\nline-setting = 38400,n,8,1\n'
    else
      printf '[module]\nid1 = 21\nid2 = 22\nkey-count = 6\nmode = two\nrs485 = 40\n'
    fi
  } > "$DEMO/bench.ini"
fi

# Prints the PID of the simulated module that owns COM n's link; fails when
# none does.
DemoModulePid() {
  local lock
  lock="$(DemoLink "$1").lock"
  [ -e "$lock" ] && ! flock -n "$lock" true 2>/dev/null || return 1
  head -c 16 "$lock" | tr -dc 0-9
}

# Waits (at most five seconds, polling) until COM n's module placed its link.
WaitForLink() {
  local _ link
  link=$(DemoLink "$1")
  for _ in $(seq 50); do
    [ -e "$link" ] && return 0
    sleep 0.1
  done
  echo "the simulated module placed no link at $link" >&2
  return 1
}

StartDemoModule() {
  local pid
  if pid=$(DemoModulePid 3); then
    echo "using the simulated module already running on $LINK (PID $pid)" >&2
    return
  fi
  # shellcheck disable=SC2046  # the options are words
  ./build/sim/rt420-sim --link "$LINK" $(DemoModuleArgs 3) &
  SIM=$!
  trap 'kill $SIM 2>/dev/null; wait $SIM 2>/dev/null' EXIT
  WaitForLink 3
}

KeepDemoModules() {
  local n pid started=()
  for n in "${DEMO_PORTS[@]}"; do
    DemoModulePid "$n" > /dev/null && continue
    # A session of its own: closing the terminal does not end it.
    # shellcheck disable=SC2046  # the options are words
    setsid ./build/sim/rt420-sim --link "$(DemoLink "$n")" $(DemoModuleArgs "$n") \
      > "$DEMO/sim-COM$n.log" 2>&1 < /dev/null &
    WaitForLink "$n"
    pid=$(DemoModulePid "$n") || { echo "the simulated module on COM$n did not start ($DEMO/sim-COM$n.log)" >&2; return 1; }
    echo "$pid" > "$DEMO/sim-COM$n.pid"
    started+=("COM$n (PID $pid)")
  done
  [ ${#started[@]} -eq 0 ] && return
  local kind=""
  [ "${DEMO_KIND:-demo}" != demo ] && kind=" --${DEMO_KIND}"
  local list logs=sim-COMn.log
  list=$(printf '%s, ' "${started[@]}")
  [ ${#DEMO_PORTS[@]} -eq 1 ] && logs=sim-COM${DEMO_PORTS[0]}.log
  echo "started the simulated module on ${list%, }, frame log in ${DEMO#"$PWD/"}/$logs;" \
    "it keeps its settings until: bash scripts/demo-cli.sh$kind stop" >&2
}

StopDemoModules() {
  local n pid _ status=0
  for n in "${DEMO_PORTS[@]}"; do
    if ! pid=$(DemoModulePid "$n"); then
      rm -f "$DEMO/sim-COM$n.pid"
      echo "no simulated module runs on COM$n"
      continue
    fi
    if [ "$(cat "$DEMO/sim-COM$n.pid" 2>/dev/null)" != "$pid" ]; then
      echo "the simulated module on COM$n (PID $pid) was started by another script (scripts/run.sh?):" \
        "it ends with that script" >&2
      status=1
      continue
    fi
    kill "$pid"
    for _ in $(seq 50); do
      DemoModulePid "$n" > /dev/null || break
      sleep 0.1
    done
    rm -f "$DEMO/sim-COM$n.pid"
    echo "stopped the simulated module on COM$n (PID $pid)"
  done
  return $status
}

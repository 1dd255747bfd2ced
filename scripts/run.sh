#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds, and starts the configuration
# tool against the simulated module. The simulated module's frame log runs in
# this terminal; it presents a card every second, to its two readers in turn.
#
# The demo keeps its own settings under build/demo/config (not the user's
# ~/.config): COM3 is mapped to the simulated module and every other port to
# nothing, so the demo never touches a real serial port.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh build rt420config rt420-sim

DEMO="$PWD/build/demo"
LINK="$DEMO/ttyRT420"
export XDG_CONFIG_HOME="$DEMO/config"
SETTINGS="$XDG_CONFIG_HOME/TAVIX/Corvel.reg"
mkdir -p "$(dirname "$SETTINGS")"
if [ ! -f "$SETTINGS" ]; then
  {
    printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\TAVIX\\Corvel\\Ports]\n'
    for n in $(seq 1 16); do
      if [ "$n" = 3 ]; then printf '"COM%s"="%s"\n' "$n" "$LINK"; else printf '"COM%s"=""\n' "$n"; fi
    done
  } > "$SETTINGS"
fi

./build/sim/rt420-sim --link "$LINK" --card-every 1000 --card-data 0012345678 &
SIM=$!
trap 'kill $SIM 2>/dev/null; wait $SIM 2>/dev/null' EXIT
for _ in $(seq 50); do [ -e "$LINK" ] && break; sleep 0.1; done

./build/rt420config

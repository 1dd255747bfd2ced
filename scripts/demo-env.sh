# SPDX-License-Identifier: MIT
# Sourced by run.sh and demo-cli.sh: the demo's settings and the simulated
# module's link. The demo keeps its own settings under build/demo/config (not
# the user's ~/.config): COM3 is mapped to the simulated module and every
# other port to nothing, so the demo never touches a real serial port.
# Sets DEMO, LINK and XDG_CONFIG_HOME; StartDemoModule starts the simulated
# module with a card every second (its output to the file given, or here),
# stops it when the calling script ends, and waits for its link; when one
# already runs on the link, it uses that one. Sourcing it by hand prepares a
# fresh clone for the README's by-hand recipe.
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

StartDemoModule() {
  local log=${1:-/dev/stdout}
  # A simulated module already running on the link (scripts/run.sh in
  # another terminal) holds the lock beside it: use that one, leave it alone.
  if [ -e "$LINK" ] && ! flock -n "$LINK.lock" true 2>/dev/null; then
    echo "using the simulated module already running on $LINK" >&2
    return
  fi
  ./build/sim/rt420-sim --link "$LINK" --card-every 1000 --card-data 0012345678 > "$log" 2>&1 &
  SIM=$!
  trap 'kill $SIM 2>/dev/null; wait $SIM 2>/dev/null' EXIT
  for _ in $(seq 50); do [ -e "$LINK" ] && break; sleep 0.1; done
}

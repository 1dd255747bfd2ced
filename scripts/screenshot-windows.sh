#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Pictures of the Win32 window in its three languages, after a scan against
# the simulated module: build-windows/screenshots/rt420config-win32-{en,gb,big5}.png.
#
# The window runs under wine on a virtual X server (Xvfb) in a prefix of its
# own (build-windows/wine-screens), with COM3 mapped to the simulated module
# of the native build as in the Windows tests. win_window_screens.exe opens
# the window, presses the language button and Scan Module, and writes the
# window as the screen shows it to a BMP file; ImageMagick makes the PNG.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
bash scripts/setup.sh windows xvfb imagemagick

bash scripts/build.sh build rt420-sim
bash scripts/build-windows.sh build-windows win_window_screens

PREFIX="$ROOT/build-windows/wine-screens"
OUT="$ROOT/build-windows/screenshots"
mkdir -p "$OUT"
export WINEPREFIX="$PREFIX" WINEDEBUG=-all
tests/windows/run-with-sim.sh --prefix "$PREFIX" --sim "$ROOT/build/sim/rt420-sim" --setup
# The tests' prefixes draw on wine's null driver; this one draws on X.
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11 /f >/dev/null
wineserver --kill 2>/dev/null || true
wineserver --wait 2>/dev/null || true

# A free display number: Xvfb writes the one it took to the descriptor.
exec 8< <(Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp 2>/dev/null)
XVFB_PID=$!
trap 'WINEPREFIX="$PREFIX" wineserver --kill 2>/dev/null || true; kill "$XVFB_PID" 2>/dev/null || true' EXIT
read -r -t 20 DISPLAY_NUMBER <&8
export RT420_SCREEN_DISPLAY=":$DISPLAY_NUMBER"

# The prefix's wine server and its desktop start here, on the X server:
# run-with-sim.sh clears DISPLAY, and a desktop started without it could
# show no window. The helper below gives DISPLAY back to the window itself.
wineserver --persistent >>"$PREFIX-server.log" 2>&1
DISPLAY=$RT420_SCREEN_DISPLAY wine reg query 'HKCU\Software\Wine\Drivers' >/dev/null </dev/null
SHOOT="$PREFIX-shoot.sh"
cat >"$SHOOT" <<'SCRIPT'
#!/usr/bin/env bash
export DISPLAY=$RT420_SCREEN_DISPLAY
exec wine "$@"
SCRIPT
chmod +x "$SHOOT"

EXE="$ROOT/build-windows/tests/windows/win_window_screens.exe"
for entry in 0:en 1:gb 2:big5; do
  index=${entry%%:*} name=${entry#*:}
  RT420_SIM=1 tests/windows/run-with-sim.sh --prefix "$PREFIX" --sim "$ROOT/build/sim/rt420-sim" --native -- \
    "$SHOOT" "$EXE" "$index" "Z:$OUT/rt420config-win32-$name.bmp"
  convert "$OUT/rt420config-win32-$name.bmp" "$OUT/rt420config-win32-$name.png"
  rm -f "$OUT/rt420config-win32-$name.bmp"
  echo "$OUT/rt420config-win32-$name.png"
done

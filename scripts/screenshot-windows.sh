#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Pictures of the Win32 window after a scan against the simulated module,
# at 96, 144 and 192 DPI in English and Simplified Chinese, in Traditional
# Chinese at 96 DPI, and while Wiegand processing runs:
# build-windows/screenshots/rt420config-win32-<language>-<dpi>.png and
# rt420config-win32-processing-<language>-<dpi>.png.
#
# The window runs under wine on a virtual X server (Xvfb) in a prefix of its
# own (build-windows/wine-screens), with COM3 mapped to the simulated module
# of the native build as in the Windows tests, and wine's LogPixels set to
# each resolution in turn. win_window_screens.exe opens the window, presses
# the language button and Scan Module (and Process Module), and writes the
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
# Large enough for the window at 192 DPI.
exec 8< <(Xvfb -displayfd 1 -screen 0 1600x1200x24 -nolisten tcp 2>/dev/null)
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
DPI_KEY='HKCU\Control Panel\Desktop'
# shoot NAME LANGUAGE DPI [--processing]
shoot() {
  local name=$1 index=$2 dpi=$3
  shift 3
  wine reg add "$DPI_KEY" /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null </dev/null
  RT420_SIM=1 RT420_SIM_ARGS="--card-every 300 --card-data 0012345678" \
    tests/windows/run-with-sim.sh --prefix "$PREFIX" --sim "$ROOT/build/sim/rt420-sim" --native -- \
    "$SHOOT" "$EXE" "$index" "Z:$OUT/$name.bmp" "$@"
  convert "$OUT/$name.bmp" "$OUT/$name.png"
  rm -f "$OUT/$name.bmp"
  echo "$OUT/$name.png"
}
for dpi in 96 144 192; do
  shoot "rt420config-win32-en-$dpi" 0 "$dpi"
  shoot "rt420config-win32-gb-$dpi" 1 "$dpi"
done
shoot rt420config-win32-big5-96 2 96
shoot rt420config-win32-processing-en-96 0 96 --processing
shoot rt420config-win32-processing-gb-144 1 144 --processing
wine reg delete "$DPI_KEY" /v LogPixels /f >/dev/null 2>&1 </dev/null || true

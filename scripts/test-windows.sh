#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Windows stage: installs what it needs (scripts/setup.sh windows), builds
# the native simulated module (build/) and the Windows programs (build-windows/),
# boots a fresh wine prefix in build-windows/wine once, and runs the Windows
# tests under wine with CTest: the platform layer, rt420ctl.exe end to end
# against the simulated module, and the installer (install, upgrade,
# uninstall). Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
STARTED=$(date +%s)
# Each stage's heading says how long the run has taken so far.
stage() { echo "== $1 (at $(($(date +%s) - STARTED)) s)"; }
bash scripts/setup.sh windows

stage "Native simulated module (build/sim/rt420-sim)"
bash scripts/build.sh build rt420-sim

stage "Windows cross build (build-windows/)"
bash scripts/build-windows.sh build-windows

stage "Wine prefix (build-windows/wine)"
PREFIX="$PWD/build-windows/wine"
SIM="$PWD/build/sim/rt420-sim"
export WINEPREFIX="$PREFIX"
# A fresh prefix for every run (one boot of wine): the registry tests start
# from a clean one. One wine server for the whole run, so that no test pays
# for its start.
wineserver --kill 2>/dev/null || true
rm -rf "$PREFIX" "$PREFIX-server.log"
export RT420_WINE_KEEP_SERVER=1
trap 'wineserver --kill 2>/dev/null || true' EXIT
tests/windows/run-with-sim.sh --prefix "$PREFIX" --sim "$SIM" --setup
stage "Windows tests under wine"
(cd build-windows && ctest --output-on-failure -j"$(nproc)")

stage "Windows stage done"

#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds, and starts the simulated module
# with its frame log in this terminal. Ctrl-C stops it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh build
exec ./build/sim/rt420-sim --link "$PWD/build/ttyRT420" --card-every 1000 --card-data 0012345678

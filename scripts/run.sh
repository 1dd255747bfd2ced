#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Sets up a fresh Debian 12 machine, builds, and starts the configuration
# tool against the simulated module. The simulated module's frame log runs in
# this terminal; it presents a card every second, to its two readers in turn
# (said once; each card shows in the log when the window polls it). When
# scripts/demo-cli.sh keeps a simulated module running, the window uses that
# one.
#
# The demo keeps its own settings under build/demo/config (not the user's
# ~/.config): COM3 is mapped to the simulated module and every other port to
# nothing, so the demo never touches a real serial port.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh build rt420config rt420-sim

# shellcheck source=scripts/demo-env.sh
source scripts/demo-env.sh

StartDemoModule

./build/rt420config

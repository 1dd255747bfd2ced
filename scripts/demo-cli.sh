#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Tries rt420ctl, the command-line tool, against the simulated module, with
# the demo's settings (build/demo/config, as scripts/run.sh uses them: COM3 is
# the simulated module, every other port is nothing).
#
#   bash scripts/demo-cli.sh              a shell in which rt420ctl talks to
#                                         the simulated module; exit ends it
#   bash scripts/demo-cli.sh scan         one rt420ctl command, then the end
#
# The simulated module presents a card every second, to its two readers in
# turn; its frame log goes to build/demo/sim.log.
set -euo pipefail
cd "$(dirname "$0")/.."
# Build progress goes to stderr, so that "demo-cli.sh --json scan | jq" works.
bash scripts/setup.sh >&2
bash scripts/build.sh build rt420ctl rt420-sim >&2

# shellcheck source=scripts/demo-env.sh
source scripts/demo-env.sh
if [ ! -f "$DEMO/bench.ini" ]; then
  printf '# rt420ctl apply build/demo/bench.ini\n[module]\nid1 = 21\nid2 = 22\nkey-count = 6\nmode = two\nrs485 = 40\n' \
    > "$DEMO/bench.ini"
fi

StartDemoModule "$DEMO/sim.log"

export PATH="$PWD/build/cli:$PATH"
if [ $# -gt 0 ]; then
  rt420ctl "$@"
  exit
fi
echo "rt420ctl talks to the simulated module on COM3 (frame log: build/demo/sim.log)."
echo "Try: rt420ctl scan; rt420ctl set-id 12 7; rt420ctl watch --seconds 3;"
echo "     rt420ctl apply build/demo/bench.ini; rt420ctl --help. 'exit' ends the demo."
"${SHELL:-bash}" -i || true

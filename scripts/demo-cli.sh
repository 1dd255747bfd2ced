#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Tries rt420ctl, the command-line tool, against simulated modules, with
# settings of the demo's own (scripts/demo-env.sh): the demo's modules have
# COM numbers of their own, every other port is nothing.
#
#   bash scripts/demo-cli.sh              a shell in which rt420ctl talks to
#                                         the simulated module on COM3
#   bash scripts/demo-cli.sh scan         one rt420ctl command
#   bash scripts/demo-cli.sh stop         ends the simulated module
#   bash scripts/demo-cli.sh --bench ...  the same with a production bench:
#                                         four modules on COM3 to COM6
#
# The first call starts the simulated modules, and they keep running between
# calls, so that what one call writes into a module the next one reads
# (set-id 12 then scan shows ID 1 12), until "stop". The demo's module on
# COM3 presents a card every second, to its two readers in turn. Frame logs
# go to build/demo/sim-COM3.log (build/bench-demo/sim-COMn.log).
set -euo pipefail
cd "$(dirname "$0")/.."

if [ "${1:-}" = --bench ] || [ "${1:-}" = --bus ]; then
  export DEMO_KIND=${1#--}
  shift
fi
if [ "${1:-}" = stop ]; then
  # shellcheck source=scripts/demo-env.sh
  source scripts/demo-env.sh
  StopDemoModules
  exit
fi

# Build progress goes to stderr, so that "demo-cli.sh --json scan | jq" works;
# only what was built is shown.
bash scripts/setup.sh >&2
bash scripts/build.sh build rt420ctl rt420-sim | { grep -v 'Built target' || true; } >&2

# shellcheck source=scripts/demo-env.sh
source scripts/demo-env.sh
KeepDemoModules

export PATH="$PWD/build/cli:$PATH"
if [ $# -gt 0 ]; then
  exec rt420ctl "$@"
fi
ports=$(printf 'COM%s ' "${DEMO_PORTS[@]}")
echo "rt420ctl talks to the simulated modules on ${ports% } (frame logs: ${DEMO#"$PWD/"}/sim-COM*.log)."
echo "Try: rt420ctl scan; rt420ctl set-id 12 7; rt420ctl watch --seconds 3;"
echo "     rt420ctl apply ${DEMO#"$PWD/"}/bench.ini; rt420ctl --help. 'exit' ends the shell."
"${SHELL:-bash}" -i || true
echo "The simulated modules keep running; bash scripts/demo-cli.sh${DEMO_KIND:+ --$DEMO_KIND} stop ends them."

#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs a Windows program under wine at a screen resolution of DPI dots per
# inch: wine's LogPixels value in the prefix (WINEPREFIX) for the run, and
# back to the default afterwards. Programs that run meanwhile in the same
# prefix see it too; CTest keeps the window's tests apart (RESOURCE_LOCK).
#
#   with-dpi.sh DPI PROGRAM [ARGS...]
set -euo pipefail
if [ $# -lt 2 ]; then
  echo "usage: with-dpi.sh DPI PROGRAM [ARGS...]" >&2
  exit 2
fi
DPI=$1
shift
KEY='HKCU\Control Panel\Desktop'
wine reg add "$KEY" /v LogPixels /t REG_DWORD /d "$DPI" /f >/dev/null
trap 'wine reg delete "$KEY" /v LogPixels /f >/dev/null 2>&1 || true' EXIT
status=0
wine "$@" || status=$?
exit $status

#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Windows installer from a folder that holds the files to install
# (rt420ctl.exe, README.txt, LICENSE.txt, and rt420config.exe when the
# window program was built; the installer takes the window and its Start
# menu entry exactly when that file is there).
#
#   build-msi.sh FOLDER VERSION OUTPUT.msi
#
# VERSION is the installer's numeric version (3.20.1). The build calls this;
# the installer's test calls it too, for an older version to upgrade from.
set -euo pipefail
FOLDER=${1:?usage: build-msi.sh FOLDER VERSION OUTPUT.msi}
VERSION=${2:?usage: build-msi.sh FOLDER VERSION OUTPUT.msi}
OUTPUT=${3:?usage: build-msi.sh FOLDER VERSION OUTPUT.msi}
WXS="$(cd "$(dirname "$0")" && pwd)/rt420config.wxs"
OUTPUT="$(cd "$(dirname "$OUTPUT")" && pwd)/$(basename "$OUTPUT")"

DEFINES=(-D "Version=$VERSION")
[ -f "$FOLDER/rt420config.exe" ] && DEFINES+=(-D WindowExe=1)
# wixl takes the files by names relative to the folder it runs in.
cd "$FOLDER"
wixl --arch x64 "${DEFINES[@]}" -o "$OUTPUT" "$WXS"

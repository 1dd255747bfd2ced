#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Renders the Win32 window's pictures from the Qt window's drawing code:
# the button pictures as win32/pictures/<name>.ico and the window icon at
# 16 to 256 pixels as win32/rt420config.ico. Run it after a change to
# ui/pictures.cpp and commit the files; the Windows build only reads them.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh imagemagick
bash scripts/build.sh build rt420-pictures
PNG=$(mktemp -d)
trap 'rm -rf "$PNG"' EXIT
QT_QPA_PLATFORM=offscreen build/ui/rt420-pictures "$PNG"
mkdir -p win32/pictures
for name in scan id baudrate mode process factory; do
  convert "$PNG/$name.png" "win32/pictures/$name.ico"
done
convert "$PNG"/icon-16.png "$PNG"/icon-24.png "$PNG"/icon-32.png "$PNG"/icon-48.png "$PNG"/icon-256.png \
  win32/rt420config.ico
echo "win32/pictures/*.ico and win32/rt420config.ico written"

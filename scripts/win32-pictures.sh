#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Renders the Win32 window's pictures from the Qt window's drawing code:
# the button pictures as win32/pictures/<name>.ico and the window icon at
# 16 to 256 pixels as win32/rt420config.ico. Run it after a change to
# qt/pictures.cpp and commit the files; the Windows build only reads them.
#
# Each button picture's file holds it at 96, 144 and 192 DPI (its size, one
# and a half and twice), so that the window shows it at the screen's scale:
# the drawing code paints each picture at its one size, and the larger
# images are that drawing enlarged here.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh imagemagick
bash scripts/build.sh build rt420-pictures
PNG=$(mktemp -d)
trap 'rm -rf "$PNG"' EXIT
QT_QPA_PLATFORM=offscreen build/qt/rt420-pictures "$PNG"
mkdir -p win32/pictures
for name in scan id baudrate mode process factory; do
  convert "$PNG/$name.png" \( -clone 0 -resize 150% \) \( -clone 0 -resize 200% \) "win32/pictures/$name.ico"
done
convert "$PNG"/icon-16.png "$PNG"/icon-24.png "$PNG"/icon-32.png "$PNG"/icon-48.png "$PNG"/icon-256.png \
  win32/rt420config.ico
echo "win32/pictures/*.ico and win32/rt420config.ico written"

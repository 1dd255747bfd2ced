#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Pictures of the Qt window in its three languages, after a scan against the
# simulated module and while Wiegand processing runs:
# build/screenshots/rt420config-qt-{en,gb,big5}{,-processing}.png.
#
# The end-to-end test that takes them runs the window on Qt's offscreen
# platform with the simulated module on a pseudo-terminal, and fails when a
# text of any control does not show whole. The Win32 window's counterpart is
# scripts/screenshot-windows.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh build e2e_test
QT_QPA_PLATFORM=offscreen build/tests/e2e/e2e_test \
  --gtest_filter='EndToEnd.ShotsInEveryLanguageAfterAScanAndWhileProcessingShowEveryTextWhole'
for name in en gb big5; do
  for suffix in "" -processing; do
    echo "build/screenshots/rt420config-qt-$name$suffix.png"
  done
done

#!/usr/bin/env bash
# Installs the Debian 12 packages that the build, the program and the tests
# need, and those named as arguments (the package scripts name their own).
# Idempotent: does nothing when everything is already installed.
#   setup.sh                 the native build
#   setup.sh windows [...]   also the Windows cross build with its tests
#                            under wine
set -euo pipefail

WINDOWS=""
if [ "${1:-}" = windows ]; then
  WINDOWS=1
  shift
fi

PACKAGES=(
  cmake g++ make          # the build
  libgtest-dev            # GoogleTest
  qt6-base-dev            # Qt 6 Widgets
  libasound2-dev          # the tone through ALSA
  fonts-wqy-zenhei        # a font with Latin, GB2312 and Big5 glyphs
  "$@"
)
if [ -n "$WINDOWS" ]; then
  PACKAGES+=(
    g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix  # the cross compilers, POSIX threads
    googletest              # GoogleTest sources, compiled for Windows
    wine wine64             # runs the Windows tests (64-bit wine only)
    wixl                    # builds the Windows installer (.msi)
    msitools                # msiinfo: the installer's test reads its version
  )
fi

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"

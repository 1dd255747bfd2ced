#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Debian 12 packages that the build, the program and the tests
# need, in one apt-get call, and those named as arguments. Idempotent: does
# nothing when everything is already installed.
#   setup.sh                 the native build (which is also the package's)
#   setup.sh windows         also the Windows cross build with its tests
#                            under wine
#   setup.sh check           also the package checks (lintian, validators,
#                            an X server for the menu entry)
#   setup.sh all             every group above: the test command's one call
# Further arguments are package names.
set -euo pipefail

# The native build, the program and its tests. The normal build is also the
# Debian package's build, so the package's build tools are here too.
BASE=(
  cmake g++ make          # the build
  libgtest-dev            # GoogleTest
  qt6-base-dev            # Qt 6 Widgets
  qt6-base-private-dev    # the window tests put input into the window system's queue
  libasound2-dev          # the tone through ALSA
  fonts-wqy-zenhei        # a font with Latin, GB2312 and Big5 glyphs
  qt6-svg-dev             # the package's scalable icon, drawn by Qt's SVG generator
  dpkg-dev file gzip      # Debian's hardening flags, dpkg-shlibdeps, the manuals
)
WINDOWS=(
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix  # the cross compilers, POSIX threads
  googletest              # GoogleTest sources, compiled for Windows
  wine wine64             # runs the Windows tests (64-bit wine only)
  wixl                    # builds the Windows installer (.msi)
  msitools                # msiinfo: the installer's test reads its version
)
CHECK=(
  lintian desktop-file-utils appstream   # the package's checkers
  man-db                                 # the manuals, as a user reads them
  xvfb libgtk-3-bin x11-utils            # the menu entry's window on an X server
)

PACKAGES=("${BASE[@]}")
for arg in "$@"; do
  case "$arg" in
    windows) PACKAGES+=("${WINDOWS[@]}") ;;
    check) PACKAGES+=("${CHECK[@]}") ;;
    all) PACKAGES+=("${WINDOWS[@]}" "${CHECK[@]}") ;;
    *) PACKAGES+=("$arg") ;;
  esac
done

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

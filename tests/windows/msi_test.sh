#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Windows installer and the portable zip under wine, as an operator uses
# them: an older version installed first, this build's installer upgrading
# it in place, the installed rt420ctl.exe run, then everything uninstalled.
#
#   msi_test.sh INSTALLER.msi ZIP FOLDER VERSION_TEXT
#
# FOLDER holds the files the installer was built from (the older installer
# is built from it too); VERSION_TEXT is what rt420ctl.exe --version must
# print. Started by run-with-sim.sh --native: WINEPREFIX is the test prefix.
# Exit status 0 when every check passed; each failed check says what it
# expected and what it got.
set -uo pipefail

MSI=${1:?usage: msi_test.sh INSTALLER.msi ZIP FOLDER VERSION_TEXT}
ZIP=${2:?usage: msi_test.sh INSTALLER.msi ZIP FOLDER VERSION_TEXT}
FOLDER=${3:?usage: msi_test.sh INSTALLER.msi ZIP FOLDER VERSION_TEXT}
VERSION_TEXT=${4:?usage: msi_test.sh INSTALLER.msi ZIP FOLDER VERSION_TEXT}
HERE=$(cd "$(dirname "$0")" && pwd)
BUILD_MSI="$HERE/../../packaging/windows/build-msi.sh"

PRODUCT="TAVIX RT-420 Module Config"
# Older than any release: the upgrade must replace it.
OLD_VERSION=0.1.0
INSTALL_DIR="$WINEPREFIX/drive_c/Program Files/TAVIX RT-420"
MENU_NAME="TAVIX RT-420"
# wine's shortcuts stay inside the prefix: its menu builder would otherwise
# copy them into this Linux user's desktop menu.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}winemenubuilder.exe=d"
UNINSTALL_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'

# The product's Start-menu folders in the prefix: the all-users menu, where
# Windows puts a per-machine installation's entries, or the user's own,
# where wine puts them.
menu_dirs() {
  find "$WINEPREFIX/drive_c" -path "*/Start Menu/Programs/$MENU_NAME" -type d 2>/dev/null
}

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

msiexec() {
  local status=0
  wine msiexec "$1" "$(winepath -w "$2")" /qn || status=$?
  echo "\$ msiexec $1 $(basename "$2") /qn -> exit $status"
  [ "$status" = 0 ] || fail "msiexec $1 $(basename "$2") exited $status"
}

# The uninstall entries that name the product, one "DisplayVersion" line
# each, from both views of the registry.
entries() {
  for view in 64 32; do
    wine reg query "$UNINSTALL_KEY" /s /reg:$view 2>/dev/null | tr -d '\r' |
      awk -v product="$PRODUCT" '/^HKEY/ { name = ""; version = "" }
        $1 == "DisplayName" { sub(/^ *DisplayName +REG_SZ +/, ""); name = $0 }
        $1 == "DisplayVersion" { version = $3 }
        name == product && version != "" { print version; name = "" }'
  done
}

expect_entries() {
  local got
  got=$(entries | sort -u | tr '\n' ' ')
  [ "$got" = "$1" ] || fail "installed programs list '${got}', expected '$1'"
}

expect_installed_files() {
  for file in "$FOLDER"/*; do
    cmp -s "$file" "$INSTALL_DIR/$(basename "$file")" || fail "$(basename "$file") not installed as built"
  done
}

# The zip: one folder with exactly the installer's files.
zip_names=$(cmake -E tar tf "$ZIP" | grep -v '/$' | sort | tr '\n' ' ')
folder_name=$(basename "$FOLDER")
expected_names=$(cd "$FOLDER/.." && find "$folder_name" -type f | sort | tr '\n' ' ')
[ "$zip_names" = "$expected_names" ] || fail "zip holds '$zip_names', expected '$expected_names'"

# An older version first, from the same files.
bash "$BUILD_MSI" "$FOLDER" "$OLD_VERSION" "$WORK/old.msi" || fail "the older installer was not built"
msiexec /i "$WORK/old.msi"
expect_entries "$OLD_VERSION "
expect_installed_files

# This build's installer takes its place.
msiexec /i "$MSI"
expect_entries "$(msiinfo export "$MSI" Property | tr -d '\r' | awk '$1 == "ProductVersion" { print $2 }') "
expect_installed_files
out=$(wine "$INSTALL_DIR/rt420ctl.exe" --version 2>&1 | tr -d '\r')
echo "\$ rt420ctl.exe --version: $out"
[[ "$out" == *"$VERSION_TEXT"* ]] || fail "the installed rt420ctl.exe printed '$out', expected '$VERSION_TEXT'"
# The Start menu: the window, or the README without it, and the licence.
main_entry="RT-420 Module Config README.lnk"
[ -f "$FOLDER/rt420config.exe" ] && main_entry="RT-420 Module Config.lnk"
menu_dir=$(menu_dirs)
[ "$(wc -l <<<"$menu_dir")" = 1 ] || fail "Start menu folders: '$menu_dir'"
menu=$(ls "$menu_dir" 2>/dev/null | sort | tr '\n' '|')
expected_menu=$(printf '%s\n' "$main_entry" "RT-420 Module Config Licence.lnk" | sort | tr '\n' '|')
[ "$menu" = "$expected_menu" ] || fail "Start menu holds '$menu', expected '$expected_menu'"

# Uninstalled: no file, no folder, no menu entry, no entry in the list.
msiexec /x "$MSI"
expect_entries ""
[ ! -e "$INSTALL_DIR" ] || fail "left behind: $(ls -A "$INSTALL_DIR" | tr '\n' ' ') in $INSTALL_DIR"
[ -z "$(menu_dirs)" ] || fail "left behind: the Start menu folder $(menu_dirs)"

[ "$failures" = 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "installer: all checks passed"

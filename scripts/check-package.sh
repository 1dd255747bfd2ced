#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks the Debian package that scripts/package.sh made in build/:
#   1. lintian (no error, no warning but those overridden with a reason),
#      desktop-file-validate and appstreamcli validate on the packaged files;
#   2. installs it with apt-get as a user would, and runs what it installed:
#      every --version agrees with the package's version, the manuals are
#      found, rt420ctl scan finds the installed rt420-sim, the desktop
#      entry's command starts the window (offscreen) and keeps it running,
#      and the menu entry opens the window on an X server (gtk-launch under
#      Xvfb), with the package's version in its title;
#   3. purges it, and checks that nothing it installed is left in /usr.
# Needs root or sudo (apt-get). Exits non-zero at the first failed check.
set -euo pipefail
cd "$(dirname "$0")/.."
# The checkers, man, and an X server with gtk-launch for the menu entry.
bash scripts/setup.sh check
START=$SECONDS

PACKAGE=rt420config
APP_ID=example.tavix.RT420Config
SIM_SERIAL=12345678  # the simulated module's first serial field by default
RUN_SECONDS=2        # how long the window must keep running

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
WORK=$(mktemp -d)
PIDS=()   # what this script started and runs until the end (simulator, X server)
WINDOW="" # the window under test, until it is ended on purpose
INSTALLED=""  # set while this script's install of the package stands
cleanup() {
  [ -z "$WINDOW" ] || kill "$WINDOW" 2>/dev/null || true
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  # A check that failed after the install leaves no package behind.
  [ -z "$INSTALLED" ] || DEBIAN_FRONTEND=noninteractive $SUDO apt-get purge -y -q "$PACKAGE" >/dev/null 2>&1 || true
  rm -rf "$WORK"
}
trap cleanup EXIT

step() { echo "== $*"; }
fail() {
  echo "check-package: FAILED: $*" >&2
  exit 1
}

shopt -s nullglob
debs=(build/"${PACKAGE}"_*.deb)
[ ${#debs[@]} -eq 1 ] || fail "want one build/${PACKAGE}_*.deb (run scripts/package.sh), found ${#debs[@]}"
DEB=${debs[0]}
VERSION=$(dpkg-deb -f "$DEB" Version)
echo "package: $DEB (version $VERSION)"

# ---------------------------------------------------------------- the files
step "lintian"
status=0
lintian --fail-on error,warning --display-info --show-overrides "$DEB" >"$WORK/lintian.log" 2>&1 || status=$?
grep -v '^running with root privileges' "$WORK/lintian.log" || true
[ "$status" -eq 0 ] || fail "lintian reports errors or warnings (above)"
echo "lintian: no errors, no warnings but the overridden (O:) ones"

dpkg-deb -x "$DEB" "$WORK/tree"
step "contents"
for path in usr/bin/rt420config usr/bin/rt420-sim \
  usr/share/man/man1/rt420config.1.gz usr/share/man/man1/rt420-sim.1.gz \
  "usr/share/applications/$APP_ID.desktop" "usr/share/metainfo/$APP_ID.metainfo.xml" \
  "usr/share/icons/hicolor/scalable/apps/$APP_ID.svg" \
  "usr/share/doc/$PACKAGE/copyright" "usr/share/doc/$PACKAGE/README.md.gz" \
  "usr/share/doc/$PACKAGE/docs/command-line.md.gz"; do
  [ -s "$WORK/tree/$path" ] || fail "the package lacks /$path"
done
for side in 48 128 256; do
  icon="usr/share/icons/hicolor/${side}x${side}/apps/$APP_ID.png"
  file "$WORK/tree/$icon" | grep -q "PNG image data, $side x $side," || fail "/$icon is not a $side px PNG"
done
echo "contents: programs, manuals, desktop entry, metadata, icons, documents"
# The texts that carry the version carry the package's.
grep -qF "<release version=\"$VERSION\"" "$WORK/tree/usr/share/metainfo/$APP_ID.metainfo.xml" ||
  fail "the AppStream release is not $VERSION"
zcat "$WORK/tree/usr/share/doc/$PACKAGE/changelog.Debian.gz" | head -1 | grep -qF "($VERSION)" ||
  fail "the changelog's entry is not $VERSION"
for page in "$WORK"/tree/usr/share/man/man1/*.1.gz; do
  zcat "$page" | head -1 | grep -qF " $VERSION\"" || fail "$(basename "$page") is not for $VERSION"
done
echo "version $VERSION in the metadata, the changelog and the manuals"
step "desktop-file-validate"
desktop-file-validate "$WORK/tree/usr/share/applications/$APP_ID.desktop" || fail "desktop entry"
step "appstreamcli validate"
appstreamcli validate --no-net "$WORK/tree/usr/share/metainfo/$APP_ID.metainfo.xml" || fail "AppStream metadata"

# ---------------------------------------------------------------- install
step "apt-get install ./$DEB"
INSTALLED=yes
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q "./$DEB" >"$WORK/install.log" 2>&1 ||
  { cat "$WORK/install.log"; fail "apt-get install"; }
[ "$(dpkg-query -W -f='${Version}' "$PACKAGE")" = "$VERSION" ] || fail "installed version is not $VERSION"
dpkg -L "$PACKAGE" | sort >"$WORK/files"

# Each installed program prints "<name> <version>", the package's version.
check_version() {
  local program=$1 line
  [ "$(command -v "$program")" = "/usr/bin/$program" ] || fail "$program is not the installed /usr/bin/$program"
  line=$("$program" --version) || fail "$program --version exits non-zero"
  [ "$line" = "$program $VERSION" ] || fail "$program --version says '$line', the package is $VERSION"
  echo "$line"
}

# A settings file whose port table maps COM3 to the simulated module's link
# and every other port to nothing, as scripts/run.sh writes it.
write_settings() {
  local config=$1 link=$2 n path
  mkdir -p "$config/TAVIX"
  {
    printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\TAVIX\\Corvel\\Ports]\n'
    for n in $(seq 1 16); do
      path=""
      [ "$n" = 3 ] && path=$link
      printf '"COM%s"="%s"\n' "$n" "$path"
    done
  } >"$config/TAVIX/Corvel.reg"
}

# Waits (at most five seconds, polling) until a path exists.
wait_for_path() {
  local _
  for _ in $(seq 50); do
    [ -e "$1" ] && return 0
    sleep 0.1
  done
  return 1
}

# Waits (at most five seconds, polling) until a file has content.
wait_for_content() {
  local _
  for _ in $(seq 50); do
    [ -s "$1" ] && return 0
    sleep 0.1
  done
  return 1
}

# Waits (at most five seconds, polling) until a process that is not this
# shell's child has ended.
wait_for_exit() {
  local _
  for _ in $(seq 50); do
    kill -0 "$1" 2>/dev/null || return 0
    sleep 0.1
  done
  return 1
}

# Prints the id of the X window with the given title; waits (at most ten
# seconds, polling) for it to appear.
wait_for_window() {
  local _ id
  for _ in $(seq 100); do
    id=$(xwininfo -root -tree 2>/dev/null | grep -F "\"$1\"" | awk '{print $1; exit}')
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}

step "installed programs"
check_version rt420config
check_version rt420-sim
for page in rt420config rt420-sim; do
  man -w "$page" | grep -q "^/usr/share/man/man1/$page.1.gz$" || fail "man $page does not find the installed manual"
done
MANWIDTH=80 man "$PACKAGE" 2>&1 | grep -q "dialout" || fail "man $PACKAGE does not tell about the dialout group"
echo "manuals: found"

step "rt420ctl"
[ -x /usr/bin/rt420ctl ] || fail "the package has no /usr/bin/rt420ctl"
check_version rt420ctl
man -w rt420ctl | grep -q '^/usr/share/man/man1/rt420ctl.1.gz$' || fail "man rt420ctl does not find the manual"
SIM_HOME="$WORK/sim-config"
LINK="$WORK/ttyRT420"
write_settings "$SIM_HOME" "$LINK"
rt420-sim --link "$LINK" --quiet >"$WORK/sim.log" 2>&1 &
PIDS+=($!)
wait_for_path "$LINK" || fail "the installed rt420-sim placed no link at $LINK"
status=0
XDG_CONFIG_HOME="$SIM_HOME" rt420ctl scan >"$WORK/scan.out" 2>&1 || status=$?
cat "$WORK/scan.out"
[ "$status" -eq 0 ] || fail "rt420ctl scan exits $status"
grep -q "$SIM_SERIAL" "$WORK/scan.out" || fail "rt420ctl scan does not show the simulated module's serial $SIM_SERIAL"
echo "rt420ctl scan: found the installed rt420-sim"

step "the desktop entry starts the window"
exec_line=$(sed -n 's/^Exec=//p' "/usr/share/applications/$APP_ID.desktop")
[ -n "$exec_line" ] || fail "the desktop entry has no Exec line"
mkdir -p "$WORK/window-config"
# shellcheck disable=SC2086  # the Exec line is a command with its arguments
QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$WORK/window-config" $exec_line >"$WORK/window.log" 2>&1 &
WINDOW=$!
sleep "$RUN_SECONDS"
kill -0 "$WINDOW" 2>/dev/null || { cat "$WORK/window.log"; fail "'$exec_line' ended within $RUN_SECONDS s"; }
echo "'$exec_line' still running after $RUN_SECONDS s"
kill "$WINDOW"
wait "$WINDOW" 2>/dev/null || true
WINDOW=""

step "the menu entry opens the window on an X server (gtk-launch, Xvfb)"
exec 3>"$WORK/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$WORK/xvfb.log" 2>&1 &
PIDS+=($!)
exec 3>&-
wait_for_content "$WORK/display" || fail "Xvfb did not start"
DISPLAY=":$(cat "$WORK/display")"
export DISPLAY
TITLE="TAVIX RT-420 Module Config V$VERSION"
# On the X server, not offscreen: the test command exports QT_QPA_PLATFORM
# for the window tests, and the launched program inherits the environment.
env -u QT_QPA_PLATFORM XDG_CONFIG_HOME="$WORK/window-config" gtk-launch "$APP_ID" >"$WORK/launch.log" 2>&1 ||
  { cat "$WORK/launch.log"; fail "gtk-launch $APP_ID"; }
window_id=$(wait_for_window "$TITLE") || fail "no window titled '$TITLE' appeared"
# gtk-launch has handed the program on and returned: the window's own
# process id, from the window, is how it is ended.
WINDOW=$(xprop -id "$window_id" _NET_WM_PID | sed -n 's/.* = //p')
[ -n "$WINDOW" ] || fail "the window has no _NET_WM_PID"
sleep "$RUN_SECONDS"
kill -0 "$WINDOW" 2>/dev/null || fail "the launched window ended within $RUN_SECONDS s"
echo "window '$TITLE' (pid $WINDOW) still open after $RUN_SECONDS s"
kill "$WINDOW"
wait_for_exit "$WINDOW" || fail "the launched window did not end on SIGTERM"
WINDOW=""
unset DISPLAY

# ---------------------------------------------------------------- purge
step "apt-get purge $PACKAGE"
DEBIAN_FRONTEND=noninteractive $SUDO apt-get purge -y -q "$PACKAGE" >"$WORK/purge.log" 2>&1 ||
  { cat "$WORK/purge.log"; fail "apt-get purge"; }
INSTALLED=""
! dpkg-query -W -f='${Status}' "$PACKAGE" 2>/dev/null | grep -q 'ok installed' || fail "$PACKAGE is still installed"
# Every file is gone; a folder may stay only when another package owns it or
# it still holds files of others.
left=()
while IFS= read -r path; do
  case "$path" in /usr/*) ;; *) continue ;; esac
  [ -e "$path" ] || [ -L "$path" ] || continue
  if [ -d "$path" ] && ! [ -L "$path" ]; then
    dpkg-query -S "$path" >/dev/null 2>&1 && continue
    [ -n "$(ls -A "$path")" ] && continue
  fi
  left+=("$path")
done <"$WORK/files"
[ ${#left[@]} -eq 0 ] || fail "left in /usr after the purge: ${left[*]}"
echo "nothing of $PACKAGE is left in /usr ($(wc -l <"$WORK/files") paths checked)"

echo "check-package: all checks passed ($((SECONDS - START)) s)"

#!/bin/sh
# Takes a picture of the setup dialog as the real dialog manager (Wine's)
# draws it from the driver's template, for docs/setup.md.
#
#   scripts/screenshot-dialog.sh [BUILD_DIR] [OUTPUT]
#
# BUILD_DIR is an x86_64 Windows build with wine_dialog_tests built in it
# (default build/win64: cmake --preset win64 && cmake --build --preset win64
# --target wine_dialog_tests); OUTPUT defaults to docs/setup-dialog.png.
# Needs wine64, Xvfb and ImageMagick's import (scripts/setup.sh installs
# them). The dialog is shown on an Xvfb display inside a Wine virtual
# desktop, which draws the caption and frame itself where no window manager
# runs; no camera is attached under Wine, so its camera list is empty.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/win64}
output=${2:-$root/docs/setup-dialog.png}
program=$build/wine_dialog_tests.exe
prefix=$build/wineprefix-x11
width=300
height=380

[ -f "$program" ] || { echo "screenshot-dialog: no $program (build wine_dialog_tests first)" >&2; exit 1; }
command -v import >/dev/null || { echo "screenshot-dialog: import not found (Debian package imagemagick)" >&2; exit 1; }
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
server=$(command -v wineserver || echo /usr/lib/wine/wineserver)

sh "$root/scripts/wine-x11-run.sh" --prefix "$prefix" --wine "$wine" --server "$server" --setup >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/screenshot-dialog.XXXXXX")
xvfb_pid=
wine_pid=
cleanup() {
    [ -z "$wine_pid" ] || kill "$wine_pid" 2>/dev/null || true
    WINEPREFIX=$prefix "$server" -k >/dev/null 2>&1 || true
    [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# A display of its own: Xvfb picks a free number and writes it to the pipe.
mkfifo "$work/display"
Xvfb -displayfd 3 -screen 0 ${width}x${height}x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
read -r number <"$work/display"
export DISPLAY=:$number

export WINEPREFIX=$prefix WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree=;mshtml=;winedbg.exe=d"
"$wine" explorer /desktop=r6odi,${width}x${height} "$program" --show 20 </dev/null >"$work/out" 2>&1 &
wine_pid=$!

# The program says when the dialog is up; then the desktop is given a
# moment to paint it.
tries=0
until grep -q "dialog open" "$work/out" 2>/dev/null; do
    tries=$((tries + 1))
    [ $tries -lt 600 ] || { echo "screenshot-dialog: the dialog did not open" >&2; cat "$work/out" >&2; exit 1; }
    sleep 0.1
done
sleep 2
mkdir -p "$(dirname "$output")"
import -window root "$output"
echo "screenshot-dialog: wrote $output"

#!/bin/sh
# Runs a Windows program of the x86_64 build under wine64 with Wine's X11
# graphics driver, for the tests that need a real window manager drawing
# real windows (the setup dialog). Everything else runs headless through
# wine-run.sh; this script keeps a Wine prefix of its own, since the
# graphics driver is chosen once per prefix and its running desktop.
#
#   wine-x11-run.sh [options] --setup            create the prefix (once)
#   wine-x11-run.sh [options] --stop             stop its wineserver
#   wine-x11-run.sh [options] PROGRAM [ARGS...]  run PROGRAM, exit with its code
#
# Options (each falls back to the environment variable in brackets):
#   --prefix DIR   the Wine prefix [WINEPREFIX]; required
#   --wine PATH    the wine64 loader [WINE64]; else searched
#   --server PATH  the wineserver [WINESERVER]; else searched
#
# With DISPLAY set, the program runs on that display. Without it, each run
# gets a display of its own from xvfb-run, and the prefix's wineserver is
# stopped when the run ends: Wine's desktop process keeps its connection to
# the display, which must not outlive the X server it was made on.
set -u

die() {
    echo "wine-x11-run: $*" >&2
    exit 125
}

prefix=${WINEPREFIX:-}
wine=${WINE64:-}
server=${WINESERVER:-}
while [ $# -gt 0 ]; do
    case $1 in
    --prefix) [ $# -ge 2 ] || die "--prefix needs a directory"; prefix=$2; shift 2 ;;
    --wine) [ $# -ge 2 ] || die "--wine needs a path"; wine=$2; shift 2 ;;
    --server) [ $# -ge 2 ] || die "--server needs a path"; server=$2; shift 2 ;;
    --) shift; break ;;
    *) break ;;
    esac
done
[ $# -gt 0 ] || die "nothing to run (PROGRAM, --setup or --stop)"
[ -n "$prefix" ] || die "no Wine prefix (--prefix or WINEPREFIX)"

. "$(dirname "$0")/wine-tools.sh"
find_wine64_tools

WINEPREFIX=$prefix
WINEDEBUG=-all
WINEARCH=win64
WINEDLLOVERRIDES="mscoree=;mshtml=;winedbg.exe=d"
export WINEPREFIX WINEDEBUG WINEARCH WINEDLLOVERRIDES
ready_mark=$prefix/.r6odi-ready

# Runs "$@" on DISPLAY, or on a new Xvfb display when there is none.
on_display() {
    if [ -n "${DISPLAY:-}" ]; then
        "$@"
    else
        command -v xvfb-run >/dev/null || die "xvfb-run not found (Debian package xvfb)"
        xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$@"
    fi
}

stop_server() {
    "$server" -k >/dev/null 2>&1 || true
    "$server" -w >/dev/null 2>&1 || true
}

setup_prefix() {
    [ -f "$ready_mark" ] && return 0
    if [ -d "$prefix" ] && [ -n "$(ls -A "$prefix")" ]; then
        [ -e "$prefix/dosdevices" ] || [ -e "$prefix/system.reg" ] ||
            die "$prefix exists and is not a Wine prefix; not touching it"
        stop_server
        rm -rf "$prefix"
    fi
    mkdir -p "$prefix" || die "cannot create $prefix"
    on_display "$wine" wineboot -i </dev/null >/dev/null 2>&1
    stop_server
    [ -f "$prefix/system.reg" ] || die "wineboot did not create the prefix $prefix"
    : >"$ready_mark"
}

case $1 in
--setup)
    setup_prefix
    echo "wine-x11-run: prefix $prefix ready"
    exit 0
    ;;
--stop)
    stop_server
    exit 0
    ;;
esac

[ -f "$ready_mark" ] || die "prefix $prefix is not set up (run --setup first)"
program=$1
shift
[ -f "$program" ] || die "no such program: $program"
output=$(mktemp "${TMPDIR:-/tmp}/wine-x11-run.XXXXXX") || die "cannot create a temporary file"
# Wine's helper processes inherit the program's streams; see wine-run.sh.
if [ -n "${DISPLAY:-}" ]; then
    "$wine" "$program" "$@" </dev/null >"$output" 2>&1
    status=$?
else
    # The server goes before the display does, so that nothing of Wine is
    # left talking to an X server that has gone.
    WINE64=$wine WINESERVER=$server on_display sh -c \
        '"$WINE64" "$@"; status=$?; "$WINESERVER" -k; "$WINESERVER" -w; exit $status' \
        sh "$program" "$@" </dev/null >"$output" 2>&1
    status=$?
fi
cat "$output"
if [ $status -eq 0 ] && grep -q '^wine: Unhandled' "$output"; then
    status=1
fi
rm -f "$output"
exit $status

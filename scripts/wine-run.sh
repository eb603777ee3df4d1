#!/bin/sh
# Runs Windows programs of the x86_64 build under wine64, or of the i686
# build under Wine's 32-bit loader emulated by qemu-i386, headless, in a Wine
# prefix of the build tree.
#
#   wine-run.sh [options] --setup            create the prefix (once) and start
#                                            its wineserver
#   wine-run.sh [options] --stop             stop that wineserver
#   wine-run.sh [options] PROGRAM [ARGS...]  run PROGRAM, exit with its code
#
# Options (each falls back to the environment variable in brackets):
#   --prefix DIR   the Wine prefix [WINEPREFIX]; required
#   --wine PATH    the wine64 loader [WINE64]; else searched
#   --server PATH  the wineserver [WINESERVER]; else searched
#   --arch ARCH    x86_64 (default) or i686 [R6ODI_WINE_ARCH]
# and for i686:
#   --qemu PATH    qemu-i386 [QEMU_I386]; else searched
#   --wine32 PATH  Wine's 32-bit loader, of wine32:i386 [WINE32]; else searched
#   --dlls DIR     Wine's 32-bit DLLs, of libwine:i386 [WINE32_DLLS]; else searched
#
# This machine cannot execute 32-bit programs. qemu-user runs the 32-bit
# loader instead, against the same kind of 64-bit prefix (created by
# wine64) whose syswow64 folder gets Wine's 32-bit DLLs at setup. -R caps
# the emulated address space, without which Wine's start takes a minute. A
# 32-bit program started this way cannot start another 32-bit process.
# Once wine32 is installed the plain `wine` command picks the 32-bit loader,
# which cannot start here: the 64-bit loader is always called by its path.
#
# No X display is needed: the prefix selects Wine's null graphics driver,
# under which hidden windows, timers and message loops work. With the default
# driver and no display, CreateWindowExA fails.
#
# Wine keeps processes running after the program has ended: the wineserver
# (started here with its streams on /dev/null and a limited persistence) and
# the system processes it brings up on first use (services, explorer,
# winedevice...), which inherit the standard streams of the program that
# happened to start them. Were those CTest's output pipes, CTest would wait
# for them to close long after the program ended; so the program writes into
# a file and the script copies it out once the program has exited.
set -u

PERSIST_SECONDS=30

die() {
    echo "wine-run: $*" >&2
    exit 125
}

prefix=${WINEPREFIX:-}
wine=${WINE64:-}
server=${WINESERVER:-}
arch=${R6ODI_WINE_ARCH:-x86_64}
qemu=${QEMU_I386:-}
wine32=${WINE32:-}
dlls=${WINE32_DLLS:-}
while [ $# -gt 0 ]; do
    case $1 in
    --prefix) [ $# -ge 2 ] || die "--prefix needs a directory"; prefix=$2; shift 2 ;;
    --wine) [ $# -ge 2 ] || die "--wine needs a path"; wine=$2; shift 2 ;;
    --server) [ $# -ge 2 ] || die "--server needs a path"; server=$2; shift 2 ;;
    --arch) [ $# -ge 2 ] || die "--arch needs x86_64 or i686"; arch=$2; shift 2 ;;
    --qemu) [ $# -ge 2 ] || die "--qemu needs a path"; qemu=$2; shift 2 ;;
    --wine32) [ $# -ge 2 ] || die "--wine32 needs a path"; wine32=$2; shift 2 ;;
    --dlls) [ $# -ge 2 ] || die "--dlls needs a directory"; dlls=$2; shift 2 ;;
    --) shift; break ;;
    *) break ;;
    esac
done
[ $# -gt 0 ] || die "nothing to run (PROGRAM, --setup or --stop)"
[ -n "$prefix" ] || die "no Wine prefix (--prefix or WINEPREFIX)"
# Wine refuses a relative prefix; a path relative to where the command was
# given is what a user means by one.
case $prefix in
/*) ;;
*) prefix=$(pwd)/$prefix ;;
esac

. "$(dirname "$0")/wine-tools.sh"
find_wine64_tools
case $arch in
x86_64) ;;
i686)
    [ -n "$qemu" ] || qemu=$(find_tool qemu-i386) || die "qemu-i386 not found (package qemu-user)"
    [ -n "$wine32" ] || wine32=$(find_tool /usr/lib/wine/wine /usr/lib/i386-linux-gnu/wine/wine) ||
        die "Wine's 32-bit loader not found (package wine32:i386)"
    [ -n "$dlls" ] || dlls=/usr/lib/i386-linux-gnu/wine/i386-windows
    [ -d "$dlls" ] || die "Wine's 32-bit DLLs not found in $dlls (package libwine:i386)"
    ;;
*) die "unknown architecture $arch (x86_64 or i686)" ;;
esac

WINEPREFIX=$prefix
WINEDEBUG=-all
WINEARCH=win64
# Neither Mono nor Gecko is wanted, and without a display their install
# prompts would only cost time. Without winedbg a crashing program ends at
# once with the exception code; with it the test would hang in the debugger.
WINEDLLOVERRIDES="mscoree=;mshtml=;winedbg.exe=d"
export WINEPREFIX WINEDEBUG WINEARCH WINEDLLOVERRIDES
unset DISPLAY WAYLAND_DISPLAY
if [ "$arch" = i686 ]; then
    # The 32-bit loader must not re-execute itself (that would leave qemu)
    # and must use the 64-bit wineserver of the prefix.
    WINELOADERNOEXEC=1
    WINESERVER=$server
    export WINELOADERNOEXEC WINESERVER
fi

ready_mark=$prefix/.r6odi-ready

start_server() {
    # Exits at once (status 2) when the prefix already has a server.
    "$server" -p$PERSIST_SECONDS </dev/null >/dev/null 2>&1 || true
}

setup_prefix() {
    if [ -f "$ready_mark" ]; then
        start_server
        return 0
    fi
    # A prefix without the mark is left over from an interrupted setup. Only
    # something that looks like a Wine prefix is ever removed.
    if [ -d "$prefix" ] && [ -n "$(ls -A "$prefix")" ]; then
        [ -e "$prefix/dosdevices" ] || [ -e "$prefix/system.reg" ] ||
            die "$prefix exists and is not a Wine prefix; not touching it"
        "$server" -k >/dev/null 2>&1 || true
        "$server" -w
        rm -rf "$prefix"
    fi
    mkdir -p "$prefix" || die "cannot create $prefix"
    start_server
    # wineboot complains about the missing 32-bit half (syswow64); that is
    # expected on a machine without wine32.
    "$wine" wineboot -i </dev/null >/dev/null 2>&1
    "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1 ||
        die "cannot select the null graphics driver"
    # Stopping the server writes the registry out; a later server (after the
    # persistence ran out) then reads the null driver from disk.
    "$server" -k >/dev/null 2>&1
    "$server" -w
    [ -f "$prefix/system.reg" ] || die "wineboot did not create the prefix $prefix"
    start_server
    : >"$ready_mark"
}

# Wine's 32-bit DLLs in the prefix's syswow64, once: hard links where the
# prefix shares a file system with them (half a gigabyte otherwise).
setup_wow64() {
    [ "$arch" = i686 ] || return 0
    wow64_mark=$prefix/.r6odi-wow64
    [ -f "$wow64_mark" ] && return 0
    target=$prefix/drive_c/windows/syswow64
    mkdir -p "$target" || die "cannot create $target"
    for file in "$dlls"/*.dll "$dlls"/*.exe; do
        ln -f "$file" "$target/" 2>/dev/null || cp -f "$file" "$target/" ||
            die "cannot copy $file into $target"
    done
    : >"$wow64_mark"
}

case $1 in
--setup)
    setup_prefix
    setup_wow64
    echo "wine-run: prefix $prefix ready"
    exit 0
    ;;
--stop)
    "$server" -k >/dev/null 2>&1 || true
    exit 0
    ;;
esac

[ -f "$ready_mark" ] || die "prefix $prefix is not set up (run --setup first)"
[ "$arch" != i686 ] || [ -f "$prefix/.r6odi-wow64" ] || die "prefix $prefix has no 32-bit DLLs (run --setup)"
program=$1
shift
[ -f "$program" ] || die "no such program: $program"
start_server
output=$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX") || die "cannot create a temporary file"
if [ "$arch" = i686 ]; then
    case $program in
    /*) absolute=$program ;;
    *) absolute=$(pwd)/$program ;;
    esac
    "$qemu" -R 0x80800000 -L / "$wine32" "Z:$absolute" "$@" </dev/null >"$output" 2>&1
    status=$?
    # qemu-user now and then dies of a signal of its own while a 32-bit Wine
    # process with several threads exits, after the program has finished
    # (seen under load). A fault of the program itself reaches Wine's
    # handlers and reads "wine: Unhandled ..." instead; only qemu's own
    # death earns one more run, and a second one fails the test.
    if [ $status -ne 0 ] && grep -q '^qemu: uncaught target signal' "$output"; then
        echo "wine-run: qemu died of a signal of its own; running the program once more" >&2
        "$qemu" -R 0x80800000 -L / "$wine32" "Z:$absolute" "$@" </dev/null >"$output" 2>&1
        status=$?
    fi
else
    "$wine" "$program" "$@" </dev/null >"$output" 2>&1
    status=$?
fi
cat "$output"
# An exit status is cut to 8 bits; a crash must never read as success.
if [ $status -eq 0 ] && grep -q '^wine: Unhandled' "$output"; then
    status=1
fi
rm -f "$output"
exit $status

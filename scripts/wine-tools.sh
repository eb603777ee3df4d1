# Sourced by wine-run.sh and wine-x11-run.sh: where Wine's 64-bit loader and
# server are, unless the caller's options or environment already said so.
# Uses the caller's `die`, `wine` and `server`.

# The first candidate that exists: an absolute path, or a name on PATH.
find_tool() {
    for candidate in "$@"; do
        case $candidate in
        /*) [ -x "$candidate" ] && { echo "$candidate"; return 0; } ;;
        *) command -v "$candidate" 2>/dev/null && return 0 ;;
        esac
    done
    return 1
}

# The 64-bit loader is always called by its path: once wine32 is installed,
# the plain `wine` command is the 32-bit one.
find_wine64_tools() {
    [ -n "$wine" ] || wine=$(find_tool wine64 /usr/lib/wine/wine64 /usr/lib/x86_64-linux-gnu/wine/wine64) ||
        die "wine64 not found (--wine or WINE64)"
    [ -n "$server" ] || server=$(find_tool /usr/lib/wine/wineserver64 wineserver /usr/lib/wine/wineserver \
        /usr/lib/x86_64-linux-gnu/wine/wineserver) || die "wineserver not found (--server or WINESERVER)"
}

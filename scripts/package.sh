#!/usr/bin/env bash
# The package for Windows users: one zip with the 32-bit driver d_r6odi.dll
# (stripped), the capture host r6odi-capture.exe built with it, the README
# with its pages and a sample configuration file, in a folder named after
# the version (r6odi-1.0.0-win32/).
#
#   package.sh                         sets up, configures and builds the
#                                      win32 preset, then writes
#                                      build/r6odi-VERSION-win32.zip
#   package.sh --from BUILD --out DIR  packs what the win32 tree BUILD has
#                                      built already, into DIR (the package
#                                      test does this)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

build=""
out=""
while [ $# -gt 0 ]; do
    case $1 in
    --from) build=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    *) echo "package: unknown argument $1" >&2; exit 2 ;;
    esac
done

if [ -z "$build" ]; then
    scripts/setup.sh
    cmake --preset win32 >/dev/null
    cmake --build --preset win32 -j "$(nproc)" --target d_r6odi r6odi-capture
    build=$root/build/win32
    out=$root/build
fi
[ -n "$out" ] || { echo "package: --from needs --out" >&2; exit 2; }

# The version and the cross strip of that tree, as its configure found them.
cached() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
version=$(cached CMAKE_PROJECT_VERSION)
strip=$(cached CMAKE_STRIP)
[ -n "$version" ] && [ -x "$strip" ] || { echo "package: $build is not a configured Windows tree" >&2; exit 1; }
machine=$(od -An -tx1 -j"$(( $(od -An -tu4 -j60 -N4 "$build/d_r6odi.dll") + 4 ))" -N2 "$build/d_r6odi.dll" | tr -d ' ')
[ "$machine" = 4c01 ] || { echo "package: $build/d_r6odi.dll is not the 32-bit product" >&2; exit 1; }

name=r6odi-$version-win32
stage=$(mktemp -d "${TMPDIR:-/tmp}/r6odi-package.XXXXXX")
trap 'rm -rf "$stage"' EXIT
mkdir -p "$stage/$name/docs"
# Symbols and debugging data are of no use to a user and make up most of
# the size; the build tree keeps the unstripped binaries for the export check.
"$strip" --strip-all -o "$stage/$name/d_r6odi.dll" "$build/d_r6odi.dll"
"$strip" --strip-all -o "$stage/$name/r6odi-capture.exe" "$build/tools/r6odi-capture/r6odi-capture.exe"
cp README.md "$stage/$name/"
cp docs/*.md docs/*.png "$stage/$name/docs/"
cp docs/d_r6odi.sample.ini "$stage/$name/"

mkdir -p "$out"
zip_path=$(cd "$out" && pwd)/$name.zip
rm -f "$zip_path"
(cd "$stage" && zip -qrX "$zip_path" "$name")
echo "package: $zip_path ($(du -k "$zip_path" | cut -f1) KB)"

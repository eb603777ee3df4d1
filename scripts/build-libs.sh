#!/usr/bin/env bash
# Cross-compiles, from the upstream tarballs in Debian's source archive, the
# libraries that the Windows builds need and Debian ships for Linux only, and
# installs them as static libraries and headers into one folder per build
# tree:  PREFIX/include, PREFIX/lib.
#
#   build-libs.sh --arch i686|x86_64 --prefix DIR [--sources DIR] LIBRARY...
#
# LIBRARY is zlib, libpng, cfitsio or cpp-httplib (a header only). A library
# is built once: PREFIX/.built-LIBRARY records the tarball and the checksum
# of this script and the toolchain files, and a later run with all of them
# unchanged does nothing. Libraries are compiled with the build's own
# toolchain file, so they get the same compiler and target flags as the
# driver and the programs that link them. The tarballs are fetched into
# --sources (default PREFIX/sources).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")

arch=""
prefix=""
sources=""
while [ $# -gt 0 ]; do
    case $1 in
    --arch) arch=$2; shift 2 ;;
    --prefix) prefix=$2; shift 2 ;;
    --sources) sources=$2; shift 2 ;;
    --) shift; break ;;
    -*) echo "build-libs: unknown option $1" >&2; exit 2 ;;
    *) break ;;
    esac
done
case $arch in
i686 | x86_64) ;;
*) echo "build-libs: --arch must be i686 or x86_64" >&2; exit 2 ;;
esac
[ -n "$prefix" ] || { echo "build-libs: --prefix is required" >&2; exit 2; }
[ $# -gt 0 ] || { echo "build-libs: no library named" >&2; exit 2; }
mkdir -p "$prefix/include" "$prefix/lib"
prefix=$(cd "$prefix" && pwd)
sources=${sources:-$prefix/sources}
toolchain=$root/cmake/toolchain-$arch-mingw.cmake
# A change of this script or of the toolchain's flags builds every library anew.
script_sum=$(cat "$0" "$toolchain" "$root/cmake/mingw-toolchain.cmake" | sha256sum | cut -c1-16)

launcher=()
if command -v ccache >/dev/null 2>&1; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi

# The Debian source package each library comes from.
package_of() {
    case $1 in
    zlib) echo zlib ;;
    libpng) echo libpng1.6 ;;
    cfitsio) echo cfitsio ;;
    cpp-httplib) echo cpp-httplib ;;
    *) echo "build-libs: unknown library $1 (zlib, libpng, cfitsio, cpp-httplib)" >&2; exit 2 ;;
    esac
}

tarball_of() {
    local package
    package=$(package_of "$1")
    "$here/fetch-sources.sh" "$sources" "$package"
    ls "$sources/${package}"_*.orig.tar.* | head -n 1
}

# Unpacks the tarball into a fresh work folder; prints the source folder.
unpack() {
    local work=$prefix/work/$1
    rm -rf "$work"
    mkdir -p "$work"
    tar xf "$2" -C "$work"
    find "$work" -mindepth 1 -maxdepth 1 -type d | head -n 1
}

# A CMake build of a C library (TARGET, or all when empty) with the build's
# own toolchain, quietly; its log stays in the work folder when it fails.
cmake_build() {
    local source=$1 build=$2 target=$3
    shift 3
    if ! cmake -S "$source" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
            -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" "${launcher[@]}" "$@" \
            >"$build.log" 2>&1 ||
        ! cmake --build "$build" -j "${R6ODI_JOBS:-2}" ${target:+--target "$target"} >>"$build.log" 2>&1; then
        echo "build-libs: building $(basename "$source") for $arch failed; see $build.log" >&2
        tail -n 20 "$build.log" >&2
        exit 1
    fi
}

zlib_options=()
use_zlib() {
    zlib_options=(-DZLIB_INCLUDE_DIR="$prefix/include" -DZLIB_LIBRARY="$prefix/lib/libz.a")
}

# Debian's zlib tarball lacks win32/zlib1.rc, which its DLL needs: only the
# static library is built, and installed by hand under its usual name.
build_zlib() {
    local source build
    source=$(unpack zlib "$1")
    build=$prefix/work/zlib/build
    cmake_build "$source" "$build" zlibstatic
    cp "$build"/libzlibstatic.a "$prefix/lib/libz.a"
    cp "$source/zlib.h" "$build/zconf.h" "$prefix/include/"
}

build_libpng() {
    local source build
    source=$(unpack libpng "$1")
    build=$prefix/work/libpng/build
    cmake_build "$source" "$build" "" "${zlib_options[@]}" -DPNG_SHARED=OFF -DPNG_STATIC=ON \
        -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF
    cmake --install "$build" >>"$build.log" 2>&1
}

build_cfitsio() {
    local source build
    source=$(unpack cfitsio "$1")
    build=$prefix/work/cfitsio/build
    cmake_build "$source" "$build" "" "${zlib_options[@]}" -DBUILD_SHARED_LIBS=OFF -DUSE_CURL=OFF \
        -DUSE_PTHREADS=OFF -DTESTS=OFF -DUTILS=OFF
    cmake --install "$build" >>"$build.log" 2>&1
}

# One header, nothing to compile.
build_cpp_httplib() {
    local source
    source=$(unpack cpp-httplib "$1")
    cp "$source/httplib.h" "$prefix/include/"
}

build() {
    local library=$1 tarball stamp key
    tarball=$(tarball_of "$library")
    stamp=$prefix/.built-$library
    key="$(basename "$tarball") $script_sum"
    if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$key" ]; then
        return 0
    fi
    echo "build-libs: $library for $arch from $(basename "$tarball")"
    case $library in
    libpng | cfitsio) build zlib; use_zlib ;;
    esac
    "build_${library//-/_}" "$tarball"
    rm -rf "$prefix/work/$library"
    echo "$key" >"$stamp"
}

for library in "$@"; do
    package_of "$library" >/dev/null
    build "$library"
done

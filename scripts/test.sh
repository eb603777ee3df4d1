#!/usr/bin/env bash
# The test command: sets up a fresh machine, then builds and runs every test
# configuration. Exits non-zero when any build or test fails.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

jobs=$(nproc)
run() { echo; echo "== $*"; "$@"; }

# Host build over the emulated Win32 layer, then the same with sanitizers.
for preset in host host-sanitize; do
  run cmake --preset "$preset" >/dev/null
  run cmake --build --preset "$preset" -j "$jobs"
  run ctest --preset "$preset" -j "$jobs"
done

# The product (i686): its export check, and its contract and Wine tests run
# as 32-bit programs under qemu-i386 and Wine's 32-bit loader. Then the
# build whose tests run under wine64 (x86_64), child processes included.
run cmake --preset win32 >/dev/null
run cmake --build --preset win32 -j "$jobs"
run ctest --preset win32

run cmake --preset win64 >/dev/null
run cmake --build --preset win64 -j "$jobs"
run ctest --preset win64

# Fuzz targets, each for a bounded time.
if [ -x scripts/fuzz.sh ]; then
  run scripts/fuzz.sh
fi

echo
echo "== all test configurations passed"

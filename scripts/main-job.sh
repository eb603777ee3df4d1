#!/usr/bin/env bash
# The main job: builds the host configuration and runs the command-line host
# against the embedded simulated cameras.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake --preset host >/dev/null
cmake --build --preset host -j "$(nproc)" --target r6odi-host
build/host/tools/r6odi-host/r6odi-host "$@"

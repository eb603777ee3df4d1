#!/usr/bin/env bash
# The main job: builds the host configuration and runs a night's session on
# the simulated cameras with the capture host: setup, the cooling ramp,
# darks and lights through three filters at two binnings, FITS files that
# fitsverify checks, a summary table and a preview picture of one light.
#
# The simulated clock runs 30 times faster than real time, so the session
# (about half an hour of camera time) takes about a minute. Extra arguments
# go to the session (e.g. --speed 1000, --time 120, --camera 20005).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake --preset host >/dev/null
cmake --build --preset host -j "$(nproc)" --target r6odi-capture

out=build/session
rm -rf "$out"
host=build/host/tools/r6odi-capture/r6odi-capture
"$host" --speed 30 session --out "$out" "$@"

echo
verified=0
for file in "$out"/*.fits; do
  fitsverify -q "$file" | grep -q "verification OK" || { fitsverify "$file"; exit 1; }
  verified=$((verified + 1))
done
echo "fitsverify: all $verified FITS files in $out pass"
light=$(ls "$out"/light_*.fits | head -n 1)
"$host" preview --from "$light" --png "$out/preview.png"

#!/usr/bin/env bash
# The main job: builds the host configuration and runs a night's session on
# the simulated cameras with the capture host: setup, the cooling ramp and
# its settling, then a whole calibration set (biases and darks at two
# binnings, flats of the lit flat panel and lights through three filters at
# both binnings), FITS files that fitsverify checks and ccdproc sorts by
# their frame type, a summary table and a preview picture of one light.
#
# The simulated clock runs 30 times faster than real time, so the session
# (about forty minutes of camera time) takes about two minutes. Extra
# arguments go to the session (e.g. --speed 300, --time 120, --camera 20005).
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
# What a processing program makes of the folder: the four kinds of a
# calibration set, sorted by IMAGETYP.
/usr/bin/python3 - "$out" <<'PYTHON'
import sys
from ccdproc import ImageFileCollection
collection = ImageFileCollection(sys.argv[1], glob_include="*.fits")
counts = {kind: len(collection.files_filtered(imagetyp=kind))
          for kind in ("Bias Frame", "Dark Frame", "Flat Frame", "Light Frame")}
print("ccdproc: " + ", ".join(f"{count} {kind.split()[0].lower()}" for kind, count in counts.items()))
if 0 in counts.values():
    sys.exit("ccdproc: a kind of the calibration set is missing")
PYTHON
light=$(ls "$out"/light_*.fits | head -n 1)
"$host" preview --from "$light" --png "$out/preview.png"

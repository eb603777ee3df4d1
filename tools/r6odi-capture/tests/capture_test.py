#!/usr/bin/env python3
"""Runs the capture host as a user would and checks what it leaves on disk.

Every FITS file written passes fitsverify and is read back with astropy,
a reader that shares nothing with the host's writer.

    capture_test.py --host r6odi-capture --pattern fits_pattern --work DIR CASE
"""
import argparse
import os
import re
import resource
import shutil
import subprocess
import sys

import numpy
from astropy.io import fits


def run(args, host, expect_code, preexec=None):
    result = subprocess.run([host] + args, capture_output=True, text=True, preexec_fn=preexec, timeout=300)
    if result.returncode != expect_code:
        sys.exit(f"{' '.join(args)}: exit {result.returncode}, expected {expect_code}\n"
                 f"stdout:\n{result.stdout}\nstderr:\n{result.stderr}")
    return result


def verify(path):
    result = subprocess.run(["fitsverify", "-q", path], capture_output=True, text=True)
    if result.returncode != 0 or "verification OK" not in result.stdout:
        sys.exit(f"fitsverify rejects {path}:\n{result.stdout}{result.stderr}")


def fresh(folder):
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    return folder


def expect(condition, message):
    if not condition:
        sys.exit(message)


def files_in(folder):
    return sorted(os.listdir(folder))


def summary_rows(stdout):
    """The closing table: file, type, time, filter, binning, temp, mean, min, max."""
    rows = {}
    for line in stdout.splitlines():
        fields = line.split()
        if len(fields) == 9 and fields[0].endswith(".fits"):
            rows[fields[0]] = fields
    return rows


def check_frame_against_row(path, row, seconds, target):
    name, kind, time, filt, binning, temp, mean, low, high = row
    verify(path)
    with fits.open(path) as hdus:
        header = hdus[0].header
        data = hdus[0].data
        expect(header["BITPIX"] == 16 and header["BZERO"] == 32768 and header["BSCALE"] == 1,
               f"{name}: not unsigned 16-bit")
        expect(data.dtype == numpy.uint16, f"{name}: astropy reads {data.dtype}")
        expect(header["ROWORDER"] == "BOTTOM-UP", f"{name}: ROWORDER {header['ROWORDER']}")
        expect(header["IMAGETYP"] == ("Light Frame" if kind == "light" else "Dark Frame"), f"{name}: IMAGETYP")
        expect(abs(header["EXPTIME"] - seconds) < 1e-9 and float(time) == seconds, f"{name}: EXPTIME")
        bx, by = (int(v) for v in binning.split("x"))
        expect((header["XBINNING"], header["YBINNING"]) == (bx, by), f"{name}: binning")
        expect((header["NAXIS1"], header["NAXIS2"]) == (1392 // bx, 1040 // by), f"{name}: size")
        expect(header.get("FILTER", "-") == filt, f"{name}: FILTER {header.get('FILTER')} against {filt}")
        expect(abs(header["CCD-TEMP"] - float(temp)) < 0.006 and abs(header["CCD-TEMP"] - target) < 0.6,
               f"{name}: CCD-TEMP {header['CCD-TEMP']}")
        expect(header["SET-TEMP"] == target, f"{name}: SET-TEMP")
        expect(header["INSTRUME"] == "KX-814 Mono", f"{name}: INSTRUME")
        expect((header["XORGSUBF"], header["YORGSUBF"]) == (0, 0), f"{name}: origin")
        expect(re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}", header["DATE-OBS"]), f"{name}: DATE-OBS")
        # The host's statistics of its own buffer against the pixels as
        # astropy reads them.
        expect(abs(data.mean(dtype=numpy.float64) - float(mean)) <= 0.05, f"{name}: mean {data.mean()} vs {mean}")
        expect((int(data.min()), int(data.max())) == (int(low), int(high)), f"{name}: min/max")
        return header["DATE-OBS"], kind, int(high)


def case_pattern(opts):
    folder = fresh(os.path.join(opts.work, "pattern"))
    path = os.path.join(folder, "pattern.fits")
    subprocess.run([opts.pattern, path], check=True)
    verify(path)
    with fits.open(path) as hdus:
        header = hdus[0].header
        data = hdus[0].data
    rows, columns = numpy.mgrid[0:203, 0:301]
    top_first = ((rows * 7919 + columns * 263) & 0xFFFF).astype(numpy.uint16)
    top_first[0, 0] = 0
    top_first[-1, -1] = 65535
    expect(data.dtype == numpy.uint16 and data.shape == (203, 301), f"shape {data.shape} {data.dtype}")
    # FITS rows run bottom-up: the file's first row is the image's last.
    expect(numpy.array_equal(data[::-1], top_first), "pixels differ from the pattern")
    wanted = {"BITPIX": 16, "NAXIS": 2, "NAXIS1": 301, "NAXIS2": 203, "BZERO": 32768, "BSCALE": 1,
              "ROWORDER": "BOTTOM-UP", "EXPTIME": 300.0, "DATE-OBS": "2026-12-01T00:00:00.250",
              "IMAGETYP": "Light Frame", "XBINNING": 4, "YBINNING": 2, "CCD-TEMP": -15.25, "SET-TEMP": -15.0,
              "FILTER": "OIII", "INSTRUME": "KX-694 Cooled", "XORGSUBF": 12, "YORGSUBF": 34}
    for key, value in wanted.items():
        expect(header.get(key) == value, f"{key}: {header.get(key)!r}, expected {value!r}")


def case_session(opts):
    folder = fresh(os.path.join(opts.work, "session"))
    result = run(["session", "--speed", "1000", "--time", "20", "--plain", "--out", folder], opts.host, 0)
    expect("\r" not in result.stdout, "plain output redraws lines")
    expect(re.search(r"^Cooling: CCD .* set -10\.0 °C .*cooler", result.stdout, re.M), "no cooling line")
    expect(re.search(r"^Cooled: CCD", result.stdout, re.M), "no end of cooling")
    expected = ["dark_1x1_001.fits", "dark_1x1_002.fits", "dark_2x2_003.fits", "dark_2x2_004.fits"]
    number = 5
    for filt in ("L", "R", "G"):
        for binning in ("1x1", "2x2"):
            for _ in range(2):
                expected.append(f"light_{filt}_{binning}_{number:03d}.fits")
                number += 1
    expect(files_in(folder) == sorted(expected), f"files: {files_in(folder)}")
    rows = summary_rows(result.stdout)
    expect(sorted(rows) == sorted(expected), f"summary rows: {sorted(rows)}")
    dates = []
    for name in expected:
        date, kind, high = check_frame_against_row(os.path.join(folder, name), rows[name], 20.0, -10.0)
        dates.append(date)
        # Stars saturate somewhere in every light frame; a dark has none.
        expect(high > 20000 if kind == "light" else high < 5000, f"{name}: maximum {high}")
    expect(dates == sorted(dates) and len(set(dates)) == len(dates), "DATE-OBS not increasing")


def case_unplug(opts):
    folder = fresh(os.path.join(opts.work, "unplug"))
    # Long enough for the host to see the camera go halfway through, also
    # in the slower sanitizer build.
    common = ["session", "--speed", "1000", "--time", "60", "--darks", "1", "--lights", "1", "--filters", "2",
              "--binnings", "0", "--plain", "--out", folder, "--simulate-unplug", "2"]
    result = run(common + ["--unplug-seconds", "30"], opts.host, 0)
    for line in ("simulation: camera 10017 unplugged",
                 "Camera disconnected during frame 2/2: waiting up to 600 s for it to come back",
                 "simulation: camera 10017 plugged in again",
                 "Frame 2/2: wrote light_R_1x1_002.fits"):
        expect(line in result.stdout, f"missing: {line}\n{result.stdout}")
    expect(re.search(r"^Camera back after [0-9.]+ s: retaking frame 2/2$", result.stdout, re.M), result.stdout)
    expect(files_in(folder) == ["dark_1x1_001.fits", "light_R_1x1_002.fits"], f"files: {files_in(folder)}")
    rows = summary_rows(result.stdout)
    for name in files_in(folder):
        check_frame_against_row(os.path.join(folder, name), rows[name], 60.0, -10.0)

    # A camera that stays away: the host gives up, and the frame it was
    # taking leaves nothing behind.
    folder = fresh(os.path.join(opts.work, "unplug-lost"))
    common[common.index("--out") + 1] = folder
    result = run(common + ["--unplug-seconds", "300", "--reconnect-wait", "60"], opts.host, 1)
    expect(result.stderr == "r6odi-capture: the camera did not come back within 60 s\n", result.stderr)
    expect(files_in(folder) == ["dark_1x1_001.fits"], f"files: {files_in(folder)}")


def case_disk_full(opts):
    folder = fresh(os.path.join(opts.work, "full"))

    def small_disk():
        # Writes beyond 1 MB fail as on a full disk (the host ignores SIGXFSZ).
        resource.setrlimit(resource.RLIMIT_FSIZE, (1 << 20, 1 << 20))

    result = run(["expose", "--speed", "1000", "--time", "2", "--out", folder], opts.host, 1, small_disk)
    expect(result.stderr.startswith("r6odi-capture: cannot write " + os.path.join(folder, "light_1x1_001.fits")),
           result.stderr)
    expect(files_in(folder) == [], f"left behind: {files_in(folder)}")


ARGUMENT_CASES = [
    # arguments, exit code, the whole first line of the error
    (["expose", "--time", "-5"], 2, "--time: exposure time -5 s is out of range: give 0 to 3600 seconds"),
    (["expose", "--time", "1e9"], 2, "--time: exposure time 1e+09 s is out of range: give 0 to 3600 seconds"),
    (["expose", "--time", "abc"], 2, "--time: exposure time 'abc' is not a number"),
    (["expose", "--bin", "16"], 2, "--bin: binning code 16 does not exist: codes are 0 to 15 "
                                   "(0 = 1 x 1, 1 = 2 x 2, 2 = 3 x 3, 3 = 4 x 4; see 'info')"),
    (["expose", "--bin", "-1"], 2, "--bin: binning code -1 does not exist: codes are 0 to 15 "
                                   "(0 = 1 x 1, 1 = 2 x 2, 2 = 3 x 3, 3 = 4 x 4; see 'info')"),
    (["expose", "--subframe", "0,0,120,10"], 2, "--subframe: subframe '0,0,120,10' is not valid: give "
     "x,y,width,height in percent of the sensor, each 0 to 100, x and y from the bottom-left corner"),
    (["expose", "--subframe", "60,0,50,50"], 2, "--subframe: subframe '60,0,50,50' reaches beyond the sensor: "
     "x + width and y + height must stay within 100 %"),
    (["expose", "--count", "0"], 2, "--count: count 0 is out of range: give 1 to 10000 frames"),
    (["expose", "--out", "/proc/r6odi-capture"], 2, "cannot create output folder '/proc/r6odi-capture': "),
    (["expose", "--speed", "1000", "--filter", "9", "--out", "{work}/args"], 2,
     "filter 9 is not in the wheel: this camera has positions 1 to 5"),
    (["expose", "--speed", "1000", "--camera", "30003", "--bin", "1", "--out", "{work}/args"], 1,
     "frame 1/1: the camera did not take binning 2 x 2 (code 1)"),
    (["info", "--camera", "5"], 2, "no camera with id 5 is attached (or it is in use by another program); "
     "'list' shows the ids; the driver offers 10017, 10042, 20005, 30003"),
    (["cool", "--target", "-100"], 2, "--target: temperature -100 C is out of range: give -80 to 40 C"),
    (["cool"], 2, "--target is required"),
    (["cool", "--speed", "1000", "--target", "-30", "--limit", "600"], 1,
     "the sensor did not reach -30.0 °C within 600 s: it stands at "),
    (["session", "--filters", "1,x"], 2, "filter list '1,x' is not valid: give numbers from 1 to 16, "
     "separated by commas"),
    (["session", "--binnings", "0,16"], 2, "binning list '0,16' is not valid: give numbers from 0 to 15, "
     "separated by commas"),
    (["session", "--speed", "1000", "--filters", "1,6", "--out", "{work}/args"], 2,
     "filter 6 is not in the wheel: this camera has positions 1 to 5"),
    (["--speed", "0", "info"], 2, "--speed: speed 0 is out of range: give 0.01 to 100000 (1 = real time)"),
    (["--read-mode", "fast", "info"], 2, "--read-mode: fast not in {low-noise,standard}"),
    (["preview"], 2, "--png is required"),
    (["preview", "--png", "{work}/x.png", "--from", "{work}/none.fits"], 1, "cannot read {work}/none.fits: "),
    ([], 2, "A subcommand is required"),
]


def case_arguments(opts):
    work = fresh(os.path.join(opts.work, "arguments"))
    for args, code, message in ARGUMENT_CASES:
        args = [a.replace("{work}", work) for a in args]
        result = run(args, opts.host, code)
        first = result.stderr.splitlines()[0] if result.stderr else ""
        wanted = "r6odi-capture: " + message.replace("{work}", work)
        # A message that ends in a blank is followed by a reason or a value.
        matches = first.startswith(wanted) if wanted.endswith(" ") else first == wanted
        expect(matches, f"{' '.join(args)}:\n  got  {first}\n  want {wanted}")
    # An existing file is not overwritten unless asked.
    folder = os.path.join(work, "twice")
    run(["expose", "--speed", "1000", "--out", folder], opts.host, 0)
    result = run(["expose", "--speed", "1000", "--out", folder], opts.host, 2)
    expect(f"'{folder}/light_1x1_001.fits' exists already" in result.stderr, result.stderr)
    run(["expose", "--speed", "1000", "--out", folder, "--overwrite"], opts.host, 0)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--host", required=True)
    parser.add_argument("--pattern")
    parser.add_argument("--work", required=True)
    parser.add_argument("case", choices=["pattern", "session", "unplug", "disk-full", "arguments"])
    opts = parser.parse_args()
    os.makedirs(opts.work, exist_ok=True)
    {"pattern": case_pattern, "session": case_session, "unplug": case_unplug, "disk-full": case_disk_full,
     "arguments": case_arguments}[opts.case](opts)
    print(f"capture {opts.case}: passed")


if __name__ == "__main__":
    main()

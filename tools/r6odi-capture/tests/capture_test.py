#!/usr/bin/env python3
"""Runs the capture host as a user would and checks what it leaves on disk.

Every FITS file written passes fitsverify and is read back with astropy,
a reader that shares nothing with the host's writer.

    capture_test.py --host r6odi-capture --pattern fits_pattern --work DIR CASE
"""
import argparse
import datetime
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
        if len(fields) == 9 and re.search(r"\.fits(\.fz)?$", fields[0]):
            rows[fields[0]] = fields
    return rows


IMAGETYP = {"light": "Light Frame", "dark": "Dark Frame", "bias": "Bias Frame", "flat": "Flat Frame"}


def check_frame_against_row(path, row, seconds, target, tolerance=0.5):
    name, kind, time, filt, binning, temp, mean, low, high = row
    verify(path)
    with fits.open(path) as hdus:
        hdu = hdus[1] if path.endswith(".fz") else hdus[0]
        header = hdu.header
        data = hdu.data
        # astropy applies (and hides) a compressed image's scaling.
        expect(path.endswith(".fz") or (header["BITPIX"] == 16 and header["BZERO"] == 32768 and header["BSCALE"] == 1),
               f"{name}: not unsigned 16-bit")
        expect(data.dtype == numpy.uint16, f"{name}: astropy reads {data.dtype}")
        expect(header["ROWORDER"] == "BOTTOM-UP", f"{name}: ROWORDER {header['ROWORDER']}")
        expect(header["IMAGETYP"] == IMAGETYP[kind], f"{name}: IMAGETYP")
        if seconds is not None:
            expect(abs(header["EXPTIME"] - seconds) < 1e-9 and float(time) == seconds, f"{name}: EXPTIME")
        expect(("DARKTIME" in header) == (kind in ("dark", "bias")), f"{name}: DARKTIME")
        bx, by = (int(v) for v in binning.split("x"))
        expect((header["XBINNING"], header["YBINNING"]) == (bx, by), f"{name}: binning")
        expect((header["NAXIS1"], header["NAXIS2"]) == (1392 // bx, 1040 // by), f"{name}: size")
        expect((header["XPIXSZ"], header["YPIXSZ"]) == (6.45 * bx, 6.45 * by), f"{name}: pixel size")
        expect(header.get("FILTER", "-") == filt, f"{name}: FILTER {header.get('FILTER')} against {filt}")
        # Cooled before the first frame and kept there to its end.
        for key in ("CCD-TEMP", "CCDTEND"):
            expect(abs(header[key] - target) <= tolerance, f"{name}: {key} {header[key]}, target {target}")
        expect(abs(header["CCD-TEMP"] - float(temp)) < 0.006, f"{name}: CCD-TEMP against the table")
        expect(header["SET-TEMP"] == target, f"{name}: SET-TEMP")
        expect(header["INSTRUME"] == "KX-814 Mono", f"{name}: INSTRUME")
        expect(header["READMODE"] == "Low Noise" and header["WINHEAT"] is False, f"{name}: setup")
        expect(header["SWCREATE"].startswith("r6odi-capture "), f"{name}: SWCREATE")
        expect((header["XORGSUBF"], header["YORGSUBF"]) == (0, 0), f"{name}: origin")
        expect(re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}", header["DATE-OBS"]), f"{name}: DATE-OBS")
        # Written after the exposure ended, on the same clock.
        expect(header["DATE"] >= header["DATE-OBS"], f"{name}: DATE {header['DATE']} before DATE-OBS")
        # The host's statistics of its own buffer against the pixels as
        # astropy reads them.
        expect(abs(data.mean(dtype=numpy.float64) - float(mean)) <= 0.05, f"{name}: mean {data.mean()} vs {mean}")
        expect((int(data.min()), int(data.max())) == (int(low), int(high)), f"{name}: min/max")
        return header["DATE-OBS"], header["EXPTIME"], kind, int(high), float(numpy.median(data))


def seconds_between(earlier, later):
    return (datetime.datetime.fromisoformat(later) - datetime.datetime.fromisoformat(earlier)).total_seconds()


def case_pattern(opts):
    folder = fresh(os.path.join(opts.work, "pattern"))
    path = os.path.join(folder, "pattern.fits")
    subprocess.run([opts.pattern, path], check=True)
    verify(path)
    with fits.open(path) as hdus:
        header = hdus[0].header
        data = hdus[0].data
    # Tile-compressed, the same pixels and keywords come back.
    subprocess.run([opts.pattern, path + ".fz", "--rice"], check=True)
    verify(path + ".fz")
    with fits.open(path + ".fz") as hdus:
        expect(isinstance(hdus[1], fits.CompImageHDU) and hdus[1]._header["ZCMPTYPE"] == "RICE_1",
               "not Rice-compressed")
        expect(numpy.array_equal(hdus[1].data, data), "compressed pixels differ from the uncompressed ones")
        expect(hdus[1].header["YORGSUBF"] == header["YORGSUBF"], "compressed header differs")
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
              "FILTER": "OIII", "INSTRUME": "KX-694 Cooled", "XORGSUBF": 12,
              # 300 rows, 203 of them from row 34 down: 63 lie below.
              "YORGSUBF": 63}
    for key, value in wanted.items():
        expect(header.get(key) == value, f"{key}: {header.get(key)!r}, expected {value!r}")


def case_session(opts):
    folder = fresh(os.path.join(opts.work, "session"))
    result = run(["session", "--speed", "300", "--time", "20", "--plain", "--out", folder], opts.host, 0)
    expect("\r" not in result.stdout, "plain output redraws lines")
    expect(re.search(r"^Cooling: CCD .* set -10\.0 °C .*cooler", result.stdout, re.M), "no cooling line")
    expect(re.search(r"^Settling: CCD .* steady 0:\d\d of 1:00$", result.stdout, re.M), "no settling line")
    expect(re.search(r"^Cooled: CCD", result.stdout, re.M), "no end of cooling")
    expected = []
    for kind, filters in (("bias", [""]), ("dark", [""]), ("flat", ["L_", "R_", "G_"]), ("light", ["L_", "R_", "G_"])):
        for filt in filters:
            for binning in ("1x1", "2x2"):
                for _ in range(2):
                    expected.append(f"{kind}_{filt}{binning}_{len(expected) + 1:03d}.fits")
    expect(files_in(folder) == sorted(expected + ["session.plan"]), f"files: {files_in(folder)}")
    rows = summary_rows(result.stdout)
    expect(sorted(rows) == sorted(expected), f"summary rows: {sorted(rows)}")
    starts = []
    for name in expected:
        kind = name.split("_")[0]
        seconds = {"bias": 0.0, "dark": 20.0, "light": 20.0}.get(kind)
        date, exptime, kind, high, median = check_frame_against_row(os.path.join(folder, name), rows[name], seconds,
                                                                    -10.0)
        starts.append((date, exptime))
        # Stars saturate somewhere in every light frame; a dark has none; a
        # flat's median lies near half of full scale.
        if kind == "light":
            expect(high > 20000, f"{name}: maximum {high}")
        elif kind == "flat":
            expect(abs(median - 32768) < 8000, f"{name}: median {median}")
        else:
            expect(high < 5000, f"{name}: maximum {high}")
    # Each frame starts after the one before it has ended.
    for (before, length), (after, _) in zip(starts, starts[1:]):
        expect(seconds_between(before, after) >= length, f"DATE-OBS {after} within the frame of {before}")
    # Processing programs sort the set by its IMAGETYP.
    from ccdproc import ImageFileCollection
    collection = ImageFileCollection(folder, glob_include="*.fits")
    for kind, count in (("Bias Frame", 4), ("Dark Frame", 4), ("Flat Frame", 12), ("Light Frame", 12)):
        found = collection.files_filtered(imagetyp=kind)
        expect(len(found) == count, f"{kind}: {len(found)} files")

    # The plan the session wrote is a night that can be taken again; a
    # shorter one, compressed, here.
    with open(os.path.join(folder, "session.plan")) as plan:
        text = plan.read()
    expect("\nflat 2 auto 1 0\n" in text and "\nlight 2 20 3 1\n" in text, text)
    short = os.path.join(opts.work, "short.plan")
    with open(short, "w") as plan:
        plan.write(text.split("# kind")[0] + "bias 1 0 - 1\ndark 1 5 - 1\nflat 1 auto 4 1\nlight 1 5 4 1\n")
    again = fresh(os.path.join(opts.work, "session-again"))
    result = run(["--compress", "rice", "session", "--speed", "300", "--plain", "--plan", short, "--out", again],
                 opts.host, 0)
    names = ["bias_2x2_001.fits.fz", "dark_2x2_002.fits.fz", "flat_B_2x2_003.fits.fz", "light_B_2x2_004.fits.fz"]
    expect(files_in(again) == names + ["session.plan"], f"files: {files_in(again)}")
    rows = summary_rows(result.stdout)
    for name in names:
        check_frame_against_row(os.path.join(again, name), rows[name], None, -10.0)


def case_unplug(opts):
    folder = fresh(os.path.join(opts.work, "unplug"))
    # Long enough for the host to see the camera go halfway through, also
    # in the slower sanitizer build.
    common = ["session", "--speed", "1000", "--time", "60", "--biases", "0", "--darks", "1", "--flats", "0",
              "--lights", "1", "--filters", "2",
              "--binnings", "0", "--plain", "--out", folder, "--simulate-unplug", "2"]
    result = run(common + ["--unplug-seconds", "30"], opts.host, 0)
    for line in ("simulation: camera 10017 unplugged",
                 "Camera disconnected during frame 2/2: waiting up to 600 s for it to come back",
                 "simulation: camera 10017 plugged in again",
                 "Frame 2/2: wrote light_R_1x1_002.fits"):
        expect(line in result.stdout, f"missing: {line}\n{result.stdout}")
    expect(re.search(r"^Camera back after [0-9.]+ s: retaking frame 2/2$", result.stdout, re.M), result.stdout)
    expect(files_in(folder) == ["dark_1x1_001.fits", "light_R_1x1_002.fits", "session.plan"],
           f"files: {files_in(folder)}")
    rows = summary_rows(result.stdout)
    for name in files_in(folder)[:2]:
        check_frame_against_row(os.path.join(folder, name), rows[name], 60.0, -10.0)

    # A camera that stays away: the host gives up, and the frame it was
    # taking leaves nothing behind.
    folder = fresh(os.path.join(opts.work, "unplug-lost"))
    common[common.index("--out") + 1] = folder
    result = run(common + ["--unplug-seconds", "300", "--reconnect-wait", "60"], opts.host, 1)
    expect(result.stderr == "r6odi-capture: the camera did not come back within 60 s\n", result.stderr)
    expect(files_in(folder) == ["dark_1x1_001.fits", "session.plan"], f"files: {files_in(folder)}")


def case_disk_full(opts):
    folder = fresh(os.path.join(opts.work, "full"))

    def small_disk():
        # Writes beyond 1 MB fail as on a full disk (the host ignores SIGXFSZ).
        resource.setrlimit(resource.RLIMIT_FSIZE, (1 << 20, 1 << 20))

    result = run(["expose", "--speed", "1000", "--time", "2", "--out", folder], opts.host, 1, small_disk)
    expect(result.stderr.startswith("r6odi-capture: frame 1/1 lost: cannot write " +
                                    os.path.join(folder, "light_1x1_001.fits")), result.stderr)
    expect(files_in(folder) == [], f"left behind: {files_in(folder)}")

    # In a session the frames before the lost one stay whole: a 2 x 2 bias
    # fits within the limit, a 1 x 1 one does not.
    folder = fresh(os.path.join(opts.work, "full-session"))
    result = run(["session", "--speed", "1000", "--binnings", "1,0", "--biases", "1", "--darks", "0", "--flats", "0",
                  "--lights", "0", "--plain", "--out", folder], opts.host, 1, small_disk)
    wanted = (f"r6odi-capture: frame 2/2 lost: cannot write {folder}/bias_1x1_002.fits: cannot write "
              f"{folder}/bias_1x1_002.fits.part: File too large; the 1 frame(s) before it are whole in {folder}\n")
    expect(result.stderr == wanted, result.stderr)
    expect(files_in(folder) == ["bias_2x2_001.fits", "session.plan"], f"files: {files_in(folder)}")
    verify(os.path.join(folder, "bias_2x2_001.fits"))


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
    (["expose", "--bias", "--time", "5"], 2, "--time excludes --bias"),
    (["session", "--plan", "{work}/none.plan", "--darks", "1"], 2, "--darks excludes --plan"),
    (["session", "--plan", "{work}/none.plan", "--out", "{work}/no-plan"], 2,
     "cannot read plan file '{work}/none.plan'"),
    (["session", "--plan", "{work}/bad.plan", "--out", "{work}/no-plan"], 2,
     "plan file '{work}/bad.plan' line 2: a bias has no exposure time: give 0"),
    (["--compress", "zip", "expose"], 2, "--compress: zip not in {none,rice}"),
    (["--pixel-size", "0,5", "expose", "--out", "{work}/no-pixels"], 2, "pixel size '0,5' is not valid: give the "
     "unbinned size in micrometres, 0.5 to 100, as one number or width,height"),
    (["flat", "--flat-level", "70000"], 2, "--flat-level: flat level 70000 is out of range: give 1000 to 60000 ADU"),
    (["session", "--speed", "1000", "--settle", "0", "--target", "-30", "--cool-timeout", "300", "--out",
      "{work}/too-cold"], 1, "the sensor did not reach -30.0 °C within 300 s: it stands at "),
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
    with open(os.path.join(work, "bad.plan"), "w") as plan:
        plan.write("target -5\nbias 1 2 - 0\n")
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
    # No folder is made for a run whose arguments were refused, also those
    # checked against the camera.
    for name in ("args", "no-plan", "no-pixels"):
        expect(not os.path.exists(os.path.join(work, name)), f"{name} was created")

    # A camera that turns a binning factor down: the file says what it took.
    folder = os.path.join(work, "vertical")
    for code, asked in ((5, "1 x 3"), (1, "2 x 2")):
        result = run(["expose", "--speed", "1000", "--camera", "30003", "--bin", str(code), "--out", folder,
                      "--overwrite"], opts.host, 0)
        expect(f"Frame 1/1: the camera took binning 1 x 1, not {asked} (code {code}); the file says what it took"
               in result.stdout, result.stdout)
        with fits.open(os.path.join(folder, "light_1x1_001.fits")) as hdus:
            header = hdus[0].header
            expect((header["XBINNING"], header["YBINNING"], header["NAXIS2"]) == (1, 1, 2672), repr(header))
        expect(files_in(folder) == ["light_1x1_001.fits"], files_in(folder))


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

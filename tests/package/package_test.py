#!/usr/bin/env python3
"""The package for Windows users, as a user gets it: packs the build tree
with scripts/package.sh, unpacks the zip, checks what it holds (the driver
stripped, version resources, the export and import check) and runs the
packaged capture host under Wine with the packaged driver beside it.

    package_test.py --build DIR --version V --windres PATH --objdump PATH -- RUNNER...
"""
import argparse
import os
import re
import shutil
import struct
import subprocess
import sys
import zipfile

import numpy
from astropy.io import fits

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
PROGRAMS = {"d_r6odi.dll": "r6odi driver for cooled USB CCD cameras",
            "r6odi-capture.exe": "r6odi capture host: cooling, exposures and FITS files from the command line"}


def fail(message):
    sys.exit(f"package: {message}")


def run(command, code=0):
    result = subprocess.run(command, capture_output=True, text=True, timeout=600)
    if result.returncode != code:
        fail(f"{' '.join(command)}: exit {result.returncode}, expected {code}\n{result.stdout}{result.stderr}")
    return result.stdout


def stripped(objdump, path):
    """No symbols and no debugging sections."""
    return "\nno symbols" in run([objdump, "-t", path]) and ".debug" not in run([objdump, "-h", path])


def check_version(windres, path, version):
    text = run([windres, "-i", path, "-O", "rc"])
    values = dict(re.findall(r'VALUE "(\w+)", "([^"]*)"', text))
    numbers = version.replace(".", ", ") + ", 0"
    wanted = {"ProductName": "r6odi camera driver", "ProductVersion": version, "FileVersion": version,
              "FileDescription": PROGRAMS[os.path.basename(path)], "OriginalFilename": os.path.basename(path)}
    for key, value in wanted.items():
        if values.get(key) != value:
            fail(f"{path}: {key} {values.get(key)!r}, want {value!r}")
    if f"FILEVERSION {numbers}" not in text:
        fail(f"{path}: no FILEVERSION {numbers}:\n{text}")


def main():
    parser = argparse.ArgumentParser()
    for option in ("--build", "--version", "--windres", "--objdump"):
        parser.add_argument(option, required=True)
    parser.add_argument("runner", nargs="+")
    opts = parser.parse_args()
    work = os.path.join(opts.build, "package-test")
    shutil.rmtree(work, ignore_errors=True)
    run([os.path.join(ROOT, "scripts", "package.sh"), "--from", opts.build, "--out", work])

    name = f"r6odi-{opts.version}-win32"
    with zipfile.ZipFile(os.path.join(work, name + ".zip")) as package:
        files = sorted(n for n in package.namelist() if not n.endswith("/"))
        package.extractall(work)
    top = [n for n in files if n.count("/") == 1]
    if top != sorted(f"{name}/{f}" for f in ["README.md", "d_r6odi.sample.ini", *PROGRAMS]):
        fail(f"the package's top folder holds {top}")
    pages = sorted(f"{name}/docs/{f}" for f in os.listdir(os.path.join(ROOT, "docs")) if f.endswith((".md", ".png")))
    if not pages or [n for n in files if n.startswith(f"{name}/docs/")] != pages:
        fail(f"the package's docs are not the README's pages {pages}")

    folder = os.path.join(work, name)
    for program in PROGRAMS:
        path = os.path.join(folder, program)
        if not stripped(opts.objdump, path):
            fail(f"{program} is not stripped")
        check_version(opts.windres, path, opts.version)
    run([sys.executable, os.path.join(ROOT, "tools", "pecheck", "pecheck.py"), "--objdump", opts.objdump,
         "--library", "d_r6odi.dll", "--symbols", os.path.join(opts.build, "d_r6odi.dll"),
         os.path.join(folder, "d_r6odi.dll")])

    # The packaged host finds the packaged driver beside it, binds its
    # exports and, with no camera under Wine, says so.
    host = os.path.join(folder, "r6odi-capture.exe")
    output = run(opts.runner + [host, "info"], code=1)
    if "r6odi-capture: no camera found: none is attached" not in output:
        fail(f"info with the packaged driver:\n{output}")
    # Its FITS reader and PNG writer, on a frame that astropy wrote.
    frame = os.path.join(work, "frame.fits")
    fits.PrimaryHDU(numpy.arange(64 * 48, dtype=numpy.uint16).reshape(48, 64) * 20).writeto(frame)
    picture = os.path.join(work, "frame.png")
    output = run(opts.runner + [host, "preview", "--from", frame, "--png", picture])
    with open(picture, "rb") as f:
        head = f.read(24)
    if f"Wrote {picture}: 64 x 48" not in output or head[:8] != b"\x89PNG\r\n\x1a\n" or \
            struct.unpack(">II", head[16:24]) != (64, 48):
        fail(f"preview with the packaged host:\n{output}")
    print("package: passed")


if __name__ == "__main__":
    main()

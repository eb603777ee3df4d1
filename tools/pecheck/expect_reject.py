#!/usr/bin/env python3
"""Runs pecheck on a DLL that must be rejected, and checks why.

    expect_reject.py REGEX COMMAND [ARGUMENTS...]

COMMAND runs pecheck. Passes when pecheck rejects the DLL (exit status 1,
not 0 and not the 2 of a DLL it could not read, with its closing REJECTED
line) and one of its error lines matches REGEX.
"""

import re
import subprocess
import sys


def main(argv):
    if len(argv) < 2:
        print(__doc__)
        return 2
    pattern = re.compile(argv[0])
    result = subprocess.run(argv[1:], stdout=subprocess.PIPE,
                            stderr=subprocess.STDOUT, universal_newlines=True)
    sys.stdout.write(result.stdout)
    if result.returncode != 1:
        print("expect_reject: pecheck exited with %d, want 1 (rejected)" % result.returncode)
        return 1
    if not any(line.endswith(")") and ": REJECTED (" in line for line in result.stdout.splitlines()):
        print("expect_reject: pecheck did not report a rejection")
        return 1
    errors = [line for line in result.stdout.splitlines() if ": error: " in line]
    if not any(pattern.search(line) for line in errors):
        print("expect_reject: no error line matches %r" % argv[0])
        return 1
    print("expect_reject: rejected as expected")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

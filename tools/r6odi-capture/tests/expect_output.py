#!/usr/bin/env python3
"""Runs a command and checks its exit code and that one line of its output
reads exactly as given (under wine-run.sh both streams arrive as one):
expect_output.py --code N --line TEXT -- COMMAND..."""
import argparse
import subprocess
import sys

parser = argparse.ArgumentParser()
parser.add_argument("--code", type=int, required=True)
parser.add_argument("--line", required=True)
parser.add_argument("command", nargs=argparse.REMAINDER)
opts = parser.parse_args()
command = opts.command[1:] if opts.command[:1] == ["--"] else opts.command
result = subprocess.run(command, capture_output=True, text=True, timeout=110)
lines = [line.rstrip("\r") for line in (result.stdout + result.stderr).splitlines()]
if result.returncode != opts.code or opts.line not in lines:
    sys.exit(f"exit {result.returncode} (want {opts.code}); want the line:\n  {opts.line}\n"
             f"output:\n{result.stdout}{result.stderr}")
print("passed")

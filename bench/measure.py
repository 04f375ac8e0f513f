#!/usr/bin/python3
"""Runs a command and, when it succeeds, appends its wall and CPU time to a file.

Usage: measure.py OUT COMMAND [ARG...]
Appends "WALL_S CPU_S" to OUT: the seconds from the start to the end of the
command, and the user and system CPU seconds of the command and of every
process it waited for, as wait4 reports them. Ends with the command's status.
"""
import os
import subprocess
import sys
import time


def main():
    out, command = sys.argv[1], sys.argv[2:]
    start = time.monotonic()
    child = subprocess.Popen(command)
    _, status, usage = os.wait4(child.pid, 0)
    wall = time.monotonic() - start
    code = os.waitstatus_to_exitcode(status)
    if code == 0:
        with open(out, "a", encoding="ascii") as figures:
            figures.write(f"{wall:.4f} {usage.ru_utime + usage.ru_stime:.4f}\n")
    sys.exit(code)


if __name__ == "__main__":
    main()

#!/usr/bin/python3
"""Runs one job of the program until its first file starts, then ends it.

Usage: first_transfer.py PROGRAM TIME_OUT
Prints the seconds from the start to the program's first status line (the
start of its first file), or -1 when it ended without one. The program runs
under /usr/bin/time, which writes its peak memory (KiB) to TIME_OUT.
"""
import os
import signal
import subprocess
import sys
import time


def main():
    program, time_out = sys.argv[1], sys.argv[2]
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    start = time.monotonic()
    run = subprocess.Popen(["/usr/bin/time", "-f", "%M", "-o", time_out, program],
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=env,
                           start_new_session=True)
    line = run.stdout.readline()
    first = time.monotonic() - start if line else -1
    # The job would go on through every file: its memory is known by now.
    time.sleep(1)
    program_pid = subprocess.run(["pgrep", "-P", str(run.pid)], capture_output=True,
                                 text=True).stdout.split()
    for pid in program_pid:
        os.kill(int(pid), signal.SIGKILL)
    run.wait()
    print("%.2f" % first)


if __name__ == "__main__":
    main()

#!/usr/bin/python3
"""Runs whole jobs of the built program against the test FTP server with faults
injected at random but reproducible points, and checks after every run that no
file was lost, spoiled or left half-done.

Run k of a campaign takes its key from the master key and k alone, so
`--key S --first K --runs 1` makes that one run again. Ends with status 0
when every run kept the invariant.
"""

import argparse
import collections
import concurrent.futures
import importlib.util
import os
import shutil
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

from invariant import check_run, kill_time  # noqa: E402
from job_plan import make_plan, run_key  # noqa: E402
from job_runner import REMOTE_DIR, run_job  # noqa: E402
from server_forks import ServerForks  # noqa: E402


# Runs mostly sleep in the program's fixed waits (a run of about 13 s takes
# a quarter of a second of processor time, most of it the program's start),
# so many share a processor; beyond this the campaign ends no sooner, as the
# processors are busy, and its timed work only waits longer for one.
WORKERS_PER_PROCESSOR = 30


def parse_args():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--runs", type=int, default=300)
    parser.add_argument("--key", default=os.environ.get("KESTRIN_CAMPAIGN_KEY", "1"),
                        help="master key (default: $KESTRIN_CAMPAIGN_KEY or 1)")
    parser.add_argument("--first", type=int, default=0, help="index of the first run")
    parser.add_argument("--workers", type=int,
                        default=WORKERS_PER_PROCESSOR * len(os.sched_getaffinity(0)),
                        help="runs at a time (default: %d per usable processor)" %
                        WORKERS_PER_PROCESSOR)
    parser.add_argument("--kestrin", required=True)
    parser.add_argument("--server", required=True)
    parser.add_argument("--keep", action="store_true",
                        help="keep the directories of failed runs")
    return parser.parse_args()


def longest_first(key, first, runs):
    """The runs in the order they start: those that may take longest first, so
    that none of them starts last and holds up the end of the campaign alone."""
    bounds = {index: kill_time(make_plan(run_key(key, index)))
              for index in range(first, first + runs)}
    return sorted(bounds, key=lambda index: -bounds[index])


def one_run(args, servers, index, temp_root):
    plan = make_plan(run_key(args.key, index))
    root = temp_root / ("run-%d" % index)
    outcome = run_job(plan, args.kestrin, servers, root, kill_time(plan))
    verdict, fired = check_run(plan, outcome)
    if not verdict.violations or not args.keep:
        shutil.rmtree(root, ignore_errors=True)
    return index, plan, outcome, verdict, fired


def report_failure(args, index, plan, outcome, verdict, temp_root):
    print("FAILED run %d: %s" % (index, plan.describe()))
    print("  again: --key %s --first %d --runs 1" % (args.key, index))
    for violation in verdict.violations:
        print("  - " + violation)
    print("  exit %s after %.1f s; log: %r" % (outcome.status, outcome.elapsed, outcome.log))
    print("  server received: %s" % outcome.commands)
    print("  program said: %r %r" % (outcome.stdout[-2000:], outcome.stderr[-2000:]))
    if args.keep:
        print("  kept in %s" % (temp_root / ("run-%d" % index)))
    sys.stdout.flush()


class Tally:
    """The campaign's figures, gathered run by run."""

    def __init__(self):
        self.armed, self.spoiled = collections.Counter(), collections.Counter()
        self.statuses, self.checks, self.failed, self.kept = collections.Counter(), 0, [], []
        self.longest, self.margin = 0.0, float("inf")
        self.listings_spoiled = self.listing_failures = 0
        self.changed, self.undeleted = 0, 0

    def add(self, index, plan, outcome, verdict, fired):
        self.checks += verdict.checks
        self.statuses[outcome.status] += 1
        self.longest = max(self.longest, outcome.elapsed)
        self.margin = min(self.margin, verdict.margin)
        for fault, count in zip(plan.faults, fired):
            kind = fault.get("kind", fault["fault"])
            self.armed[kind] += 1
            self.spoiled[kind] += count
            self.listings_spoiled += count if fault.get("cmd") == plan.listing else 0
        self.listing_failures += outcome.log.count(" /%s/*." % REMOTE_DIR)
        self.kept += [index] * len(verdict.notices)
        self.changed += len(outcome.changes)
        self.undeleted += verdict.undeleted
        if verdict.violations:
            self.failed.append(index)

    def print(self, runs, wall_time):
        print("runs: %d, failed: %d %s" % (runs, len(self.failed), sorted(self.failed)))
        print("faults armed: %d, commands spoiled: %d" %
              (sum(self.armed.values()), sum(self.spoiled.values())))
        for kind in sorted(self.armed):
            print("  %-18s armed %4d, spoiled %4d" % (kind, self.armed[kind], self.spoiled[kind]))
        print("listings spoiled: %d, lines failed for good by their listing: %d" %
              (self.listings_spoiled, self.listing_failures))
        print("invariant checks: %d" % self.checks)
        print("partial uploads kept by the server after a spoiled clean-up: %d %s" %
              (len(self.kept), sorted(self.kept)))
        print("sources changed during their move: %d; moved files whose source could not be "
              "deleted, each reported: %d" % (self.changed, self.undeleted))
        print("exit statuses: %s" % dict(sorted(self.statuses.items(), key=str)))
        print("longest run: %.1f s, least time to spare: %.1f s, wall time: %.1f s" %
              (self.longest, self.margin, wall_time))


def main():
    args = parse_args()
    if importlib.util.find_spec("pyftpdlib") is None:
        sys.exit("%s cannot import pyftpdlib, which the test FTP server needs (Debian package "
                 "python3-pyftpdlib); run the campaign with a python3 that has it" %
                 sys.executable)
    started = time.monotonic()
    tally = Tally()
    print("master key %s, runs %d from %d, %d at a time" %
          (args.key, args.runs, args.first, args.workers))
    sys.stdout.flush()
    temp_root = Path(tempfile.mkdtemp(prefix="kestrin-campaign-"))
    servers = ServerForks(args.server)
    with concurrent.futures.ThreadPoolExecutor(max_workers=args.workers) as pool:
        futures = [pool.submit(one_run, args, servers, index, temp_root)
                   for index in longest_first(args.key, args.first, args.runs)]
        for future in concurrent.futures.as_completed(futures):
            index, plan, outcome, verdict, fired = future.result()
            tally.add(index, plan, outcome, verdict, fired)
            for notice in verdict.notices:
                print("NOTICE run %d (--key %s --first %d --runs 1): %s" %
                      (index, args.key, index, notice))
            if verdict.violations:
                report_failure(args, index, plan, outcome, verdict, temp_root)
    servers.close()
    if not args.keep or not tally.failed:
        shutil.rmtree(temp_root, ignore_errors=True)
    tally.print(args.runs, time.monotonic() - started)
    return 1 if tally.failed else 0


if __name__ == "__main__":
    sys.exit(main())

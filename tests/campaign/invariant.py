"""What must hold after every run, however the faults fell: no file lost or
spoiled, no source deleted unless its last content was moved, nothing
half-done left behind, one log record per file handled, an exit status that
agrees with the log and with the deletes that failed, nothing on standard
error after a good run, and an end within the time the waits and timeouts
allow."""

import re
from dataclasses import dataclass, field

from job_plan import ATTEMPTS
from job_runner import REMOTE_DIR

EXIT_OK, EXIT_FILE_FAILED, EXIT_NO_CONNECTION = 0, 1, 2
RECORD_END = "\r\n"
RECORD = re.compile(r"^(NAPAKA)?\d\d/\d\d/\d\d \d\d:\d\d:\d\d (.*)$")
ARROW = "----->"
TEMPORARY_NAME = re.compile(r"^\..*\.kestrin-......$")

# The program's own waits and timeouts, in seconds.
END_WAIT = 5.0
FAILURE_WAIT = 5.0
BEFORE_FILE = 0.1
UPLOAD_CLOSE_WAIT = 1.0
RECONNECT_WAITS = 2.0
REPLY_TIMEOUT = 60.0
# Start-up and the pace of the machine and of the server, beyond the waits:
# a run on an idle machine takes well under a second of it, so a busy one
# has ample room. With the transfer allowance below (under 10 s for the
# sizes a plan draws) it stays below one reply timeout, so that a reply
# timeout no fault called for (a hang) still breaks the bound.
PACE_MARGIN = 40.0
SLOWEST_BYTES_PER_SECOND = 2e6
# Commands each kind of fault lies in wait for when it names none.
IMPLIED_CMD = {"refuse_login": "PASS", "short_retr": "RETR", "refuse_after_stor": "STOR",
               "short_stor": "STOR", "hot_folder": "STOR"}
# What the program says when a moved file's source could not be deleted.
DELETE_FAILED = "could not delete"


def fired(fault, commands):
    """How many of the server's received commands the fault spoiled."""
    verb = IMPLIED_CMD.get(fault["fault"]) or fault["cmd"]
    seen = sum(1 for line in commands if line.split(" ", 1)[0].upper() == verb)
    return max(0, min(seen - fault.get("after", 0), fault["times"]))


@dataclass
class Record:
    failed: bool
    source: str
    destination: str  # "" for a connection failure


@dataclass
class Verdict:
    checks: int = 0
    margin: float = 0.0  # seconds the run stayed below its time bound
    # Partial uploads the server kept because injected faults refused the
    # client the commands that would have removed them: reported, not failed.
    notices: list = field(default_factory=list)
    violations: list = field(default_factory=list)
    undeleted: int = 0  # moved files whose source could not be deleted

    def expect(self, holds, what):
        self.checks += 1
        if not holds:
            self.violations.append(what)


def parse_log(log, verdict):
    records = []
    verdict.expect(log == "" or log.endswith(RECORD_END), "the log's last record has no CR LF")
    for text in filter(None, log.split(RECORD_END)):
        match = RECORD.match(text)
        verdict.expect(match is not None, "a log record of no known form: %r" % text)
        if not match:
            continue
        failed, rest = match.group(1) is not None, match.group(2)
        if ARROW not in rest:
            verdict.expect(failed, "a record without a destination that is no failure: %r" % text)
            records.append(Record(True, rest.split(" ", 1)[0], ""))
            continue
        source, after = rest.split(ARROW, 1)
        destination = after.split(" ", 1)[0] if failed else after
        records.append(Record(failed, source, destination))
    return records


def versions(data, path, plan, outcome):
    """The contents a source had: as planned, then after each change the server made."""
    change = next((fault["data"].encode() for fault in plan.faults
                   if fault["fault"] in ("change_source", "replace_source")), b"")
    count = outcome.changes.count(str(path))
    return [data + change * k for k in range(count + 1)]


class FileState:
    """One planned file: where it came from, where it should go, what both hold."""

    def __init__(self, line, name, data, plan, outcome):
        self.line, self.name = line, name
        local_path, remote_path = outcome.local_dir / name, outcome.remote_dir / name
        if outcome.taken_dir and not line.download:
            remote_path = outcome.taken_dir / name  # an upload's place once a hot folder took it
        remote_text = "/%s/%s" % (REMOTE_DIR, name)
        if line.download:
            self.source, self.destination = remote_path, local_path
            self.source_text, self.destination_text = remote_text, str(local_path)
        else:
            self.source, self.destination = local_path, remote_path
            self.source_text, self.destination_text = str(local_path), remote_text
        self.versions = versions(data, self.source, plan, outcome)
        self.data = self.versions[-1]  # what the source holds now, if it is there

    def source_whole(self):
        return self.source.is_file() and self.source.read_bytes() == self.data

    def destination_whole(self):
        """The destination holds one whole version of the source."""
        return self.destination.is_file() and self.destination.read_bytes() in self.versions

    def destination_last(self):
        return self.destination.is_file() and self.destination.read_bytes() == self.data


def check_final_name(state, cleanup_spoiled, verdict):
    """Nothing partial under a final name; a server left with one only when
    the faults refused the client its clean-up is reported apart."""
    partial = state.destination.exists() and not state.destination_whole()
    if partial and not state.line.download and cleanup_spoiled:
        verdict.notices.append("%s: the server kept a partial upload (%d of %d bytes)" % (
            state.name, state.destination.stat().st_size, len(state.data)))
    else:
        verdict.expect(not partial, "%s: a partial or wrong file under the final name %s" %
                       (state.name, state.destination))


def check_file(state, record, verdict):
    """Checks one file; true when it moved but its source could not be deleted."""
    name = state.name
    whole_source, whole_destination = state.source_whole(), state.destination_whole()
    verdict.expect(not state.source.exists() or whole_source, "%s: the source changed" % name)
    verdict.expect(whole_source or whole_destination, "%s: lost on both sides" % name)
    verdict.expect(whole_source or (record is not None and not record.failed),
                   "%s: the source is gone without a success record" % name)
    if record is None:
        verdict.expect(not state.destination.exists(), "%s: moved without a record" % name)
    elif record.failed:
        verdict.expect(whole_source, "%s: the source went with a failure record" % name)
    else:
        verdict.expect(whole_destination, "%s: a success record, but no whole destination" % name)
        if not state.line.delete_sources:
            verdict.expect(whole_source, "%s: no DEL, yet the source went" % name)
        elif not state.source.exists():
            verdict.expect(state.destination_last(),
                           "%s: the source went, but its last content did not arrive" % name)
        else:
            return True  # the program must say so, and fail the run
    return False


def listing_source(line):
    """The source of the failure record of a download line whose listing failed."""
    return "/%s/*.%s" % (REMOTE_DIR, line.extension)


def check_records(plan, records, by_source, states, outcome, undeleted, verdict):
    """One record per file, none for files never reached, and the right status."""
    sources = [record.source for record in records]
    verdict.expect(len(sources) == len(set(sources)), "more than one record for a file: %s" % sources)
    known = {state.source_text: state for state in states}
    listings = {listing_source(line) for line in plan.lines if line.download}
    for record in records:
        if record.source in listings:
            verdict.expect(record.failed and record.destination == "%s/" % outcome.local_dir,
                           "a listing's record that is no failure into the local directory: %s"
                           % record)
        elif record.destination:
            state = known.get(record.source)
            verdict.expect(state is not None and state.destination_text == record.destination,
                           "a record for no planned transfer: %s" % record)
    failures = [record for record in records if record.failed]
    verdict.expect(len(failures) <= 1, "more than one failure record")
    verdict.expect(not failures or records[-1] is failures[0], "records after a failure record")
    no_connection = any(not record.destination for record in records)
    expected_status = (EXIT_NO_CONNECTION if no_connection else
                       EXIT_FILE_FAILED if failures or undeleted else EXIT_OK)
    verdict.expect(outcome.stderr.count(DELETE_FAILED) == undeleted,
                   "%d sources stayed after their DEL, but standard error tells of %d" %
                   (undeleted, outcome.stderr.count(DELETE_FAILED)))
    verdict.expect(outcome.status != EXIT_OK or outcome.stderr == "",
                   "a good run wrote to standard error: %r" % outcome.stderr[-300:])
    verdict.expect(outcome.status == expected_status, "exit status %s, the log says %d" %
                   (outcome.status, expected_status))
    if no_connection:
        verdict.expect(len(records) == 1, "a connection failure among other records")
        return
    # Lines are taken in order: every line before the one that failed is done
    # to its end, none after it is started. A spoiled listing is retried and
    # fails its line like a file; it never passes for an empty directory.
    reached = True
    for line in plan.lines:
        handled = [by_source[state.source_text] for state in states
                   if state.line is line and state.source_text in by_source]
        listing_failed = line.download and listing_source(line) in by_source
        if not reached:
            verdict.expect(not handled and not listing_failed,
                           "line %s ran after a final failure" % line.setting())
        elif listing_failed:
            verdict.expect(not handled, "line %s moved files it could not list" % line.setting())
            reached = False
        elif any(record.failed for record in handled):
            reached = False
        else:
            verdict.expect(len(handled) == len(line.files),
                           "line %s left files undone: %d of %d handled" %
                           (line.setting(), len(handled), len(line.files)))


def time_bound(plan, gave_up, fired_counts):
    files = sum(len(line.files) for line in plan.lines)
    uploads = sum(len(line.files) for line in plan.lines if not line.download)
    spoiled = sum(fired_counts)
    # A spoiled command costs one attempt: its own, or, when it left the
    # session dead between transfers, the next one.
    retries = min(spoiled, (ATTEMPTS - 1) * files)
    hangs = sum(count for fault, count in zip(plan.faults, fired_counts) if fault["fault"] == "hang")
    size = sum(len(data) for line in plan.lines for data in line.files.values())
    return (END_WAIT + gave_up * FAILURE_WAIT + files * BEFORE_FILE + uploads * UPLOAD_CLOSE_WAIT
            + retries * (RECONNECT_WAITS + UPLOAD_CLOSE_WAIT) + hangs * REPLY_TIMEOUT
            + ATTEMPTS * size / SLOWEST_BYTES_PER_SECOND + PACE_MARGIN)


def kill_time(plan):
    """When a run still going is taken for hung and killed: a reply timeout
    past its bound with every fault firing as often as it may, so that the
    bound has already been broken and the campaign goes on to the next run."""
    return time_bound(plan, True, [fault["times"] for fault in plan.faults]) + REPLY_TIMEOUT


def least_time(records, by_source, states):
    """The waits every run sits through: the one before the end, and those of
    each file it handled."""
    uploaded = sum(1 for state in states if not state.line.download and
                   state.source_text in by_source and not by_source[state.source_text].failed)
    return END_WAIT + len(by_source) * BEFORE_FILE + uploaded * UPLOAD_CLOSE_WAIT


def check_time(plan, outcome, records, by_source, states, fired_counts, verdict):
    gave_up = any(record.failed and record.destination for record in records)
    bound = time_bound(plan, gave_up, fired_counts)
    verdict.margin = bound - outcome.elapsed
    least = least_time(records, by_source, states)
    verdict.expect(outcome.elapsed >= least, "ran %.1f s, less than the waits alone take (%.1f s)" %
                   (outcome.elapsed, least))
    verdict.expect(outcome.elapsed <= bound, "ran %.1f s, more than the bound of %.1f s" %
                   (outcome.elapsed, bound))


def check_run(plan, outcome):
    """The verdict on one run, and how many times each planned fault fired."""
    verdict = Verdict()
    fired_counts = [fired(fault, outcome.commands) for fault in plan.faults]
    records = parse_log(outcome.log, verdict)
    states = [FileState(line, name, data, plan, outcome)
              for line in plan.lines for name, data in line.files.items()]
    by_source = {record.source: record for record in records if record.destination}
    spoiled = {IMPLIED_CMD.get(fault["fault"]) or fault["cmd"]
               for fault, count in zip(plan.faults, fired_counts) if count}
    # The client removes a failed upload with DELE, over a fresh login when
    # the failure took the session down.
    cleanup_spoiled = bool(spoiled & {"DELE", "USER", "PASS"})
    undeleted = 0
    for state in states:
        check_final_name(state, cleanup_spoiled, verdict)
        undeleted += check_file(state, by_source.get(state.source_text), verdict)
    verdict.undeleted = undeleted
    check_records(plan, records, by_source, states, outcome, undeleted, verdict)
    leftovers = [path.name for path in outcome.local_dir.iterdir()
                 if TEMPORARY_NAME.match(path.name)]
    verdict.expect(not leftovers, "temporary download files left: %s" % leftovers)
    check_time(plan, outcome, records, by_source, states, fired_counts, verdict)
    return verdict, fired_counts

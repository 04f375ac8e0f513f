"""One run of the campaign drawn from its key: the job's lines and files, and the faults.

The same key always gives the same plan, so a failing run can be made again alone.
"""

import random
import string
from dataclasses import dataclass, field

MAX_LINES = 3
MAX_FILES_PER_LINE = 4
NAME_CHARS = string.ascii_letters + string.digits + "_-"
ERROR_CODES = (421, 425, 426, 450, 451, 500, 501, 530, 550, 553)
REPLY_TEXT = "Injected failure."
# The replies of a server without SIZE. Its completion reply alone is then
# believed, and a change shows only in MDTM, to the second: a plan never
# pairs them with an upload the server cuts short or a source that changes.
NO_SIZE_CODES = (500, 502)
# After a whole upload, "no such file" is a hot folder's answer, believed the same way.
TAKEN_CODE = 550
# The attempts each file has.
ATTEMPTS = 3
CHANGE_DATA = "changed while moving"
# Sizes at the edges of the client's 255-byte chunks and 256 KiB buffers.
EDGE_SIZES = (0, 1, 254, 255, 256, 510, 511, 765, 262143, 262144, 262145)
SMALL_LIMIT = 300 * 1024
LARGE_RANGE = (1024 * 1024, 2 * 1024 * 1024)

# Commands the client sends, by what they serve. Every one of them may be spoiled.
SESSION_COMMANDS = ("USER", "PASS", "PWD", "CWD", "TYPE", "QUIT")
DATA_SETUP_COMMANDS = ("EPSV", "PASV", "EPRT", "PORT")
UPLOAD_COMMANDS = ("STOR", "SIZE", "REST", "DELE")
DOWNLOAD_COMMANDS = ("FEAT", "SIZE", "MDTM", "REST", "RETR", "DELE")

# Relative weights of the fault kinds. A hang costs a whole reply timeout,
# so it stays rare; a refused first login ends the job before any file.
KIND_WEIGHTS = {
    "reply": 30,
    "close": 16,
    "drop_data": 20,
    "short_retr": 8,
    "refuse_after_stor": 8,
    "refuse_login": 4,
    "hang": 2,
    "refuse_dele": 6,
    "short_stor": 6,
    "change_source": 8,
    "replace_source": 6,
    "hot_folder": 4,
}
# The share of faults aimed at the listing of a download line, which must
# fail the line as a file would, never pass for an empty directory.
LISTING_FAULT_SHARE = 0.15
# Shares of servers without MLSD (listing with LIST), with a link to a
# directory beside the downloads, and with ACL marks (LIST) and a device
# entry (MLSD) in their listings.
WITHOUT_MLSD_SHARE, DIRECTORY_LINK_SHARE, ODD_LINES_SHARE = 0.3, 0.25, 0.2
LINKED_DIRECTORY = "linked"
# How many consecutive occurrences a fault spoils: three in a row can use
# up every attempt of one file.
TIMES_WEIGHTS = {1: 60, 2: 25, 3: 15}


@dataclass
class Line:
    download: bool
    delete_sources: bool
    extension: str
    files: dict = field(default_factory=dict)  # name -> contents

    def setting(self):
        text = "*." + self.extension + ("," + ("DOWN" if self.download else "UP"))
        return text + (",DEL" if self.delete_sources else "")


@dataclass
class Plan:
    key: str
    passive: bool
    lines: list
    faults: list
    listing: str = "MLSD"     # the command the server lists with
    directory_link: str = ""  # a link to a directory beside the downloads
    setup: list = field(default_factory=list)  # requests the server takes before the faults

    def describe(self):
        lines = "; ".join("%s (%s)" % (line.setting(), ", ".join(
            "%s:%d" % (name, len(data)) for name, data in line.files.items()))
            for line in self.lines)
        return "key %s, %s mode, %s, lines: %s, link: %r, set-up: %s, faults: %s" % (
            self.key, "passive" if self.passive else "active", self.listing, lines,
            self.directory_link, self.setup, self.faults)


def run_key(master_key, index):
    return "%s-%d" % (master_key, index)


def draw_size(rng):
    pick = rng.random()
    if pick < 0.25:
        return rng.choice(EDGE_SIZES)
    if pick < 0.35:
        return 255 * rng.randint(2, 40)
    if pick < 0.95:
        return rng.randint(0, SMALL_LIMIT)
    return rng.randint(*LARGE_RANGE)


def draw_name(rng, index, extension):
    stem = rng.choice(string.ascii_letters) + "".join(
        rng.choice(NAME_CHARS) for _ in range(rng.randint(0, 12)))
    return "%s%d.%s" % (stem, index, extension)


def draw_line(rng, number):
    download = rng.random() < 0.5
    line = Line(download, rng.random() < 0.5, ("d" if download else "u") + str(number))
    for index in range(rng.randint(1, MAX_FILES_PER_LINE)):
        line.files[draw_name(rng, index, line.extension)] = rng.randbytes(draw_size(rng))
    return line


def weighted(rng, weights):
    return rng.choices(list(weights), weights=list(weights.values()))[0]


def candidate_commands(lines, passive, listing):
    commands = list(SESSION_COMMANDS)
    commands += DATA_SETUP_COMMANDS[:2] if passive else DATA_SETUP_COMMANDS[2:]
    for line in lines:
        commands += DOWNLOAD_COMMANDS + (listing,) if line.download else UPLOAD_COMMANDS
    return sorted(set(commands))


def transfer_sizes(lines, download):
    return [len(data) for line in lines if line.download == download for data in line.files.values()]


def cut_point(rng, sizes):
    # Inside one of the files, so that the cut most often falls within the transfer it hits.
    size = rng.choice(sizes)
    return rng.randint(0, max(0, size - 1))


def occurrences_to_skip(fault, uploads, downloads):
    """At most this many earlier occurrences of the command go untouched."""
    cmd = fault.get("cmd")
    if fault["fault"] == "refuse_login":
        return 3
    if fault["fault"] in ("refuse_after_stor", "short_stor") or cmd == "STOR":
        return len(uploads)
    if fault["fault"] == "short_retr" or cmd in ("RETR", "SIZE"):
        return len(downloads)
    return len(uploads) + len(downloads)


def draw_listing_fault(rng, lines, listing):
    """A download line's listing refused, or its control connection dropped at it."""
    kind = rng.choice(("reply", "close"))
    fault = {"fault": kind, "cmd": listing}
    if kind == "reply":
        fault.update(code=rng.choice(ERROR_CODES), text=REPLY_TEXT)
    fault["after"] = rng.randint(0, sum(1 for line in lines if line.download))
    fault["times"] = weighted(rng, TIMES_WEIGHTS)
    return fault


def change_source(rng, lines):
    """A source that grows as one of its line's transfers ends."""
    line = rng.choice(lines)
    return {"fault": "change_source", "cmd": "RETR" if line.download else "STOR",
            "file": rng.choice(list(line.files)), "download": line.download,
            "data": CHANGE_DATA}


def replace_source(rng, lines):
    """A producer renames a new version over a source while it moves: a local
    one as the server takes or checks its upload, a remote one as the client
    checks it (MDTM is answered just before the SIZE of the same check)."""
    line = rng.choice(lines)
    return {"fault": "replace_source", "file": rng.choice(list(line.files)),
            "download": line.download, "data": CHANGE_DATA, "answered": line.download,
            "cmd": "MDTM" if line.download else rng.choice(("STOR", "SIZE"))}


def hot_folder(uploads):
    """A server that takes each upload away as soon as it is stored."""
    return {"fault": "hot_folder", "times": ATTEMPTS * len(uploads)}


def draw_fault(rng, lines, passive, listing):
    uploads, downloads = transfer_sizes(lines, False), transfer_sizes(lines, True)
    if downloads and rng.random() < LISTING_FAULT_SHARE:
        return draw_listing_fault(rng, lines, listing)
    kind = weighted(rng, KIND_WEIGHTS)
    if kind in ("short_retr",) and not downloads or (
            kind in ("refuse_after_stor", "short_stor", "hot_folder") and not uploads):
        kind = "drop_data"
    if kind == "hot_folder":
        return hot_folder(uploads)
    fault = {"fault": kind}
    if kind == "refuse_dele":
        fault = {"fault": "reply", "kind": kind, "cmd": "DELE", "code": 550, "text": REPLY_TEXT}
    elif kind == "change_source":
        fault = change_source(rng, lines)
    elif kind == "replace_source":
        fault = replace_source(rng, lines)
    elif kind == "short_stor":
        fault["bytes"] = cut_point(rng, uploads)
    elif kind == "drop_data":
        fault["cmd"], sizes = rng.choice(([("STOR", uploads)] if uploads else []) +
                                         ([("RETR", downloads)] if downloads else []))
        fault["bytes"] = cut_point(rng, sizes)
    elif kind == "short_retr":
        fault["bytes"] = cut_point(rng, downloads)
    elif kind == "refuse_after_stor":
        fault.update(code=rng.choice((451, 550, 552, 553)), text=REPLY_TEXT)
    elif kind in ("reply", "close", "hang"):
        fault["cmd"] = rng.choice(candidate_commands(lines, passive, listing))
    if kind == "reply":
        fault.update(code=rng.choice(ERROR_CODES), text=REPLY_TEXT)
    # Any occurrence may be the spoiled one: the first login is USER and PASS
    # number 1, later ones are reconnects; a file's commands come once per attempt.
    fault["after"] = rng.randint(0, occurrences_to_skip(fault, uploads, downloads))
    fault["times"] = 1 if kind == "hang" else weighted(rng, TIMES_WEIGHTS)
    return fault


def draw_server(rng, plan):
    downloads = [line for line in plan.lines if line.download]
    if rng.random() < WITHOUT_MLSD_SHARE:
        plan.listing, plan.setup = "LIST", [{"fault": "no_mlsd"}]
    if downloads and rng.random() < DIRECTORY_LINK_SHARE:
        plan.directory_link = "latest." + rng.choice(downloads).extension
    if not downloads or rng.random() >= ODD_LINES_SHARE:
        return
    files = [(len(data), name) for line in downloads for name, data in line.files.items()]
    acl = "".join("-rw-r--r--+ 1 u g %d Jan 1 2026 %s\r\n" % file for file in files)
    mlsd = "".join("type=file;size=%d; %s\r\n" % file for file in files) + "".join(
        "type=OS.unix=chr-5/1; tty.%s\r\n" % line.extension for line in downloads)
    if plan.directory_link:
        mlsd += "type=OS.unix=slink:../%s; %s\r\n" % (LINKED_DIRECTORY, plan.directory_link)
    plan.setup += [{"fault": "listing", "cmd": "LIST", "data": acl},
                   {"fault": "listing", "cmd": "MLSD", "data": mlsd}]


def make_plan(key):
    rng = random.Random(key)
    lines = [draw_line(rng, number) for number in range(1, rng.randint(1, MAX_LINES) + 1)]
    passive = rng.random() < 0.7
    plan = Plan(key, passive, lines, [])
    draw_server(rng, plan)
    faults = [draw_fault(rng, lines, passive, plan.listing)
              for _ in range(rng.choice((1, 1, 1, 2, 2, 3)))]
    kinds = {fault["fault"] for fault in faults}
    if kinds & {"short_stor", "change_source", "replace_source"}:
        for fault in faults:
            if fault.get("cmd") == "SIZE" and fault.get("code") in NO_SIZE_CODES + (TAKEN_CODE,):
                fault["code"] = 451
    # A server that keeps a short upload and then hides it cannot be told
    # from one that took a whole one.
    if "hot_folder" in kinds:
        faults = [fault for fault in faults if fault["fault"] != "short_stor"]
    plan.faults = faults
    return plan

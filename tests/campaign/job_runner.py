"""Runs one planned job: a server of its own with the faults armed, the program
installed beside its kestrin.ini, and what both sides hold afterwards."""

import json
import os
import shutil
import signal
import subprocess
import time
from dataclasses import dataclass
from pathlib import Path

from job_plan import LINKED_DIRECTORY
from server_forks import wait_for_end

USER = "kestrin"
PASSWORD = "geslo"
REMOTE_DIR = "in"
LOG_NAME = "KESTRIN.log"
SECTION = "NOCNI"
# How long a server whose input ended may take to stop before it is killed.
STOP_SECONDS = 10
DROPPED_ENV = ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "LC_ALL", "LANG", "LANGUAGE")


@dataclass
class Outcome:
    status: int            # exit status; None when the program had to be killed
    elapsed: float         # seconds from start to exit
    log: str
    stdout: str
    stderr: str
    commands: list         # the command lines the server received
    changes: list          # the paths change_source faults appended to, once per change
    local_dir: Path
    remote_dir: Path
    taken_dir: Path        # where a hot folder put the uploads it took; None without one


class FaultyServer:
    """The test FTP server in a process of its own, forked from one that runs
    on the campaign's own python3 (which has pyftpdlib), driven over its stdin."""

    def __init__(self, servers, root):
        self.pid, self.stdin, self.stdout = servers.start(
            ["--root", str(root), "--user", USER, "--password", PASSWORD])
        first = self.stdout.readline().decode().split()
        if len(first) != 2 or first[0] != "PORT":
            raise RuntimeError("the server did not start: %r" % first)
        self.port = int(first[1])

    def ask(self, request):
        self.stdin.write((json.dumps(request) + "\n").encode())
        self.stdin.flush()
        return self.stdout.readline().decode().rstrip("\n")

    def arm(self, fault):
        answer = self.ask(fault)
        if answer != "ok":
            raise RuntimeError("the server refused %s: %s" % (fault, answer))

    def commands(self):
        return json.loads(self.ask({"query": "commands"}))

    def changes(self):
        return json.loads(self.ask({"query": "changes"}))

    def stop(self):
        self.stdin.close()
        wait_for_end(self.pid, self.stdout, STOP_SECONDS)
        self.stdout.close()


def install(kestrin, install_dir):
    # A hard link keeps the program's own path inside the install directory,
    # where it looks for kestrin.ini; a copy does the same across file systems.
    target = install_dir / "kestrin"
    try:
        os.link(kestrin, target)
    except OSError:
        shutil.copy2(kestrin, target)
    return target


def settings(plan, port, local_dir):
    lines = ["[PROGRAM]", "IZBRANO=" + SECTION, "", "[" + SECTION + "]",
             "FTPURL=127.0.0.1:%d" % port, "ftpdir=/%s/" % REMOTE_DIR,
             "localdir=%s/" % local_dir, "uporabnik=" + USER, "geslo=" + PASSWORD,
             "mode=" + ("PASIVE" if plan.passive else "ACTIVE")]
    lines += ["prenos%d=%s" % (n, line.setting()) for n, line in enumerate(plan.lines, 1)]
    return "\n".join(lines) + "\n"


def lay_out_files(plan, local_dir, remote_dir):
    for line in plan.lines:
        for name, data in line.files.items():
            ((remote_dir if line.download else local_dir) / name).write_bytes(data)
    if plan.directory_link:
        (remote_dir.parent / LINKED_DIRECTORY).mkdir()
        (remote_dir / plan.directory_link).symlink_to("../" + LINKED_DIRECTORY)


def armed(fault, local_dir, remote_dir, taken_dir):
    """The fault as the server takes it: a changed source is named by its
    path, a hot folder by the directory it takes uploads into."""
    if fault["fault"] == "hot_folder":
        return dict(fault, path=str(taken_dir))
    if fault["fault"] not in ("change_source", "replace_source"):
        return fault
    path = (remote_dir if fault["download"] else local_dir) / fault["file"]
    return dict(fault, path=str(path))


def environment():
    env = {key: value for key, value in os.environ.items() if key not in DROPPED_ENV}
    env["LC_ALL"] = "C"
    return env


def launch(program, work_dir, kill_after):
    start = time.monotonic()
    process = subprocess.Popen([str(program)], cwd=work_dir, env=environment(),
                               stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, start_new_session=True)
    try:
        out, err = process.communicate(timeout=kill_after)
        status = process.returncode if process.returncode >= 0 else None
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        out, err = process.communicate()
        status = None
    return status, time.monotonic() - start, out, err


def run_job(plan, kestrin, servers, root, kill_after):
    """The job's outcome; a program still running after kill_after seconds is killed."""
    dirs = {name: root / name for name in ("install", "local", "work", "server", "taken")}
    for path in dirs.values():
        path.mkdir(parents=True)
    remote_dir = dirs["server"] / REMOTE_DIR
    remote_dir.mkdir()
    lay_out_files(plan, dirs["local"], remote_dir)
    program = install(kestrin, dirs["install"])
    server = FaultyServer(servers, dirs["server"])
    try:
        (dirs["install"] / "kestrin.ini").write_text(settings(plan, server.port, dirs["local"]))
        for fault in plan.setup + plan.faults:
            server.arm(armed(fault, dirs["local"], remote_dir, dirs["taken"]))
        status, elapsed, out, err = launch(program, dirs["work"], kill_after)
        commands, changes = server.commands(), server.changes()
    finally:
        server.stop()
    log_path = dirs["work"] / LOG_NAME
    log = log_path.read_bytes().decode("utf-8", "replace") if log_path.exists() else ""
    return Outcome(status, elapsed, log, out.decode("utf-8", "replace"),
                   err.decode("utf-8", "replace"), commands, changes, dirs["local"], remote_dir,
                   dirs["taken"] if any(f["fault"] == "hot_folder" for f in plan.faults) else None)

#!/usr/bin/python3
"""A local FTP server for the tests: one directory, one user, and faults on request.

Prints "PORT <n>" once listening. Then reads JSON lines on stdin, each a fault to
add, {"fault": "clear"}, {"query": "commands"}, {"query": "changes"} (the paths
that change_source and replace_source faults changed, once per change) or
{"query": "data_ends"} (how each data connection ended: "<bytes> finished|broken"),
and answers each with one line: "ok", "error <why>" or the query's JSON. It exits
when stdin ends, so it never outlives the test that started it; with --no-stdin it
runs until SIGTERM/SIGINT.
"""

import argparse
import json
import logging
import os
import signal
import socket
import struct
import sys
import threading
import time

from pyftpdlib.authorizers import AuthenticationFailed, DummyAuthorizer
from pyftpdlib.filesystems import AbstractedFS
from pyftpdlib.handlers import ActiveDTP, DTPHandler, FTPHandler
from pyftpdlib.ioloop import RetryError
from pyftpdlib.servers import FTPServer

PERMISSIONS = "elradfmwMT"
LOG = logging.getLogger("pyftpdlib")

# The fields each fault kind needs.
REQUIRED_FIELDS = {
    "refuse_login": (),
    "reply": ("cmd", "code", "text"),
    "close": ("cmd",),
    "hang": ("cmd",),
    "drop_data": ("cmd", "bytes"),
    "short_retr": ("bytes",),
    "refuse_after_stor": ("code", "text"),
    "raw": ("cmd", "data"),
    "list_dots": (),
    "short_stor": ("bytes",),
    "trickle": ("cmd",),
    "change_source": ("cmd", "path", "data"),
    "replace_source": ("cmd", "path", "data"),
    "hot_folder": (),
    "data_from": ("address",),
    "no_mlsd": (),
    "listing": ("cmd", "data"),
    "stall_stor": ("seconds",),
    "slow": ("cmd", "seconds"),
}
# Kinds that only make sense for one command.
IMPLIED_CMD = {"refuse_login": "PASS", "short_retr": "RETR", "refuse_after_stor": "STOR",
               "list_dots": "LIST", "short_stor": "STOR", "hot_folder": "STOR",
               "data_from": "EPRT", "no_mlsd": "FEAT", "stall_stor": "STOR"}
# A trickled transfer moves one byte, or its "bytes", this often.
TRICKLE_INTERVAL = 0.2
# The commands of a server without MLSD, which its FEAT then leaves out too.
WITHOUT_MLSD = {cmd: info for cmd, info in FTPHandler.proto_cmds.items() if cmd[:3] != "MLS"}
# Kinds that replace the command's normal handling altogether.
TAKEOVER_KINDS = ("reply", "close", "hang", "raw")


class Fault:
    def __init__(self, request):
        kind = request.get("fault")
        if kind not in REQUIRED_FIELDS:
            raise ValueError("unknown fault %r" % kind)
        missing = [field for field in REQUIRED_FIELDS[kind] if field not in request]
        if missing:
            raise ValueError("%s needs %s" % (kind, ", ".join(missing)))
        self.kind = kind
        self.cmd = IMPLIED_CMD.get(kind) or request["cmd"]
        if kind in ("drop_data", "change_source") and self.cmd not in ("RETR", "STOR"):
            raise ValueError("%s applies to RETR or STOR only" % kind)
        if kind == "listing" and self.cmd not in ("LIST", "MLSD"):
            raise ValueError("listing applies to LIST or MLSD only")
        self.request = request
        self.after = request.get("after", 0)
        self.times = request.get("times")
        self.seen = 0

    def fires(self):
        """Counts one matching occurrence; true when this one is to be spoiled."""
        self.seen += 1
        turn = self.seen - self.after
        return turn > 0 and (self.times is None or turn <= self.times)

    def reply(self):
        return "%s %s" % (self.request["code"], self.request["text"])

    def raw_bytes(self):
        # stdin is decoded with surrogateescape, so bytes that are not UTF-8
        # come back out exactly as they went in.
        return self.request["data"].encode("utf-8", "surrogateescape")


class Faults:
    """Shared by the control thread, which edits it, and the server loop."""

    def __init__(self):
        self._lock = threading.Lock()
        self._faults = []

    def add(self, fault):
        with self._lock:
            self._faults.append(fault)

    def clear(self):
        with self._lock:
            self._faults.clear()

    def holds(self, kind):
        with self._lock:
            return any(f.kind == kind for f in self._faults)

    def firing(self, cmd):
        with self._lock:
            return [f for f in self._faults if f.cmd == cmd and f.fires()]


class CommandLog:
    def __init__(self):
        self._lock = threading.Lock()
        self._lines = []

    def record(self, line, cmd):
        with self._lock:
            self._lines.append("PASS ****" if cmd == "PASS" else line)

    def snapshot(self):
        with self._lock:
            return list(self._lines)


class Changes:
    """Paths that change_source faults appended to, one entry per change."""

    def __init__(self):
        self._lock = threading.Lock()
        self._paths = []

    def append_to(self, path, data):
        # Only a file that is there: one already moved away stays gone.
        try:
            with open(path, "r+b") as target:
                target.seek(0, 2)
                target.write(data)
        except FileNotFoundError:
            return
        with self._lock:
            self._paths.append(path)

    def replace(self, path, data):
        """As a producer writes a file: a new one holding the old bytes and
        `data` is renamed over it."""
        try:
            with open(path, "rb") as old:
                data = old.read() + data
        except FileNotFoundError:
            return
        with open(path + ".new", "wb") as new:
            new.write(data)
        os.replace(path + ".new", path)
        with self._lock:
            self._paths.append(path)

    def snapshot(self):
        with self._lock:
            return list(self._paths)


def take_away(path, into):
    """A hot folder's consumer: the stored file goes at once, into `into`
    when given, else for good."""
    if into:
        os.replace(path, os.path.join(into, os.path.basename(path)))
    else:
        os.remove(path)


class ForeignActiveDTP(ActiveDTP):
    """Opens an active data connection from the data_from fault's address, as
    another program on the client's machine could."""

    def connect_af_unspecified(self, addr, source_address=None):
        foreign = self.cmd_channel.fault("data_from")
        if foreign:
            source_address = (foreign.request["address"], 0)
        return super().connect_af_unspecified(addr, source_address)


class FaultyDTPHandler(DTPHandler):
    _cut_at = None         # file bytes after which the transfer is cut
    _cut_quietly = False   # end as if complete (short download) instead of aborting
    _keep = None           # upload bytes kept; the rest is read and dropped, yet 226
    _kept = 0
    _refusal = None        # reply that replaces 226 after a complete upload
    _trickle = 0           # bytes sent or read per TRICKLE_INTERVAL (default 1)
    _change = None         # change_source fault to apply as the transfer ends
    _hot = None            # hot_folder fault: a complete upload is taken away once answered
    _stall = None          # stall_stor fault: reads nothing of the upload for a while
    changes = None
    data_ends = []

    def _arm(self):
        channel = self.cmd_channel
        drop, short = channel.fault("drop_data"), channel.fault("short_retr")
        if drop:
            self._cut_at = drop.request["bytes"]
        elif short:
            self._cut_at, self._cut_quietly = short.request["bytes"], True
        refusal = channel.fault("refuse_after_stor")
        self._refusal = refusal.reply() if refusal else None
        keep = channel.fault("short_stor")
        self._keep = keep.request["bytes"] if keep else None
        trickle = channel.fault("trickle")
        self._trickle = trickle.request.get("bytes", 1) if trickle else 0
        self._change = channel.fault("change_source")
        self._hot = channel.fault("hot_folder")
        self._stall = channel.fault("stall_stor")

    def push_with_producer(self, producer):
        self._arm()
        super().push_with_producer(producer)

    def enable_receiving(self, type, cmd):
        self._arm()
        super().enable_receiving(type, cmd)
        if self._stall:
            # Off the loop for a while: the client's bytes wait in the socket.
            self.modify_ioloop_events(0)
            self.ioloop.call_later(self._stall.request["seconds"], self._resume,
                                   _errback=self.handle_error)

    def _resume(self):
        if not self._closed:
            self.modify_ioloop_events(self.ioloop.READ)

    def outlives_control(self):  # as on servers that read it only between transfers
        return self._stall is not None and not self._closed

    def send(self, data):
        if self._trickle:
            return self._trickled(super().send(data[:self._trickle]))
        if self._cut_at is None:
            return super().send(data)
        room = self._cut_at - self.tot_bytes_sent
        if room > 0:
            return super().send(data[:room])
        # Cut on the call after the last allowed byte: the sender's buffers
        # must stay intact while it books the bytes just sent.
        if self._cut_quietly:
            self.producer_fifo.clear()
            self.handle_close()
        else:
            self._abort()
        return 0

    def _trickled(self, moved):
        # Off the loop until the next bytes are due, as pyftpdlib's throttling does.
        if not self._closed:
            self.del_channel()
            self.ioloop.call_later(TRICKLE_INTERVAL, self._wake, _errback=self.handle_error)
        return moved

    def _wake(self):
        if not self._closed:
            self.add_channel(events=self.ioloop.READ if self.receive else self.ioloop.WRITE)

    def recv(self, buffer_size):
        if self._trickle:
            return self._trickled(self._recv_or_break(self._trickle))
        if self._keep is not None:
            return self._recv_kept(buffer_size)
        if self._cut_at is None:
            return self._recv_or_break(buffer_size)
        room = self._cut_at - self.tot_bytes_received
        if room > 0:
            return self._recv_or_break(min(buffer_size, room))
        self._abort()
        raise RetryError  # tells the reader there is nothing to store

    def _recv_or_break(self, buffer_size):
        """pyftpdlib takes a reset for the end of an upload; servers that keep
        whole uploads only, and this one, take it for a broken transfer."""
        try:
            data = self.socket.recv(buffer_size)
        except BlockingIOError:
            raise RetryError from None
        except ConnectionResetError:
            self._resp = ("426 Connection reset; transfer aborted.", LOG.debug)
            self.close()
            raise RetryError from None
        if not data:
            self.handle_close()  # the orderly end, as in pyftpdlib's own recv
        return data

    def handle_close(self):
        # A reset the poller reports before recv() sees it is no orderly end either.
        if not (self.receive and self.socket.getsockopt(socket.SOL_SOCKET, socket.SO_ERROR)):
            return super().handle_close()
        self._resp = ("426 Connection reset; transfer aborted.", LOG.debug)
        self.close()

    def _recv_kept(self, buffer_size):
        chunk = self._recv_or_break(buffer_size)
        kept = chunk[:max(0, self._keep - self._kept)]
        self._kept += len(chunk)
        if chunk and not kept:
            raise RetryError  # read, but nothing to store
        return kept

    def _abort(self):
        # The partial upload must be on disk before the client can notice the drop.
        if self.receive and self.file_obj is not None:
            self.file_obj.flush()
        # Zero linger turns the close into a reset, as a broken link would.
        self.socket.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self._resp = ("426 Connection closed; transfer aborted.", LOG.debug)
        self.close()

    def close(self):
        if self.cmd_channel._closed:
            self._resp = None  # nobody left to answer
        if self._refusal and self.receive and self.transfer_finished:
            self._resp = (self._refusal, LOG.debug)
        # Before the completion reply, which close() sends: the client must
        # not be able to look at the file before it changed.
        if self._change and not self._closed:
            request, self._change = self._change.request, None
            self.changes.append_to(request["path"], request["data"].encode("utf-8"))
        stored = self.receive and self.transfer_finished and self.file_obj is not None
        if not self._closed:
            moved = self.tot_bytes_received if self.receive else self.tot_bytes_sent
            outcome = "finished" if self.transfer_finished else "broken"
            self.data_ends.append("%d %s" % (moved, outcome))
        super().close()
        # Still before the server reads the client's next command.
        if self._hot and stored:
            take_away(self.file_obj.name, self._hot.request.get("path"))


class DottedFS(AbstractedFS):
    """Lists in name order, as pyftpdlib does for LIST only, and "." and ".."
    as well, as some servers do, when list_dots is on."""

    def listdir(self, path):
        names = sorted(super().listdir(path))
        if self.cmd_channel.fault("list_dots"):
            names = [".", ".."] + names
        return names

    listdirinfo = listdir


class FaultyHandler(FTPHandler):
    dtp_handler = FaultyDTPHandler
    active_dtp = ForeignActiveDTP
    abstracted_fs = DottedFS
    use_sendfile = False       # every byte must pass send(), where transfer faults cut
    unicode_errors = "surrogateescape"  # names are bytes: non-UTF-8 ones pass unchanged
    auth_failed_timeout = 0    # answer refused logins at once; tests wait for them
    faults = None
    command_log = None
    _hung = False
    _firing = ()

    def pre_process_command(self, line, cmd, arg):
        self.command_log.record(line, cmd)
        if self._hung:
            return
        self.proto_cmds = WITHOUT_MLSD if self.faults.holds("no_mlsd") else FTPHandler.proto_cmds
        self._firing = self.faults.firing(cmd)
        # A producer replaces the file before the command is handled, or,
        # with "answered", once it is answered but before the next command.
        replace = self.fault("replace_source")
        answered = replace is not None and replace.request.get("answered")
        if replace and not answered:
            self._replace(replace)
        if self.fault("slow"):  # the whole server waits: its one client sees a slow answer
            time.sleep(self.fault("slow").request["seconds"])
        self._handle(line, cmd, arg)
        if answered:
            self._replace(replace)

    def _replace(self, fault):
        FaultyDTPHandler.changes.replace(fault.request["path"], fault.request["data"].encode())

    def _handle(self, line, cmd, arg):
        takeover = next((f for f in self._firing if f.kind in TAKEOVER_KINDS), None)
        if takeover is None:
            super().pre_process_command(line, cmd, arg)
        elif takeover.kind == "reply":
            self.respond(takeover.reply())
        elif takeover.kind == "raw":
            # Below FTPHandler.push, which would encode and so alter the bytes.
            super(FTPHandler, self).push(takeover.raw_bytes())
        elif takeover.kind == "close":
            self.close()
        else:
            self._hung = True

    def close(self):
        if self.data_channel is not None and self.data_channel.outlives_control():
            # The active connector's socket is the data connection itself.
            self.data_channel = self._dtp_connector = None
        super().close()

    def ftp_LIST(self, path):
        return self._listing(path) or super().ftp_LIST(path)

    def ftp_MLSD(self, path):
        return self._listing(path) or super().ftp_MLSD(path)

    def _listing(self, path):
        """Sends a listing fault's bytes ("repeat" times) as the listing; None without one."""
        listing = self.fault("listing")
        if listing:
            self.push_dtp_data(listing.raw_bytes() * listing.request.get("repeat", 1),
                               cmd=listing.cmd)
            return path

    def fault(self, kind):
        """The fault of that kind spoiling the command being handled, if any."""
        return next((f for f in self._firing if f.kind == kind), None)


class Authorizer(DummyAuthorizer):
    def validate_authentication(self, username, password, handler):
        if handler.fault("refuse_login"):
            raise AuthenticationFailed("Login refused.")
        super().validate_authentication(username, password, handler)


def say(text):
    sys.stdout.buffer.write((text + "\n").encode("utf-8"))
    sys.stdout.buffer.flush()


def answer(line, faults, command_log):
    try:
        request = json.loads(line, strict=False)
        if not isinstance(request, dict):
            raise ValueError("not a JSON object")
        if "query" in request:
            if request["query"] == "changes":
                return json.dumps(FaultyDTPHandler.changes.snapshot())
            if request["query"] == "data_ends":
                return json.dumps(FaultyDTPHandler.data_ends)
            if request["query"] != "commands":
                raise ValueError("unknown query %r" % request["query"])
            return json.dumps(command_log.snapshot())
        if request.get("fault") == "clear":
            faults.clear()
        else:
            faults.add(Fault(request))
        return "ok"
    except ValueError as err:
        return "error " + " ".join(str(err).split())


def control(faults, command_log):
    for raw_line in sys.stdin.buffer:
        line = raw_line.decode("utf-8", "surrogateescape").rstrip("\r\n")
        say(answer(line, faults, command_log))
    # The test is gone or done with us: stop the server loop in the main thread.
    signal.pthread_kill(threading.main_thread().ident, signal.SIGTERM)


def interrupt(signum, frame):
    raise KeyboardInterrupt


def parse_args():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", required=True)
    parser.add_argument("--user", required=True)
    parser.add_argument("--password", required=True)
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--no-stdin", action="store_true")
    return parser.parse_args()


def main():
    args = parse_args()
    logging.basicConfig(level=logging.WARNING, stream=sys.stderr,
                        format="ftp_server: %(levelname)s %(message)s")
    authorizer = Authorizer()
    authorizer.add_user(args.user, args.password, args.root, perm=PERMISSIONS)
    FaultyHandler.authorizer = authorizer
    FaultyHandler.faults = Faults()
    FaultyHandler.command_log = CommandLog()
    FaultyDTPHandler.changes = Changes()
    server = FTPServer((args.host, args.port), FaultyHandler)
    signal.signal(signal.SIGTERM, interrupt)
    signal.signal(signal.SIGINT, interrupt)
    say("PORT %d" % server.address[1])
    if not args.no_stdin:
        threading.Thread(target=control, args=(FaultyHandler.faults, FaultyHandler.command_log),
                         daemon=True).start()
    try:
        server.serve_forever(handle_exit=False)
    except KeyboardInterrupt:
        pass
    finally:
        server.close_all()


if __name__ == "__main__":
    main()

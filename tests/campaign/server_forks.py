"""Test FTP servers forked from one process that has already loaded the
server and pyftpdlib. A fresh python3 per run spends about a fifth of a
second of processor time starting up, as much as the rest of the server's
work in a run, and the campaign's runs share the processors.

Run as a script, this is that process: it takes requests on the socket whose
descriptor it is given, each a JSON list of the server's arguments with the
two ends of the new server's standard input and output, forks the server
onto them and answers with its process id. It ends when the socket closes.
"""

import importlib
import json
import os
import select
import signal
import socket
import subprocess
import sys
import threading
import time

REQUEST_BYTES = 64 * 1024
PID_BYTES = 32


def load_server(script):
    """The server script imported as a module, found beside itself."""
    directory, name = os.path.split(os.path.abspath(script))
    sys.path.insert(0, directory)
    return importlib.import_module(os.path.splitext(name)[0])


def become_server(server, script, arguments, stdin, stdout):
    """The forked child: the server on its own standard input and output,
    exactly as if started with these arguments."""
    signal.signal(signal.SIGCHLD, signal.SIG_DFL)
    os.dup2(stdin, 0)
    os.dup2(stdout, 1)
    sys.argv = [script] + arguments
    try:
        server.main()
    finally:
        os._exit(0)


def fork_servers(script, requests):
    server = load_server(script)
    # The servers are nobody's to wait for: the kernel reaps them.
    signal.signal(signal.SIGCHLD, signal.SIG_IGN)
    while True:
        message, fds, _, _ = socket.recv_fds(requests, REQUEST_BYTES, 2)
        if not message:
            return
        pid = os.fork()
        if pid == 0:
            requests.close()
            become_server(server, script, json.loads(message), *fds)
        for fd in fds:
            os.close(fd)
        requests.send(b"%d" % pid)


class ServerForks:
    """The campaign's side: starts the forking process and asks it for servers."""

    def __init__(self, script):
        self.requests, theirs = socket.socketpair(socket.AF_UNIX, socket.SOCK_SEQPACKET)
        self.process = subprocess.Popen(
            [sys.executable, __file__, script, str(theirs.fileno())], pass_fds=[theirs.fileno()],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        theirs.close()
        self.lock = threading.Lock()

    def start(self, arguments):
        """A new server: its process id, its standard input and its output."""
        stdin_read, stdin_write = os.pipe()
        stdout_read, stdout_write = os.pipe()
        try:
            with self.lock:
                socket.send_fds(self.requests, [json.dumps(arguments).encode()],
                                [stdin_read, stdout_write])
                answer = self.requests.recv(PID_BYTES)
        finally:
            os.close(stdin_read)
            os.close(stdout_write)
        if not answer:
            os.close(stdin_write)
            os.close(stdout_read)
            raise RuntimeError("the process that forks the test servers has ended")
        return int(answer), open(stdin_write, "wb"), open(stdout_read, "rb")

    def close(self):
        self.requests.close()
        self.process.wait()


def wait_for_end(pid, stdout, seconds):
    """Waits until the server's output ends with it; kills it after seconds."""
    deadline = time.monotonic() + seconds
    while select.select([stdout], [], [], max(0, deadline - time.monotonic()))[0]:
        if not stdout.read1():
            return
    os.kill(pid, signal.SIGKILL)


if __name__ == "__main__":
    fork_servers(sys.argv[1], socket.socket(fileno=int(sys.argv[2])))

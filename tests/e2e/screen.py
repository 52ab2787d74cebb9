"""Runs quenmar-setup on a pseudo-terminal and reads its screen through a
terminal emulation (pyte), the way a user sees it."""

import atexit
import os
import shutil
import signal
import tempfile
import termios
import time

import pexpect
import pyte

HERE = os.path.dirname(os.path.abspath(__file__))
SETUP = os.path.abspath(os.environ.get("QUENMAR_SETUP", os.path.join(HERE, "..", "..", "build", "quenmar-setup")))


class BellScreen(pyte.Screen):
    """A pyte screen that counts the bells it hears."""

    bells = 0

    def bell(self, *args):
        self.bells += 1


class Program:
    """quenmar-setup on its own pseudo-terminal, with a pyte screen fed from it."""

    def __init__(self, args=(), env=None, rows=25, columns=80, command=None, cwd=None):
        full_env = dict(os.environ)
        full_env.update(env or {})
        full_env.setdefault("TERM", "xterm")
        argv = list(command or [SETUP]) + list(args)
        self.screen = BellScreen(columns, rows)
        self.stream = pyte.ByteStream(self.screen)
        self.raw = b""
        self.child = pexpect.spawn(argv[0], argv[1:], env=full_env, dimensions=(rows, columns),
                                   cwd=cwd)

    def pump(self, timeout=0.05):
        """Feeds whatever the program has written to the screen."""
        try:
            while True:
                data = self.child.read_nonblocking(65536, timeout=timeout)
                self.raw += data
                self.stream.feed(data)
                timeout = 0.01
        except (pexpect.TIMEOUT, pexpect.EOF):
            pass

    def lines(self):
        return [line.rstrip() for line in self.screen.display]

    def text(self):
        return "\n".join(self.lines())

    def row(self, number):
        """Row `number`, counted from 1 as the program counts, trailing blanks kept."""
        return self.screen.display[number - 1]

    def cursor(self):
        """The cursor as (row, column), counted from 1."""
        return self.screen.cursor.y + 1, self.screen.cursor.x + 1

    def wait_for(self, predicate, timeout=10.0, what=""):
        """Pumps output until predicate(self) holds; fails after `timeout` seconds."""
        if isinstance(predicate, str):
            wanted = predicate
            predicate = lambda program: wanted in program.text()
            what = what or wanted
        deadline = time.monotonic() + timeout
        while True:
            self.pump()
            if predicate(self):
                return
            if time.monotonic() > deadline or not self.child.isalive() and not self._more():
                self.pump()
                if predicate(self):
                    return
                raise AssertionError("screen never showed %r; screen now:\n%s" % (what, self.text()))

    def _more(self):
        try:
            data = self.child.read_nonblocking(65536, timeout=0)
        except (pexpect.TIMEOUT, pexpect.EOF):
            return False
        self.raw += data
        self.stream.feed(data)
        return True

    def wait_menu(self, timeout=10.0):
        self.wait_for(lambda p: p.row(8).startswith(" ") and "3 = Set Quenmar Date and Time" in p.text()
                      and p.cursor() == (9, 1), timeout, "the menu")

    def send(self, data):
        if isinstance(data, str):
            data = data.encode("latin-1")
        self.child.send(data)

    def type_line(self, text):
        self.send(text + "\r")

    def interrupt(self):
        self.child.sendintr()

    def wait_exit(self, timeout=15.0):
        """Waits for the program to end; returns its exit status (or -signal)."""
        deadline = time.monotonic() + timeout
        while self.child.isalive():
            self.pump()
            if time.monotonic() > deadline:
                self.child.kill(signal.SIGKILL)
                raise AssertionError("program did not end; screen:\n" + self.text())
        self.pump()
        self.child.wait() if self.child.exitstatus is None and self.child.signalstatus is None else None
        if self.child.signalstatus is not None:
            return -self.child.signalstatus
        return self.child.exitstatus

    def input_mode(self):
        """lflag of the program's terminal (ECHO, ICANON...)."""
        return termios.tcgetattr(self.child.child_fd)[3]

    def close(self):
        if self.child.isalive():
            self.child.kill(signal.SIGKILL)
        self.child.close(force=True)


def as_nobody():
    """The command that runs quenmar-setup as the unprivileged user nobody.

    The build folder may lie where nobody can't reach it (a home folder), so
    nobody runs a copy in a folder of its own."""
    folder = tempfile.mkdtemp(prefix="quenmar-nobody-")
    os.chmod(folder, 0o755)
    copy = os.path.join(folder, "quenmar-setup")
    shutil.copy2(SETUP, copy)
    atexit.register(shutil.rmtree, folder, True)
    return ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", copy]


def stand_in_port():
    """A pseudo-terminal pair to stand in for the serial port: (master fd, slave path)."""
    master, slave = os.openpty()
    path = os.ttyname(slave)
    os.close(slave)
    return master, path

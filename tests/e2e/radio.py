"""The virtual radio (quenmar-radio-sim) for end-to-end tests: start it with
options in a temporary folder, talk to its port from Python, read its frame
log, stop it.

    with Radio("--demo") as radio:          # --rate 0 and a log unless told otherwise
        port = Port(radio.port)
        echo, reply = port.exchange(command(0x08, b"\\x05"))
        radio.wait_log(lambda lines: any(l.kind == "out" for l in lines))
        status = radio.stop()                # SIGTERM; the exit status
"""

import collections
import fcntl
import os
import select
import shutil
import signal
import subprocess
import tempfile
import termios
import time
import tty

HERE = os.path.dirname(os.path.abspath(__file__))
RADIO_SIM = os.environ.get("QUENMAR_RADIO_SIM",
                           os.path.join(HERE, "..", "..", "build", "quenmar-radio-sim"))

# One line of the radio's log: seconds since it started, "in", "out" or
# "noise", and the bytes.
LogLine = collections.namedtuple("LogLine", "time kind data")

READ_FREQUENCY, READ_MODE, SET_FREQUENCY, SET_MODE_FILTER = 0x03, 0x04, 0x05, 0x06
SELECT_MEMORY, STORE_MEMORY, RECALL_MEMORY = 0x08, 0x09, 0x0A
READ_NAME, SET_NAME, SET_CLOCK = 0x10, 0x11, 0x14
OK = bytes.fromhex("FE FE F1 04 FB FD")
REFUSED = bytes.fromhex("FE FE F1 04 FA FD")


def command(code, data=b"", to=0x04):
    """A command frame from the program (F1) to the radio, or to address `to`."""
    return bytes([0xFE, 0xFE, to, 0xF1, code]) + bytes(data) + b"\xFD"


def reply(code, data=b""):
    """A reply frame from the radio to the program."""
    return bytes([0xFE, 0xFE, 0xF1, 0x04, code]) + bytes(data) + b"\xFD"


def frequency_bytes(digits):
    """The four packed-decimal bytes of seven frequency digits (10 Hz steps)."""
    d = [int(c) for c in digits]
    return bytes([d[6] << 4, d[4] << 4 | d[5], d[2] << 4 | d[3], d[0] << 4 | d[1]])


def packed(number):
    """One packed-decimal byte of a number 0-99."""
    return number // 10 << 4 | number % 10


class Radio:
    """quenmar-radio-sim running in its own temporary folder.

    `options` are passed on as they are (numbers become text); relative file
    names in them are taken in the folder, see path(). `rate` is --rate (0, no
    pacing, unless a test is about timing); `log` adds --log radio.log.
    Attributes: port (the terminal's path), directory, process.
    """

    def __init__(self, *options, rate=0, log=True, directory=None):
        self.directory = directory or tempfile.mkdtemp(prefix="quenmar-radio-")
        self._own_directory = directory is None
        self.log_path = os.path.join(self.directory, "radio.log")
        argv = [RADIO_SIM, "--rate", str(rate)]
        if log:
            argv += ["--log", self.log_path]
        argv += [str(option) for option in options]
        self.stderr_path = os.path.join(self.directory, "radio.stderr")
        with open(self.stderr_path, "ab") as errors:
            self.process = subprocess.Popen(argv, cwd=self.directory, stdin=subprocess.DEVNULL,
                                            stdout=subprocess.PIPE, stderr=errors)
        self.port = self.process.stdout.readline().decode().strip()
        if not self.port:
            status = self.process.wait()
            raise RuntimeError("quenmar-radio-sim %s did not start (status %d): %s"
                               % (" ".join(argv[1:]), status, self.errors()))

    def path(self, name):
        """The absolute path of a file in the radio's folder."""
        return os.path.join(self.directory, name)

    def errors(self):
        """What the radio wrote on its standard error stream."""
        with open(self.stderr_path, "rb") as errors:
            return errors.read().decode(errors="replace")

    def log(self):
        """The log so far, as LogLine tuples."""
        lines = []
        try:
            with open(self.log_path) as log:
                text = log.read()
        except FileNotFoundError:
            return lines
        # A line still being written has no line end yet: it is not taken.
        for line in text.split("\n")[:-1]:
            fields = line.split(" ")
            lines.append(LogLine(float(fields[0]), fields[1], bytes.fromhex(" ".join(fields[2:]))))
        return lines

    def wait_log(self, predicate, timeout=5.0):
        """Polls the log until predicate(lines) holds and returns the lines;
        fails after `timeout` seconds."""
        deadline = time.monotonic() + timeout
        while True:
            lines = self.log()
            if predicate(lines):
                return lines
            if time.monotonic() > deadline:
                raise AssertionError("the radio's log never matched; it holds:\n%s"
                                     % "\n".join(map(str, lines)))
            time.sleep(0.01)

    def wait_exit(self, timeout=10.0):
        """Waits for the radio to end by itself; its exit status."""
        return self.process.wait(timeout)

    def stop(self, how=signal.SIGTERM, timeout=10.0):
        """Asks the radio to stop (SIGTERM unless told) and returns its exit status."""
        if self.process.poll() is None:
            self.process.send_signal(how)
        status = self.process.wait(timeout)
        self.process.stdout.close()
        return status

    def close(self):
        """Stops the radio (SIGTERM, SIGKILL if that does not do) and removes its
        folder (when the radio made it)."""
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()
        self.process.wait()
        self.process.stdout.close()
        if self._own_directory:
            shutil.rmtree(self.directory, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        self.close()


class HangUp(Exception):
    """The radio closed its side of the line."""


class Port:
    """The program's end of the radio's line, opened from Python: raw, no
    controlling terminal, non-blocking."""

    def __init__(self, path):
        self.fd = os.open(path, os.O_RDWR | os.O_NOCTTY | os.O_NONBLOCK)
        tty.setraw(self.fd)

    def write(self, data):
        view = memoryview(bytes(data))
        while view:
            select.select([], [self.fd], [], 5)
            try:
                done = os.write(self.fd, view)
            except BlockingIOError:
                continue
            except OSError as error:
                raise HangUp(str(error)) from error
            view = view[done:]

    def read(self, count, timeout=5.0):
        """Up to `count` bytes: returns as soon as they are there, or what came
        in `timeout` seconds. Raises HangUp when the radio has gone."""
        data = b""
        deadline = time.monotonic() + timeout
        while len(data) < count:
            left = deadline - time.monotonic()
            if left <= 0:
                break
            ready, _, _ = select.select([self.fd], [], [], left)
            if not ready:
                continue
            try:
                chunk = os.read(self.fd, count - len(data))
            except BlockingIOError:
                continue
            except OSError as error:
                raise HangUp(str(error)) from error
            if not chunk:
                raise HangUp("end of file")
            data += chunk
        return data

    def read_frame(self, timeout=5.0):
        """Bytes up to and including the next FD, or what came in `timeout` seconds."""
        data = b""
        deadline = time.monotonic() + timeout
        while not data.endswith(b"\xFD"):
            byte = self.read(1, max(0.0, deadline - time.monotonic()))
            if not byte:
                break
            data += byte
        return data

    def exchange(self, frame, timeout=5.0):
        """Sends a frame and returns (its echo, the reply up to its FD)."""
        self.write(frame)
        echo = self.read(len(frame), timeout)
        return echo, self.read_frame(timeout)

    def pending(self):
        """How many received bytes are waiting to be read."""
        count = fcntl.ioctl(self.fd, termios.FIONREAD, b"\0\0\0\0")
        return int.from_bytes(count, "little")

    def close(self):
        if self.fd >= 0:
            os.close(self.fd)
            self.fd = -1

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        self.close()

"""Measures the channel editor (--edit) on a pseudo-terminal: how long its
first screen takes for a 62-channel file, beside the program's start-up
alone (--version), and how long F5 takes to send one edited channel to the
virtual radio at 1200 bit/s, beside that exchange's line time. Prints the
medians of a few runs; it measures, it does not judge.

    /usr/bin/python3 bench/editor_benchmark.py [build folder]
"""

import os
import statistics
import subprocess
import sys
import tempfile
import time

import pexpect

from line_benchmark import BIT_RATE, filled_channels, line_bytes, start_radio, write_load_file

BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
SETUP = os.path.join(BUILD, "quenmar-setup")
RUNS = 7
CHANNEL = 12


def wait_for(child, text, timeout=20.0):
    """Reads the program's output until `text` has come; the moment it did."""
    seen = b""
    deadline = time.monotonic() + timeout
    while text not in seen:
        if time.monotonic() > deadline:
            raise RuntimeError("never saw %r" % text)
        try:
            seen += child.read_nonblocking(65536, timeout=0.01)
        except pexpect.TIMEOUT:
            pass
    return time.monotonic()


def start_up():
    """The program's start and end alone, without a screen to draw."""
    started = time.monotonic()
    subprocess.run([SETUP, "--version"], stdout=subprocess.DEVNULL, check=True)
    return time.monotonic() - started


def first_screen(folder, port=None):
    """The editor started on the 62-channel file; the time to its status row."""
    env = dict(os.environ, TERM="xterm", **({"QUENMAR_COM1": port} if port else {}))
    started = time.monotonic()
    child = pexpect.spawn(SETUP, ["--edit", "load.txt"], cwd=folder, env=env,
                          dimensions=(25, 80))
    shown = wait_for(child, b"F10 quit")
    return child, shown - started


def send_one(folder, rate):
    """One channel edited and sent with F5 at `rate` bit/s (0: unpaced): the
    time from F5 to the outcome on the status row, and the line time of the
    frames at 1200 bit/s."""
    radio, port, log = start_radio(folder, rate, 0, filled_channels())
    try:
        child, _ = first_screen(folder, port)
        child.send("\x1b[B" * CHANNEL + "7.1\r")
        time.sleep(0.3)
        started = time.monotonic()
        child.send("\x1b[15~")
        done = wait_for(child, b"channel stored")
        child.send("\x11n")
        child.expect(pexpect.EOF, timeout=10)
    finally:
        radio.terminate()
        radio.wait()
    sent, answered, _ = line_bytes(log)
    return done - started, (sent + answered) * 10 / BIT_RATE


def main():
    folder = tempfile.mkdtemp(prefix="quenmar-editor-bench-")
    write_load_file(folder)
    starts, screens = [], []
    for _ in range(RUNS):
        starts.append(start_up())
        child, took = first_screen(folder)
        screens.append(took)
        child.send("\x11")
        child.expect(pexpect.EOF, timeout=10)
    start = statistics.median(starts)
    screen = statistics.median(screens)
    print("--edit, 62 channels, 80 x 25, median of %d runs:" % RUNS)
    print("  start to first screen %6.1f ms" % (screen * 1000))
    print("  start-up alone        %6.1f ms (--version)" % (start * 1000))
    print("  the screen itself     %6.1f ms" % ((screen - start) * 1000))
    sends = [send_one(folder, BIT_RATE) for _ in range(3)]
    wall = statistics.median(sent for sent, _ in sends)
    floor = sends[0][1]
    fixed = statistics.median(send_one(folder, 0)[0] for _ in range(3))
    print("F5, one edited channel at %d bit/s, median of 3 runs:" % BIT_RATE)
    print("  F5 to its outcome     %6.3f s (the port opened, five frames, closed)" % wall)
    print("  line time             %6.3f s, ratio %.3f" % (floor, wall / floor))
    print("  the same F5 unpaced   %6.3f s (opening and closing the port: its start-up)" % fixed)
    print("  1.05 x line time + start-up: %.3f s" % (1.05 * floor + fixed))


if __name__ == "__main__":
    main()

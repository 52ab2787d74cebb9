"""Measures quenmar-setup against the virtual radio: a full save of 62 filled
channels and a full load of the same file, at 1200 bit/s, unpaced, and with
bytes delivered in 16 ms batches as a USB adapter with its default latency
timer does. Prints one table per job.

    /usr/bin/python3 bench/line_benchmark.py [build folder]
"""

import os
import platform
import shutil
import subprocess
import sys
import tempfile
import time

BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
SETUP = os.path.join(BUILD, "quenmar-setup")
RADIO = os.path.join(BUILD, "quenmar-radio-sim")
BIT_RATE = 1200
MODES = ["LSB ", "USB ", "AM  ", "CW  ", "FSK ", "FM  ", "AMLS", "AMUS"]


def cpu_model():
    try:
        with open("/proc/cpuinfo") as info:
            for line in info:
                if line.startswith("model name"):
                    return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return platform.machine()


def filled_channels():
    options = []
    for channel in range(62):
        digits = "%07d" % (180000 + channel * 46337 % 2800000)
        name = ("BENCH%02d" % channel).encode().hex()
        options += ["--channel", "%d:%s:%d:%d:%s" % (channel, digits, channel % 8, channel % 5 + 1, name)]
    return options


def start_radio(folder, rate, batch_ms, options):
    log = os.path.join(folder, "radio.log")
    if os.path.exists(log):
        os.remove(log)
    argv = [RADIO, "--rate", str(rate), "--batch-ms", str(batch_ms), "--log", log] + options
    radio = subprocess.Popen(argv, cwd=folder, stdout=subprocess.PIPE, stdin=subprocess.DEVNULL)
    port = radio.stdout.readline().decode().strip()
    return radio, port, log


def line_bytes(log):
    """Bytes that crossed the line: those the program sent (their echoes share
    the line time) and those the radio answered."""
    sent = answered = frames = 0
    with open(log) as lines:
        for line in lines:
            fields = line.split()
            count = len(fields) - 2
            if fields[1] == "in":
                sent += count
                frames += 1
            else:
                answered += count
    return sent, answered, frames


def run_job(folder, port, answers):
    """Runs the program with its answers on standard input; wall time and rusage."""
    env = dict(os.environ, QUENMAR_COM1=port)
    started = time.monotonic()
    child = subprocess.Popen([SETUP], cwd=folder, env=env, stdin=subprocess.PIPE,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    child.stdin.write(answers.encode())
    child.stdin.close()
    _, status, usage = os.wait4(child.pid, 0)
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        raise RuntimeError("quenmar-setup ended with status %d" % child.returncode)
    return time.monotonic() - started, usage


def measure(folder, job, rate, batch_ms):
    if job == "save":
        radio, port, log = start_radio(folder, rate, batch_ms, filled_channels())
        answers = "2\nbench.txt\n0\n"
    else:
        radio, port, log = start_radio(folder, rate, batch_ms, [])
        answers = "1\nbench.txt\n0\n"
    try:
        wall, usage = run_job(folder, port, answers)
    finally:
        radio.terminate()
        radio.wait()
    sent, answered, frames = line_bytes(log)
    floor = (sent + answered) * 10 / BIT_RATE
    cpu = usage.ru_utime + usage.ru_stime
    return {"wall": wall, "floor": floor, "bytes": sent + answered, "frames": frames,
            "cpu": cpu, "rss": usage.ru_maxrss}


def main():
    for path in (SETUP, RADIO):
        if not os.path.exists(path):
            sys.exit("%s is missing: build first (cmake --build %s)" % (path, BUILD))
    folder = tempfile.mkdtemp(prefix="quenmar-bench-")
    try:
        print("quenmar-setup line benchmark on %s, %d cores, %s" % (
            cpu_model(), os.cpu_count(), platform.platform(terse=True)))
        print("62 filled channels; floor = bytes on the line x 10 bits / %d bit/s" % BIT_RATE)
        for job in ("save", "load"):
            print()
            print("%s of 62 filled channels" % job)
            print("%-22s %8s %8s %8s %7s %6s %9s %8s %9s" % (
                "radio", "wall s", "floor s", "ratio", "frames", "bytes", "cpu ms", "cpu %", "peak KiB"))
            for label, rate, batch in (("1200 bit/s", 1200, 0), ("unpaced", 0, 0),
                                       ("1200 bit/s, 16 ms USB", 1200, 16)):
                m = measure(folder, job, rate, batch)
                ratio = "%8.3f" % (m["wall"] / m["floor"]) if rate else "%8s" % "-"
                floor = "%8.2f" % m["floor"] if rate else "%8s" % "-"
                print("%-22s %8.3f %s %s %7d %6d %9.1f %7.2f%% %9d" % (
                    label, m["wall"], floor, ratio, m["frames"], m["bytes"], m["cpu"] * 1000,
                    100 * m["cpu"] / m["wall"], m["rss"]))
                if not rate:
                    print("%-22s %.2f ms of the program's own time per exchange" % (
                        "", 1000 * m["wall"] / m["frames"]))
    finally:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()

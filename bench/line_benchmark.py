"""Measures quenmar-setup against the virtual radio: a full save of 62 filled
channels and a full load of the same file, at 1200 bit/s, unpaced, with
the radio's bytes delivered in 1 ms and in 16 ms batches as a USB adapter
does with its latency timer at 1 ms (low-latency mode) and at 16 ms (its
default), and at 19200 bit/s (the program at --speed 19200). Prints one
table per job; below each, the same job for one channel (--channels 12) at
1200 and at 19200 bit/s, beside the program's start-up (the same
one-channel job against an unpaced radio) and its target: the line time
plus 5 %, plus that start-up. Last, what --speed auto costs: a probe of a
radio at 1200, 9600 and 300 bit/s (the first, a middle and the last speed
tried) with --speed auto beside the same probe at the radio's own speed.

    /usr/bin/python3 bench/line_benchmark.py [build folder] [LABEL=FOLDER ...]

Each further LABEL=FOLDER is another build of quenmar-setup (an older one,
say) measured in the same run, case by case right after the first, against
the first build's virtual radio.
"""

import os
import platform
import shutil
import subprocess
import sys
import tempfile
import time

BUILD = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else "build")
RADIO = os.path.join(BUILD, "quenmar-radio-sim")
CASES = (("1200 bit/s", 1200, 0), ("unpaced", 0, 0), ("1200 bit/s, 1 ms USB", 1200, 1),
         ("1200 bit/s, 16 ms USB", 1200, 16), ("19200 bit/s", 19200, 0))
BIT_RATE = 1200
FAST_RATE = 19200
AUTO_RATES = (1200, 9600, 300)
ONE_CHANNEL = 12
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


def builds():
    """(label, quenmar-setup) of each build to measure, the first build first."""
    found = [("this", os.path.join(BUILD, "quenmar-setup"))]
    for argument in sys.argv[2:]:
        label, equals, folder = argument.partition("=")
        if not equals or not label or not folder:
            sys.exit("%s: give another build as LABEL=FOLDER" % argument)
        found.append((label, os.path.join(os.path.abspath(folder), "quenmar-setup")))
    return found


def run_job(setup, folder, port, answers, args=(), speed=None):
    """Runs the program with its answers on standard input, at the line speed
    `speed` (QUENMAR_SPEED; the program's default when None); wall time and
    rusage."""
    env = dict(os.environ, QUENMAR_COM1=port)
    if speed:
        env["QUENMAR_SPEED"] = str(speed)
    started = time.monotonic()
    child = subprocess.Popen([setup] + list(args), cwd=folder, env=env, stdin=subprocess.PIPE,
                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    child.stdin.write(answers.encode())
    child.stdin.close()
    _, status, usage = os.wait4(child.pid, 0)
    child.returncode = os.waitstatus_to_exitcode(status)
    if child.returncode != 0:
        raise RuntimeError("quenmar-setup ended with status %d" % child.returncode)
    return time.monotonic() - started, usage


def write_load_file(folder):
    """The memory file every load reads: the virtual radio with the filled
    channels saves them into it when it stops, so no load depends on how
    well a save went."""
    radio, _, _ = start_radio(folder, 0, 0, filled_channels() + ["--memory", "load.txt"])
    radio.terminate()
    if radio.wait() != 0 or not os.path.exists(os.path.join(folder, "load.txt")):
        sys.exit("the virtual radio did not write the memory file to load")


def one_channel_save_file(folder):
    """A copy of the file to load whose line of ONE_CHANNEL is an empty
    channel's, so that a save of that channel has a line to change."""
    with open(os.path.join(folder, "load.txt"), "rb") as source:
        lines = source.read().split(b"\r\n")
    lines[ONE_CHANNEL] = lines[ONE_CHANNEL][:4] + b"  .     \xb3       \xb3    \xb3   "
    with open(os.path.join(folder, "one.txt"), "wb") as out:
        out.write(b"\r\n".join(lines))


def measure(setup, folder, job, rate, batch_ms, one_channel=False):
    args = ["--" + job, "one.txt" if job == "save" else "load.txt",
            "--channels", str(ONE_CHANNEL)] if one_channel else []
    if job == "save":
        radio, port, log = start_radio(folder, rate, batch_ms, filled_channels())
        answers = "2\nsaved.txt\n0\n"
        if one_channel:
            one_channel_save_file(folder)
    else:
        radio, port, log = start_radio(folder, rate, batch_ms, [])
        answers = "1\nload.txt\n0\n"
    try:
        wall, usage = run_job(setup, folder, port, "" if one_channel else answers, args,
                              speed=rate or None)
    finally:
        radio.terminate()
        radio.wait()
    sent, answered, frames = line_bytes(log)
    floor = (sent + answered) * 10 / (rate or BIT_RATE)
    cpu = usage.ru_utime + usage.ru_stime
    return {"wall": wall, "floor": floor, "bytes": sent + answered, "frames": frames,
            "cpu": cpu, "rss": usage.ru_maxrss}


def one_channel_row(setup, folder, job, rate, build):
    label = "%d bit/s" % rate
    try:
        start = measure(setup, folder, job, 0, 0, one_channel=True)
        m = measure(setup, folder, job, rate, 0, one_channel=True)
    except RuntimeError as error:  # a build without --channels or --speed
        print("%-22s %-6s %s" % (label, build, error))
        return
    target = 1.05 * m["floor"] + start["wall"]
    print("%-22s %-6s %8.3f %8.2f %6.3f %6d %5d %10.3f %8.3f%s" % (
        label, build, m["wall"], m["floor"], m["wall"] / m["floor"],
        m["frames"], m["bytes"], start["wall"], target,
        "" if m["wall"] <= target else "  over the target"))
    if m["frames"] != 5:
        print("%-29s %d frames, not 5" % ("", m["frames"]))


def probe_time(setup, folder, rate, speed):
    """Wall time of --probe at QUENMAR_SPEED `speed` against a radio at `rate`."""
    radio, port, _ = start_radio(folder, rate, 0, [])
    try:
        return run_job(setup, folder, port, "", ["--probe"], speed=speed)[0]
    finally:
        radio.terminate()
        radio.wait()


def auto_rows(setups, folder):
    """--speed auto beside the radio's own speed, for a probe; best of three
    each, so that a moment of a busy machine does not count."""
    print("--probe with --speed auto beside --speed of the radio (best of 3 runs each)")
    print("%-22s %-6s %10s %10s %8s" % ("radio", "build", "own s", "auto s", "auto +s"))
    for rate in AUTO_RATES:
        for build, setup in setups:
            try:
                own = min(probe_time(setup, folder, rate, rate) for _ in range(3))
                auto = min(probe_time(setup, folder, rate, "auto") for _ in range(3))
            except RuntimeError as error:  # a build without --speed
                print("%-22s %-6s %s" % ("%d bit/s" % rate, build, error))
                continue
            print("%-22s %-6s %10.3f %10.3f %8.3f" % ("%d bit/s" % rate, build, own, auto,
                                                     auto - own))


def main():
    setups = builds()
    for path in [RADIO] + [setup for _, setup in setups]:
        if not os.path.exists(path):
            sys.exit("%s is missing: build first (cmake --build %s)" % (path, os.path.dirname(path)))
    folder = tempfile.mkdtemp(prefix="quenmar-bench-")
    try:
        write_load_file(folder)
        print("quenmar-setup line benchmark on %s, %d cores, %s" % (
            cpu_model(), os.cpu_count(), platform.platform(terse=True)))
        print("62 filled channels; floor = bytes on the line x 10 bits / the radio's bit/s")
        for job in ("save", "load"):
            print()
            print("%s of 62 filled channels" % job)
            print("%-22s %-6s %8s %8s %6s %6s %5s %7s %6s %8s" % (
                "radio", "build", "wall s", "floor s", "ratio", "frames", "bytes", "cpu ms",
                "cpu %", "peak KiB"))
            for label, rate, batch in CASES:
                for build, setup in setups:
                    try:
                        m = measure(setup, folder, job, rate, batch)
                    except RuntimeError as error:  # a build without --speed
                        print("%-22s %-6s %s" % (label, build, error))
                        continue
                    ratio = "%6.3f" % (m["wall"] / m["floor"]) if rate else "%6s" % "-"
                    floor = "%8.2f" % m["floor"] if rate else "%8s" % "-"
                    print("%-22s %-6s %8.3f %s %s %6d %5d %7.1f %5.2f%% %8d" % (
                        label, build, m["wall"], floor, ratio, m["frames"], m["bytes"],
                        m["cpu"] * 1000, 100 * m["cpu"] / m["wall"], m["rss"]))
                    if m["frames"] != 5 * 62:
                        print("%-29s only %d frames of %d: replies went missing" % (
                            "", m["frames"], 5 * 62))
                    if not rate:
                        print("%-29s %.2f ms of the program's own time per exchange" % (
                            "", 1000 * m["wall"] / m["frames"]))
            print("%s of channel %d alone (--channels %d)" % (job, ONE_CHANNEL, ONE_CHANNEL))
            print("%-22s %-6s %8s %8s %6s %6s %5s %10s %8s" % (
                "radio", "build", "wall s", "floor s", "ratio", "frames", "bytes", "start-up s",
                "target s"))
            for rate in (BIT_RATE, FAST_RATE):
                for build, setup in setups:
                    one_channel_row(setup, folder, job, rate, build)
        print()
        auto_rows(setups, folder)
    finally:
        shutil.rmtree(folder, ignore_errors=True)


if __name__ == "__main__":
    main()

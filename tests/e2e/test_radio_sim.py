"""The virtual radio on its own, driven from Python through its pseudo-terminal:
its options and their errors, its port and link, what counts as a frame to
it, its answer to each command, its noise, its pacing, its file of channels
and its log. How the program fares against it (saves, loads, refusals, line
faults, other devices) is for the program's own tests."""

import os
import re
import shutil
import signal
import stat
import subprocess
import tempfile
import time
import unittest

from radio import (HERE, OK, RADIO_SIM, READ_FREQUENCY, READ_MODE, READ_NAME, RECALL_MEMORY,
                   REFUSED, SELECT_MEMORY, SET_CLOCK, SET_FREQUENCY, SET_MODE_FILTER, SET_NAME,
                   STORE_MEMORY, HangUp, Port, Radio, command, frequency_bytes, packed, reply)

MANUAL = os.path.join(HERE, "..", "..", "radio-sim", "quenmar-radio-sim.1")

BAR = b"\xB3"


def channel_line(number, digits=None, name=b"", mode=b"", filter_text=b""):
    """A memory-file line: filled when `digits` are given, empty otherwise."""
    label = ("%3d" % number).encode()
    if digits is None:
        return label + BAR + b"  .     " + BAR + b" " * 7 + BAR + b" " * 4 + BAR + b" " * 3
    return (label + BAR + digits[:2].encode() + b"." + digits[2:].encode() + BAR + name + BAR
            + mode + BAR + filter_text)


def empty_file():
    return [channel_line(n) for n in range(62)]


def write_file(directory, lines, end=b"\r\n"):
    with open(os.path.join(directory, "memory.txt"), "wb") as memory:
        memory.write(b"".join(line + end for line in lines))


def read_file(path):
    with open(path, "rb") as memory:
        data = memory.read()
    return data


class RadioTestCase(unittest.TestCase):
    def start(self, *options, **settings):
        radio = Radio(*options, **settings)
        self.addCleanup(self.finish, radio)
        return radio

    def finish(self, radio):
        """Stops the radio and checks that it had nothing to complain about
        (sanitizer reports included)."""
        if radio.process.poll() is None:
            radio.stop()
        errors = radio.errors()
        radio.close()
        self.assertEqual(errors, "")

    def folder(self):
        """A temporary folder for radios that share files, removed after the test."""
        directory = tempfile.mkdtemp(prefix="quenmar-radio-test-")
        self.addCleanup(shutil.rmtree, directory, ignore_errors=True)
        return directory

    def connect(self, radio):
        port = Port(radio.port)
        self.addCleanup(port.close)
        return port

    def radio_and_port(self, *options, **settings):
        radio = self.start(*options, **settings)
        return radio, self.connect(radio)

    def ask(self, port, frame):
        """Sends a command frame; checks its echo and returns the reply."""
        echo, answer = port.exchange(frame)
        self.assertEqual(echo, frame)
        return answer

    def recall(self, port, channel):
        self.assertEqual(self.ask(port, command(SELECT_MEMORY, [packed(channel)])), OK)
        return self.ask(port, command(RECALL_MEMORY))

    def vfo(self, port):
        """The VFO's (frequency reply, mode reply, name reply)."""
        return (self.ask(port, command(READ_FREQUENCY)), self.ask(port, command(READ_MODE)),
                self.ask(port, command(READ_NAME)))


class StartAndStopTest(RadioTestCase):
    def test_prints_its_port_makes_the_link_and_removes_it_at_a_stop_signal(self):
        for how in (signal.SIGTERM, signal.SIGINT):
            with self.subTest(signal=how.name):
                radio = self.start("--link", "port")
                self.assertTrue(radio.port.startswith("/dev/"))
                self.assertTrue(stat.S_ISCHR(os.stat(radio.port).st_mode))
                self.assertEqual(os.readlink(radio.path("port")), radio.port)
                self.assertEqual(radio.stop(how), 0)
                self.assertFalse(os.path.lexists(radio.path("port")))


# Arguments, exit status and the line on the standard error stream after
# "quenmar-radio-sim: ".
USAGE_ERRORS = (
    (["--bogus"], 2, "unknown option --bogus (see --help)"),
    (["--demo=1"], 2, "unknown option --demo=1 (see --help)"),
    (["--rate"], 2, "--rate needs a valid value (see --help)"),
    (["--rate", "10000001"], 2, "--rate needs a valid value (see --help)"),
    (["--batch-ms=-1"], 2, "--batch-ms needs a valid value (see --help)"),
    (["--seed", "4294967296"], 2, "--seed needs a valid value (see --help)"),
    (["--collide", "0"], 2, "--collide needs a valid value (see --help)"),
    (["--link="], 2, "--link needs a valid value (see --help)"),
    (["--refuse", "0A:62"], 2, "--refuse needs a valid value (see --help)"),
    (["--short-reply", "0A:1:2:3"], 2, "--short-reply needs a valid value (see --help)"),
    (["--foreign-reply", "0G"], 2, "--foreign-reply needs a valid value (see --help)"),
    (["--hex-digits", "04"], 2, "--hex-digits needs a valid value (see --help)"),
    (["--channel", "62:0180000:9:0:"], 2, "bad --channel 62:0180000:9:0: (see --help)"),
    (["--channel", "3:0180000:256:0:"], 2, "bad --channel 3:0180000:256:0: (see --help)"),
    (["--channel", "3:018000x:9:0:"], 2, "bad --channel 3:018000x:9:0: (see --help)"),
    (["--channel", "3:0180000:9:0:4142434445464748"], 2,
     "bad --channel 3:0180000:9:0:4142434445464748 (see --help)"),
    (["--log", "no/such/log"], 1, "cannot open the log no/such/log: No such file or directory"),
    (["--link", "no/such/port"], 1, "cannot make the link no/such/port: No such file or directory"),
    (["--memory", "."], 1, "cannot read ."),
)
# The highest or lowest values the options take (a lower-case code too), all at once.
EDGES = ("--rate", "10000000", "--batch-ms=60000", "--seed", "4294967295", "--silent-for", "1",
         "--refuse", "0a:61:1000000000", "--channel", "61:0000000:255:255:41424344454647")


class OptionsTest(RadioTestCase):
    def run_radio(self, *args):
        directory = self.folder()
        done = subprocess.run([RADIO_SIM] + list(args), cwd=directory, capture_output=True,
                              timeout=10, stdin=subprocess.DEVNULL)
        return done.returncode, done.stdout.decode(), done.stderr.decode()

    def test_a_bad_option_or_value_ends_with_one_line_and_its_status(self):
        for args, status, said in USAGE_ERRORS:
            with self.subTest(args=args):
                self.assertEqual(self.run_radio(*args),
                                 (status, "", "quenmar-radio-sim: %s\n" % said))

    def test_the_edge_values_are_taken(self):
        self.assertEqual(self.start(*EDGES).stop(), 0)

    def test_help_and_the_manual_name_the_same_options(self):
        status, usage, errors = self.run_radio("--demo", "--help")
        self.assertEqual((status, errors), (0, ""))
        self.assertTrue(usage.startswith("Usage: quenmar-radio-sim [options]\n"), usage)
        with open(MANUAL) as page:
            manual = page.read().replace("\\-", "-")
        manual = manual[manual.index(".SH OPTIONS"):manual.index(".SH EXIT STATUS")]
        named = re.compile(r"(?<![\w-])--[a-z][a-z-]*")
        self.assertEqual(set(named.findall(usage)), set(named.findall(manual)))


class EchoAndFramesTest(RadioTestCase):
    def test_every_byte_value_comes_back(self):
        radio, port = self.radio_and_port()
        everything = bytes(range(256))
        port.write(everything)
        self.assertEqual(port.read(256), everything)
        # Bytes 00-FD hold no frame to the radio: logged as received, not answered.
        lines = radio.wait_log(lambda lines: lines)
        self.assertEqual(lines, [(lines[0].time, "in", bytes(range(0xFE)))])

    def test_frames_to_other_addresses_get_no_reply(self):
        radio, port = self.radio_and_port()
        other = command(SELECT_MEMORY, [1], to=0x05)
        port.write(other)
        self.assertEqual(port.read(len(other)), other)
        # The line is one queue: had a reply come, it would stand before this echo.
        self.assertEqual(self.ask(port, command(SELECT_MEMORY, [1])), OK)
        kinds = [(line.kind, line.data) for line in radio.wait_log(lambda lines: len(lines) == 3)]
        self.assertEqual(kinds, [("in", other), ("in", command(SELECT_MEMORY, [1])), ("out", OK)])

    def test_junk_and_extra_preamble_bytes_before_a_frame(self):
        radio, port = self.radio_and_port()
        frame = b"\x00\x11\xFE" + command(SELECT_MEMORY, [2])
        self.assertEqual(self.ask(port, frame), OK)
        lines = radio.wait_log(lambda lines: len(lines) == 2)
        self.assertEqual([(line.kind, line.data) for line in lines], [("in", frame), ("out", OK)])

    def test_bytes_without_an_end_are_logged_at_the_stop(self):
        radio, port = self.radio_and_port()
        port.write(bytes.fromhex("FE FE 04 F1 08"))
        self.assertEqual(port.read(5), bytes.fromhex("FE FE 04 F1 08"))
        self.assertEqual(radio.stop(), 0)
        self.assertEqual([(line.kind, line.data) for line in radio.log()],
                         [("in", bytes.fromhex("FE FE 04 F1 08"))])


def frequency_reply(four_bytes):
    """The reply to ReadFrequency that carries these four frequency bytes."""
    return reply(READ_FREQUENCY, bytes.fromhex(four_bytes + " 00"))


def refused(code, *data):
    """Frames of one command with each of these data, each answered with FA."""
    return [(command(code, bytes(d)), REFUSED) for d in data]


# Radios with these options, whether they echo, and frames each is sent in
# turn with the reply each gets (b"": none).
CONVERSATIONS = (
    ((), True, [
        # The VFO at the start: 14.2 MHz, USB, 2.4 kHz, a blank name.
        (command(READ_FREQUENCY), frequency_reply("00 00 20 14")),
        (command(READ_MODE), reply(READ_MODE, [1, 2])),
        (command(READ_NAME), reply(READ_NAME, b"       ")),
        # Four or five decimal bytes; the radio tunes in 10 Hz steps.
        (command(SET_FREQUENCY, frequency_bytes("1423450")), OK),
        (command(READ_FREQUENCY), frequency_reply("00 45 23 14")),
        (command(SET_FREQUENCY, bytes.fromhex("50 00 05 07 00")), OK),
        (command(READ_FREQUENCY), frequency_reply("50 00 05 07")),
        (command(SET_FREQUENCY, bytes.fromhex("99 99 99 29")), OK),
        (command(READ_FREQUENCY), frequency_reply("90 99 99 29")),
        *refused(SET_FREQUENCY, *map(bytes.fromhex, (
            "00 45 23 1A", "0F 45 23 14", "00 45 23", "00 45 23 14 01", "00 45 23 14 00 00",
            "00 F5 23 14"))),
        (command(READ_FREQUENCY), frequency_reply("90 99 99 29")),
        # Modes 0 to 7, filters 1 to 5.
        (command(SET_MODE_FILTER, [7, 5]), OK),
        (command(READ_MODE), reply(READ_MODE, [7, 5])),
        (command(SET_MODE_FILTER, [0, 1]), OK),
        *refused(SET_MODE_FILTER, [8, 1], [0, 0], [0, 6], [0xFF, 2], [1], [1, 2, 3]),
        (command(READ_MODE), reply(READ_MODE, [0, 1])),
        # Channels 00 to 61, packed.
        *[(command(SELECT_MEMORY, [packed(channel)]), OK) for channel in (0, 9, 10, 61)],
        *refused(SELECT_MEMORY, [0x62], [0x0A], [0x1F], [0x99], [], [0x01, 0x02]),
        # Names of up to seven bytes of any value, blanks added.
        (command(SET_NAME, b"\x00\xB3\x0A\xFF"), OK),
        (command(READ_NAME), reply(READ_NAME, b"\x00\xB3\x0A\xFF   ")),
        (command(SET_NAME, b"EIGHT.."), OK),
        (command(SET_NAME, b"TOO LONG"), REFUSED),
        (command(READ_NAME), reply(READ_NAME, b"EIGHT..")),
        (command(SET_NAME), OK),
        (command(READ_NAME), reply(READ_NAME, b"       ")),
        # Day, month, year, hour, minute, second, packed.
        (command(SET_CLOCK, bytes.fromhex("31 12 99 23 59 59")), OK),
        (command(SET_CLOCK, bytes.fromhex("01 01 00 00 00 00")), OK),
        *refused(SET_CLOCK, *map(bytes.fromhex, (
            "00 01 26 12 00 00", "32 01 26 12 00 00", "15 13 26 12 00 00", "15 06 26 24 00 00",
            "15 06 26 12 60 00", "15 06 26 12 00 60", "15 06 2A 12 00 00", "15 06 26 12 00",
            "15 06 26 12 00 00 00"))),
        # Commands it does not know; reads and StoreMemory with data.
        *[(command(code), REFUSED) for code in (0x00, 0x07, 0x0B, 0x12, 0xFB)],
        *[(command(code, [0]), REFUSED)
          for code in (READ_FREQUENCY, READ_MODE, READ_NAME, STORE_MEMORY)],
    ]),
    # Any mode, filter and name bytes; an FD inside a name ends no frame.
    (("--channel", "3:0180000:9:0:0AB3FD00FE41", "--channel=60:2999999:8:255:"), True, [
        (command(SELECT_MEMORY, [0x03]), OK), (command(RECALL_MEMORY), OK),
        (command(READ_FREQUENCY), frequency_reply("00 00 80 01")),
        (command(READ_MODE), reply(READ_MODE, [9, 0])),
        (command(READ_NAME), reply(READ_NAME, b"\x0A\xB3\xFD\x00\xFE\x41 ")),
        (command(SELECT_MEMORY, [0x60]), OK), (command(RECALL_MEMORY), OK),
        (command(READ_MODE), reply(READ_MODE, [8, 255])),
        (command(READ_FREQUENCY), frequency_reply("90 99 99 29")),
    ]),
    # Silent at first: it neither answers nor acts (channel 3 stays empty).
    (("--silent-for", "3"), True, [
        (command(SET_NAME, b"SILENT"), b""), (command(SELECT_MEMORY, [0x03]), b""),
        (command(STORE_MEMORY), b""),
        (command(SELECT_MEMORY, [0x03]), OK), (command(RECALL_MEMORY), REFUSED),
        (command(READ_NAME), reply(READ_NAME, b"       ")),
    ]),
    # The three reads refused, and nothing else.
    (("--demo", "--refuse-reads"), True, [
        (command(SELECT_MEMORY, [0x05]), OK), (command(RECALL_MEMORY), OK),
        *[(command(code), REFUSED) for code in (READ_FREQUENCY, READ_MODE, READ_NAME)],
        (command(SET_NAME, b"X"), OK),
    ]),
    # The reply alone.
    (("--no-echo",), False, [
        (command(SELECT_MEMORY, [0x00]), OK), (command(READ_MODE), reply(READ_MODE, [1, 2])),
    ]),
)


class AnswerTest(RadioTestCase):
    def test_each_command_is_answered_as_its_data_and_the_options_say(self):
        for options, echoes, exchanges in CONVERSATIONS:
            with self.subTest(options=options):
                _, port = self.radio_and_port(*options)
                # Read by count: the line is one queue, so a reply that should
                # not have come stands where the next echo should.
                for frame, answer in exchanges:
                    port.write(frame)
                    wanted = (frame if echoes else b"") + answer
                    self.assertEqual(port.read(len(wanted)), wanted, frame.hex(" "))


class NoiseAndVanishTest(RadioTestCase):
    def noise_after_replies(self, *options):
        radio, port = self.radio_and_port("--noise", *options)
        heard = []
        for channel in range(6):
            self.assertEqual(self.ask(port, command(SELECT_MEMORY, [packed(channel)])), OK)
            logged = radio.wait_log(lambda lines: len(lines) == 3 * (channel + 1))[-1]
            self.assertEqual(logged.kind, "noise")
            self.assertTrue(1 <= len(logged.data) <= 4, logged)
            self.assertNotIn(0xFD, logged.data)
            self.assertNotIn(0xFE, logged.data)
            self.assertEqual(port.read(len(logged.data)), logged.data)
            heard.append(logged.data)
        return heard

    def test_noise_follows_every_reply_and_repeats_with_its_seed(self):
        first = self.noise_after_replies("--seed", "7")
        self.assertEqual(self.noise_after_replies("--seed", "7"), first)
        self.assertEqual(self.noise_after_replies(), self.noise_after_replies("--seed", "1"))

    def test_vanishes_after_its_frames_removing_its_link_and_saving(self):
        radio, port = self.radio_and_port("--vanish-after", "2", "--link", "port", "--memory",
                                          "memory.txt", "--demo")
        self.assertEqual(self.ask(port, command(SELECT_MEMORY, [0x05])), OK)
        self.assertEqual(self.ask(port, command(RECALL_MEMORY)), OK)
        self.assertEqual(radio.wait_exit(), 0)
        with self.assertRaises(HangUp):
            port.write(command(READ_NAME))
            port.read(1)
        self.assertFalse(os.path.lexists(radio.path("port")))
        self.assertIn(channel_line(5, "1423450", b"BEACON ", b"USB ", b"2.4") + b"\r\n",
                      read_file(radio.path("memory.txt")))

class TimingTest(RadioTestCase):
    def echo_time(self, port, data):
        start = time.monotonic()
        port.write(data)
        self.assertEqual(port.read(len(data)), data)
        return time.monotonic() - start

    def test_at_1200_bits_per_second_each_byte_takes_ten_bits(self):
        _, port = self.radio_and_port(rate=1200)
        took = self.echo_time(port, bytes(range(10)))
        self.assertGreaterEqual(took, 0.080)  # 10 bytes of 8.33 ms
        self.assertLess(took, 0.5)
        # The reply follows the echo of the FD: 7 + 6 bytes, 108 ms.
        start = time.monotonic()
        self.assertEqual(self.ask(port, command(SELECT_MEMORY, [0])), OK)
        took = time.monotonic() - start
        self.assertGreaterEqual(took, 0.105)
        self.assertLess(took, 0.6)

    def test_at_rate_zero_bytes_go_at_once(self):
        _, port = self.radio_and_port()
        # Paced at 1200 bit/s these would take 2.5 s; unpaced, far less than
        # the bound even on a busy machine.
        self.assertLess(self.echo_time(port, bytes(300)), 1.0)

    def test_batches_go_out_at_multiples_of_the_period(self):
        _, port = self.radio_and_port("--batch-ms", "100")
        longest = 0
        for _ in range(3):
            self.echo_time(port, b"\x01")  # now just past a multiple of 100 ms
            # The next echo waits for the next multiple, however fast it was sent;
            # only our own delay in seeing the first one shortens the wait.
            longest = max(longest, self.echo_time(port, b"\x02"))
        self.assertGreaterEqual(longest, 0.08)
        self.assertLess(longest, 0.4)


class MemoryFileTest(RadioTestCase):
    def test_loads_the_file_and_saves_it_back_with_changes(self):
        directory = self.folder()
        lines = [channel_line(0, "1423450", b"BEACON ", b"USB ", b"2.4"),
                 channel_line(1), channel_line(2, " 705000", b"CW     ", b"CW  ", b".50"),
                 channel_line(3, "0355000", b"NET    ", b"usb ", b"xx"), b"  4\xB3"]
        write_file(directory, lines)
        radio = self.start("--memory", "memory.txt", directory=directory)
        port = self.connect(radio)
        self.assertEqual(self.recall(port, 0), OK)
        self.assertEqual(self.vfo(port), (
            reply(READ_FREQUENCY, bytes.fromhex("00 45 23 14 00")),
            reply(READ_MODE, [1, 2]), reply(READ_NAME, b"BEACON ")))
        self.assertEqual(self.recall(port, 1), REFUSED)
        self.assertEqual(self.recall(port, 2), OK)
        self.assertEqual(self.ask(port, command(READ_FREQUENCY)),
                         reply(READ_FREQUENCY, bytes.fromhex("00 00 05 07 00")))
        # Texts it does not know give LSB and 6.0, whatever the line before had.
        self.assertEqual(self.recall(port, 3), OK)
        self.assertEqual(self.ask(port, command(READ_MODE)), reply(READ_MODE, [0, 1]))
        self.assertEqual(self.ask(port, command(READ_NAME)), reply(READ_NAME, b"NET    "))
        for channel in (4, 5, 61):
            self.assertEqual(self.recall(port, channel), REFUSED, channel)
        for frame in (command(SET_FREQUENCY, frequency_bytes("2107500")),
                      command(SET_MODE_FILTER, [4, 5]), command(SET_NAME, b"RTTY"),
                      command(SELECT_MEMORY, [0x61]), command(STORE_MEMORY)):
            self.assertEqual(self.ask(port, frame), OK)
        port.close()
        self.assertEqual(radio.stop(), 0)
        expected = empty_file()
        expected[0] = lines[0]
        expected[2] = channel_line(2, "0705000", b"CW     ", b"CW  ", b".50")
        expected[3] = channel_line(3, "0355000", b"NET    ", b"LSB ", b"6.0")
        expected[61] = channel_line(61, "2107500", b"RTTY   ", b"FSK ", b".25")
        saved = read_file(radio.path("memory.txt"))
        self.assertEqual(saved, b"".join(line + b"\r\n" for line in expected))
        self.assertEqual(len(saved.split(b"\r\n")), 63)

        # Loaded again, the saved file comes back unchanged.
        again = self.start("--memory", "memory.txt", directory=directory)
        self.assertEqual(again.stop(), 0)
        self.assertEqual(read_file(radio.path("memory.txt")), saved)

    def test_demo_channels_fill_a_new_memory_file(self):
        radio, port = self.radio_and_port("--demo", "--memory", "new.txt")
        self.assertFalse(os.path.exists(radio.path("new.txt")))
        filled = [channel for channel in range(62) if self.recall(port, channel) == OK]
        self.assertEqual(filled, [0, 1, 2, 5, 10, 20])
        self.assertEqual(self.recall(port, 5), OK)
        self.assertEqual(self.ask(port, command(READ_NAME)), reply(READ_NAME, b"BEACON "))
        self.assertEqual(radio.stop(), 0)
        saved = read_file(radio.path("new.txt")).split(b"\r\n")
        self.assertEqual(len(saved), 63)
        self.assertEqual(saved[5], bytes.fromhex(
            "20 20 35 B3 31 34 2E 32 33 34 35 30 B3 42 45 41 43 4F 4E 20 B3 55 53 42 20 B3 32 2E 34"))
        self.assertEqual(saved[12], bytes.fromhex(
            "20 31 32 B3 20 20 2E 20 20 20 20 20 B3 20 20 20 20 20 20 20 B3 20 20 20 20 B3 20 20 20"))

    def test_an_existing_memory_file_wins_over_demo(self):
        directory = self.folder()
        write_file(directory, empty_file())
        radio = self.start("--demo", "--memory", "memory.txt", directory=directory)
        port = self.connect(radio)
        self.assertEqual(self.recall(port, 5), REFUSED)

class LogTest(RadioTestCase):
    def test_one_line_per_frame_with_seconds_kind_and_hex(self):
        radio, port = self.radio_and_port("--demo", "--extra-bytes")
        for frame in (command(SELECT_MEMORY, [5]), command(RECALL_MEMORY)):
            self.assertEqual(self.ask(port, frame), OK)
            self.assertEqual(port.read(3), b"\xFE\xFE\x00")
        radio.wait_log(lambda lines: len(lines) == 6)
        with open(radio.log_path) as log:
            text = log.read()
        lines = text.splitlines()
        for line in lines:
            self.assertRegex(line, r"^\d+\.\d{6} (in|out|noise)( [0-9A-F]{2})+$")
        self.assertEqual([line.split(" ", 1)[1] for line in lines], [
            "in FE FE 04 F1 08 05 FD", "out FE FE F1 04 FB FD", "noise FE FE 00",
            "in FE FE 04 F1 0A FD", "out FE FE F1 04 FB FD", "noise FE FE 00"])
        times = [float(line.split(" ")[0]) for line in lines]
        self.assertEqual(times, sorted(times))

if __name__ == "__main__":
    unittest.main()

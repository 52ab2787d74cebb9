"""The virtual radio on its own: its port, echo, answers, state, faults,
timing, memory file and log, driven from Python through its pseudo-terminal."""

import os
import shutil
import signal
import stat
import tempfile
import time
import unittest

from radio import (OK, READ_FREQUENCY, READ_MODE, READ_NAME, RECALL_MEMORY, REFUSED,
                   SELECT_MEMORY, SET_CLOCK, SET_FREQUENCY, SET_MODE_FILTER, SET_NAME,
                   STORE_MEMORY, HangUp, Port, Radio, command, frequency_bytes, packed, reply)

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
    def test_prints_its_port_makes_the_link_and_removes_it_at_the_end(self):
        radio = self.start("--link", "port")
        self.assertTrue(radio.port.startswith("/dev/"))
        self.assertTrue(stat.S_ISCHR(os.stat(radio.port).st_mode))
        self.assertEqual(os.readlink(radio.path("port")), radio.port)
        self.assertEqual(radio.stop(), 0)
        self.assertFalse(os.path.lexists(radio.path("port")))
        self.assertEqual(radio.errors(), "")

    def test_interrupt_ends_it_with_status_zero(self):
        radio = self.start()
        self.assertEqual(radio.stop(signal.SIGINT), 0)

    def test_serves_one_program_after_another(self):
        radio = self.start("--demo")
        for _ in range(3):
            with Port(radio.port) as port:
                self.assertEqual(self.recall(port, 5), OK)
        self.assertIsNone(radio.process.poll())
        self.assertEqual(radio.stop(), 0)

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


class CommandTest(RadioTestCase):
    def test_the_vfo_starts_on_14_2_mhz_usb_with_a_blank_name(self):
        _, port = self.radio_and_port()
        self.assertEqual(self.vfo(port), (
            reply(READ_FREQUENCY, bytes.fromhex("00 00 20 14 00")),
            reply(READ_MODE, [1, 2]),
            reply(READ_NAME, b"       ")))

    def test_set_frequency_takes_four_or_five_decimal_bytes(self):
        _, port = self.radio_and_port()
        self.assertEqual(self.ask(port, command(SET_FREQUENCY, frequency_bytes("1423450"))), OK)
        self.assertEqual(self.ask(port, command(READ_FREQUENCY)),
                         reply(READ_FREQUENCY, bytes.fromhex("00 45 23 14 00")))
        self.assertEqual(self.ask(port, command(SET_FREQUENCY, bytes.fromhex("50 00 05 07 00"))), OK)
        self.assertEqual(self.ask(port, command(READ_FREQUENCY)),
                         reply(READ_FREQUENCY, bytes.fromhex("50 00 05 07 00")))
        # The radio tunes in 10 Hz steps: the 1 Hz digit is dropped.
        self.assertEqual(self.ask(port, command(SET_FREQUENCY, bytes.fromhex("99 99 99 29"))), OK)
        self.assertEqual(self.ask(port, command(READ_FREQUENCY)),
                         reply(READ_FREQUENCY, bytes.fromhex("90 99 99 29 00")))

    def test_set_frequency_refuses_what_is_not_a_frequency(self):
        _, port = self.radio_and_port()
        for data in ("00 45 23 1A", "0F 45 23 14", "00 45 23", "00 45 23 14 01",
                     "00 45 23 14 00 00", "00 F5 23 14"):
            self.assertEqual(self.ask(port, command(SET_FREQUENCY, bytes.fromhex(data))), REFUSED,
                             data)
        self.assertEqual(self.ask(port, command(READ_FREQUENCY)),
                         reply(READ_FREQUENCY, bytes.fromhex("00 00 20 14 00")))

    def test_set_mode_filter_takes_modes_0_to_7_and_filters_1_to_5(self):
        _, port = self.radio_and_port()
        self.assertEqual(self.ask(port, command(SET_MODE_FILTER, [7, 5])), OK)
        self.assertEqual(self.ask(port, command(READ_MODE)), reply(READ_MODE, [7, 5]))
        self.assertEqual(self.ask(port, command(SET_MODE_FILTER, [0, 1])), OK)
        for data in ([8, 1], [0, 0], [0, 6], [0xFF, 2], [1], [1, 2, 3]):
            self.assertEqual(self.ask(port, command(SET_MODE_FILTER, data)), REFUSED, data)
        self.assertEqual(self.ask(port, command(READ_MODE)), reply(READ_MODE, [0, 1]))

    def test_select_memory_takes_packed_00_to_61(self):
        _, port = self.radio_and_port()
        for channel in (0, 9, 10, 61):
            self.assertEqual(self.ask(port, command(SELECT_MEMORY, [packed(channel)])), OK, channel)
        for data in ([0x62], [0x0A], [0x1F], [0x99], [], [0x01, 0x02]):
            self.assertEqual(self.ask(port, command(SELECT_MEMORY, data)), REFUSED, data)

    def test_recall_of_an_empty_channel_is_refused(self):
        _, port = self.radio_and_port()
        self.assertEqual(self.recall(port, 0), REFUSED)
        self.assertEqual(self.recall(port, 61), REFUSED)

    def test_store_then_recall_on_another_channel(self):
        _, port = self.radio_and_port()
        for frame in (command(SET_FREQUENCY, frequency_bytes("0703000")),
                      command(SET_MODE_FILTER, [3, 4]), command(SET_NAME, b"CW 40M "),
                      command(SELECT_MEMORY, [0x42]), command(STORE_MEMORY),
                      command(SET_FREQUENCY, frequency_bytes("2860000")),
                      command(SET_MODE_FILTER, [5, 1]), command(SET_NAME, b"FM"),
                      command(SELECT_MEMORY, [0x07]), command(STORE_MEMORY)):
            self.assertEqual(self.ask(port, frame), OK, frame.hex(" "))
        self.assertEqual(self.recall(port, 42), OK)
        self.assertEqual(self.vfo(port), (
            reply(READ_FREQUENCY, bytes.fromhex("00 00 03 07 00")),
            reply(READ_MODE, [3, 4]),
            reply(READ_NAME, b"CW 40M ")))
        self.assertEqual(self.recall(port, 7), OK)
        self.assertEqual(self.vfo(port), (
            reply(READ_FREQUENCY, bytes.fromhex("00 00 60 28 00")),
            reply(READ_MODE, [5, 1]),
            reply(READ_NAME, b"FM     ")))
        self.assertEqual(self.recall(port, 43), REFUSED)

    def test_set_name_takes_up_to_seven_bytes_of_any_value(self):
        _, port = self.radio_and_port()
        self.assertEqual(self.ask(port, command(SET_NAME, b"\x00\xB3\x0A\xFF")), OK)
        self.assertEqual(self.ask(port, command(READ_NAME)),
                         reply(READ_NAME, b"\x00\xB3\x0A\xFF   "))
        self.assertEqual(self.ask(port, command(SET_NAME, b"EIGHT..")), OK)
        self.assertEqual(self.ask(port, command(SET_NAME, b"TOO LONG")), REFUSED)
        self.assertEqual(self.ask(port, command(READ_NAME)), reply(READ_NAME, b"EIGHT.."))
        self.assertEqual(self.ask(port, command(SET_NAME)), OK)
        self.assertEqual(self.ask(port, command(READ_NAME)), reply(READ_NAME, b"       "))

    def test_set_clock_takes_a_packed_date_and_time(self):
        radio, port = self.radio_and_port()
        good = bytes([0x31, 0x12, 0x99, 0x23, 0x59, 0x59])
        self.assertEqual(self.ask(port, command(SET_CLOCK, good)), OK)
        self.assertEqual(self.ask(port, command(SET_CLOCK, bytes.fromhex("01 01 00 00 00 00"))), OK)
        for data in ("00 01 26 12 00 00", "32 01 26 12 00 00", "15 13 26 12 00 00",
                     "15 06 26 24 00 00", "15 06 26 12 60 00", "15 06 26 12 00 60",
                     "15 06 2A 12 00 00", "15 06 26 12 00", "15 06 26 12 00 00 00"):
            self.assertEqual(self.ask(port, command(SET_CLOCK, bytes.fromhex(data))), REFUSED, data)
        lines = radio.wait_log(lambda lines: len(lines) == 22)
        self.assertEqual([line.data for line in lines if line.kind == "out"],
                         [OK, OK] + [REFUSED] * 9)

    def test_unknown_commands_and_reads_with_data_are_refused(self):
        _, port = self.radio_and_port()
        for frame in (command(0x00), command(0x07), command(0x0B), command(0x12),
                      command(0xFB), command(READ_FREQUENCY, [0]), command(READ_MODE, [0]),
                      command(READ_NAME, [0]), command(STORE_MEMORY, [0])):
            self.assertEqual(self.ask(port, frame), REFUSED, frame.hex(" "))

    def test_channel_option_gives_any_mode_filter_and_name_bytes(self):
        _, port = self.radio_and_port("--channel", "3:0180000:9:0:0AB3FD00FE41",
                                      "--channel=60:2999999:8:255:")
        self.assertEqual(self.recall(port, 3), OK)
        self.assertEqual(self.ask(port, command(READ_FREQUENCY)),
                         reply(READ_FREQUENCY, bytes.fromhex("00 00 80 01 00")))
        self.assertEqual(self.ask(port, command(READ_MODE)), reply(READ_MODE, [9, 0]))
        # The FD inside the name ends no frame here: read by count.
        port.write(command(READ_NAME))
        self.assertEqual(port.read(6 + 13), command(READ_NAME) +
                         reply(READ_NAME, b"\x0A\xB3\xFD\x00\xFE\x41 "))
        self.assertEqual(self.recall(port, 60), OK)
        self.assertEqual(self.ask(port, command(READ_MODE)), reply(READ_MODE, [8, 255]))
        self.assertEqual(self.ask(port, command(READ_FREQUENCY)),
                         reply(READ_FREQUENCY, bytes.fromhex("90 99 99 29 00")))


class FaultTest(RadioTestCase):
    def test_silent_radio_echoes_and_neither_answers_nor_acts(self):
        radio, port = self.radio_and_port("--silent", "--memory", "memory.txt")
        frames = [command(SET_NAME, b"SILENT"), command(SELECT_MEMORY, [3]),
                  command(STORE_MEMORY), command(READ_NAME)]
        for frame in frames:
            port.write(frame)
            # Each echo follows the one before with nothing in between.
            self.assertEqual(port.read(len(frame)), frame)
        radio.wait_log(lambda lines: len(lines) == 4)
        self.assertEqual(radio.stop(), 0)
        self.assertEqual([(line.kind, line.data) for line in radio.log()],
                         [("in", frame) for frame in frames])
        self.assertEqual(read_file(radio.path("memory.txt")),
                         b"".join(line + b"\r\n" for line in empty_file()))

    def test_no_echo_sends_the_reply_alone(self):
        _, port = self.radio_and_port("--no-echo")
        port.write(command(SELECT_MEMORY, [0]))
        self.assertEqual(port.read_frame(), OK)
        port.write(command(READ_MODE))
        self.assertEqual(port.read_frame(), reply(READ_MODE, [1, 2]))

    def test_refuse_recall_refuses_even_filled_channels(self):
        _, port = self.radio_and_port("--demo", "--refuse-recall")
        self.assertEqual(self.recall(port, 5), REFUSED)
        self.assertEqual(self.ask(port, command(STORE_MEMORY)), OK)
        self.assertEqual(self.ask(port, command(RECALL_MEMORY)), REFUSED)

    def test_refuse_reads_refuses_the_three_reads_only(self):
        _, port = self.radio_and_port("--demo", "--refuse-reads")
        self.assertEqual(self.recall(port, 5), OK)
        self.assertEqual(self.vfo(port), (REFUSED, REFUSED, REFUSED))
        self.assertEqual(self.ask(port, command(SET_NAME, b"X")), OK)

    def test_cut_replies_lack_their_fd(self):
        radio, port = self.radio_and_port("--cut-replies")
        select = command(SELECT_MEMORY, [0])
        port.write(select)
        self.assertEqual(port.read(len(select) + 5), select + OK[:-1])
        read = command(READ_FREQUENCY)
        port.write(read)
        # Nothing stood between the cut reply and this echo.
        self.assertEqual(port.read(len(read) + 10), read + reply(READ_FREQUENCY,
                                                                 bytes.fromhex("00 00 20 14 00"))[:-1])
        lines = radio.wait_log(lambda lines: len(lines) == 4)
        self.assertEqual([line.data for line in lines if line.kind == "out"],
                         [OK[:-1], bytes.fromhex("FE FE F1 04 03 00 00 20 14 00")])

    def test_extra_bytes_follow_every_reply(self):
        radio, port = self.radio_and_port("--extra-bytes")
        for frame in (command(SELECT_MEMORY, [0]), command(READ_MODE)):
            self.assertEqual(self.ask(port, frame)[-1:], b"\xFD")
            self.assertEqual(port.read(3), b"\xFE\xFE\x00")
        lines = radio.wait_log(lambda lines: len(lines) == 6)
        self.assertEqual([line.kind for line in lines], ["in", "out", "noise"] * 2)
        self.assertEqual(lines[2].data, b"\xFE\xFE\x00")

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
        # Paced at 1200 bit/s these would take 833 ms.
        self.assertLess(self.echo_time(port, bytes(100)), 0.25)

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

"""Menu choice 1 against the virtual radio: the frames a memory file sends,
read from the radio's log, and a save-load-save round trip. And --check, which
reads a file as the load does and says where the load differs from the text."""

import os
import re
import subprocess
import tempfile
import unittest

from memory_lines import BAR, empty, filled, label, memory_file
from menu_jobs import LOAD_PROMPT, SAVE_PROMPT, MenuJobTest
from radio import Radio
from screen import SETUP, Program



def frame(text):
    return bytes.fromhex(text)


def five_frames(channel, frequency_hex, mode, filter_, name):
    channel_byte = channel // 10 * 16 + channel % 10
    return [frame("FE FE 04 F1 05 " + frequency_hex + " FD"),
            bytes([0xFE, 0xFE, 0x04, 0xF1, 0x06, mode, filter_, 0xFD]),
            bytes([0xFE, 0xFE, 0x04, 0xF1, 0x08, channel_byte, 0xFD]),
            frame("FE FE 04 F1 11") + name + b"\xfd",
            frame("FE FE 04 F1 09 FD")]


class LoadTest(MenuJobTest):
    def setUp(self):
        self.radio = self.new_radio()
        self.program = Program(env={"QUENMAR_COM1": self.radio.port}, cwd=self.radio.directory)
        self.addCleanup(self.program.close)
        self.program.wait_menu()

    def new_radio(self, *options):
        radio = Radio(*options)
        self.addCleanup(radio.close)
        return radio

    def write(self, name, data):
        with open(self.radio.path(name), "wb") as out:
            out.write(data)

    def load(self, data, timeout=30, refused=0):
        """Loads `data` as a memory file, whose channel 0 and `refused` - 1
        others the radio refuses at SetModeFilter; returns the frames this
        load sent."""
        before = len(self.frames())
        self.write("load.txt", data)
        if not refused:
            self.run_job(self.program, "1", LOAD_PROMPT, "load.txt", timeout)
        else:
            self.begin_job(self.program, "1", LOAD_PROMPT, "load.txt")
            self.assertEqual(self.load_outcome(self.program, timeout),
                             "0 channels stored, %d refused (0 at SetModeFilter), 61 left as the"
                             " radio has them" % refused)
        return self.frames()[before:]


    def test_the_frames_of_one_line(self):
        line = filled(12, "1423450", b"NET    ", b"USB ", b"1.8")
        self.assertEqual(self.load(memory_file({12: line})), [
            frame("FE FE 04 F1 05 00 45 23 14 FD"), frame("FE FE 04 F1 06 01 03 FD"),
            frame("FE FE 04 F1 08 12 FD"), frame("FE FE 04 F1 11 4E 45 54 20 20 20 20 FD"),
            frame("FE FE 04 F1 09 FD")])

    def test_only_filled_channels_send_and_line_ends_and_utf8_separators_do_not_matter(self):
        data = memory_file({3: filled(3, "0705000", b"THREE  ", b"LSB ", b"6.0"),
                            40: filled(40, "2112340", b"FORTY  ", b"FM  ", b".50")})
        sent = self.load(data)
        self.assertEqual(sent, five_frames(3, "00 00 05 07", 0, 1, b"THREE  ")
                         + five_frames(40, "00 34 12 21", 5, 4, b"FORTY  "))
        self.assertEqual(self.load(data.replace(b"\r\n", b"\n")), sent)
        # The separator as a UTF-8 editor writes it, U+2502.
        self.assertEqual(self.load(data.replace(BAR, "\u2502".encode())), sent)

    def test_short_and_empty_files_send_only_what_they_hold(self):
        ten = b"".join(filled(n, "1400000", b"TEN    ", b"CW  ", b"2.4") + b"\r\n" if n == 7
                       else empty(n) + b"\r\n" for n in range(10))
        self.assertEqual(self.load(ten), five_frames(7, "00 00 00 14", 3, 2, b"TEN    "))
        self.assertEqual(self.load(b""), [])

    def test_unrecognised_texts_send_the_numbers_from_before(self):
        unknown = filled(0, "1400000", b"A      ", b"usb ", b"9.9")
        sent = self.load(memory_file({0: unknown}), refused=1)
        self.assertEqual(sent[1], frame("FE FE 04 F1 06 00 00 FD"))  # a fresh run: 0 and 0
        data = memory_file({
            0: filled(0, "1400000", b"A      ", b"AMLS", b".25"),
            1: label(1) + BAR + b"  .     " + BAR + b"B      " + BAR + b"AM  " + BAR + b"6.0",
            2: filled(2, "1400000", b"C      ", b"????", b"???")})
        sent = self.load(data)
        self.assertEqual(len(sent), 10)
        self.assertEqual(sent[1], frame("FE FE 04 F1 06 06 05 FD"))
        # The empty line's AM and 6.0 were not looked at.
        self.assertEqual(sent[6], frame("FE FE 04 F1 06 06 05 FD"))

    def save_then_load(self, *radio_options):
        """Saves a radio with these options, then loads a line whose mode and
        filter texts match no name; returns the frames of the load."""
        self.radio = self.new_radio(*radio_options)
        self.program.close()
        self.program = Program(env={"QUENMAR_COM1": self.radio.port}, cwd=self.radio.directory)
        self.program.wait_menu()
        self.run_job(self.program, "2", SAVE_PROMPT, "saved.txt")
        return self.load(memory_file({0: filled(0, "1400000", b"A      ", b"xxxx", b"xxx")}),
                         refused=1)

    def test_a_save_whose_last_accepted_channel_had_mode_3(self):
        sent = self.save_then_load("--channel", "4:1400000:3:2:" + "20" * 7)
        self.assertEqual(sent[1], frame("FE FE 04 F1 06 03 00 FD"))

    def test_frequency_texts_that_are_not_whole(self):
        data = memory_file({
            0: label(0) + BAR + b" 7.05   " + BAR + b"TRAIL  " + BAR + b"LSB " + BAR + b"2.4",
            1: filled(1, "14x3450", b"LETTER ", b"USB ", b"2.4"),
            2: filled(2, "14 3450", b"BLANK  ", b"USB ", b"2.4"),
            3: label(3) + BAR + b"14.23",
            4: filled(4, "0700000", b"\xfdFD\xfeFE ", b"USB ", b"2.4"),
            5: label(5) + BAR + b"1423450 " + BAR + b"NOPOINT" + BAR + b"USB " + BAR + b"2.4"})
        sent = self.load(data)
        self.assertEqual(sent, five_frames(0, "00 00 05 07", 0, 2, b"TRAIL  ")
                         + five_frames(4, "00 00 00 07", 1, 2, b" FD FE "))

    def test_a_missing_file_or_an_empty_name_ends_the_run_before_any_frame(self):
        p = self.program
        p.type_line("1")
        p.wait_for(lambda s: s.row(1).startswith(LOAD_PROMPT))
        p.type_line("nothing-here.txt")
        self.assertEqual(p.wait_exit(), 2)
        self.assertIn("Aborting due to runtime error 2 (file not found) at line 488 of QUEN32()", p.text())
        self.assertEqual(self.frames(), [])

    def test_an_unanswered_frame_stops_the_load_and_the_menu_says_so(self):
        data = memory_file({7: filled(7, "1823450", b"QUIET  ", b"CW  ", b".25"),
                            8: filled(8, "1823450", b"LATER  ", b"CW  ", b".25")})
        # Silent for the first frame only: one 3-second window, and nothing after it.
        self.radio = self.new_radio("--silent-for", "1")
        self.write("load.txt", data)
        self.program.close()
        self.program = Program(env={"QUENMAR_COM1": self.radio.port}, cwd=self.radio.directory)
        self.program.wait_menu()
        self.begin_job(self.program, "1", LOAD_PROMPT, "load.txt")
        self.assertTrue(self.load_outcome(self.program, timeout=20).startswith(
            "the radio did not answer SetFrequency of channel 7, so the load stopped; check"))
        self.assertEqual(self.frames(), five_frames(7, "00 45 23 18", 3, 5, b"QUIET  ")[:1])

    def test_round_trip_through_an_empty_radio(self):
        channels = {channel: ("%07d" % (1800000 + channel * 37013), channel % 8, channel % 5 + 1,
                              ("CH%02d-%s" % (channel, chr(65 + channel % 26))).encode())
                    for channel in range(0, 62, 3)}
        source = self.new_radio(*sum((["--channel", "%d:%s:%d:%d:%s" % (
            channel, digits, mode, filter_, name.hex())]
            for channel, (digits, mode, filter_, name) in channels.items()), []),
            "--memory", "source.txt")
        target = self.new_radio("--memory", "target.txt")
        for radio, choice, name in ((source, "2", "first.txt"), (target, "1", None),
                                    (target, "2", "second.txt")):
            self.program.close()
            self.program = Program(env={"QUENMAR_COM1": radio.port}, cwd=source.directory)
            self.program.wait_menu()
            if choice == "2":
                self.run_job(self.program, "2", SAVE_PROMPT, name)
            else:
                self.run_job(self.program, "1", LOAD_PROMPT, "first.txt")
        self.assertEqual(check(source.path("first.txt"))[:2], (0, []))
        # The saved file against one written out here, so that a fault shared
        # by the writing and the reading of lines still shows.
        modes = [b"LSB ", b"USB ", b"AM  ", b"CW  ", b"FSK ", b"FM  ", b"AMLS", b"AMUS"]
        filters = [None, b"6.0", b"2.4", b"1.8", b".50", b".25"]
        expected = memory_file({channel: filled(channel, digits, name.ljust(7), modes[mode], filters[filter_])
                                for channel, (digits, mode, filter_, name) in channels.items()})
        with open(source.path("first.txt"), "rb") as first, open(source.path("second.txt"), "rb") as second:
            self.assertEqual(first.read(), expected)
            self.assertEqual(second.read(), expected)
        self.assertEqual(source.stop(), 0)
        self.assertEqual(target.stop(), 0)
        with open(source.path("source.txt"), "rb") as a, open(target.path("target.txt"), "rb") as b:
            self.assertEqual(a.read(), b.read())


def check(path):
    """Runs --check on a file, with a port that cannot be opened: (status,
    [(line, column, kind, text)], the rest of the output)."""
    done = subprocess.run([SETUP, "--check", path], capture_output=True, timeout=10,
                          env=dict(os.environ, QUENMAR_COM1="/nonexistent"))
    found, rest = [], []
    for line in done.stdout.decode("ascii").splitlines():
        match = re.fullmatch(re.escape(path) + r":(\d+):(\d+): (warning|note): (.*)", line)
        if match:
            found.append((int(match[1]), int(match[2]), match[3], match[4]))
        else:
            rest.append(line)
    return done.returncode, found, rest + done.stderr.decode().splitlines()


class CheckTest(unittest.TestCase):
    def check(self, data):
        with tempfile.TemporaryDirectory() as directory:
            path = os.path.join(directory, "radio.txt")
            with open(path, "wb") as out:
                out.write(data)
            status, found, rest = check(path)
        return status, found, [line.replace(path, "FILE") for line in rest]

    def test_a_name_with_control_bytes_reaches_no_terminal_raw(self):
        # A name holding an escape sequence, in every line that names it:
        # --check's findings and summary, and the refusal of a CSV to --load.
        with tempfile.TemporaryDirectory() as directory:
            memory = os.path.join(directory, "m\x1b[2J.txt")
            with open(memory, "wb") as out:
                out.write(memory_file({0: filled(0, "1400000", b"A      ", b"usb ", b"2.4")}))
            csv = os.path.join(directory, "c\x1b[2J.csv")
            with open(csv, "wb") as out:
                out.write(b"Location,Name,Frequency\r\n1,A,14.000000\r\n")
            for args, status in (["--check", memory], 3), (["--load", csv], 2):
                done = subprocess.run([SETUP] + args, capture_output=True, timeout=10,
                                      env=dict(os.environ, QUENMAR_COM1="/nonexistent"))
                self.assertEqual(done.returncode, status, done)
                self.assertIn(b"\\x1B[2J", done.stdout + done.stderr)
                self.assertNotIn(b"\x1b", done.stdout + done.stderr)

    def test_one_fault_of_each_kind(self):
        lines = {
            0: filled(0, "1400000", b"A      ", b"usb ", b"2.4"),
            1: label(1) + BAR + b"1423450 " + BAR + b"B      " + BAR + b"USB " + BAR + b"2.4",
            2: label(2) + BAR + b"  7.0300" + BAR + b"C      " + BAR + b"USB " + BAR + b"2.4",
            3: filled(3, "14x3450", b"D      ", b"USB ", b"2.4"),
            4: filled(9, "1400000", b"E      ", b"USB ", b"2.4"),
            5: label(5) + BAR + b"14.00000|F      " + BAR + b"USB " + BAR + b"2.4",
            6: filled(6, "1400000", b"G\xfd\x01    ", b"USB ", b"2.4"),
            7: filled(7, "1400000", b"H      ", b"USB ", b"2.5"),
            8: filled(8, "1400000", b"\tI     ", b"USB ", b"2.4"),
            9: filled(9, "1400000", b"J      ", b"Usb ", b"2.4").replace(BAR, "\u2502".encode())}
        status, found, rest = self.check(memory_file(lines) + b"a 63rd line\r\n")
        expected = [(1, 22, "warning", 'mode "usb "'), (2, 7, "warning", "column 7 holds a digit"),
                    (3, 5, "warning", "empty channel"), (4, 5, "warning", "not seven digits"),
                    (5, 1, "warning", "programs channel 4"), (6, 13, "warning", "separator"),
                    (7, 15, "warning", "byte FD"), (7, 16, "warning", "control character"),
                    (8, 27, "warning", 'filter "2.5"'), (9, 14, "warning", "tab"),
                    (10, 4, "note", "U+2502"),
                    # Three bytes in the file for each of the three separators before it.
                    (10, 28, "warning", 'mode "Usb "'), (63, 1, "warning", "after the 62nd")]
        self.assertEqual([f[:3] for f in found], [e[:3] for e in expected])
        for (_, _, _, text), (_, _, _, words) in zip(found, expected):
            self.assertIn(words, text)
        self.assertEqual(rest, ["FILE: loads 7 channels, leaves 55 as the radio has them; "
                                "12 warnings"])
        self.assertEqual(status, 3)

    def test_a_short_file_a_long_line_and_a_file_that_cannot_be_opened(self):
        status, found, _ = self.check(memory_file({})[:31 * 3] + b"x" * 4100)
        self.assertEqual((status, [f[:2] for f in found]), (3, [(4, 5), (4, 4097), (5, 5), (6, 1)]))
        self.assertIn("cut after 4096 bytes", found[1][3])
        self.assertIn("channels 5 to 61 are left", found[3][3])
        status, found, rest = check("/nonexistent/file.txt")
        self.assertEqual((status, found), (2, []))
        self.assertIn("Aborting due to runtime error 2 (file not found) at line 488 of QUEN32()",
                      rest)

    def test_a_ctrl_z_and_a_utf8_character_in_a_name_are_named(self):
        # "Zürich " typed in a UTF-8 editor: eight bytes, and the columns after it move.
        data = memory_file({0: filled(0, "1423450", "Zürich ".encode(), b"USB ", b"2.4")})
        cases = ((data[:32 + 31 + 9] + b"\x1a" + data[32 + 31 + 9:], (3, 10), "channels 3 to 61"),
                 (data[:32 + 31 * 4] + b"\x1a" + data[32 + 31 * 4:], (6, 1), "channels 5 to 61"),
                 # Behind all 62 lines, even without a last line end, it cuts nothing.
                 (data[:-2] + b"\x1a", None, None))
        for data, place, left in cases:
            with self.subTest(place=place):
                status, found, _ = self.check(data)
                # Line 1's findings in column order, then the 1A and what it leaves.
                self.assertEqual((status, [f[:2] for f in found]),
                                 (3, [(1, 15), (1, 21), (1, 22), (1, 26), (1, 27)]
                                  + ([place] if place else [])))
                self.assertIn("UTF-8 character U+00FC (C3 BC), 2 bytes", found[0][3])
                self.assertIn("1 byte further right", found[0][3])
                if place:
                    self.assertIn("the byte 1A (Ctrl-Z) ends the file here: nothing after it is "
                                  "read - " + left + " are left", found[5][3])

    def test_a_byte_order_mark_is_a_note_and_a_read_error_an_error(self):
        lines = {0: filled(0, "1423450", b"BEACON ", b"USB ", b"2.4")}
        status, found, rest = self.check(b"\xef\xbb\xbf" + memory_file(lines))
        self.assertEqual((status, [f[:3] for f in found]), (0, [(1, 1, "note")]))
        self.assertIn("byte-order mark", found[0][3])
        self.assertEqual(rest, ["FILE: loads 1 channel, leaves 61 as the radio has them; "
                                "0 warnings"])
        status, found, rest = check("/proc/self/mem")  # every read fails
        self.assertEqual((status, found), (2, []))
        self.assertEqual(rest[:3], ['quenmar-setup: cannot read "/proc/self/mem": Input/output '
                                    "error", "", "Aborting due to runtime error 2 (file not found) "
                                    "at line 531 of QUEN32()"])

if __name__ == "__main__":
    unittest.main()

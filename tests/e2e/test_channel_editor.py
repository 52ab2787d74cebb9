"""The channels as a list (--list, --list-radio) and in the full-screen
editor (--edit): what a list shows and marks, and that the editor writes
only lines a save would write, keeps every other byte, and sends with F5
exactly the frames a load of the changed line sends."""

import os
import tempfile
import termios
import time
import unittest

from command_jobs import CommandJobTest
from memory_lines import empty, filled
from radio import (READ_FREQUENCY, READ_MODE, READ_NAME, RECALL_MEMORY, SELECT_MEMORY,
                   command, frequency_bytes)
from screen import Program

DOWN, TAB, ENTER, ESCAPE = "\x1b[B", "\t", "\r", "\x1b"
DELETE, F2, F5, F10, CTRL_Q = "\x1b[3~", "\x1bOQ", "\x1b[15~", "\x1b[21~", "\x11"

BEACON = filled(5, "1423450", b"BEACON ", b"USB ", b"2.4")
# Lowercase "usb " is no mode: a load sends the mode of the line before it.
FINDING = filled(7, "0705000", b"NET    ", b"usb ", b"6.0")


def mixed_file(ends=(b"\r\n", b"\n", b"\r"), after=b"a note after the channels\r\n"):
    """Channels 5 and 7 filled, line ends of every kind, a byte-order mark in
    front and bytes after the 62nd line: all must survive a save. A load
    reads a line ended by CR alone together with the next one."""
    lines = {5: BEACON, 7: FINDING}
    body = b"".join(lines.get(channel, empty(channel)) + ends[channel % len(ends)]
                    for channel in range(62))
    return b"\xef\xbb\xbf" + body + after


class ListTest(CommandJobTest):

    def test_list_shows_the_filled_channels_and_marks_a_line_with_findings(self):
        radio = self.radio()
        with open(radio.path("mem.txt"), "wb") as file:
            file.write(mixed_file((b"\r\n", b"\n"), after=b""))
        with open(radio.path("mem.csv"), "wb") as file:
            file.write(b"Location,Name,Frequency,Mode\r\n5,BEACON,14.234500,USB\r\n")
        cases = [  # arguments, status, lines wanted, lines not wanted
            (["--list", "mem.csv"], 0, ["   5  14.23450  USB   2.4  BEACON"], ["!"]),
            (["--list", "mem.txt"], 3, ["   5  14.23450  USB   2.4  BEACON",
                                         "!  7   7.05000  USB   6.0  NET"], ["  0  empty"]),
            (["--list", "mem.txt", "--all", "--channels", "0-5"], 0,
             ["   0  empty", "   5  14.23450  USB   2.4  BEACON"], ["  7 "]),
        ]
        for args, status, wanted, unwanted in cases:
            with self.subTest(args=args):
                code, out, err = self.run_job(radio, *args)
                self.assertEqual(code, status, err)
                for line in wanted:
                    self.assertIn(line + "\n", out)
                for line in unwanted:
                    self.assertNotIn(line, out)
                if status == 3:
                    self.assertIn("mem.txt:8:22: warning: mode", err)

    def test_edit_without_a_terminal_is_refused(self):
        code, out, err = self.run_job(self.radio(), "--edit", "mem.txt")
        self.assertEqual(code, 2)
        self.assertIn("--edit needs a terminal", err)

    def test_list_radio_reads_and_lists_without_changing_anything(self):
        radio = self.radio("--demo")
        code, out, err = self.run_job(radio, "--list-radio")
        self.assertEqual(code, 0, err)
        self.assertIn("   5  14.23450  USB   2.4  BEACON\n", out)
        reads = {SELECT_MEMORY, RECALL_MEMORY, READ_FREQUENCY, READ_MODE, READ_NAME}
        commands = {frame[4] for frame in self.frames(radio)}
        self.assertTrue(commands and commands <= reads, commands)


class EditorTest(CommandJobTest):

    def start(self, name, content=None, radio=None):
        self.folder = tempfile.mkdtemp(prefix="quenmar-edit-")
        self.path = os.path.join(self.folder, name)
        if content is not None:
            with open(self.path, "wb") as file:
                file.write(content)
        env = {"QUENMAR_COM1": radio.port} if radio else {}
        p = Program(["--edit", self.path], env=env, cwd=self.folder)
        self.addCleanup(p.close)
        return p

    def open_editor(self, p):
        p.wait_for(lambda s: "F10 quit" in s.text() or "Press any key" in s.text())
        if "Press any key" in p.text():
            p.send(" ")
        p.wait_for("F10 quit")

    def keys(self, p, *keys):
        for key in keys:
            p.send(key)
            time.sleep(0.06)  # an Escape alone is told from a sequence by a pause
        p.pump()

    def file(self):
        with open(self.path, "rb") as file:
            return file.read()

    def test_changed_fields_are_saved_as_a_save_writes_them_every_other_byte_kept(self):
        before = mixed_file()
        p = self.start("mem.txt", before)
        self.open_editor(p)
        self.keys(p, *[DOWN] * 5, "7.1", ENTER, TAB, "NEW", ENTER, TAB, "lsb", ENTER, "\x13")
        p.wait_for("saved")
        new_line = filled(5, "0710000", b"NEW    ", b"LSB ", b"2.4")
        self.assertEqual(self.file(), before.replace(BEACON, new_line))
        self.keys(p, CTRL_Q)
        self.assertEqual(p.wait_exit(), 0)

    def test_a_frequency_with_a_letter_or_a_sixth_decimal_is_refused(self):
        before = mixed_file()
        p = self.start("mem.txt", before)
        self.open_editor(p)
        for typed, why in [("14.2a", "is no frequency"), ("14.234567", "more than five decimals")]:
            with self.subTest(typed=typed):
                bells = p.screen.bells
                self.keys(p, *[DOWN] * 5, typed, ENTER)
                p.wait_for(why)
                self.assertGreater(p.screen.bells, bells)
                self.keys(p, ESCAPE)
        self.keys(p, F2)
        p.wait_for("saved")
        self.assertEqual(self.file(), before)  # an untouched file saves identical
        self.keys(p, F10)
        self.assertEqual(p.wait_exit(), 0)

    def test_delete_empties_a_channel_and_quitting_with_it_unsaved_asks(self):
        before = mixed_file((b"\r\n", b"\n"))
        p = self.start("mem.txt", before)
        self.open_editor(p)
        self.assertIn("!  7   7.05000  NET", p.text())  # the finding's row is marked
        self.keys(p, *[DOWN] * 5, DELETE, CTRL_Q)
        p.wait_for("Save changes? (y/n)")
        self.keys(p, ESCAPE, F10)  # back in the editor, then asked again
        p.wait_for("Save changes? (y/n)")
        self.keys(p, "y")
        self.assertEqual(p.wait_exit(), 0)
        self.assertEqual(self.file(), before.replace(BEACON, empty(5)))

    def test_a_missing_file_opens_empty_and_is_made_by_the_first_save(self):
        p = self.start("new.txt")
        self.open_editor(p)
        self.keys(p, DOWN, DOWN, "3.7", ENTER, CTRL_Q, "y")
        self.assertEqual(p.wait_exit(), 0)
        lines = {2: filled(2, "0370000", b" " * 7, b"USB ", b"2.4")}
        self.assertEqual(self.file(), b"".join(lines.get(c, empty(c)) + b"\r\n" for c in range(62)))

    def test_f5_sends_exactly_the_changed_channels_frames(self):
        radio = self.radio("--demo")
        p = self.start("mem.txt", mixed_file(), radio)
        self.open_editor(p)
        self.keys(p, *[DOWN] * 5, "7.1", ENTER, F5)
        p.wait_for("1 channel stored")
        self.assertEqual(self.frames(radio), [
            command(0x05, frequency_bytes("0710000")), command(0x06, b"\x01\x02"),
            command(0x08, b"\x05"), command(0x11, b"BEACON "), command(0x09)])
        self.keys(p, F5)  # nothing changed since
        p.wait_for("no channel has changed")
        self.assertEqual(len(self.frames(radio)), 5)
        self.keys(p, CTRL_Q, "n")
        self.assertEqual(p.wait_exit(), 0)

    def test_ctrl_c_restores_the_terminal(self):
        p = self.start("mem.txt", mixed_file())
        self.open_editor(p)
        self.assertFalse(p.input_mode() & termios.ECHO)
        p.interrupt()
        self.assertEqual(p.wait_exit(), 9)
        mode = p.input_mode()
        self.assertTrue(mode & termios.ECHO and mode & termios.ICANON)


if __name__ == "__main__":
    unittest.main()

"""--channels LIST with --save, --load and --compare against the virtual
radio: only the channels named, in channel order; a save of some channels
replaces only their lines; bad lists and files end before any frame."""

import os
import subprocess
import unittest

from command_jobs import CommandJobTest
from memory_lines import empty, filled, memory_file
from radio import SELECT_MEMORY
from screen import SETUP


class ChannelsTest(CommandJobTest):
    def test_a_chosen_line_sends_what_a_whole_load_sends_for_it(self):
        radio = self.radio()
        with open(radio.path("load.txt"), "wb") as out:
            # Channel 12's mode and filter name nothing: it sends channel 11's
            # (a finding of --check, so these loads need --force).
            out.write(memory_file({11: filled(11, "0705000", b"ELEVEN ", b"USB ", b"1.8"),
                                   12: filled(12, "1423450", b"TWELVE ", b"??? ", b"???"),
                                   40: filled(40, "2112340", b"FORTY  ", b"FM  ", b".50")}))
        self.assertEqual(self.run_job(radio, "--load", "load.txt", "--force")[0], 0)
        whole = self.frames(radio)
        self.assertEqual(len(whole), 15)
        status, out, errors = self.run_job(radio, "--load", "load.txt", "--channels", "12",
                                           "--force")
        self.assertEqual((status, out), (0, (
            "1 channel stored, 0 refused, 61 left as the radio has them; 0 frames sent again\n")))
        self.assertIn("load.txt:13:22: warning: mode", errors)
        self.assertEqual(self.frames(radio)[15:], whole[5:10])
        self.assertEqual(self.run_job(radio, "--load", "load.txt", "--channels=40,9,11-12",
                                      "--force")[:2], (0, (
            "channel 9 is empty in load.txt: left as the radio has it\n"
            "3 channels stored, 0 refused, 59 left as the radio has them; 0 frames sent again\n")))
        self.assertEqual(self.frames(radio)[20:], whole)
        # The findings of the lines not chosen do not hold a load back.
        self.assertEqual(self.run_job(radio, "--load", "load.txt", "--channels", "40")[0], 0)
        self.assertEqual(self.run_job(radio, "--load", "load.txt", "--channels", "12")[0], 3)
        self.assertEqual(self.frames(radio)[35:], whole[10:])

    def test_a_short_file_holds_back_only_a_load_of_a_channel_it_has_no_line_for(self):
        radio = self.radio()
        lines = memory_file({1: filled(1, "0705000", b"ONE    ", b"USB ", b"1.8")}).split(b"\r\n")
        with open(radio.path("short.txt"), "wb") as out:
            out.write(b"\r\n".join(lines[:3]))
        with open(radio.path("notes.txt"), "wb") as out:
            out.write(b"call DL1XYZ\r\n" + lines[1])
        for name, channels, status in (("short.txt", "1", 0), ("short.txt", "1,3", 3),
                                       ("notes.txt", "1", 3)):
            self.assertEqual(self.run_job(radio, "--load", name, "--channels", channels)[0],
                             status, (name, channels))
        self.assertEqual(len(self.frames(radio)), 5)

    def test_a_compare_of_a_range_reads_only_those_channels(self):
        radio = self.radio("--demo")  # channels 0, 1, 2, 5, 10 and 20 filled
        self.assertEqual(self.run_job(radio, "--save", "all.txt")[0], 0)
        before = len(self.frames(radio))
        self.assertEqual(self.run_job(radio, "--compare", "all.txt", "--channels", "20,1-2,2"),
                         (0, "3 channels compared, 3 agree, 0 differ\n", ""))
        selected = [f[5] for f in self.frames(radio)[before:] if f[4] == SELECT_MEMORY]
        self.assertEqual(selected, [0x01, 0x02, 0x20])

    def test_a_save_of_one_channel_changes_only_its_line_and_keeps_a_backup(self):
        radio = self.radio("--demo")
        self.assertEqual(self.run_job(radio, "--save", "all.txt")[0], 0)
        with open(radio.path("all.txt"), "rb") as saved:
            line_5 = saved.read().split(b"\r\n")[5]
        # Another channel 5, one line with LF only and none at the end.
        lines = memory_file({5: filled(5, "0705000", b"OLD    ", b"LSB ", b"6.0")}).split(b"\r\n")
        old = b"\r\n".join(lines[:3]) + b"\n" + b"\r\n".join(lines[3:62])
        for name in ("mem.txt", "kept.txt"):
            with open(radio.path(name), "wb") as out:
                out.write(old)
        before = len(self.frames(radio))
        self.assertEqual(self.run_job(radio, "--save", "mem.txt", "--channels", "5"),
                         (0, "mem.txt: 1 channel saved, 1 filled; mem.txt.~1~ keeps the old contents\n",
                          ""))
        self.assertEqual(len(self.frames(radio)) - before, 5)
        with open(radio.path("mem.txt"), "rb") as new, open(radio.path("mem.txt.~1~"), "rb") as b:
            self.assertEqual(new.read(), old.replace(lines[5], line_5))
            self.assertEqual(b.read(), old)
        # A radio that stops answering leaves the file as it was, and nothing beside it.
        silent = self.radio("--demo", "--silent-after", 2, directory=radio.directory)
        status, out, errors = self.run_job(silent, "--save", "kept.txt", "--channels", "5")
        self.assertEqual((status, out), (5, ""))
        self.assertIn("ReadFrequency of channel 5, so the save stopped", errors)
        with open(radio.path("kept.txt"), "rb") as kept:
            self.assertEqual(kept.read(), old)
        self.assertNotIn("kept.txt.~1~", os.listdir(radio.directory))

    def test_every_line_end_and_a_blank_chosen_line_keep_every_other_byte(self):
        radio = self.radio("--demo")  # channel 5 filled, channel 3 empty
        self.assertEqual(self.run_job(radio, "--save", "all.txt")[0], 0)
        with open(radio.path("all.txt"), "rb") as saved:
            new = saved.read().split(b"\r\n")
        lines = memory_file({5: filled(5, "0705000", b"OLD    ", b"LSB ", b"6.0")}).split(b"\r\n")
        lines[3] = b""

        def joined(lines, ends):
            return b"".join(line + ends[i % len(ends)] for i, line in enumerate(lines[:62]))
        for name, ends in (("cr.txt", [b"\r"]), ("mixed.txt", [b"\r\n", b"\n", b"\r"])):
            with open(radio.path(name), "wb") as out:
                out.write(joined(lines, ends))
            status, out, errors = self.run_job(radio, "--save", name, "--channels", "3,5",
                                               env={"VERSION_CONTROL": "off"})
            self.assertEqual((status, out, errors),
                             (0, "%s: 2 channels saved, 1 filled\n" % name, ""), name)
            with open(radio.path(name), "rb") as saved:
                self.assertEqual(saved.read(),
                                 joined(lines[:3] + [new[3], lines[4], new[5]] + lines[6:], ends))

    def test_a_file_changed_while_the_radio_is_read_keeps_the_change(self):
        # At the radio's 1200 bits per second channels 0-5 (0, 1, 2 and 5
        # filled) take about 2.5 s: time to change the file after the first frame.
        radio = self.radio("--demo", rate=1200)
        old = memory_file({})
        edited = old.replace(empty(10), filled(10, "0705000", b"EDITED ", b"LSB ", b"6.0"))
        for name, change in (("mem.txt", edited), ("gone.txt", b"call DL1XYZ\n")):
            with open(radio.path(name), "wb") as out:
                out.write(old)
            start = len(self.frames(radio))
            job = subprocess.Popen(
                [SETUP, "--save", name, "--channels", "0-5"], cwd=radio.directory,
                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                env=dict(os.environ, QUENMAR_COM1=radio.port))
            self.addCleanup(job.kill)
            radio.wait_log(lambda log: len([l for l in log if l.kind == "in"]) > start)
            with open(radio.path(name), "wb") as out:
                out.write(change)
            out, errors = job.communicate(timeout=60)
            with open(radio.path(name), "rb") as now:
                now = now.read()
            if name == "mem.txt":
                self.assertEqual((job.returncode, out),
                                 (0, b"mem.txt: 6 channels saved, 4 filled; mem.txt.~1~ keeps the"
                                     b" old contents\n"))
                self.assertEqual(now.split(b"\r\n")[10], edited.split(b"\r\n")[10])
                self.assertNotEqual(now.split(b"\r\n")[5], empty(5))
                with open(radio.path("mem.txt.~1~"), "rb") as backup:
                    self.assertEqual(backup.read(), edited)
                saved = now
            else:
                self.assertEqual((job.returncode, now, errors.count(b"\n")), (4, change, 1))
                self.assertIn(b'"gone.txt" changed while the radio was read', errors)
                with open(radio.path("gone.txt.partial"), "rb") as partial:
                    self.assertEqual(partial.read(), saved.replace(edited.split(b"\r\n")[10],
                                                                   empty(10)))

    def test_a_save_of_some_channels_into_no_memory_file_is_refused_before_any_frame(self):
        radio = self.radio("--demo")
        with open(radio.path("notes.txt"), "wb") as out:
            out.write(b"call DL1XYZ\n")
        with open(radio.path("short.txt"), "wb") as out:
            out.write(memory_file({})[:62])
        for name, why in (("new.txt", '"new.txt" does not exist'),
                          ("notes.txt", '"notes.txt" is not a memory file'),
                          ("short.txt", '"short.txt" holds 2 lines, none for channel 3')):
            status, out, errors = self.run_job(radio, "--save", name, "--channels", "3")
            self.assertEqual((status, out, errors.count("\n")), (2, "", 1), errors)
            self.assertIn(why, errors)
        self.assertEqual(sorted(os.listdir(radio.directory)),
                         ["notes.txt", "radio.log", "radio.stderr", "short.txt"])
        self.assertEqual(self.frames(radio), [])

    def test_bad_lists_and_lists_without_a_job_end_with_one_line_and_status_2(self):
        radio = self.radio("--demo")
        for args in (["--load", "x.txt", "--channels", "62"], ["--save", "x.txt", "--channels=5-3"],
                     ["--compare", "x.txt", "--channels", "x"], ["--load", "x.txt", "--channels="],
                     ["--load", "x.txt", "--channels", "1,,2"], ["--channels", "-1", "--load", "x"],
                     ["--channels", "12"], ["--clock", "--channels", "12"],
                     ["--check", "x.txt", "--channels", "12"]):
            status, out, errors = self.run_job(radio, *args)
            self.assertEqual((status, out, errors.count("\n")), (2, "", 1), args)
            self.assertIn("--channels", errors, args)
        self.assertEqual(self.frames(radio), [])


if __name__ == "__main__":
    unittest.main()

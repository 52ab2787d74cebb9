"""The jobs from the command line (--save, --load, --clock, --compare) against
the virtual radio: without any terminal, their output and statuses; on a
terminal, the progress line and a signal."""

import os
import re
import signal
import subprocess
import termios
import unittest

from command_jobs import CommandJobTest
from memory_lines import EARLIER, filled, memory_file
from screen import SETUP, Program


class CommandTest(CommandJobTest):
    def test_save_writes_what_the_menus_save_writes_and_compare_agrees(self):
        radio = self.radio("--demo")
        menu = Program(env={"QUENMAR_COM1": radio.port}, cwd=radio.directory)
        self.addCleanup(menu.close)
        menu.wait_menu()
        menu.type_line("2")
        menu.wait_for(lambda s: s.row(1).startswith("What file to open to write memories? "))
        menu.type_line("menu.txt")
        menu.wait_for(lambda s: s.row(8).startswith(" 2 ") and s.cursor() == (9, 1))
        menu.type_line("0")
        self.assertEqual(menu.wait_exit(), 0)
        menu_frames = self.frames(radio)
        self.assertEqual(self.run_job(radio, "--save", "command.txt"),
                         (0, "command.txt: 62 channels saved, 6 filled\n", ""))
        self.assertEqual(self.frames(radio)[len(menu_frames):], menu_frames)
        with open(radio.path("menu.txt"), "rb") as a, open(radio.path("command.txt"), "rb") as b:
            self.assertEqual(a.read(), b.read())
        self.assertEqual(self.run_job(radio, "--compare", "command.txt"),
                         (0, "6 channels compared, 6 agree, 0 differ\n", ""))

    def test_load_then_compare_a_channel_that_differs(self):
        radio = self.radio("--channel", "3:1423450:1:2:" + b"OTHER  ".hex())
        with open(radio.path("load.txt"), "wb") as out:
            out.write(memory_file({3: filled(3, "0705000", b"THREE  ", b"LSB ", b"6.0"),
                                   40: filled(40, "2112340", b"FORTY  ", b"FM  ", b".50")}))
        self.assertEqual(self.run_job(radio, "--compare", "load.txt"), (3, (
            'channel 3: radio 14.23450 USB 2.4 "OTHER  ", file 07.05000 LSB 6.0 "THREE  "\n'
            'channel 40: radio empty, file 21.12340 FM .50 "FORTY  "\n'
            "2 channels compared, 0 agree, 2 differ\n"), ""))
        before = len(self.frames(radio))
        self.assertEqual(self.run_job(radio, "--load", "load.txt"), (0, (
            "2 channels stored, 0 refused, 60 left as the radio has them; 0 frames sent again\n"),
            ""))
        self.assertEqual(len(self.frames(radio)) - before, 10)
        self.assertEqual(self.run_job(radio, "--compare", "load.txt")[:2],
                         (0, "2 channels compared, 2 agree, 0 differ\n"))
        # A file that holds channel 3 empty would not empty it: that differs.
        with open(radio.path("backup.txt"), "wb") as out:
            out.write(memory_file({40: filled(40, "2112340", b"FORTY  ", b"FM  ", b".50")}))
        self.assertEqual(self.run_job(radio, "--compare", "backup.txt"), (3, (
            'channel 3: radio 07.05000 LSB 6.0 "THREE  ", file empty: a load leaves it as the'
            " radio has it\n2 channels compared, 1 agree, 1 differ\n"), ""))
        # The filter alone differs.
        with open(radio.path("filter.txt"), "wb") as out:
            out.write(memory_file({3: filled(3, "0705000", b"THREE  ", b"LSB ", b"6.0"),
                                   40: filled(40, "2112340", b"FORTY  ", b"FM  ", b".25")}))
        self.assertEqual(self.run_job(radio, "--compare", "filter.txt"), (3, (
            'channel 40: radio 21.12340 FM .50 "FORTY  ", file 21.12340 FM .25 "FORTY  "\n'
            "2 channels compared, 1 agree, 1 differ\n"), ""))

    def test_compare_marks_a_channel_whose_line_reads_otherwise(self):
        # "usb " is no mode: a load sends the mode of the line before (LSB),
        # which the radio holds; they agree, but not with what the line shows.
        radio = self.radio("--channel", "3:0705000:0:2:" + b"THREE  ".hex())
        with open(radio.path("usb.txt"), "wb") as out:
            out.write(memory_file({3: filled(3, "0705000", b"THREE  ", b"usb ", b"2.4")}))
        self.assertEqual(self.run_job(radio, "--compare", "usb.txt"), (0, (
            "channel 3: radio and file agree (what a load sends, not what the line shows: see"
            " --check usb.txt)\n1 channel compared, 1 agree, 0 differ\n"), ""))

    def test_a_file_with_findings_loads_only_with_force(self):
        radio = self.radio()
        with open(radio.path("load.txt"), "wb") as out:  # filter 0, in a fresh run: refused
            out.write(memory_file({7: filled(7, "0705000", b"SEVEN  ", b"LSB ", b"???"),
                                   8: filled(8, "0705000", b"EIGHT  ", b"LSB ", b"6.0")}))
        status, checked, _ = self.run_job(radio, "--check", "load.txt")
        finding = checked.splitlines()[0]
        self.assertTrue(finding.startswith('load.txt:8:27: warning: filter "???"'), finding)
        status, out, errors = self.run_job(radio, "--load", "load.txt")
        self.assertEqual((status, out, errors.splitlines()), (3, "", [
            finding, "quenmar-setup: nothing is sent: --check finds 1 warning in load.txt (above);"
            " mend it, or load it as it stands, as menu choice 1 does, with --load load.txt"
            " --force"]))
        self.assertEqual(self.frames(radio), [])
        # As the menu loads it; the radio refuses the filter, which ends channel 7.
        self.assertEqual(self.run_job(radio, "--force", "--load", "load.txt"), (3, (
            "1 channel stored, 1 refused (7 at SetModeFilter), 60 left as the radio has them;"
            " 0 frames sent again\n"), finding + "\n"))
        self.assertEqual(len(self.frames(radio)), 2 + 5)

    def test_clock_answered_refused_and_unanswered(self):
        status, out, errors = self.run_job(self.radio(), "--clock")
        self.assertEqual((status, errors), (0, ""))
        sent, reply, words = out.splitlines()
        self.assertRegex(sent, r"^sent  FE FE 04 F1 14( [0-9]{2}){6} FD$")
        self.assertEqual(reply, "reply FE FE F1 04 FB FD")
        day, month, year, hour, minute, second = sent.split()[6:12]
        self.assertRegex(words, r"^set the radio's clock to [0-9]{2}%s-%s-%s %s:%s:%s$"
                         % (year, month, day, hour, minute, second))
        status, out, errors = self.run_job(self.radio("--refuse", "14"), "--clock")
        self.assertEqual((status, errors, out.splitlines()[1]), (3, "", "reply FE FE F1 04 FA FD"))
        self.assertRegex(out.splitlines()[2], r"^the radio refused the clock [0-9-]{10} [0-9:]{8}$")
        # A reply to something else answers nothing: the setting is sent again.
        radio = self.radio("--foreign-reply", "14:0:1")
        status, out, errors = self.run_job(radio, "--clock")
        self.assertEqual((status, errors, out.splitlines()[1]), (0, "", "reply FE FE F1 04 FB FD"))
        self.assertEqual([frame[4] for frame in self.frames(radio)], [0x14, 0x14])
        status, out, errors = self.run_job(self.radio("--silent"), "--clock")
        self.assertEqual((status, len(out.splitlines())), (5, 1))
        self.assertTrue(errors.startswith("quenmar-setup: the radio did not answer SetClock, so the"
                                          " clock may not be set; check"), errors)

    def test_the_statuses_help_gives_are_those_the_jobs_end_with(self):
        help_text = subprocess.run([SETUP, "--help"], capture_output=True, text=True).stdout
        statuses = help_text.split("\nExit status:\n")[1].split("\n  9 to 14")[0]
        named = {}  # each status, the jobs its entry names
        for entry in re.split(r"\n  (?=\d)", "\n" + statuses)[1:]:
            named[entry.split()[0]] = set(re.findall(r"--[a-z]+(?:-[a-z]+)*", entry))
        cases = (  # a way to each status but 0, job by job
            ("--check", "3", ()), ("--list", "3", ()), ("--compare", "3", ()), ("--load", "3", ()),
            ("--clock", "3", ("--refuse", "14")), ("--probe", "5", ("--refuse-reads",)),
            ("--save", "5", ("--demo", "--refuse-reads")),
            ("--compare", "5", ("--demo", "--refuse-reads")),
            ("--load", "5", ("--short-reply", "05")), ("--clock", "5", ("--short-reply", "14")))
        ended = {}
        for job, status, radio_options in cases:
            radio = self.radio(*radio_options)
            with open(radio.path("warn.txt"), "wb") as out:  # "usb ": a warning
                out.write(memory_file({3: filled(3, "0705000", b"THREE  ", b"usb ", b"6.0")}))
            args = [job] if job in ("--clock", "--probe") else [job, "warn.txt"]
            if job == "--load" and status == "5":
                args.append("--force")
            with self.subTest(job=job, status=status):
                self.assertEqual(self.run_job(radio, *args)[0], int(status))
            ended.setdefault(status, set()).add(job)
        # Every job that ends with 3 is named there, and no other; with 5, at least these.
        self.assertEqual(named["3"], ended["3"])
        self.assertLessEqual(ended["5"], named["5"])

    def test_a_failed_open_gives_the_menus_report(self):
        radio = self.radio()
        status, out, errors = self.run_job(radio, "--load", "missing.txt")
        self.assertEqual((status, out), (2, ""))
        self.assertIn("Aborting due to runtime error 2 (file not found) at line 488 of QUEN32()",
                      errors)
        # An empty name is said in words too.
        self.assertEqual(self.run_job(radio, "--load", ""), (1, "", (
            "quenmar-setup: no file name given\n\r\nAborting due to runtime error 1 (illegal"
            " function call) at line 488 of QUEN32()\r\n\r\n")))
        status, _, errors = self.run_job(radio, "C=7", "--clock")
        self.assertEqual(status, 2)
        self.assertIn("at line 8 of QUEN32()", errors)
        self.assertEqual(self.frames(radio), [])

    def test_progress_on_a_terminal_and_a_signal_in_the_middle(self):
        radio = self.radio("--demo", rate=1200)  # paced, so the save takes a while
        with open(radio.path("mem.txt"), "wb") as old:
            old.write(EARLIER)
        p = Program(args=["--save", "mem.txt"], env={"QUENMAR_COM1": radio.port},
                    cwd=radio.directory)
        self.addCleanup(p.close)
        mode = p.input_mode()
        p.wait_for(lambda s: b"\rchannel 3 of 62" in s.raw, timeout=20, what="channel 3 of 62")
        self.assertNotIn(b"\x1b", p.raw)  # no colours, no clearing
        p.child.kill(signal.SIGTERM)
        self.assertEqual(p.wait_exit(), 13)
        self.assertIn('Aborting due to runtime error 13 ("termination request" signal)', p.text())
        self.assertEqual(p.input_mode(), mode)
        self.assertTrue(mode & termios.ECHO)
        with open(radio.path("mem.txt"), "rb") as kept:
            self.assertEqual(kept.read(), EARLIER)
        self.assertEqual(sorted(os.listdir(radio.directory)),
                         ["mem.txt", "radio.log", "radio.stderr"])


if __name__ == "__main__":
    unittest.main()

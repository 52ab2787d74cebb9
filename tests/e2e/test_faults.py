"""Bad radios, bad timing, bad files and signals: every wait stays bounded,
the program neither spins nor crashes, and files follow the rules."""

import os
import resource
import signal
import termios
import time
import unittest

from memory_lines import BAR, filled, label, memory_file
from menu_jobs import LOAD_PROMPT, SAVE_PROMPT, MenuJobTest
from radio import Radio
from screen import Program


def cpu_seconds(pid):
    """User plus system time a process has used so far."""
    with open("/proc/%d/stat" % pid) as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def peak_memory_kib(pid):
    """The most memory a process has held so far (VmHWM)."""
    with open("/proc/%d/status" % pid) as status:
        return int(next(line for line in status if line.startswith("VmHWM:")).split()[1])


class FaultTest(MenuJobTest):
    def test_signals_at_the_menu_give_their_reports(self):
        texts = {9: "interrupted", 10: "illegal instruction", 11: "floating point error",
                 12: "segmentation violation", 13: "termination request", 14: "abnormal termination"}
        for number, status in ((signal.SIGINT, 9), (signal.SIGILL, 10), (signal.SIGFPE, 11),
                               (signal.SIGSEGV, 12), (signal.SIGBUS, 12), (signal.SIGTERM, 13),
                               (signal.SIGHUP, 13), (signal.SIGQUIT, 13), (signal.SIGABRT, 14)):
            with self.subTest(signal=number.name):
                p = self.start()
                p.child.kill(signal.SIGPIPE)  # ignored
                p.child.kill(number)
                self.assertEqual(p.wait_exit(), status)
                self.assertIn('Aborting due to runtime error %d ("%s" signal)' % (status, texts[status]),
                              p.text())
                self.assertNotIn("QUEN32", p.text())
                mode = p.input_mode()
                self.assertTrue(mode & termios.ECHO and mode & termios.ICANON)

    def test_ctrl_c_during_a_load(self):
        p = self.start("--silent")
        with open(self.radio.path("load.txt"), "wb") as out:
            out.write(memory_file({0: filled(0, "1400000", b"A      ", b"USB ", b"2.4")}))
        self.begin_job(p, "1", LOAD_PROMPT, "load.txt")
        self.radio.wait_log(lambda lines: any(l.kind == "in" for l in lines))
        p.interrupt()
        self.assertEqual(p.wait_exit(), 9)
        self.assertIn('Aborting due to runtime error 9 ("interrupted" signal)', p.text())

    def save_that_goes_unanswered(self, p, unanswered):
        """A save onto an existing mem.txt that the radio stops answering: the
        574 report, a line naming the exchange, and the file as it was."""
        with open(self.radio.path("mem.txt"), "wb") as old:
            old.write(b"the earlier file\r\n")
        self.begin_job(p, "2", SAVE_PROMPT, "mem.txt")
        self.assertEqual(p.wait_exit(), 2)
        self.assertIn(unanswered, p.text())
        self.assertIn("Aborting due to runtime error 2 (file not found) at line 574 of QUEN32()",
                      p.text())
        self.assertEqual(self.saved(), b"the earlier file\r\n")
        self.assertEqual(sorted(os.listdir(self.radio.directory)),
                         ["mem.txt", "radio.log", "radio.stderr"])

    def test_a_silent_radio_ends_a_save_at_its_first_exchange_without_spinning(self):
        p = self.start("--silent")
        # The program is reaped when it ends: its time joins that of our children.
        started, children_before = time.monotonic(), resource.getrusage(resource.RUSAGE_CHILDREN)
        self.save_that_goes_unanswered(p, "the radio did not answer SelectMemory of channel 0")
        waited = time.monotonic() - started
        children = resource.getrusage(resource.RUSAGE_CHILDREN)
        self.assertLess(waited, 6.0)
        self.assertLess(children.ru_utime + children.ru_stime - children_before.ru_utime
                        - children_before.ru_stime, 0.2 * waited)
        self.assertEqual(len([l for l in self.radio.log() if l.kind == "in"]), 1)

    def test_a_radio_that_goes_away_during_a_save(self):
        # The demo radio's channels 0 to 5 take 24 frames (0, 1, 2 and 5 are filled).
        p = self.start("--demo", "--vanish-after", "24")
        self.save_that_goes_unanswered(p, "the port hung up during SelectMemory of channel 6")

    def test_a_read_refused_every_time_ends_a_save_as_an_unanswered_one_does(self):
        p = self.start("--demo", "--refuse", "04:2")
        self.save_that_goes_unanswered(
            p, "the radio answered ReadMode of channel 2 with FE FE F1 04 FA FD 3")

    def test_a_radio_that_goes_away_during_a_load(self):
        p = self.start("--vanish-after", "9")  # gone before the tenth, the last frame
        data = memory_file({0: filled(0, "1400000", b"A      ", b"USB ", b"2.4"),
                            1: filled(1, "1400000", b"B      ", b"USB ", b"2.4")})
        with open(self.radio.path("load.txt"), "wb") as out:
            out.write(data)
        self.begin_job(p, "1", LOAD_PROMPT, "load.txt")
        self.assertTrue(self.load_outcome(p, timeout=10).startswith(
            "the port hung up during StoreMemory of channel 1, so the load stopped; check"))
        self.assertEqual(len([l for l in self.radio.log() if l.kind == "in"]), 9)

    def test_noise_and_stray_bytes_between_frames_change_nothing(self):
        p = self.start("--demo")
        self.begin_job(p, "2", SAVE_PROMPT, "clean.txt")
        self.back_at_menu(p, "2")
        clean = self.saved("clean.txt")
        for fault in ("--noise", "--extra-bytes", "--noise-before"):
            with self.subTest(fault=fault):
                radio = Radio("--memory", self.radio.path("demo.txt"), "--demo", fault, "--seed", "7")
                self.addCleanup(radio.close)
                q = Program(env={"QUENMAR_COM1": radio.port}, cwd=radio.directory)
                self.addCleanup(q.close)
                q.wait_menu()
                self.begin_job(q, "2", SAVE_PROMPT, "mem.txt")
                self.back_at_menu(q, "2")
                with open(radio.path("mem.txt"), "rb") as saved:
                    self.assertEqual(saved.read(), clean)

    def test_a_reply_cut_before_its_fd_is_shown_whole_after_three_seconds(self):
        p = self.start("--cut-replies")
        p.type_line("3")
        started = time.monotonic()
        p.wait_for(lambda s: s.row(11).startswith("Press any key"), timeout=10)
        self.assertGreaterEqual(time.monotonic() - started, 2.9)
        self.assertEqual(p.row(10).rstrip(), "FE FE F1 04 FB")

    def test_keys_typed_during_a_save_wait_for_the_next_prompt(self):
        # Paced, so that the save takes a few seconds.
        p = self.start("--demo", rate=4800, env={"QUENMAR_SPEED": "4800"})
        self.begin_job(p, "2", SAVE_PROMPT, "mem.txt")
        p.wait_for(lambda s: s.row(5)[4:].startswith("Reading memory  1 "), timeout=20)
        p.send("7")
        p.wait_for(lambda s: s.row(8).startswith(" 2 ") and s.row(9).startswith("7")
                   and s.cursor() == (9, 2), timeout=40, what="the 7 typed at the menu")
        p.send("\r")
        p.wait_for(lambda s: s.row(8).startswith(" 7 "))

    def trace(self):
        with open(self.radio.path("trace.txt")) as text:
            return [line.split() for line in text.read().splitlines()[1:]]

    def test_the_trace_tells_sent_bytes_echoes_replies_and_windows_apart(self):
        p = self.start(env={"QUENMAR_TRACE": "trace.txt"})
        p.type_line("3")
        p.wait_for(lambda s: s.row(11).startswith("Press any key"))
        lines = self.trace()
        self.assertEqual([line[1] for line in lines[:2]], ["sent", "echo"])
        sent = lines[0][2:]
        self.assertEqual(len(sent), 12)
        self.assertEqual(sent[:5] + sent[-1:], "FE FE 04 F1 14 FD".split())
        self.assertEqual(lines[1][2:], sent)  # the whole echo came back
        self.assertEqual([byte for line in lines if line[1] == "reply" for byte in line[2:]],
                         "FE FE F1 04 FB FD".split())
        self.assertEqual(" ".join(lines[-1][1:5]), "window ended at FD")
        # An echo unlike the frame is told on a line of its own, and the frame
        # goes out again, three times in all.
        collided = self.start("--bad-echo", env={"QUENMAR_TRACE": "trace.txt"})
        collided.type_line("3")
        collided.wait_for(lambda s: s.row(11).startswith("Press any key"))
        self.assertEqual(collided.row(10).rstrip(), "FE FE F1 04 FB FD")
        lines = self.trace()
        self.assertEqual([line[1] for line in lines if line[1] in ("sent", "again")],
                         ["sent", "again", "again"])
        differs = [" ".join(line[1:]) for line in lines if line[1:3] == ["echo", "differs"]]
        self.assertEqual(len(differs), 3)
        self.assertTrue(differs[0].startswith("echo differs at byte 5 of 12: sent 14, came back 15 "),
                        differs[0])
        silent = self.start("--silent", env={"QUENMAR_TRACE": "trace.txt"})
        silent.type_line("3")
        silent.wait_for(lambda s: s.row(11).startswith("Press any key"), timeout=10)
        with open(self.radio.path("trace.txt")) as text:
            self.assertIn("window timed out after 3.0", text.read())

    def test_hostile_memory_files(self):
        p = self.start()
        good = filled(0, "1400000", b"GOOD   ", b"USB ", b"2.4")
        cases = {
            "garbage": (bytes(range(256)) * 40, 0),
            "nul bytes": (b"\0" * 5000 + b"\r\n" + good, 5),
            "no line ends": (good * 300, 5),
            # The file ends inside the first line's name: that line still loads.
            "ctrl-z inside the name": (good[:15] + b"\x1a" + good[16:] + b"\r\n" + good, 5),
            "b3 everywhere": (b"\xb3" * 29 + b"\r\n" + good + b"\r\n", 5),
        }
        for what, (data, frames) in cases.items():
            with self.subTest(what=what):
                with open(self.radio.path("bad.txt"), "wb") as out:
                    out.write(data)
                before = len([l for l in self.radio.log() if l.kind == "in"])
                self.begin_job(p, "1", LOAD_PROMPT, "bad.txt")
                self.back_at_menu(p, "1")
                sent = len([l for l in self.radio.log() if l.kind == "in"]) - before
                self.assertEqual(sent, frames)

    def test_a_hundred_megabyte_line_dev_zero_and_a_fifo(self):
        p = self.start()
        peak_before = peak_memory_kib(p.child.pid)
        with open(self.radio.path("huge.txt"), "wb") as out:
            out.write(label(0) + BAR + b"14.00000" + BAR + b"HUGE   " + BAR + b"USB " + BAR + b"2.4")
            out.write(b"x" * (100 * 1024 * 1024))
        self.begin_job(p, "1", LOAD_PROMPT, "huge.txt")
        self.back_at_menu(p, "1", timeout=60)
        self.assertEqual(len([l for l in self.radio.log() if l.kind == "in"]), 5)
        self.begin_job(p, "1", LOAD_PROMPT, "/dev/zero")  # 62 lines of zero bytes
        self.back_at_menu(p, "1")
        self.assertEqual(len([l for l in self.radio.log() if l.kind == "in"]), 5)
        # Bounded: a few MiB at most (the sanitizers' own bookkeeping included),
        # where reading the line whole would take over 100 MiB.
        self.assertLess(peak_memory_kib(p.child.pid) - peak_before, 8 * 1024)
        os.mkfifo(self.radio.path("fifo"))
        self.begin_job(p, "1", LOAD_PROMPT, "fifo")  # nobody writes: an empty file
        self.back_at_menu(p, "1")
        self.begin_job(p, "2", SAVE_PROMPT, "fifo")  # nobody reads: it can't be written
        self.assertEqual(p.wait_exit(), 2)
        self.assertIn("error 2 (file not found) at line 536 of QUEN32()", p.text())

    def test_a_directory_as_the_file_to_load(self):
        p = self.start()
        self.begin_job(p, "1", LOAD_PROMPT, ".")
        self.assertEqual(p.wait_exit(), 2)
        self.assertIn("error 2 (file not found) at line 488 of QUEN32()", p.text())


if __name__ == "__main__":
    unittest.main()

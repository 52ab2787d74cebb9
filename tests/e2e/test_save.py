"""Menu choice 2 against the virtual radio: the memory file it writes, the
frames it sends, and what a failed or interrupted save leaves behind."""

import os
import select
import shutil
import signal
import stat
import subprocess
import tempfile
import termios
import unittest

from memory_lines import BAR, filled, memory_file
from menu_jobs import LOAD_PROMPT
from menu_jobs import SAVE_PROMPT as PROMPT
from menu_jobs import MenuJobTest
from radio import Radio
from screen import SETUP, Program, as_nobody


def hex_name(name):
    return name.hex()


class SaveTest(MenuJobTest):
    def save(self, p, name, timeout=30):
        self.run_job(p, "2", PROMPT, name, timeout)

    def test_the_file_of_a_radio_with_a_few_channels(self):
        p = self.start(
            "--channel", "0:1423450:1:2:" + hex_name(b"BEACON "),
            "--channel", "9:0705000:0:3:" + hex_name(b"\n\r\x1aABCD"),
            "--channel", "10:2812340:8:9:" + hex_name(b"N\xb3ME\xfe  "),
            "--channel", "31:0355000:9:0:" + hex_name(b"NINE   "),
            "--channel", "61:0013570:7:5:" + hex_name(b"LAST   "))
        self.save(p, "mem.txt")
        with open(self.radio.path("mem.txt"), "rb") as saved:
            data = saved.read()
        expected = memory_file({
            0: filled(0, "1423450", b"BEACON ", b"USB ", b"2.4"),
            9: filled(9, "0705000", b"   ABCD", b"LSB ", b"1.8"),  # LF, CR, Ctrl-Z as blanks
            10: filled(10, "2812340", b"N\xb3ME\xfe  ", b"    ", b"2.4"),
            31: filled(31, "0355000", b"NINE   ", b"    ", b"2.4"),
            61: filled(61, "0013570", b"LAST   ", b"AMUS", b".25"),
        })
        self.assertEqual(data, expected)
        self.assertEqual(len(data), 1922)

    def test_frames_of_a_filled_channel_in_their_order(self):
        p = self.start("--channel", "45:1423450:1:2:" + hex_name(b"X      "))
        self.save(p, "mem.txt")
        frames = self.frames()
        self.assertEqual(len(frames), 62 * 2 + 3)
        at = frames.index(bytes.fromhex("FE FE 04 F1 08 45 FD"))
        self.assertEqual([f.hex(" ").upper() for f in frames[at:at + 6]], [
            "FE FE 04 F1 08 45 FD", "FE FE 04 F1 0A FD", "FE FE 04 F1 03 FD",
            "FE FE 04 F1 04 FD", "FE FE 04 F1 10 FD", "FE FE 04 F1 08 46 FD"])

    def test_a_radio_that_refuses_every_recall(self):
        p = self.start("--demo", "--refuse-recall")
        self.save(p, "mem.txt")
        with open(self.radio.path("mem.txt"), "rb") as saved:
            self.assertEqual(saved.read(), memory_file({}))
        frames = self.frames()
        expected = []
        for channel in range(62):
            expected.append(bytes([0xFE, 0xFE, 0x04, 0xF1, 0x08, channel // 10 * 16 + channel % 10, 0xFD]))
            expected.append(bytes.fromhex("FE FE 04 F1 0A FD"))
        self.assertEqual(frames, expected)

    def test_short_name_and_mode_only_replies(self):
        # A name without its trailing blanks is filled with blanks; a mode
        # without its filter is an answer, the filter then 0 (written 2.4).
        p = self.start("--channel", "1:1423450:3:1:" + hex_name(b"AB     "),
                       "--channel", "2:1423450:1:2:" + hex_name(b"       "), "--short-names",
                       "--mode-only")
        self.save(p, "mem.txt")
        replies = [line.data for line in self.radio.log() if line.kind == "out"]
        self.assertIn(bytes.fromhex("FE FE F1 04 10 41 42 FD"), replies)
        self.assertIn(bytes.fromhex("FE FE F1 04 04 03 FD"), replies)
        lines = self.saved_lines()
        self.assertEqual(lines[1], filled(1, "1423450", b"AB     ", b"CW  ", b"2.4"))
        self.assertEqual(lines[2], filled(2, "1423450", b"       ", b"USB ", b"2.4"))

    def saved_lines(self, name="mem.txt"):
        with open(self.radio.path(name), "rb") as saved:
            return saved.read().split(b"\r\n")

    def test_saving_over_a_longer_file_leaves_exactly_62_lines(self):
        p = self.start("--demo")
        target = self.radio.path("mem.txt")
        with open(target, "wb") as old:
            old.write(b"old line\r\n" * 500)
        os.chmod(target, 0o640)
        self.save(p, "mem.txt")
        with open(target, "rb") as saved:
            data = saved.read()
        self.assertEqual(data.count(b"\r\n"), 62)
        self.assertEqual(len(data), 1922)
        self.assertEqual(stat.S_IMODE(os.stat(target).st_mode), 0o640)
        self.assertEqual(sorted(os.listdir(self.radio.directory)),
                         ["mem.txt", "mem.txt.~1~", "radio.log", "radio.stderr"])

    def check_refused_name(self, name, status, cwd=None, command=None, radio=None):
        """Saves to `name` and sees the run end at the open with `status`, no
        frame sent and the terminal given back; on `radio` if one is given."""
        if radio is None:
            p = self.start(command=command, cwd=cwd)
        else:
            p = Program(env={"QUENMAR_COM1": radio.port}, command=command,
                        cwd=cwd or radio.directory)
            self.addCleanup(p.close)
            p.wait_menu()
        self.begin_job(p, "2", PROMPT, name)
        self.assertEqual(p.wait_exit(), status)
        text = {1: "illegal function call", 2: "file not found"}[status]
        self.assertIn("Aborting due to runtime error %d (%s) at line 536 of QUEN32()" % (status, text),
                      p.text())
        if not name:
            self.assertIn("quenmar-setup: no file name given", p.text())
        self.assertEqual(self.frames(radio), [])
        self.assertTrue(p.input_mode() & termios.ECHO)

    def test_the_menu_says_under_itself_what_its_save_and_load_did(self):
        p = self.start("--demo")
        menu = [p.row(number) for number in range(1, 8)]
        with open(self.radio.path("notes.txt"), "wb") as notes:
            notes.write(b"shopping list\r\n")
        self.save(p, "notes.txt")

        def under_the_menu():
            self.assertEqual([p.row(number) for number in range(1, 8)], menu)
            return "".join(p.row(number) for number in range(10, 26)).strip()
        self.assertEqual(under_the_menu(), "notes.txt: 62 channels saved, 6 filled; notes.txt.~1~"
                         " keeps the old contents, which were not a memory file")
        with open(self.radio.path("mem.txt"), "wb") as out:  # "usb " loads the mode before
            out.write(memory_file({0: filled(0, "1400000", b"A      ", b"usb ", b"2.4")}))
        self.run_job(p, "1", LOAD_PROMPT, "mem.txt,x")
        self.assertEqual(under_the_menu(), 'using "mem.txt": a comma ends the name; mem.txt: 1'
                         " channel stored, 0 refused, 61 left as the radio has them; 1 line loaded"
                         " otherwise than it reads: see --check mem.txt")
        p.type_line("7")  # until the next choice
        p.wait_for(lambda s: s.row(8).startswith(" 7 ") and s.row(25).strip() == "")
        p.type_line("0")
        self.assertEqual(p.wait_exit(), 0)
        # Without a terminal: each line with its own line end.
        piped = subprocess.run([SETUP], input=b"2\nmem.txt\n0\n", capture_output=True, timeout=60,
                               cwd=self.radio.directory,
                               env=dict(os.environ, QUENMAR_COM1=self.radio.port))
        self.assertIn(b"\r\nReading memory  61 \r\nmem.txt: 62 channels saved, 6 filled; mem.txt.~1~"
                      b" keeps the old contents\r\nCOM1\r\n", piped.stdout)
        # The trace's own file is no file for the menu's jobs: nothing is done.
        sent = len(self.frames())
        piped = subprocess.run([SETUP], input=b"2\nt.txt\n1\nt.txt\n0\n", capture_output=True,
                               timeout=60, cwd=self.radio.directory,
                               env=dict(os.environ, QUENMAR_COM1=self.radio.port,
                                        QUENMAR_TRACE="t.txt"))
        self.assertEqual(piped.stdout.count(b'is "t.txt" or one of its backups: nothing was done'),
                         2, piped.stdout)
        self.assertEqual(len(self.frames()), sent)
        with open(self.radio.path("t.txt"), "rb") as trace:
            self.assertNotIn(BAR, trace.read())

    def test_names_that_cannot_be_written_end_the_run_before_any_frame(self):
        read_only = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, read_only)
        with open(os.path.join(read_only, "mem.txt"), "wb") as old:
            old.write(b"keep me\r\n")
        os.chmod(os.path.join(read_only, "mem.txt"), 0o444)
        # One radio for all the runs: none of them may send it a frame.
        radio = Radio()
        self.addCleanup(radio.close)
        for name, status, cwd in (("", 1, None), (".", 2, None), ("no/such/folder/mem.txt", 2, None),
                                  ("out/", 2, None), ("mem.txt", 2, read_only)):
            with self.subTest(name=name, cwd=cwd):
                self.check_refused_name(name, status, cwd=cwd, radio=radio)
        self.assertEqual(sorted(os.listdir(radio.directory)), ["radio.log", "radio.stderr"])
        self.assertEqual(os.listdir(read_only), ["mem.txt"])
        with open(os.path.join(read_only, "mem.txt"), "rb") as kept:
            self.assertEqual(kept.read(), b"keep me\r\n")

    @unittest.skipUnless(os.geteuid() == 0, "needs root to switch to an unprivileged user")
    def test_a_folder_the_user_may_not_write_in_is_error_2(self):
        folder = tempfile.mkdtemp()
        self.addCleanup(os.rmdir, folder)
        os.chmod(folder, 0o755)  # root's; nobody may not write in it
        self.check_refused_name("mem.txt", 2, cwd=folder, command=as_nobody())
        self.assertEqual(os.listdir(folder), [])

    @unittest.skipUnless(os.geteuid() == 0, "needs root to switch to an unprivileged user")
    def test_files_of_another_user_in_a_sticky_folder(self):
        folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, folder)
        os.chmod(folder, 0o1777)  # like /tmp: nobody may make files, not replace root's
        for name, mode in (("theirs.txt", 0o644), ("shared.txt", 0o666)):
            with open(os.path.join(folder, name), "wb") as old:
                old.write(b"root's\r\n")
            os.chmod(os.path.join(folder, name), mode)
        # One nobody may not write: refused before any frame.
        self.check_refused_name("theirs.txt", 2, cwd=folder, command=as_nobody())
        # One nobody may write: written in place, still root's.
        p = self.start("--demo", cwd=folder, command=as_nobody())
        self.save(p, "shared.txt")
        shared = os.stat(os.path.join(folder, "shared.txt"))
        self.assertEqual((shared.st_uid, shared.st_size), (0, 1922))
        self.assertEqual(sorted(os.listdir(folder)), ["shared.txt", "shared.txt.~1~", "theirs.txt"])

    def test_a_file_with_another_link_is_written_in_place(self):
        p = self.start("--demo")
        target, other = self.radio.path("mem.txt"), self.radio.path("other.txt")
        with open(target, "wb") as old:
            old.write(b"old\r\n")
        os.link(target, other)
        self.save(p, "mem.txt")
        with open(other, "rb") as linked:
            self.assertEqual(len(linked.read()), 1922)
        self.assertTrue(os.path.samefile(target, other))

    def test_every_ending_gives_the_port_back_its_line_mode(self):
        for ending in ("menu", "signal"):
            with self.subTest(ending=ending):
                radio = Radio("--demo")
                self.addCleanup(radio.close)
                fd = os.open(radio.port, os.O_RDWR | os.O_NOCTTY)
                self.addCleanup(os.close, fd)
                mode = termios.tcgetattr(fd)
                mode[2] = (mode[2] & ~termios.CLOCAL) | termios.HUPCL
                mode[4] = mode[5] = termios.B9600
                termios.tcsetattr(fd, termios.TCSANOW, mode)
                mode = termios.tcgetattr(fd)  # as far as a pseudo-terminal takes it
                p = Program(env={"QUENMAR_COM1": radio.port})
                self.addCleanup(p.close)
                p.wait_menu()
                self.assertNotEqual(termios.tcgetattr(fd), mode)  # the program's own line
                if ending == "menu":
                    p.type_line("0")
                    self.assertEqual(p.wait_exit(), 0)
                else:
                    p.child.kill(signal.SIGTERM)
                    self.assertEqual(p.wait_exit(), 13)
                self.assertEqual(termios.tcgetattr(fd), mode)

    def test_an_interrupt_as_early_as_the_program_can_take_one(self):
        # Started in the background of its terminal, the program stops
        # (SIGTTOU) at its first change of the terminal's mode; an interrupt
        # sent then must already find the handler that reports it.
        master, slave = os.openpty()
        self.addCleanup(os.close, master)
        self.addCleanup(os.close, slave)
        cooked = termios.tcgetattr(slave)
        leader = os.fork()
        if leader == 0:
            status = 100
            try:
                os.setsid()
                terminal = os.open(os.ttyname(slave), os.O_RDWR)  # becomes the controlling terminal
                program = os.fork()
                if program == 0:
                    os.setpgid(0, 0)
                    signal.signal(signal.SIGTTOU, signal.SIG_DFL)
                    for n in (0, 1, 2):
                        os.dup2(terminal, n)
                    os.execve(SETUP, [SETUP], dict(os.environ, QUENMAR_COM1="/nonexistent"))
                _, stopped = os.waitpid(program, os.WUNTRACED)
                if os.WIFSTOPPED(stopped):
                    os.kill(program, signal.SIGINT)
                    os.tcsetpgrp(terminal, program)
                    os.kill(program, signal.SIGCONT)
                    _, ended = os.waitpid(program, 0)
                    status = os.WEXITSTATUS(ended) if os.WIFEXITED(ended) else 200 + os.WTERMSIG(ended)
            finally:
                os._exit(status)
        _, ended = os.waitpid(leader, 0)
        output = b""
        while select.select([master], [], [], 0)[0]:
            output += os.read(master, 4096)
        self.assertEqual(os.WEXITSTATUS(ended), 9, output)
        self.assertIn(b'Aborting due to runtime error 9 ("interrupted" signal)', output)
        self.assertEqual(termios.tcgetattr(slave), cooked)

    def test_a_termination_request_during_a_save_keeps_the_old_file(self):
        p = self.start("--demo", rate=1200)  # paced, so the save takes a while
        target = self.radio.path("mem.txt")
        with open(target, "wb") as old:
            old.write(b"the earlier file\r\n")
        self.begin_job(p, "2", PROMPT, "mem.txt")
        p.wait_for(lambda s: s.row(5)[4:].startswith("Reading memory  6 "), timeout=20)
        self.assertEqual(p.row(5)[:4], "    ")
        p.child.kill(signal.SIGTERM)
        self.assertEqual(p.wait_exit(), 13)
        self.assertIn('Aborting due to runtime error 13 ("termination request" signal)', p.text())
        with open(target, "rb") as kept:
            self.assertEqual(kept.read(), b"the earlier file\r\n")
        self.assertEqual(sorted(os.listdir(self.radio.directory)),
                         ["mem.txt", "radio.log", "radio.stderr"])
        mode = p.input_mode()
        self.assertTrue(mode & termios.ECHO and mode & termios.ICANON)

    def test_a_full_disk_is_error_2_at_line_574(self):
        p = self.start("--demo")
        self.begin_job(p, "2", PROMPT, "/dev/full")
        self.assertEqual(p.wait_exit(), 2, p.text())
        self.assertIn("Aborting due to runtime error 2 (file not found) at line 574 of QUEN32()", p.text())


if __name__ == "__main__":
    unittest.main()

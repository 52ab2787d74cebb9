"""The terminal under the program changes: a window made narrower, and a
terminal that goes away without the program being its session's."""

import os
import signal
import select
import subprocess
import tempfile
import termios
import time
import unittest

import pyte

from screen import SETUP, Program, stand_in_port

PROMPT = "What file to open to read memories? "


class TerminalTest(unittest.TestCase):
    def setUp(self):
        self.master, self.port = stand_in_port()
        self.folder = tempfile.TemporaryDirectory()

    def tearDown(self):
        os.close(self.master)
        self.folder.cleanup()

    def test_a_narrower_window_wraps_the_line_at_its_new_width(self):
        p = Program(env={"QUENMAR_COM1": self.port}, cwd=self.folder.name)
        self.addCleanup(p.close)
        p.wait_menu()
        p.type_line("1")
        p.send("abc")
        p.wait_for(lambda s: s.row(1).rstrip() == PROMPT + "abc")
        p.screen.resize(25, 40)
        p.child.setwinsize(25, 40)  # and SIGWINCH
        typed = "abc" + "defghijklmnopqrstuvwxyz0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"
        p.send(typed[3:])
        wrapped = (PROMPT + typed)[40:80]
        p.wait_for(lambda s: s.row(2) == wrapped and s.cursor() == (3, 19), what="wrapped at 40")
        self.assertEqual(p.row(1), (PROMPT + typed)[:40])
        p.send("\x1b[H")
        p.wait_for(lambda s: s.cursor() == (1, len(PROMPT) + 1), what="Home")
        p.send("\x1b[F")
        p.wait_for(lambda s: s.cursor() == (3, 19), what="End")
        open(os.path.join(self.folder.name, typed), "wb").close()
        p.send("\r")
        p.wait_for(lambda s: "3 = Set Quenmar Date and Time" in s.text(), what="the menu after the load")

    def test_a_terminal_that_hangs_up_ends_the_program_without_spinning(self):
        with open(self.port) as port:
            port_mode = termios.tcgetattr(port)
        terminal, slave = os.openpty()
        env = dict(os.environ, QUENMAR_COM1=self.port, TERM="xterm")
        # A session of its own: the terminal is not its controlling one, so
        # no SIGHUP comes when it goes away.
        program = subprocess.Popen([SETUP], stdin=slave, stdout=slave, stderr=slave, env=env,
                                   cwd=self.folder.name, start_new_session=True)
        os.close(slave)
        screen = pyte.Screen(80, 25)
        stream = pyte.ByteStream(screen)
        deadline = time.monotonic() + 10
        while "3 = Set Quenmar Date and Time" not in "\n".join(screen.display):
            self.assertLess(time.monotonic(), deadline, "no menu")
            if select.select([terminal], [], [], 0.1)[0]:
                stream.feed(os.read(terminal, 4096))
        os.close(terminal)
        deadline = time.monotonic() + 10
        while True:
            pid, status, usage = os.wait4(program.pid, os.WNOHANG)
            if pid:
                break
            if time.monotonic() > deadline:
                program.kill()
                self.fail("still running after its terminal went away")
            time.sleep(0.05)
        program.returncode = os.waitstatus_to_exitcode(status)
        self.assertEqual(program.returncode, 13)
        # Its whole run, start-up included: a wait that spun would use far more.
        self.assertLess(usage.ru_utime + usage.ru_stime, 1.0)
        with open(self.port) as port:
            self.assertEqual(termios.tcgetattr(port), port_mode)


    def test_a_dumb_terminal_gets_the_plain_dialogue(self):
        # An editor's shell buffer: a terminal that takes no escape sequence
        # and sends whole lines. The menu comes as plain lines; 7 then 0 ends.
        terminal, slave = os.openpty()
        env = dict(os.environ, QUENMAR_COM1=self.port, TERM="dumb")
        program = subprocess.Popen([SETUP], stdin=slave, stdout=slave, stderr=slave, env=env,
                                   cwd=self.folder.name, start_new_session=True)
        os.close(slave)
        os.write(terminal, b"7\n0\n")
        shown = b""
        deadline = time.monotonic() + 10
        while program.poll() is None or select.select([terminal], [], [], 0.1)[0]:
            self.assertLess(time.monotonic(), deadline, "still running: %r" % shown)
            if select.select([terminal], [], [], 0.1)[0]:
                try:
                    shown += os.read(terminal, 4096)
                except OSError:
                    break
        os.close(terminal)
        self.assertEqual(program.wait(), 0)
        self.assertNotIn(b"\x1b", shown)
        self.assertEqual(shown.count(b" 3 = Set Quenmar Date and Time\r"), 2, shown)


MENU = ["COM1", "Quenmar Setup Program", " 0 = Exit", " 1 = Load Quenmar memories from file",
        " 2 = Save all memories to file", " 3 = Set Quenmar Date and Time", "", " 0"]


# A small job-control shell: the program in a process group of its own in the
# foreground of the terminal, so that a stop is not discarded as it is for an
# orphaned group (pexpect's child leads a session of its own).
SHELL = """
import os, signal, sys
signal.signal(signal.SIGTTOU, signal.SIG_IGN)
pid = os.fork()
if pid == 0:
    os.setpgid(0, 0)
    os.tcsetpgrp(0, os.getpgrp())
    signal.signal(signal.SIGTTOU, signal.SIG_DFL)
    os.execv(sys.argv[1], sys.argv[1:])
try:
    os.setpgid(pid, pid)  # as the child does: whichever comes first
except PermissionError:
    pass  # the child has exec'd already, in its own group
sys.exit(os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1]))
"""


def stopped(pid):
    with open("/proc/%d/stat" % pid) as stat:
        return stat.read().rsplit(")", 1)[1].split()[0] == "T"


class WindowTest(unittest.TestCase):
    """The screen after the window changes, after a stop, and with bytes that are no text."""

    def setUp(self):
        self.master, self.port = stand_in_port()
        self.folder = tempfile.TemporaryDirectory()
        self.addCleanup(os.close, self.master)
        self.addCleanup(self.folder.cleanup)

    def start(self, env=None, command=None):
        p = Program(env=dict({"QUENMAR_COM1": self.port}, **(env or {})), cwd=self.folder.name,
                    command=command)
        self.addCleanup(p.close)
        p.wait_menu()
        return p

    def resize(self, p, rows, columns):
        p.screen.resize(rows, columns)
        p.child.setwinsize(rows, columns)

    def test_a_resize_at_the_menu_redraws_the_whole_menu(self):
        p = self.start()
        p.send("3")
        p.wait_for(lambda s: s.cursor() == (9, 2))
        self.resize(p, 5, 80)
        p.wait_for(lambda s: s.lines() == MENU[4:] + ["3"] and s.cursor() == (5, 2), what="the last rows")
        self.resize(p, 25, 80)
        p.wait_for(lambda s: s.lines()[:9] == MENU + ["3"] and s.cursor() == (9, 2), what="the menu")

    def test_a_stopped_program_comes_back_with_raw_keys(self):
        for stop in (signal.SIGTSTP, signal.SIGSTOP):
            with self.subTest(stop=stop):
                p = self.start(command=["/usr/bin/python3", "-c", SHELL, SETUP])
                program = int(subprocess.check_output(["pgrep", "-P", str(p.child.pid)]))
                os.kill(program, stop)
                deadline = time.monotonic() + 10
                while not stopped(program):
                    self.assertLess(time.monotonic(), deadline, "never stopped")
                    time.sleep(0.02)
                if stop == signal.SIGTSTP:  # the terminal as the program found it
                    self.assertTrue(p.input_mode() & termios.ICANON)
                # The shell's own mode while the program is stopped.
                mode = termios.tcgetattr(p.child.child_fd)
                mode[3] |= termios.ECHO | termios.ICANON
                termios.tcsetattr(p.child.child_fd, termios.TCSANOW, mode)
                os.kill(program, signal.SIGCONT)
                p.wait_for(lambda s: not s.input_mode() & (termios.ECHO | termios.ICANON),
                           what="raw keys again")
                p.send("12\x1b[D3\r")  # Left between: 132
                p.wait_for(lambda s: s.row(8).startswith(" 132 ") and s.cursor() == (9, 1))
                self.assertNotIn("1212", p.text())
                p.close()

    def test_bytes_that_are_no_text_are_shown_escaped(self):
        for language in ("C.UTF-8", "C"):
            with self.subTest(language=language):
                p = self.start({"LC_ALL": language})
                p.type_line("1")
                p.wait_for(lambda s: s.row(1).startswith(PROMPT))
                shown = len(p.raw)
                p.send(b"a\x9bb\x1b[D\x85")
                p.wait_for(lambda s: s.row(1).rstrip() == PROMPT + "a\\x9B\\x85b" and
                           s.cursor() == (1, len(PROMPT) + 10))
                p.send("\r")
                self.assertEqual(p.wait_exit(), 2)
                self.assertIn('"a\\x9B\\x85b"', p.text())  # the line naming the file
                self.assertNotRegex(p.raw[shown:], b"[\x80-\x9f]" if language == "C" else
                                    b"(?<![\xc0-\xef])[\x80-\x9f]|\xc2[\x80-\x9f]")
                p.close()

    def test_a_name_cut_by_the_item_rule_is_named_before_it_is_opened(self):
        p = self.start()
        p.type_line("1")
        p.type_line(" a,b.txt")
        self.assertEqual(p.wait_exit(), 2)
        self.assertEqual(p.row(2).rstrip(), 'using "a": the blanks before the name go, a comma ends the name')
        self.assertIn('Aborting due to runtime error 2 (file not found) at line 488', p.text())


if __name__ == "__main__":
    unittest.main()

"""The terminal under the program changes: a window made narrower, and a
terminal that goes away without the program being its session's."""

import os
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


if __name__ == "__main__":
    unittest.main()

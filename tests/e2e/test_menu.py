"""Start-up, the main menu and the ways the program ends, on a real pseudo-terminal."""

import fcntl
import os
import subprocess
import termios
import unittest

from radio import Radio
from screen import SETUP, Program, as_nobody, stand_in_port

MENU = ["COM1", "Quenmar Setup Program", " 0 = Exit ", " 1 = Load Quenmar memories from file",
        " 2 = Save all memories to file", " 3 = Set Quenmar Date and Time", ""]


class MenuTest(unittest.TestCase):
    def setUp(self):
        self.master, self.port = stand_in_port()
        self.program = Program(env={"QUENMAR_COM1": self.port})

    def tearDown(self):
        self.program.close()
        os.close(self.master)

    def test_menu_rows_colours_and_first_choice(self):
        p = self.program
        p.wait_menu()
        for number, text in enumerate(MENU, start=1):
            self.assertEqual(p.row(number).rstrip(" ") if number != 3 else p.row(3)[:10], text)
        self.assertEqual(p.row(8)[:3], " 0 ")
        self.assertEqual(p.cursor(), (9, 1))
        # Bright white on blue, blanks included.
        for row, column in ((2, 0), (3, 9), (8, 2)):
            cell = p.screen.buffer[row - 1][column]
            self.assertEqual(cell.bg, "blue", (row, column))
            # pyte names the bright colours (SGR 90-97) by their colour and bold.
            self.assertEqual((cell.fg, cell.bold), ("white", True), (row, column))

    def test_other_numbers_redraw_the_menu_with_the_last_choice(self):
        p = self.program
        p.wait_menu()
        p.type_line("7")
        p.wait_for(lambda s: s.row(8).startswith(" 7 ") and s.cursor() == (9, 1))
        self.assertEqual(p.row(2).rstrip(), "Quenmar Setup Program")
        p.type_line("-1")
        p.wait_for(lambda s: s.row(8).startswith("-1 ") and s.cursor() == (9, 1))
        p.type_line("&H10")
        p.wait_for(lambda s: s.row(8).startswith(" 16 "))
        self.assertTrue(p.child.isalive())

    def test_typed_choice_shows_on_the_row_below(self):
        p = self.program
        p.wait_menu()
        p.send("12\x7f3")
        p.wait_for(lambda s: s.row(9).startswith("13") and s.cursor() == (9, 3))
        p.send("\r")
        p.wait_for(lambda s: s.row(8).startswith(" 13 "))

    def test_empty_line_and_words_end_with_status_zero(self):
        p = self.program
        p.wait_menu()
        p.type_line("")
        self.assertEqual(p.wait_exit(), 0)
        self.assertTrue(p.input_mode() & termios.ECHO)
        other = Program(env={"QUENMAR_COM1": self.port})
        try:
            other.wait_menu()
            other.type_line("abc")
            self.assertEqual(other.wait_exit(), 0)
        finally:
            other.close()

    def test_ctrl_c_at_the_menu_reports_9_and_restores_the_terminal(self):
        p = self.program
        p.wait_menu()
        self.assertFalse(p.input_mode() & termios.ECHO)
        p.interrupt()
        self.assertEqual(p.wait_exit(), 9)
        self.assertIn('Aborting due to runtime error 9 ("interrupted" signal)', p.text())
        self.assertNotIn("at line", p.text())
        mode = p.input_mode()
        self.assertTrue(mode & termios.ECHO and mode & termios.ICANON)

    def test_ctrl_z_and_ctrl_s_are_ignored_keys(self):
        p = self.program
        p.wait_menu()
        p.send("\x1a\x13\x1c5\r")
        p.wait_for(lambda s: s.row(8).startswith(" 5 "))
        self.assertTrue(p.child.isalive())


class StartUpTest(unittest.TestCase):
    def run_plain(self, args, env, stdin=b"0\n"):
        full = dict(os.environ)
        full.update(env)
        return subprocess.run([SETUP] + args, input=stdin, capture_output=True, env=full, timeout=30)

    def test_missing_port_gives_error_2_at_line_8(self):
        result = self.run_plain([], {"QUENMAR_COM1": "/nonexistent/ttyQ"})
        self.assertEqual(result.returncode, 2)
        self.assertEqual(result.stdout, b"COM1\r\n")
        # The error stream is no terminal: its line ends plainly, whatever the screen's do.
        hint, report = result.stderr.split(b"\n", 1)
        self.assertFalse(hint.endswith(b"\r"))
        self.assertIn(b"/nonexistent/ttyQ", hint)
        self.assertIn(b"QUENMAR_COM1", hint)
        self.assertEqual(report, b"\r\nAborting due to runtime error 2 (file not found) at line 8 of QUEN32()\r\n\r\n")

    def test_missing_port_on_a_terminal(self):
        p = Program(args=["c=3"], env={"QUENMAR_COM3": "/nonexistent/ttyQ"})
        try:
            self.assertEqual(p.wait_exit(), 2)
            self.assertEqual(p.row(1).rstrip(), "COM3")
            self.assertIn("Aborting due to runtime error 2 (file not found) at line 8 of QUEN32()", p.text())
        finally:
            p.close()

    def test_port_name_from_the_command_line(self):
        master, port = stand_in_port()
        try:
            result = self.run_plain(["c=2"], {"QUENMAR_COM2": port})
            self.assertEqual(result.returncode, 0)
            self.assertTrue(result.stdout.startswith(b"COM2\r\nQuenmar Setup Program\r\n"), result.stdout)
            result = self.run_plain(["c=1:9600"], {"QUENMAR_COM1": port})
            self.assertEqual(result.returncode, 1)
            self.assertEqual(result.stdout, b"COM1:9600\r\n")
            self.assertTrue(result.stderr.endswith(
                b"\r\nAborting due to runtime error 1 (illegal function call) at line 8 of QUEN32()\r\n\r\n"))
            result = self.run_plain(["C=X"], {})
            self.assertEqual(result.returncode, 2)
            self.assertIn(b"names no serial port", result.stderr)
        finally:
            os.close(master)

    def test_port_option_names_the_device_of_the_chosen_port(self):
        master, port = stand_in_port()
        try:
            p = Program(args=["c=3", "--port", port], env={"QUENMAR_COM3": "/nonexistent/ttyQ"})
            try:
                p.wait_menu()
                self.assertEqual(p.row(1).rstrip(), "COM3")
            finally:
                p.close()
            result = self.run_plain(["--port=/nonexistent/ttyQ"], {"QUENMAR_COM1": port})
            self.assertEqual(result.returncode, 2)
            self.assertIn(b"cannot open COM1 (/nonexistent/ttyQ)", result.stderr)
        finally:
            os.close(master)
        with Radio() as radio:
            result = self.run_plain(["--port", radio.port, "--clock"],
                                    {"QUENMAR_COM1": "/nonexistent/ttyQ"}, stdin=b"")
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertIn(b"reply FE FE F1 04 FB FD\nset the radio's clock to ", result.stdout)
            # The menu's clock screen without a terminal: each dump on rows of its own.
            result = self.run_plain(["--port", radio.port], {}, stdin=b"3\n0\n")
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertRegex(result.stdout, rb"\r\nCIV buffer contents are:\r\nFE FE 04 F1 14( [0-9]{2}){6}"
                             rb" FD \r\nCIV buffer contents are:\r\nFE FE F1 04 FB FD \r\nPress any")

    def test_a_device_argument_without_c_or_port_is_refused(self):
        master, port = stand_in_port()
        try:
            # Whether the device is there or not: an unplugged adapter is refused too.
            # The advice is what opens it here: --port COM3 would open ./COM3.
            for args, hint in (([port], "--port " + port), (["/dev/ttyUSB7"], "--port /dev/ttyUSB7"),
                               (["ttyUSB0"], "--port /dev/ttyUSB0"), (["cuaU0", "c=1"], "--port /dev/cuaU0"),
                               (["COM3", "--port", port], "C=3")):
                result = self.run_plain(args, {"QUENMAR_COM1": port})
                self.assertEqual((result.returncode, result.stdout), (2, b""), args)
                self.assertEqual(result.stderr.decode(),
                                 "quenmar-setup: %s is not opened: only C=n and --port name the port; to open"
                                 " it, use %s (see quenmar-setup --help)\n" % (args[0], hint))
        finally:
            os.close(master)

    def test_not_a_serial_port_gives_error_8(self):
        result = self.run_plain([], {"QUENMAR_COM1": "/dev/null"})
        self.assertEqual(result.returncode, 8)
        self.assertTrue(result.stderr.endswith(b"(no priviledges) at line 8 of QUEN32()\r\n\r\n"))

    def test_port_held_by_another_program_gives_error_2(self):
        master, port = stand_in_port()
        holder = os.open(port, os.O_RDWR | os.O_NOCTTY)
        try:
            fcntl.flock(holder, fcntl.LOCK_EX)
            result = self.run_plain([], {"QUENMAR_COM1": port})
            self.assertEqual(result.returncode, 2)
            self.assertIn(b"in use", result.stderr)
        finally:
            os.close(holder)
            os.close(master)

    @unittest.skipUnless(os.geteuid() == 0, "needs root to switch to an unprivileged user")
    def test_permission_hint_for_a_device_the_user_may_not_open(self):
        master, port = stand_in_port()
        try:
            os.chown(port, 0, 0)
            os.chmod(port, 0o600)
            result = subprocess.run(
                as_nobody(),
                input=b"0\n", capture_output=True, timeout=30,
                env=dict(os.environ, QUENMAR_COM1=port))
            self.assertEqual(result.returncode, 2)
            self.assertIn(b"Permission denied", result.stderr)
            self.assertIn(b"dialout", result.stderr)
        finally:
            os.close(master)

    def test_piped_answers_and_the_info_options(self):
        master, port = stand_in_port()
        try:
            result = self.run_plain([], {"QUENMAR_COM1": port}, stdin=b"7\n0\n")
            self.assertEqual(result.returncode, 0)
            self.assertNotIn(b"\x1b", result.stdout)
            self.assertIn(b"\r\n 7 \r\n", result.stdout)
        finally:
            os.close(master)
        version = self.run_plain(["--version"], {})
        self.assertEqual(version.returncode, 0)
        self.assertRegex(version.stdout, rb"^quenmar-setup \d+\.\d+\.\d+\n$")
        usage = self.run_plain(["--help"], {})
        self.assertEqual(usage.returncode, 0)
        self.assertIn(b"QUENMAR_COM", usage.stdout)
        self.assertIn(b"C=", usage.stdout)


if __name__ == "__main__":
    unittest.main()

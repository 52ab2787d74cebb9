"""What a new user tries first: --probe, --list-ports, the usual options, a
device given the wrong way, --trace, and results that cannot be written."""

import os
import re
import subprocess
import unittest

from radio import READ_FREQUENCY, READ_MODE, Radio, command
from screen import SETUP, stand_in_port

TOP = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")


def run(args, env=None, cwd=None, stdout=subprocess.PIPE):
    """Runs the program with no terminal; (status, stdout, stderr) as text."""
    done = subprocess.run([SETUP] + args, stdin=subprocess.DEVNULL, stdout=stdout,
                          stderr=subprocess.PIPE, timeout=60, cwd=cwd,
                          env=dict(os.environ, **(env or {})))
    out = done.stdout.decode("latin-1") if done.stdout is not None else ""
    return done.returncode, out, done.stderr.decode("latin-1")


def received(master):
    """What the program wrote to a stand-in port, waiting for none of it."""
    os.set_blocking(master, False)
    try:
        return os.read(master, 4096)
    except BlockingIOError:
        return b""


class FirstContactTest(unittest.TestCase):
    def radio(self, *options):
        radio = Radio(*options)
        self.addCleanup(radio.close)
        return radio

    def stand_in(self):
        """A stand-in port whose other end stays open, so that its master
        reads what was written or nothing, not an error."""
        master, port = stand_in_port()
        self.addCleanup(os.close, master)
        self.addCleanup(os.close, os.open(port, os.O_RDWR | os.O_NOCTTY))
        return master, port

    def test_probe_reads_and_changes_nothing(self):
        radio = self.radio("--demo")
        self.assertEqual(run(["--probe"], {"QUENMAR_COM1": radio.port}),
                         (0, "radio 04 answered: 14.20000 MHz USB 2.4\n", ""))
        self.assertEqual([line.data for line in radio.log() if line.kind == "in"],
                         [command(READ_FREQUENCY), command(READ_MODE)])

    def test_probe_of_a_silent_or_refusing_radio_says_so(self):
        for option, status_wanted, said in (
                ("--silent", 5, "quenmar-setup: no radio answered ReadFrequency at address 04 or at"
                                " the broadcast address 00, at 1200, 115200, 57600, 38400, 19200,"
                                " 9600, 4800, 2400, 600 or 300 bit/s; the line echoes"),
                ("--no-echo", 5, "quenmar-setup: the line does not echo what is sent, so no radio"
                                 " hears it"),
                ("--refuse-reads", 5, "quenmar-setup: the radio answered ReadFrequency with "
                                      "FE FE F1 04 FA FD 3 times, which is no answer to it,"
                                      " so the probe found no radio; check")):
            with self.subTest(option=option):
                radio = self.radio(option)
                status, out, errors = run(["--probe"], {"QUENMAR_COM1": radio.port})
                self.assertEqual((status, out, len(errors.splitlines())), (status_wanted, "", 1))
                self.assertTrue(errors.startswith(said), errors)

    def test_list_ports_names_a_quenmar_com_device_and_writes_nothing_to_it(self):
        master, port = self.stand_in()
        status, out, errors = run(["--list-ports"], {"QUENMAR_COM3": port})
        self.assertEqual((status, errors), (0, ""))
        lines = out.splitlines()
        self.assertIn(port + ": COM3", lines)
        self.assertEqual(lines[lines.index(port + ": COM3") + 1], "    named by QUENMAR_COM3")
        self.assertEqual(received(master), b"")

    def test_usual_options_and_mistakes_end_before_any_port_is_opened(self):
        master, port = self.stand_in()
        usage = "(see quenmar-setup --help)\n"
        cases = [
            (["-h"], {}, 0, "Usage: quenmar-setup", ""),
            (["-?"], {}, 0, "Usage: quenmar-setup", ""),
            (["-V"], {}, 0, "quenmar-setup ", ""),
            (["-x"], {}, 2, "", "quenmar-setup: unknown option '-x' " + usage),
            (["--port", "", "--clock"], {}, 2, "",
             "quenmar-setup: option '--port' was given an empty DEVICE " + usage),
            (["--clock"], {"QUENMAR_COM1": ""}, 2, "",
             "quenmar-setup: QUENMAR_COM1 is set but empty; set it to the device, or unset it "
             + usage),
            (["--speed", "1000", "--clock"], {}, 2, "", "quenmar-setup: --speed \"1000\": give"
             " one of 300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200 (bit/s) or"
             " auto " + usage),
            (["--clock"], {"QUENMAR_SPEED": "fast"}, 2, "", "quenmar-setup: QUENMAR_SPEED=\"fast\":"
             " give one of 300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200 (bit/s)"
             " or auto " + usage),
        ] + [
            (["--address", address, "--probe"], {}, 2, "", "quenmar-setup: --address \"%s\": give"
             " the radio's address in hex, 01 to DF (00 is every radio's, E0 to FF are the"
             " controllers') %s" % (address, usage))
            for address in ("00", "E0", "FF", "x4", "104")
        ] + [
            ([port], {}, 2, "", "quenmar-setup: %s is not opened: only C=n and --port name the port;"
             " to open it, use --port %s %s" % (port, port, usage)),
            # Every word is used or refused, and none is taken for another.
            (["--save", "a.txt", "b.txt"], {}, 2, "", "quenmar-setup: 'b.txt' is not used: it is"
             " neither an option, an option's value nor after C= " + usage),
            (["--load", "a.txt", "--load", "b.txt"], {}, 2, "",
             "quenmar-setup: option '--load' is given twice " + usage),
            (["--trace", "--probe"], {}, 2, "",
             "quenmar-setup: --trace needs a file name; --probe is an option " + usage),
        ]
        for args, env, status, out_start, errors in cases:
            with self.subTest(args=args, env=env):
                result = run(args, dict({"QUENMAR_COM1": port}, **env))
                self.assertEqual(result[0], status)
                self.assertTrue(result[1].startswith(out_start), result[1])
                if not out_start:
                    self.assertEqual(result[1], "")
                self.assertEqual(result[2], errors)
        self.assertEqual(received(master), b"")

    def test_trace_option_writes_a_trace(self):
        radio = self.radio()
        self.assertEqual(run(["--trace", "probe.trace", "--probe"], {"QUENMAR_COM1": radio.port},
                             cwd=radio.directory)[0], 0)
        with open(radio.path("probe.trace")) as trace:
            lines = trace.read().splitlines()
        # Each line: seconds in 11 columns, a blank, what, the bytes.
        self.assertIn("sent   FE FE 04 F1 03 FD", [line[12:] for line in lines])
        # On the error stream, to watch: the results stay alone on the standard output.
        for name in ("-", "/dev/stderr"):
            status, out, errors = run(["--trace", name, "--probe"], {"QUENMAR_COM1": radio.port},
                                      cwd=radio.directory)
            self.assertEqual((status, out), (0, "radio 04 answered: 14.20000 MHz USB 2.4\n"))
            self.assertIn("sent   FE FE 04 F1 03 FD", [line[12:] for line in errors.splitlines()])
        self.assertEqual(sorted(os.listdir(radio.directory)),
                         ["probe.trace", "radio.log", "radio.stderr"])
        # A trace that cannot be made is said, and the run goes on without it.
        status, out, errors = run(["--trace", radio.path("no/such/folder"), "--probe"],
                                  {"QUENMAR_COM1": radio.port})
        self.assertEqual((status, out[:19]), (0, "radio 04 answered: "))
        self.assertTrue(errors.startswith("quenmar-setup: cannot open the trace file "), errors)

    def test_results_that_cannot_be_written_end_with_status_4(self):
        # A job's lines go out as they come, so only the stream's error flag
        # tells of those lost before the end.
        port = {"QUENMAR_COM1": self.radio().port}
        for args in (["--version"], ["--list-ports"], ["--probe"]):
            with self.subTest(args=args), open("/dev/full", "wb") as full:
                status, _, errors = run(args, port, stdout=full)
                self.assertEqual(status, 4)
                self.assertEqual(errors, "quenmar-setup: the results could not be written: "
                                         "No space left on device\n")

    def test_the_manuals_name_every_option_of_the_help(self):
        options = set(re.findall(r"(?<![\w-])(--[a-z][a-z-]*|-[hV?])(?![\w-])", run(["--help"])[1]))
        self.assertGreater(len(options), 15)
        for manual in ("README.md", "man/quenmar-setup.1", "packaging/README-windows.txt"):
            with open(os.path.join(TOP, manual)) as text:
                words = text.read().replace("\\-", "-")
            for option in sorted(options):
                with self.subTest(manual=manual, option=option):
                    self.assertRegex(words, r"(?<![\w-])%s(?![\w-])" % re.escape(option))


if __name__ == "__main__":
    unittest.main()

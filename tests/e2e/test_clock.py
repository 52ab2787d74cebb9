"""Menu choice 3 against the virtual radio: the clock frame, both dumps, the
reply window and the key wait."""

import glob
import time
import unittest

from radio import Radio
from screen import Program

HEADING = "CIV buffer contents are:"
FAKETIME_LIBRARY = (glob.glob("/usr/lib/*/faketime/libfaketime.so.1") + ["libfaketime.so.1"])[0]


class ClockTest(unittest.TestCase):
    def start(self, *radio_options, at=None, trace=False):
        self.radio = Radio(*radio_options)
        self.addCleanup(self.radio.close)
        # Only the wall clock is faked: the reply window runs on the real one.
        env = {"QUENMAR_COM1": self.radio.port, "FAKETIME_DONT_FAKE_MONOTONIC": "1", "TZ": "UTC"}
        if at:
            # The library itself, not the faketime wrapper: the wrapper leaves a
            # semaphore behind for every program a test ends, and fails when a
            # later process gets the same id. The clock stands still at `at`: a
            # running one would be a second on when a busy machine takes that
            # long to reach the menu choice.
            env.update(LD_PRELOAD=FAKETIME_LIBRARY, FAKETIME=at)
        if trace:
            env["QUENMAR_TRACE"] = self.radio.path("trace.txt")
        p = Program(env=env)
        self.addCleanup(p.close)
        p.wait_menu()
        return p

    def set_clock(self, p):
        p.type_line("3")
        started = time.monotonic()
        p.wait_for(lambda s: s.row(11).startswith("Press any key to continue"), timeout=10)
        return time.monotonic() - started

    def test_the_frame_of_a_fixed_time_and_both_dumps(self):
        p = self.start(at="2024-03-07 09:05:30")
        self.set_clock(p)
        self.assertEqual(p.row(1).rstrip(), "Set Quenmar Clock")
        self.assertEqual(p.row(5).rstrip(), HEADING)
        self.assertEqual(p.row(6).rstrip(), "FE FE 04 F1 14 07 03 24 09 05 30 FD")
        self.assertEqual(p.row(9).rstrip(), HEADING)
        self.assertEqual(p.row(10).rstrip(), "FE FE F1 04 FB FD")
        frames = [line.data.hex(" ").upper() for line in self.radio.log() if line.kind == "in"]
        self.assertEqual(frames, ["FE FE 04 F1 14 07 03 24 09 05 30 FD"])
        p.send("x")
        p.wait_for(lambda s: s.row(8).startswith(" 3 ") and s.cursor() == (9, 1))

    def test_a_reply_ends_the_wait_at_its_fd(self):
        p = self.start()
        elapsed = self.set_clock(p)
        self.assertLess(elapsed, 2.0)  # far inside the 3-second window
        self.assertEqual(p.row(10).rstrip(), "FE FE F1 04 FB FD")

    def test_a_silent_radio_shows_the_heading_alone_after_three_seconds(self):
        p = self.start("--silent")
        elapsed = self.set_clock(p)
        self.assertGreaterEqual(elapsed, 2.9)
        self.assertLess(elapsed, 6.0)
        self.assertEqual(p.row(9).rstrip(), HEADING)
        self.assertEqual(p.row(10).strip(), "")

    def test_bytes_after_an_fd_are_thrown_away_by_the_next_frame(self):
        p = self.start("--extra-bytes")
        self.set_clock(p)
        self.assertEqual(p.row(10).rstrip(), "FE FE F1 04 FB FD")
        p.send(" ")
        p.wait_menu()
        self.set_clock(p)
        # The FE FE 00 left behind by the first reply did not become part of the second.
        self.assertEqual(p.row(10).rstrip(), "FE FE F1 04 FB FD")
        self.assertEqual(len([l for l in self.radio.log() if l.kind == "in"]), 2)

    def test_without_echo_the_whole_frame_still_goes_out(self):
        p = self.start("--no-echo", "--silent", trace=True)
        self.set_clock(p)
        frames = [line.data for line in self.radio.log() if line.kind == "in"]
        self.assertEqual(len(frames), 1)
        self.assertEqual(frames[0][:5].hex(" ").upper(), "FE FE 04 F1 14")
        self.assertEqual(len(frames[0]), 12)
        # One bounded wait for the whole frame's echo, not one for each byte.
        with open(self.radio.path("trace.txt")) as text:
            kinds = [line.split()[1:] for line in text.read().splitlines()[1:]]
        self.assertEqual([k for k in kinds if k[0] == "echo"], [["echo", "(none)"]])

    def test_a_key_typed_during_the_exchange_ends_the_key_wait(self):
        p = self.start("--silent")
        p.type_line("3")
        p.send("k")  # typed while the program waits for the radio
        p.wait_for(lambda s: s.row(8).startswith(" 3 ") and s.cursor() == (9, 1), timeout=10)


if __name__ == "__main__":
    unittest.main()

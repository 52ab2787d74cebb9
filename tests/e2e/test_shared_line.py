"""The radio on a line other devices share: their frames pass by, a frame
another device talked over goes out again, and a job stops when the radio
stops answering. The jobs run from the command line, with no terminal."""

import time
import unittest

from command_jobs import CommandJobTest
from memory_lines import EARLIER, filled, memory_file

TRAFFIC = ("--announce", "--other-controller")
# The demo radio's channels 0, 1, 2, 5, 10 and 20, as a load sends them.
DEMO_LOAD = "6 channels stored, 0 refused, 56 left as the radio has them; %s sent again\n"
SAVED = "mem.txt: 62 channels saved, 6 filled\n"

class SharedLineTest(CommandJobTest):
    def read(self, radio, name):
        with open(radio.path(name), "rb") as saved:
            return saved.read()

    def write(self, radio, name, data):
        with open(radio.path(name), "wb") as out:
            out.write(data)

    def clean_save(self):
        """The demo radio saved on a line of its own: the file and the frames."""
        radio = self.radio("--demo")
        self.assertEqual(self.run_job(radio, "--save", "mem.txt"), (0, SAVED, ""))
        return self.read(radio, "mem.txt"), self.frames(radio)

    def test_announcements_and_another_controllers_exchanges_change_nothing(self):
        saved, save_frames = self.clean_save()
        busy = self.radio("--demo", *TRAFFIC)
        self.assertEqual(self.run_job(busy, "--save", "mem.txt"), (0, SAVED, ""))
        self.assertEqual(self.read(busy, "mem.txt"), saved)
        self.assertEqual(self.frames(busy), save_frames)
        self.assertGreater(len([line for line in busy.log() if line.kind == "other"]), 310)
        loads = {}
        for options in ((), TRAFFIC):
            radio = self.radio(*options)
            self.write(radio, "load.txt", saved)
            self.assertEqual(self.run_job(radio, "--load", "load.txt"), (0, DEMO_LOAD % "0 frames", ""))
            loads[options] = self.frames(radio)
        self.assertEqual(loads[TRAFFIC], loads[()])
        self.assertEqual(self.run_job(busy, "--compare", "mem.txt")[:2],
                         (0, "6 channels compared, 6 agree, 0 differ\n"))

    def test_a_frame_another_device_talked_over_goes_out_again(self):
        saved, save_frames = self.clean_save()
        # The 5th and the 40th frame the radio hears collide; the 6th and the
        # 41st are the same frames sent again.
        radio = self.radio("--demo", "--collide", "5", "--collide", "40")
        self.assertEqual(self.run_job(radio, "--save", "mem.txt"), (0, SAVED, ""))
        self.assertEqual(self.read(radio, "mem.txt"), saved)
        frames = self.frames(radio)
        self.assertEqual((frames[5], frames[40]), (frames[4], frames[39]))
        self.assertEqual(frames[:5] + frames[6:40] + frames[41:], save_frames)
        loading = self.radio("--collide", "3")
        self.write(loading, "load.txt", saved)
        self.assertEqual(self.run_job(loading, "--load", "load.txt"), (0, DEMO_LOAD % "1 frame", ""))

    def test_three_collisions_in_a_row_end_the_save_and_keep_the_file(self):
        radio = self.radio("--demo", "--collide", "3", "--collide", "4", "--collide", "5")
        self.write(radio, "mem.txt", EARLIER)
        status, out, errors = self.run_job(radio, "--save", "mem.txt")
        self.assertEqual((status, out), (5, ""))
        self.assertIn("quenmar-setup: other devices talked over ReadFrequency of channel 0 3 times,"
                      " so the save stopped and the file was left as it was; check", errors)
        self.assertEqual(self.read(radio, "mem.txt"), EARLIER)
        self.assertEqual(len(self.frames(radio)), 5)

    def test_a_radio_switched_off_mid_load_ends_it_in_one_window(self):
        radio = self.radio("--silent-after", "12")  # the interface still echoes
        self.write(radio, "load.txt", memory_file(
            {n: filled(n, "1400000", b"CH%d    " % n, b"USB ", b"2.4") for n in range(5)}))
        started = time.monotonic()
        status, out, errors = self.run_job(radio, "--load", "load.txt")
        self.assertLess(time.monotonic() - started, 10)
        self.assertEqual((status, out), (5, "2 channels stored, 0 refused, 3 not sent because"
                                            " the load stopped, 57 left as the radio has them;"
                                            " 0 frames sent again\n"))
        self.assertIn("quenmar-setup: the radio did not answer SelectMemory of channel 2, so the"
                      " load stopped; check", errors)
        self.assertEqual(len(self.frames(radio)), 13)

    def test_an_echo_that_keeps_coming_back_changed_stops_each_job_alike(self):
        radio = self.radio("--demo", "--bad-echo")
        self.write(radio, "load.txt", memory_file({3: filled(3, "0705000", b"THREE  ", b"LSB ", b"6.0")}))
        self.write(radio, "mem.txt", EARLIER)
        cases = (
            (["--probe"], "", "ReadFrequency", "the probe found no radio"),
            (["--save", "mem.txt"], "", "SelectMemory of channel 0",
             "the save stopped and the file was left as it was"),
            (["--load", "load.txt"], "0 channels stored, 0 refused, 1 not sent because the load"
             " stopped, 61 left as the radio has them; 2 frames sent again\n", "SetFrequency of channel 3", "the load stopped"),
            (["--compare", "load.txt"], "", "SelectMemory of channel 0", "the comparison stopped"),
            (["--clock"], None, "SetClock", "the clock may not be set"))
        for args, out_wanted, exchange, outcome in cases:
            with self.subTest(job=args[0]):
                status, out, errors = self.run_job(radio, *args)
                if out_wanted is not None:
                    self.assertEqual(out, out_wanted)
                self.assertEqual((status, errors.splitlines()), (5, [
                    "quenmar-setup: other devices talked over %s 3 times, so %s; check what else on"
                    " the radio's line is sending (an amplifier, a tuner, another program)"
                    % (exchange, outcome)]))
        self.assertEqual(self.read(radio, "mem.txt"), EARLIER)
        self.assertEqual(len(self.frames(radio)), 15)

if __name__ == "__main__":
    unittest.main()

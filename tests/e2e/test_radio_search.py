"""The radio found, not assumed: a radio at another speed or address found by
--speed auto and --probe, --address used for frames and replies, and
--list-ports --probe naming the port with the radio."""

import unittest

from command_jobs import CommandJobTest
from radio import READ_FREQUENCY, READ_MODE, SET_CLOCK, command


class RadioSearchTest(CommandJobTest):
    def test_a_radio_at_9600_is_found_by_speed_auto_and_by_probe(self):
        radio = self.radio("--demo", rate=9600)
        self.assertEqual(self.run_job(radio, "--probe"),
                         (5, "radio 04 answers at 9600 bit/s: give --speed 9600\n", ""))
        status, out, errors = self.run_job(radio, "--speed", "auto", "--clock")
        self.assertEqual((status, errors), (0, "quenmar-setup: radio 04 answers at 9600 bit/s\n"))
        self.assertIn("set the radio's clock to ", out)
        # Heard at 9600 only: what went at another speed was garbage to it.
        heard = self.frames(radio)
        self.assertEqual(heard[-1][:5], command(SET_CLOCK)[:5])
        self.assertTrue(all(frame == command(READ_FREQUENCY) for frame in heard[:-1]), heard)
        self.assertIn("garbage", [line.kind for line in radio.log()])

    def test_speed_auto_with_no_answer_names_the_speeds_and_runs_no_job(self):
        radio = self.radio("--silent")
        self.assertEqual(self.run_job(radio, "--speed", "auto", "--clock"), (
            5, "", "quenmar-setup: radio 04 did not answer ReadFrequency at 1200, 115200, 57600,"
            " 38400, 19200, 9600, 4800, 2400, 600 or 300 bit/s; --probe looks for it further\n"))
        self.assertEqual(set(self.frames(radio)), {command(READ_FREQUENCY)})

    def test_a_radio_at_another_address_is_named_by_probe_and_answers_at_it(self):
        radio = self.radio("--demo", "--address", "5C")
        self.assertEqual(self.run_job(radio, "--probe"),
                         (5, "a radio at address 5C answered: give --address 5C\n", ""))
        self.assertIn(command(READ_FREQUENCY, to=0x00), self.frames(radio))
        self.assertEqual(self.run_job(radio, "--address", "5c", "--probe"),
                         (0, "radio 5C answered: 14.20000 MHz USB 2.4\n", ""))
        self.assertEqual(self.frames(radio)[-2:],
                         [command(READ_FREQUENCY, to=0x5C), command(READ_MODE, to=0x5C)])

    def test_list_ports_probe_names_the_port_with_the_radio(self):
        radio = self.radio("--demo", rate=9600)
        port = radio.port
        status, out, errors = self.run_job(radio, "--list-ports", "--probe", "--speed", "9600",
                                           env={"QUENMAR_COM3": port})
        lines = out.splitlines()
        self.assertEqual((status, errors), (0, ""))
        self.assertIn("probe of %s: radio 04 answered at 9600 bit/s" % port, lines)
        self.assertEqual(lines[-1], "the radio is on %s: give --port %s" % (port, port))
        self.assertEqual(set(self.frames(radio)), {command(READ_FREQUENCY)})  # reads only


if __name__ == "__main__":
    unittest.main()

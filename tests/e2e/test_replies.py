"""What a reply says, from the command line against radios that answer badly
now and then: a save takes a read only from its own answer and asks again,
three tries in all, before it stops with the file as it was; a load stores
only the channels it set whole."""

import unittest

from command_jobs import CommandJobTest
from memory_lines import EARLIER, filled, memory_file
from radio import SELECT_MEMORY, command

CHANNELS = ("--channel", "4:1423450:1:2:" + b"FOUR   ".hex(),
            "--channel", "5:0705000:3:4:" + b"FIVE   ".hex())
SAVED = memory_file({4: filled(4, "1423450", b"FOUR   ", b"USB ", b"2.4"),
                     5: filled(5, "0705000", b"FIVE   ", b"CW  ", b".50")})
CLEAN_FRAMES = 62 * 2 + 2 * 3


class SaveReplyTest(CommandJobTest):
    def save(self, *fault, old=None):
        """--save of the two channels from a radio with this fault, into a
        mem.txt that holds `old` before; (status, stderr, file, frames)."""
        radio = self.radio(*(CHANNELS + fault))
        if old is not None:
            with open(radio.path("mem.txt"), "wb") as out:
                out.write(old)
        status, out, errors = self.run_job(radio, "--save", "mem.txt")
        self.assertRegex(out, r"^mem.txt: 62 channels saved, 2 filled(; .*)?\n$" if status == 0 else "^$")
        with open(radio.path("mem.txt"), "rb") as saved:
            return status, errors, saved.read(), self.frames(radio)

    def test_a_bad_reply_is_asked_again_and_the_file_is_whole(self):
        # A channel is read again from its SelectMemory: `again` counts the
        # frames of the tries given up on.
        for fault, again in ((("--refuse", "03:4:2"), 6), (("--refuse", "04:5:1"), 4),
                             (("--refuse", "08:5:1"), 1), (("--foreign-reply", "04:4:1"), 4),
                             (("--foreign-reply", "0A:5:2"), 4), (("--short-reply", "03:4:1"), 3),
                             (("--short-reply", "04:4:2"), 8), (("--hex-digits", "03:5:1"), 3),
                             (("--noise-before",), 0)):
            with self.subTest(fault=fault):
                status, errors, saved, frames = self.save(*fault)
                self.assertEqual((status, errors), (0, ""))
                self.assertEqual(saved, SAVED)
                self.assertEqual(len(frames), CLEAN_FRAMES + again)

    def test_a_read_never_answered_stops_the_save_and_keeps_the_file(self):
        for fault, said in ((("--refuse", "03:4"), "ReadFrequency of channel 4 with FE FE F1 04 FA FD"),
                            (("--hex-digits", "03:4"), "ReadFrequency of channel 4 with FE FE F1 04 03 0A"),
                            (("--foreign-reply", "04:5"), "ReadMode of channel 5 with FE FE F1 04 03"),
                            (("--short-reply", "04:5"), "ReadMode of channel 5 with FE FE F1 04 04 FD"),
                            (("--refuse", "08:5"), "SelectMemory of channel 5 with FE FE F1 04 FA FD")):
            with self.subTest(fault=fault):
                status, errors, saved, frames = self.save(*fault, old=EARLIER)
                self.assertEqual((status, saved), (5, EARLIER))
                self.assertEqual(len(errors.splitlines()), 1)
                self.assertTrue(errors.startswith("quenmar-setup: the radio answered " + said), errors)
                self.assertIn("3 times, which is no answer to it, so the save stopped and the file was"
                              " left as it was", errors)
                channel = int(said.split(" of channel ")[1].split()[0])
                self.assertEqual(frames.count(command(SELECT_MEMORY, [channel])), 3)  # three tries

    def test_a_save_of_some_channels_names_the_reply_that_was_no_answer_too(self):
        radio = self.radio(*(CHANNELS + ("--refuse", "03:4")))
        with open(radio.path("mem.txt"), "wb") as out:
            out.write(SAVED)
        status, out, errors = self.run_job(radio, "--save", "mem.txt", "--channels", "4")
        self.assertEqual((status, out), (5, ""))
        self.assertTrue(errors.startswith("quenmar-setup: the radio answered ReadFrequency of channel"
                                          " 4 with FE FE F1 04 FA FD 3 times"), errors)

    def test_a_name_read_refused_every_try_is_seven_blanks_and_once_is_kept(self):
        blanks = memory_file({4: filled(4, "1423450", b" " * 7, b"USB ", b"2.4"),
                              5: filled(5, "0705000", b" " * 7, b"CW  ", b".50")})
        for refused, wanted, again in (("10", blanks, 2 * 2 * 5), ("10:4:1", SAVED, 5)):
            with self.subTest(refused=refused):
                status, errors, saved, frames = self.save("--refuse", refused)
                self.assertEqual((status, errors), (0, ""))
                self.assertEqual(saved, wanted)
                self.assertEqual(len(frames), CLEAN_FRAMES + again)

    def test_a_reply_sent_twice_never_puts_another_channels_data_in_the_file(self):
        # Frame 19 selects channel 6, empty, after the filled 5: its reply
        # sent again comes where the recall's is due.
        status, errors, saved, frames = self.save("--reply-delay", "30", "--duplicate-reply", 19)
        self.assertEqual((status, errors), (0, ""))
        self.assertEqual(saved, SAVED)

    def test_a_compare_that_gets_no_answer_stops(self):
        radio = self.radio(*(CHANNELS + ("--foreign-reply", "03")))
        with open(radio.path("mem.txt"), "wb") as out:
            out.write(SAVED)
        status, out, errors = self.run_job(radio, "--compare", "mem.txt")
        self.assertEqual((status, out), (5, ""))
        self.assertTrue(errors.startswith("quenmar-setup: the radio answered ReadFrequency of channel"
                                          " 4 with FE FE F1 04 04 01 02 FD 3 times"), errors)


class LoadReplyTest(CommandJobTest):
    FILE = memory_file({4: filled(4, "1423450", b"FOUR   ", b"USB ", b"2.4"),
                        5: filled(5, "0705000", b"FIVE   ", b"CW  ", b".50"),
                        6: filled(6, "2112340", b"SIX    ", b"FM  ", b"6.0")})
    OLD_FIVE = filled(5, "2960000", b"OLD5   ", b"FM  ", b"6.0")

    def test_a_refused_frame_ends_its_channel_and_stores_nothing(self):
        # Channel 5's SetFrequency and SetModeFilter go out while channel 4 is
        # still selected; its other frames once it is selected.
        for command, fault, order in (("SetFrequency", "05:4:1", 1), ("SetModeFilter", "06:4:1", 2),
                                      ("SelectMemory", "08:5:1", 3), ("SetName", "11:5:1", 4),
                                      ("StoreMemory", "09:5:1", 5)):
            with self.subTest(command=command):
                radio = self.radio("--channel", "5:2960000:5:1:" + b"OLD5   ".hex(), "--refuse", fault)
                with open(radio.path("load.txt"), "wb") as out:
                    out.write(self.FILE)
                self.assertEqual(self.run_job(radio, "--load", "load.txt"), (3, (
                    "2 channels stored, 1 refused (5 at %s), 59 left as the radio has them;"
                    " 0 frames sent again\n" % command), ""))
                frames = self.frames(radio)
                self.assertEqual(len(frames), 5 + order + 5)
                self.assertEqual(frames[5 + order][4], 0x05)  # then channel 6's SetFrequency
                self.assertEqual(self.run_job(radio, "--save", "radio.txt")[0], 0)
                with open(radio.path("radio.txt"), "rb") as saved:
                    lines = saved.read().split(b"\r\n")
                wanted = self.FILE.split(b"\r\n")
                self.assertEqual(lines[4:7], [wanted[4], self.OLD_FIVE, wanted[6]])

    def test_a_reply_to_something_else_sends_the_channel_again(self):
        radio = self.radio("--foreign-reply", "11:5:1")
        with open(radio.path("load.txt"), "wb") as out:
            out.write(self.FILE)
        self.assertEqual(self.run_job(radio, "--load", "load.txt"), (0, (
            "3 channels stored, 0 refused, 59 left as the radio has them; 4 frames sent again\n"),
            ""))
        self.assertEqual(len(self.frames(radio)), 15 + 4)

    def test_a_reply_sent_twice_never_stores_another_channels_name(self):
        # Channel 5's SetName is refused once, and the reply to its
        # SelectMemory (frame 8) comes twice, the copy where SetName's is due.
        radio = self.radio("--reply-delay", "30", "--duplicate-reply", "8", "--refuse", "11:5:1")
        with open(radio.path("load.txt"), "wb") as out:
            out.write(self.FILE)
        status, out, errors = self.run_job(radio, "--load", "load.txt")
        self.assertEqual((status, errors), (0, ""))
        self.assertTrue(out.startswith("3 channels stored, 0 refused, 59 left"), out)
        self.assertEqual(self.run_job(radio, "--save", "radio.txt")[0], 0)
        with open(radio.path("radio.txt"), "rb") as saved:
            self.assertEqual(saved.read().split(b"\r\n")[4:7], self.FILE.split(b"\r\n")[4:7])

    def test_a_store_memory_never_answered_is_named_unconfirmed(self):
        radio = self.radio("--silent-after", "9")  # channel 5's StoreMemory is the tenth frame
        with open(radio.path("load.txt"), "wb") as out:
            out.write(self.FILE)
        status, out, errors = self.run_job(radio, "--load", "load.txt")
        self.assertEqual((status, out), (5, (
            "1 channel stored, 0 refused, StoreMemory sent, no answer: channel 5 may hold its line,"
            " 1 not sent because the load stopped, 59 left as the radio has them; 0 frames sent"
            " again\n")))
        self.assertTrue(errors.startswith("quenmar-setup: the radio did not answer StoreMemory of"
                                          " channel 5"), errors)


if __name__ == "__main__":
    unittest.main()

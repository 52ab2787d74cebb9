"""What the file jobs leave behind against the virtual radio: numbered
backups, a line naming the file and the reason of a failure, a planted link
in a shared folder, closed standard streams, names holding E2 94 82, and "-"
as the standard output."""

import os
import shutil
import subprocess
import tempfile
import unittest

from command_jobs import CommandJobTest
from memory_lines import EARLIER, filled, memory_file
from screen import SETUP

BEACON = "3:1423450:1:2:" + b"BEACON ".hex()


class FileTest(CommandJobTest):
    decoded = False

    def listing(self, radio):
        return sorted(set(os.listdir(radio.directory)) - {"radio.log", "radio.stderr"})

    def test_a_save_over_other_contents_keeps_them_as_a_numbered_backup(self):
        radio = self.radio("--channel", BEACON)
        saved = memory_file({3: filled(3, "1423450", b"BEACON ", b"USB ", b"2.4")})
        first, second = EARLIER, EARLIER.replace(b"EARLIER", b"SECOND ")
        for number, old in ((1, first), (2, second)):
            with open(radio.path("mem.txt"), "wb") as out:
                out.write(old)
            self.assertEqual(self.run_job(radio, "--save", "mem.txt"),
                             (0, b"mem.txt: 62 channels saved, 1 filled; mem.txt.~%d~ keeps the old"
                                 b" contents\n" % number, b""))
        with open(radio.path("mem.txt.~1~"), "rb") as one, \
                open(radio.path("mem.txt.~2~"), "rb") as two:
            self.assertEqual((one.read(), two.read()), (first, second))
        # The same contents again: no backup.
        self.assertEqual(self.run_job(radio, "--save", "mem.txt"),
                         (0, b"mem.txt: 62 channels saved, 1 filled\n", b""))
        self.assertEqual(self.listing(radio), ["mem.txt", "mem.txt.~1~", "mem.txt.~2~"])
        for control, made in (("off", []), ("simple", ["mem.txt~"])):
            with self.subTest(VERSION_CONTROL=control):
                with open(radio.path("mem.txt"), "wb") as out:
                    out.write(b"\r\n")  # an empty first line: replaced too
                said = b"mem.txt: 62 channels saved, 1 filled%s\n" % b"".join(
                    b"; %s keeps the old contents" % name.encode() for name in made)
                self.assertEqual(self.run_job(radio, "--save", "mem.txt",
                                              env={"VERSION_CONTROL": control}), (0, said, b""))
                self.assertEqual(self.listing(radio),
                                 ["mem.txt", "mem.txt.~1~", "mem.txt.~2~"] + made)
        with open(radio.path("mem.txt"), "rb") as new:
            self.assertEqual(new.read(), saved)

    def test_failure_lines_name_the_file_and_the_reason(self):
        radio = self.radio("--demo")
        with open(radio.path("locked.txt"), "wb") as out:
            out.write(EARLIER)
        os.chmod(radio.path("locked.txt"), 0o444)
        for name, reason in (("nosuchdir/x.txt", b'cannot create "nosuchdir/x.txt": No such file '
                              b"or directory"),
                             ("locked.txt", b'cannot write "locked.txt": Permission denied')):
            with self.subTest(name=name):
                status, _, errors = self.run_job(radio, "--save", name)
                self.assertEqual((status, errors),
                                 (2, b"quenmar-setup: " + reason + b"\n\r\n"
                                     b"Aborting due to runtime error 2 (file not found) at line "
                                     b"536 of QUEN32()\r\n\r\n"))
        self.assertEqual(self.frames(radio), [])
        self.assertEqual(self.listing(radio), ["locked.txt"])

    @unittest.skipUnless(os.geteuid() == 0, "needs root to plant a link as another user")
    def test_a_link_planted_in_a_sticky_folder_is_not_followed(self):
        radio = self.radio("--demo")
        shared = tempfile.mkdtemp(prefix="quenmar-sticky-")
        self.addCleanup(shutil.rmtree, shared)
        os.chmod(shared, 0o1777)  # like /tmp
        victim = radio.path("victim.txt")
        with open(victim, "wb") as out:
            out.write(b"not for the radio\r\n")
        subprocess.run(["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups",
                        "ln", "-s", victim, os.path.join(shared, "radio.txt")], check=True)
        # The link as the file, and as a folder on the way to it.
        subprocess.run(["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups",
                        "ln", "-s", radio.directory, os.path.join(shared, "folder")], check=True)
        for name in ("radio.txt", "folder/victim.txt"):
            with self.subTest(name=name):
                status, _, errors = self.run_job(radio, "--save", name, cwd=shared)
                self.assertEqual(status, 2)
                self.assertIn(b'quenmar-setup: cannot create "%s": a symbolic link' % name.encode(),
                              errors)
                self.assertIn(b"at line 536", errors)
        self.assertEqual(self.frames(radio), [])
        with open(victim, "rb") as kept:
            self.assertEqual(kept.read(), b"not for the radio\r\n")
        self.assertEqual(self.listing(radio), ["victim.txt"])

    def test_closed_standard_streams_send_the_radio_only_its_frames(self):
        radio = self.radio("--demo")
        done = subprocess.run(
            [SETUP, "--clock"], cwd=radio.directory, stdin=subprocess.DEVNULL, timeout=60,
            env=dict(os.environ, QUENMAR_COM1=radio.port),
            preexec_fn=lambda: (os.close(1), os.close(2)))
        # The clock is set; its report went nowhere, and with no error stream
        # to say so the status alone tells.
        self.assertEqual(done.returncode, 4)
        sent = b"".join(self.frames(radio))
        self.assertEqual(sent[:5], bytes.fromhex("FE FE 04 F1 14"))  # SetClock
        self.assertEqual(sent.count(b"\xfd"), 1, sent)  # and nothing after its end

    def test_a_trace_file_that_cannot_be_opened_gets_a_line(self):
        radio = self.radio("--demo")
        status, _, errors = self.run_job(radio, "--clock", env={"QUENMAR_TRACE": "no/trace.txt"})
        self.assertEqual((status, errors), (0, b'quenmar-setup: cannot open the trace file '
                                               b'"no/trace.txt": No such file or directory\n'))

    def test_a_name_holding_e2_94_82_loads_back_into_the_same_frames(self):
        name = b"A\xe2\x94\x82BCD"
        radio = self.radio("--channel", "5:0705000:0:3:" + name.hex())
        self.assertEqual(self.run_job(radio, "--save", "mem.txt"),
                         (0, b"mem.txt: 62 channels saved, 1 filled\n", b""))
        status, out, _ = self.run_job(radio, "--load", "mem.txt")
        self.assertEqual((status, out), (0, b"1 channel stored, 0 refused, 61 left as the radio "
                                            b"has them; 0 frames sent again\n"))
        self.assertIn(bytes.fromhex("FE FE 04 F1 11") + name + b"\xfd", self.frames(radio))

    def test_a_dash_saves_to_the_standard_output(self):
        radio = self.radio("--channel", BEACON)
        status, out, _ = self.run_job(radio, "--save", "-")
        self.assertEqual((status, out),
                         (0, memory_file({3: filled(3, "1423450", b"BEACON ", b"USB ", b"2.4")})))
        self.assertEqual(self.listing(radio), [])


if __name__ == "__main__":
    unittest.main()

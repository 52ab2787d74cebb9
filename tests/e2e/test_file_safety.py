"""What no file job may do to a file, its backups or another user's file: a
planted link is replaced, never followed; the trace file is a plain file or
nothing; results meant for a closed standard stream end with status 4; a
save that cannot keep the old contents stops before any frame; root's backup
of a user's file stays that user's; a killed save leaves nothing; and on a
full disk (a small ext4 on a loop device) a failed write leaves every file as
it was, older backups included."""

import errno
import os
import shutil
import subprocess
import tempfile
import time
import unittest

from command_jobs import CommandJobTest
from memory_lines import EARLIER, filled, memory_file
from screen import SETUP

BEACON = "3:1423450:1:2:" + b"BEACON ".hex()
ROOT = os.geteuid() == 0
AS_NOBODY = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"]
NOBODY = 65534
REFERENCE = memory_file({3: filled(3, "1423450", b"BEACON ", b"USB ", b"2.4")})
# Every channel filled: as a CSV file, several blocks of 1 KiB.
EVERY_CHANNEL = memory_file({n: filled(n, "1423450", b"BEACON ", b"USB ", b"2.4")
                             for n in range(62)})


def write(path, data):
    with open(path, "wb") as out:
        out.write(data)


def read(path):
    with open(path, "rb") as kept:
        return kept.read()


class FileSafetyTest(CommandJobTest):
    decoded = False

    def shared_folder(self):
        shared = tempfile.mkdtemp(prefix="quenmar-sticky-")
        self.addCleanup(shutil.rmtree, shared, True)
        os.chmod(shared, 0o1777)  # like /tmp
        return shared

    def run_closed(self, radio, args, closed):
        """Runs a job with the standard streams `closed`; (status, stderr)."""
        done = subprocess.run(
            [SETUP] + args, cwd=radio.directory, stdin=subprocess.DEVNULL, timeout=60,
            stdout=subprocess.DEVNULL if 1 not in closed else None,
            stderr=subprocess.PIPE if 2 not in closed else None,
            env=dict(os.environ, QUENMAR_COM1=radio.port),
            preexec_fn=lambda: [os.close(fd) for fd in closed])
        return done.returncode, done.stderr

    @unittest.skipUnless(ROOT, "needs root to plant a link as another user")
    def test_a_planted_backup_link_is_replaced_not_followed(self):
        radio = self.radio("--channel", BEACON)
        shared = self.shared_folder()
        victim = radio.path("victim.txt")
        write(victim, b"not for the radio\r\n")
        write(os.path.join(shared, "ref.txt"), REFERENCE)
        for job, control in (("--save", "simple"), ("--save", "never"), ("--save", "existing"),
                             ("--save", "nil"), ("--to-csv", "simple")):
            with self.subTest(job=job, VERSION_CONTROL=control):
                name = os.path.join(shared, "radio.csv" if job == "--to-csv" else "radio.txt")
                earlier = b"Location,Name,Frequency\r\n" if job == "--to-csv" else EARLIER
                write(name, earlier)
                if os.path.lexists(name + "~"):
                    os.unlink(name + "~")
                subprocess.run(AS_NOBODY + ["ln", "-s", victim, name + "~"], check=True)
                args = [job, name] if job == "--save" else [job, "ref.txt", name]
                status, _, errors = self.run_job(radio, *args, cwd=shared,
                                                 env={"VERSION_CONTROL": control})
                self.assertEqual((status, errors), (0, b""))
                self.assertFalse(os.path.islink(name + "~"))
                self.assertEqual(read(name + "~"), earlier)
                self.assertEqual(read(victim), b"not for the radio\r\n")

    def test_a_trace_file_is_a_plain_file_or_nothing(self):
        radio = self.radio("--demo")
        os.mkfifo(radio.path("trace.fifo"))
        cases = [("trace.fifo", "not a plain file"), ("/dev/null", "not a plain file")]
        if ROOT:
            shared = self.shared_folder()
            write(radio.path("victim.txt"), b"kept\n")
            link = os.path.join(shared, "trace.txt")
            subprocess.run(AS_NOBODY + ["ln", "-s", radio.path("victim.txt"), link], check=True)
            cases.append((link, "a symbolic link in a folder that everyone may write in, owned "
                          "by neither this user nor the folder's owner, is not followed"))
        for name, reason in cases:
            with self.subTest(name=name):
                # A FIFO's open would wait for a reader: run_job's timeout ends that.
                status, _, errors = self.run_job(radio, "--clock", "--trace", name)
                self.assertEqual((status, errors.decode()), (
                    0, 'quenmar-setup: cannot open the trace file "%s": %s\n' % (name, reason)))
        if ROOT:
            self.assertEqual(read(radio.path("victim.txt")), b"kept\n")

    def test_no_other_writer_into_a_jobs_file(self):
        radio = self.radio("--demo")
        write(radio.path("m.txt"), REFERENCE)
        os.link(radio.path("m.txt"), radio.path("hard.txt"))
        # A trace into the job's file, or into a backup of it, by any name:
        # refused before the port opens.
        for args, env in ((["--trace", "m.txt", "--compare", "m.txt"], {}),
                          (["--save", "./m.txt"], {"QUENMAR_TRACE": "m.txt"}),
                          (["--trace", "hard.txt", "--load", "m.txt"], {}),
                          (["--trace", "m.txt.~12~", "--save", "m.txt"], {}),
                          (["--trace", "new.txt~", "--save", "new.txt"], {})):
            status, out, errors = self.run_job(radio, *args, env=env)
            self.assertEqual((status, out, errors.count(b"\n")), (2, b"", 1), args)
            self.assertIn(b"name another file for the trace", errors)
        self.assertEqual(read(radio.path("m.txt")), REFERENCE)
        self.assertEqual(sorted(os.listdir(radio.directory)),
                         ["hard.txt", "m.txt", "radio.log", "radio.stderr"])
        self.assertEqual(self.frames(radio), [])
        # The standard output by another name is written to, not replaced:
        # the file behind it keeps what it had, and no backup is made.
        self.assertEqual(self.run_job(radio, "--save", "all.txt")[:2],
                         (0, b"all.txt: 62 channels saved, 6 filled\n"))
        write(radio.path("list.txt"), b"call DL1XYZ\n")
        for name in ("/dev/stdout", "/dev/fd/1", "/proc/self/fd/1"):
            with open(radio.path("list.txt"), "ab") as out:
                done = subprocess.run([SETUP, "--save", name], cwd=radio.directory, stdout=out,
                                      stderr=subprocess.PIPE, stdin=subprocess.DEVNULL,
                                      env=dict(os.environ, QUENMAR_COM1=radio.port), timeout=60)
            self.assertEqual((done.returncode, done.stderr),
                             (0, b"-: 62 channels saved, 6 filled\n"), name)
        self.assertEqual(read(radio.path("list.txt")),
                         b"call DL1XYZ\n" + read(radio.path("all.txt")) * 3)
        self.assertNotIn("list.txt.~1~", os.listdir(radio.directory))

    def test_results_for_a_closed_standard_stream_end_with_status_4(self):
        radio = self.radio("--channel", BEACON)
        write(radio.path("ref.txt"), REFERENCE)
        for args, closed, line in (
                (["--save", "-"], [1], "--save went nowhere: the standard output"),
                (["--probe"], [1], "--probe went nowhere: the standard output"),
                (["--to-csv", "ref.txt", "-"], [1], "--to-csv went nowhere: the standard output"),
                (["--check", "ref.txt"], [1], "--check went nowhere: the standard output"),
                (["--to-csv", "ref.txt", "-"], [2], None),
                (["--save", "-"], [1, 2], None)):
            with self.subTest(args=args, closed=closed):
                status, errors = self.run_closed(radio, args, closed)
                said = None if 2 in closed else \
                    ("quenmar-setup: the results of %s was closed\n" % line).encode()
                self.assertEqual((status, errors), (4, said))
        self.assertEqual(self.frames(radio), [])

    def test_an_unknown_version_control_is_refused_before_the_port_is_opened(self):
        radio = self.radio("--demo")
        write(radio.path("mem.txt"), EARLIER)
        status, out, errors = self.run_job(radio, "--save", "mem.txt",
                                           env={"VERSION_CONTROL": "bogus"})
        self.assertEqual((status, out, errors), (2, b"", (
            b"quenmar-setup: VERSION_CONTROL=bogus is not known; the values are none or off, "
            b"simple or never, existing or nil, numbered or t\n")))
        self.assertEqual(self.frames(radio), [])
        self.assertEqual(sorted(os.listdir(radio.directory)),
                         ["mem.txt", "radio.log", "radio.stderr"])

    @unittest.skipUnless(ROOT, "needs root to act as another user")
    def test_a_save_that_cannot_keep_the_old_contents_stops_before_any_frame(self):
        radio = self.radio("--channel", BEACON)
        os.chmod(radio.directory, 0o755)
        os.chmod(radio.port, 0o666)
        locked = radio.path("locked")
        os.mkdir(locked, 0o755)  # root's: nobody may not make a backup here
        write(os.path.join(locked, "mem.txt"), EARLIER)
        os.chown(os.path.join(locked, "mem.txt"), NOBODY, NOBODY)

        def save(control):
            return subprocess.run(
                AS_NOBODY + [SETUP, "--save", "mem.txt"], cwd=locked, capture_output=True,
                stdin=subprocess.DEVNULL, timeout=60,
                env=dict(os.environ, QUENMAR_COM1=radio.port, VERSION_CONTROL=control))

        done = save("numbered")
        self.assertEqual(done.returncode, 2)
        self.assertEqual(done.stderr.split(b"\n")[0], (
            b'quenmar-setup: cannot keep the old contents of "mem.txt" as "mem.txt.~1~": '
            b"Permission denied; with VERSION_CONTROL=none it is written in place, without a "
            b"backup"))
        self.assertEqual(self.frames(radio), [])
        # Without a backup it is written in place.
        self.assertEqual(save("none").returncode, 0)
        self.assertEqual(read(os.path.join(locked, "mem.txt")), REFERENCE)
        self.assertEqual(os.listdir(locked), ["mem.txt"])

    @unittest.skipUnless(ROOT, "needs root to act as another user")
    def test_backups_in_a_folder_that_cannot_be_listed(self):
        radio = self.radio("--demo")
        os.chmod(radio.directory, 0o711)
        write(radio.path("ref.txt"), REFERENCE)
        self.assertEqual(self.run_job(radio, "--to-csv", "ref.txt", "in.csv")[0], 0)
        os.chmod(radio.path("in.csv"), 0o644)
        box = radio.path("box")
        os.mkdir(box)
        os.chown(box, NOBODY, NOBODY)
        os.chmod(box, 0o300)  # write and search, no read
        for number in (1, 2, 3):
            write(os.path.join(box, "mem.txt"), EARLIER.replace(b"EARLIER", b"OLD %d  " % number))
            os.chown(os.path.join(box, "mem.txt"), NOBODY, NOBODY)
            done = subprocess.run(AS_NOBODY + [SETUP, "--from-csv", "../in.csv", "mem.txt"],
                                  cwd=box, capture_output=True, timeout=60,
                                  stdin=subprocess.DEVNULL)
            self.assertEqual((done.returncode, done.stderr), (0, b""))
            self.assertTrue(done.stdout.endswith(
                b"; mem.txt.~%d~ keeps the old contents\n" % number), done.stdout)
        for number in (1, 2, 3):
            self.assertEqual(read(os.path.join(box, "mem.txt.~%d~" % number)),
                             EARLIER.replace(b"EARLIER", b"OLD %d  " % number))

    @unittest.skipUnless(ROOT, "needs root to save another user's file")
    def test_roots_backup_of_a_users_file_stays_the_users(self):
        radio = self.radio("--channel", BEACON)
        for name, second_name in (("plain.txt", None), ("linked.txt", "other.txt")):
            with self.subTest(name=name):
                write(radio.path(name), EARLIER)
                os.chown(radio.path(name), 2002, 2003)
                os.chmod(radio.path(name), 0o600)
                if second_name:  # written in place, so the backup is a copy
                    os.link(radio.path(name), radio.path(second_name))
                self.assertEqual(self.run_job(radio, "--save", name)[0], 0)
                seen = os.stat(radio.path(name + ".~1~"))
                self.assertEqual((seen.st_uid, seen.st_gid, seen.st_mode & 0o7777),
                                 (2002, 2003, 0o600))
                self.assertEqual(read(radio.path(name + ".~1~")), EARLIER)

    def test_a_killed_save_leaves_nothing_behind(self):
        radio = self.radio("--silent")  # the first exchange waits its 3 s
        write(radio.path("mem.txt"), EARLIER)
        job = subprocess.Popen([SETUP, "--save", "mem.txt"], cwd=radio.directory,
                               stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL,
                               env=dict(os.environ, QUENMAR_COM1=radio.port))
        self.addCleanup(job.wait, 30)
        radio.wait_log(lambda lines: any(line.kind == "in" for line in lines), timeout=30)
        job.kill()
        job.wait(30)
        self.assertEqual(sorted(os.listdir(radio.directory)),
                         ["mem.txt", "radio.log", "radio.stderr"])
        self.assertEqual(read(radio.path("mem.txt")), EARLIER)


class FullDiskTest(CommandJobTest):
    """A 2 MiB ext4 of 1 KiB blocks, filled up."""
    decoded = False

    def setUp(self):
        if not ROOT:
            self.skipTest("needs root to mount a small ext4 on a loop device")
        if not shutil.which("mkfs.ext4") or not os.path.exists("/dev/loop-control"):
            self.skipTest("needs mkfs.ext4 and loop devices")
        folder = tempfile.mkdtemp(prefix="quenmar-full-")
        self.addCleanup(shutil.rmtree, folder, True)
        image = os.path.join(folder, "disk.img")
        with open(image, "wb") as out:
            out.truncate(2 << 20)
        subprocess.run(["mkfs.ext4", "-q", "-F", "-b", "1024", "-m", "0", "-O", "^has_journal",
                        image], check=True, capture_output=True, timeout=60)
        self.disk = os.path.join(folder, "disk")
        os.mkdir(self.disk)
        done = subprocess.run(["mount", "-o", "loop", image, self.disk], capture_output=True,
                              timeout=60)
        if done.returncode != 0:
            self.skipTest("cannot mount a loop device: " + done.stderr.decode().strip())
        self.addCleanup(self.unmount)

    def unmount(self):
        for _ in range(20):
            if subprocess.run(["umount", self.disk], capture_output=True,
                              timeout=30).returncode == 0:
                return
            time.sleep(0.5)
        subprocess.run(["umount", "-l", self.disk], capture_output=True, timeout=30)

    def path(self, name):
        return os.path.join(self.disk, name)

    def fill(self):
        """Takes every free block of the disk."""
        fd = os.open(self.path("filler"), os.O_WRONLY | os.O_CREAT, 0o600)
        try:
            for size in (65536, 1024):
                try:
                    while True:
                        os.write(fd, b"\0" * size)
                except OSError as error:
                    self.assertEqual(error.errno, errno.ENOSPC)
            os.fsync(fd)
        finally:
            os.close(fd)

    def entries(self):
        return sorted(set(os.listdir(self.disk)) - {"filler", "lost+found"})

    def test_a_failed_write_in_place_leaves_the_file_as_it_was(self):
        radio = self.radio("--channel", BEACON)
        write(self.path("ref.txt"), EVERY_CHANNEL)
        write(self.path("out.csv"), b"Location,Name,Frequency\r\n0,A,7.05\r\n")  # 36 bytes
        write(self.path("empty.txt"), b"")
        for name in ("out.csv", "empty.txt"):  # other names: written in place
            os.link(self.path(name), self.path(name + ".link"))
        self.fill()
        for args in (["--to-csv", "ref.txt", "out.csv"], ["--save", "empty.txt"]):
            with self.subTest(args=args):
                before = read(self.path(args[-1]))
                status, _, errors = self.run_job(radio, *args, cwd=self.disk,
                                                 env={"VERSION_CONTROL": "none"})
                self.assertEqual(status, 2)
                self.assertIn(b"No space left on device", errors)
                self.assertEqual(read(self.path(args[-1])), before)
        self.assertEqual(self.entries(), ["empty.txt", "empty.txt.link", "out.csv",
                                          "out.csv.link", "ref.txt"])

    def test_an_older_backup_survives_a_full_disk(self):
        radio = self.radio("--channel", BEACON)
        old = EARLIER * 100  # several blocks of the disk
        write(self.path("a.txt"), old)
        os.link(self.path("a.txt"), self.path("b.txt"))  # written in place: the backup is a copy
        write(self.path("a.txt~"), b"an older, precious backup\r\n")
        write(self.path("a.txt.~1~"), b"a numbered one\r\n")
        self.fill()
        for control in ("simple", "numbered"):
            with self.subTest(VERSION_CONTROL=control):
                status, _, errors = self.run_job(radio, "--save", "a.txt", cwd=self.disk,
                                                 env={"VERSION_CONTROL": control})
                self.assertEqual(status, 2)
                self.assertIn(b"cannot keep the old contents", errors)
                self.assertIn(b"No space left on device", errors)
                self.assertEqual(self.entries(), ["a.txt", "a.txt.~1~", "a.txt~", "b.txt"])
                self.assertEqual((read(self.path("a.txt")), read(self.path("a.txt~")),
                                  read(self.path("a.txt.~1~"))),
                                 (old, b"an older, precious backup\r\n", b"a numbered one\r\n"))


if __name__ == "__main__":
    unittest.main()

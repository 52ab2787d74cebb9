"""What the tests of the command-line jobs share: a virtual radio closed at
the end of the test, a job run with no terminal at all, and the frames the
radio received."""

import os
import subprocess
import unittest

from radio import Radio
from screen import SETUP


class CommandJobTest(unittest.TestCase):
    # False: run_job hands back standard output and error as bytes.
    decoded = True

    def radio(self, *options, **settings):
        radio = Radio(*options, **settings)
        self.addCleanup(radio.close)
        return radio

    def run_job(self, radio, *args, env=None, cwd=None, **settings):
        """Runs a job with no terminal at all; (status, stdout, stderr)."""
        done = subprocess.run([SETUP] + list(args), cwd=cwd or radio.directory,
                              stdin=subprocess.DEVNULL, capture_output=True, timeout=60,
                              env=dict(os.environ, QUENMAR_COM1=radio.port, **(env or {})),
                              **settings)
        if not self.decoded:
            return done.returncode, done.stdout, done.stderr
        return done.returncode, done.stdout.decode("latin-1"), done.stderr.decode("latin-1")

    def frames(self, radio):
        return [line.data for line in radio.log() if line.kind == "in"]

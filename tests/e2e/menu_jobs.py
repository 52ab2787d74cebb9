"""The menu's jobs against the virtual radio: the steps the save, load and
fault tests share. A test case starts a radio and the program at its menu,
runs a job by its choice, prompt and file name, and reads back what the radio
received and what the job wrote.

    class SaveTest(MenuJobTest):
        def test_something(self):
            p = self.start("--demo")
            self.run_job(p, "2", SAVE_PROMPT, "mem.txt")
            self.assertEqual(len(self.frames()), 310)
"""

import os
import unittest

from radio import Radio
from screen import Program

LOAD_PROMPT = "What file to open to read memories? "
SAVE_PROMPT = "What file to open to write memories? "


class MenuJobTest(unittest.TestCase):
    def start(self, *radio_options, rate=0, env=None, command=None, cwd=None):
        """A virtual radio (self.radio) with these options, and the program at
        its menu on the radio's port; `command` runs the program another way
        (as another user), `cwd` in another folder than the radio's."""
        self.radio = Radio(*radio_options, rate=rate)
        self.addCleanup(self.radio.close)
        if command:
            os.chmod(self.radio.port, 0o666)  # for the unprivileged user
        full_env = {"QUENMAR_COM1": self.radio.port}
        full_env.update(env or {})
        p = Program(env=full_env, command=command, cwd=cwd or self.radio.directory)
        self.addCleanup(p.close)
        p.wait_menu()
        return p

    def begin_job(self, p, choice, prompt, name):
        p.type_line(choice)
        p.wait_for(lambda s: s.row(1).startswith(prompt))
        p.type_line(name)

    def back_at_menu(self, p, choice, timeout=30):
        p.wait_for(lambda s: s.row(8).startswith(" %s " % choice) and s.cursor() == (9, 1),
                   timeout=timeout, what="the menu after the job")

    def run_job(self, p, choice, prompt, name, timeout=30):
        self.begin_job(p, choice, prompt, name)
        self.back_at_menu(p, choice, timeout)

    def load_outcome(self, p, timeout=30):
        """Waits for the end of a menu's load that has something to say: its
        line from row 7 on, then "Press any key to continue". Presses a key,
        waits for the menu and returns the line (its rows joined)."""
        p.wait_for(lambda s: "Press any key to continue" in s.text(), timeout=timeout,
                   what="the load's outcome and the key prompt")
        rows = []
        for number in range(7, 25):
            if p.row(number).startswith("Press any key"):
                break
            rows.append(p.row(number))
        p.send(" ")
        self.back_at_menu(p, "1")
        return "".join(rows).strip()

    def frames(self, radio=None):
        """The frames the radio (self.radio unless named) received, in order."""
        return [line.data for line in (radio or self.radio).log() if line.kind == "in"]

    def saved(self, name="mem.txt"):
        with open(self.radio.path(name), "rb") as saved:
            return saved.read()

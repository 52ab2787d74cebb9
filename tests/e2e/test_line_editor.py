"""The line editor behind the prompts, driven by the keys a real terminal sends.

The load job's file prompt is the test bed: a name that exists in the working
folder loads (an empty file sends nothing) and the menu comes back; a name that
does not exist ends the run with the report for line 488."""

import os
import tempfile
import unittest

from screen import Program, stand_in_port

PROMPT = "What file to open to read memories? "
LEFT, RIGHT, UP, DOWN = "\x1b[D", "\x1b[C", "\x1b[A", "\x1b[B"
HOME, END, DELETE = "\x1b[H", "\x1b[F", "\x1b[3~"


class LineEditorTest(unittest.TestCase):
    def setUp(self):
        self.master, self.port = stand_in_port()
        self.folder = tempfile.TemporaryDirectory()
        self.programs = []

    def tearDown(self):
        for program in self.programs:
            program.close()
        os.close(self.master)
        self.folder.cleanup()

    def at_prompt(self, columns=80, locale=None, rows=25):
        env = {"QUENMAR_COM1": self.port}
        if locale:
            env["LC_ALL"] = locale
        p = Program(env=env, cwd=self.folder.name, columns=columns, rows=rows)
        self.programs.append(p)
        p.wait_menu()
        p.type_line("1")
        p.wait_for(lambda s: s.row(1).startswith(PROMPT) and s.cursor() == (1, len(PROMPT) + 1))
        return p

    def shows(self, p, typed):
        p.wait_for(lambda s: s.row(1).rstrip(" ") == (PROMPT + typed).rstrip(" "), what=typed)

    def loads(self, p, name):
        """Enter on the typed line loads the file `name`: the menu comes back."""
        folder = os.fsencode(self.folder.name) if isinstance(name, bytes) else self.folder.name
        with open(os.path.join(folder, name), "wb"):
            pass
        p.send("\r")
        p.wait_for(lambda s: s.row(8).startswith(" 1 ") and s.cursor() == (9, 1), what="menu after load")

    def test_home_then_insert(self):
        p = self.at_prompt()
        p.send("abc" + HOME + "x")
        self.shows(p, "xabc")
        self.assertEqual(p.cursor(), (1, len(PROMPT) + 2))
        self.loads(p, "xabc")

    def test_cursor_keys_in_both_encodings_and_delete_inside(self):
        p = self.at_prompt()
        p.send("abcd" + LEFT + LEFT + DELETE)
        self.shows(p, "abd")
        p.send("\x1bOF" + "e" + "\x1b[1~" + "<" + "\x1bOH" + RIGHT + "-")
        self.shows(p, "<-abde")
        self.loads(p, "<-abde")

    def test_backspace_in_the_middle_and_at_the_start(self):
        p = self.at_prompt()
        p.send("abc" + LEFT + "\x7f")
        self.shows(p, "ac")
        p.send(HOME + "\x08\x7f" + END + "\x08" + "z")
        self.shows(p, "az")
        self.assertEqual(p.screen.bells, 0)
        self.loads(p, "az")

    def test_escape_erases_everything(self):
        p = self.at_prompt()
        p.send("abcdef")
        self.shows(p, "abcdef")
        p.send("\x1b")
        p.wait_for(lambda s: s.row(1).rstrip() == PROMPT.rstrip() and s.cursor() == (1, len(PROMPT) + 1))
        p.send("\r")
        self.assertEqual(p.wait_exit(), 1)
        self.assertIn("Aborting due to runtime error 1 (illegal function call) at line 488 of QUEN32()", p.text())

    def test_delete_at_the_end_beeps_and_changes_nothing(self):
        p = self.at_prompt()
        p.send("ab" + DELETE)
        p.wait_for(lambda s: s.screen.bells == 1, what="a bell")
        self.shows(p, "ab")
        self.loads(p, "ab")

    def test_tab_fills_to_the_next_multiple_of_eight(self):
        p = self.at_prompt()
        p.send("ab\tc")
        self.shows(p, "ab      c")
        p.send("\x1b")  # alone: Escape followed at once by a key would be Alt with that key
        self.shows(p, "")
        p.send("12345678\tx")
        self.shows(p, "12345678        x")
        self.loads(p, "12345678        x")

    def test_trailing_blanks_and_inner_blanks_are_kept_and_a_comma_cuts(self):
        p = self.at_prompt()
        p.send("  my mem.txt  ")
        self.loads(p, "my mem.txt  ")
        p.type_line("1")
        p.wait_for(lambda s: s.row(1).startswith(PROMPT))
        p.send("cut,here")
        self.loads(p, "cut")

    def test_up_and_down_move_by_a_screen_row_in_a_wrapped_line(self):
        p = self.at_prompt(columns=40)
        typed = "abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGHI"  # wraps over three rows
        p.send(typed)
        p.wait_for(lambda s: s.cursor() == (3, 2), what="end of text on row 3")
        p.send(UP)
        p.wait_for(lambda s: s.cursor() == (2, 2), what="one row up")
        p.send(UP + "!")  # a second Up would go before the start: nothing happens
        p.wait_for(lambda s: s.row(2).startswith("e!fgh"), what="inserted on row 2")
        self.assertEqual(p.row(1)[36:], "abcd")
        p.send(DOWN + "?")
        p.wait_for(lambda s: s.row(3).startswith("HI?") and s.cursor() == (3, 4), what="Down to the end")
        self.loads(p, "abcde!" + typed[5:] + "?")

    def test_utf8_characters_are_typed_and_erased_whole(self):
        p = self.at_prompt(locale="C.UTF-8")
        p.send("aé\x7fb.txt".encode())
        self.shows(p, "ab.txt")
        self.loads(p, "ab.txt")

    def test_utf8_cursor_lands_where_wide_characters_show(self):
        p = self.at_prompt(columns=40, locale="C.UTF-8")
        p.send("abé中".encode())  # the wide character does not fit in column 40: row 2
        p.wait_for(lambda s: s.row(2).startswith("中 ") and s.cursor() == (2, 3), what="中 on row 2")
        p.send(LEFT)
        p.wait_for(lambda s: s.cursor() == (1, 40), what="before 中")
        p.send(LEFT + "-")
        p.wait_for(lambda s: s.row(1).endswith("ab-é") and s.cursor() == (1, 40), what="ab-é")
        p.send(END)
        p.wait_for(lambda s: s.cursor() == (2, 3), what="End after 中")
        self.loads(p, "ab-é中")

    def test_bytes_stay_bytes_outside_utf8(self):
        p = self.at_prompt(locale="C")
        p.send("aé\x7fb.txt".encode())
        self.loads(p, b"a\xc3b.txt")

    def test_keys_with_modifiers_and_function_keys_insert_nothing_and_move_nothing(self):
        p = self.at_prompt()
        p.send("abc")
        # Which key each sequence is, the key decoder's unit tests check; here the editor's part.
        keys = {"F1..F5 on the Linux console": "\x1b[[A\x1b[[B\x1b[[C\x1b[[D\x1b[[E",
                "Ctrl+Left": "\x1b[1;5D"}
        for name, sequence in keys.items():
            with self.subTest(key=name):
                # The key and a marker in one write, as a terminal's bytes come.
                p.send(sequence + "!")
                self.shows(p, "abc!")
                self.assertEqual(p.cursor(), (1, len(PROMPT) + 5))
                p.send("\x7f")
                self.shows(p, "abc")
        self.loads(p, "abc")

    def test_removing_a_combining_mark_redraws_its_letter(self):
        p = self.at_prompt(locale="C.UTF-8")
        p.send("ae\u0301x".encode())
        self.shows(p, "a\u00e9x")  # the screen holds the letter and its mark as one
        p.send(LEFT + "\x7f")
        self.shows(p, "aex")
        self.assertEqual(p.cursor(), (1, len(PROMPT) + 3))
        self.loads(p, "aex")

    def test_a_name_taller_than_the_screen_is_shown_once_around_the_cursor(self):
        p = self.at_prompt(columns=40, rows=10)
        os.mkdir(os.path.join(self.folder.name, "dir"))
        name = "dir/" + "../dir/" * 85 + "f"  # 600 characters: 16 rows with the prompt
        for k in range(0, len(name), 100):  # within the key queue's 511
            p.send(name[k:k + 100])
            end = len(PROMPT) + min(k + 100, len(name))
            p.wait_for(lambda s: s.cursor() == (min(10, 1 + end // 40), end % 40 + 1), what="typed")
        line = PROMPT + name
        rows_of = lambda text: [text[k:k + 40] for k in range(0, len(text), 40)]
        shown = lambda text, first: [row.ljust(40) for row in rows_of(text)[first:first + 10]]
        p.wait_for(lambda s: s.screen.display == shown(line, 6) and s.cursor() == (10, 37), what="the end")
        p.send(HOME)
        p.wait_for(lambda s: s.screen.display == shown(line, 0) and s.cursor() == (1, 37), what="the start")
        p.send("!")
        line = PROMPT + "!" + name
        p.wait_for(lambda s: s.screen.display == shown(line, 0) and s.cursor() == (1, 38), what="! at the start")
        p.send(END)
        p.wait_for(lambda s: s.screen.display == shown(line, 6) and s.cursor() == (10, 38), what="the end again")
        p.send(HOME + "\x1b[3~")
        self.loads(p, name)

    def test_typed_number_at_the_menu_with_function_keys_ignored(self):
        p = self.at_prompt()
        p.send("\r")
        self.assertEqual(p.wait_exit(), 1)
        q = Program(env={"QUENMAR_COM1": self.port})
        self.programs.append(q)
        q.wait_menu()
        q.send("\x1bOP" + "\x1b[15~" + "4" + "\x1b[24~" + "\r")
        q.wait_for(lambda s: s.row(8).startswith(" 4 "))


if __name__ == "__main__":
    unittest.main()

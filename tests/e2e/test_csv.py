"""--to-csv and --from-csv: memory files and CHIRP's CSV layout, offline.
CHIRP's own CSV driver (Debian package chirp) writes a file for us and reads
ours back."""

import os
import subprocess
import tempfile
import unittest

from memory_lines import empty, filled, memory_file
from screen import SETUP

from chirp import chirp_common
from chirp.drivers import generic_csv

HEADER = (b"Location,Name,Frequency,Duplex,Offset,Tone,rToneFreq,cToneFreq,DtcsCode,"
          b"DtcsPolarity,Mode,TStep,Skip,Comment,URCALL,RPT1CALL,RPT2CALL,DVCODE\r\n")
MODES = [b"LSB ", b"USB ", b"AM  ", b"CW  ", b"FSK ", b"FM  ", b"AMLS", b"AMUS"]
FILTERS = [b"6.0", b"2.4", b"1.8", b".50", b".25"]


def chirp_read(path):
    """The channels CHIRP's CSV driver reads from a file: {number: Memory}.
    Its load() opens files with mode "rU", which Python 3.11 refuses; its
    parser, _load, takes the open file."""
    radio = generic_csv.CSVRadio(None)
    radio._blank()
    with open(path, newline="", encoding="utf-8") as csv_file:
        radio._load(csv_file)
    return {m.number: m for m in radio.memories if not m.empty}


class CsvTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory(prefix="quenmar-csv-")
        self.addCleanup(self.folder.cleanup)

    def path(self, name):
        return os.path.join(self.folder.name, name)

    def run_setup(self, *args):
        # A port that cannot be opened: the conversions must not try.
        env = dict(os.environ, QUENMAR_COM1="/nonexistent/ttyQ")
        return subprocess.run([SETUP] + list(args), capture_output=True, env=env,
                              cwd=self.folder.name, timeout=30)

    def write(self, name, data):
        with open(self.path(name), "wb") as out:
            out.write(data)

    def read(self, name):
        with open(self.path(name), "rb") as saved:
            return saved.read()

    def test_round_trip_keeps_every_mode_filter_and_name_byte(self):
        high = bytes(range(0x80, 0x100))  # every byte above 7F, spread over the names
        lines = {}
        for i in range(40):
            name = (high * 3)[i * 7:i * 7 + 7]
            lines[i + 2] = filled(i + 2, "%07d" % (i * 249999), name, MODES[i // 5],
                                  FILTERS[i % 5])
        lines[60] = filled(60, "1423450", b'"A,B"  ', b"USB ", b"2.4")
        lines[61] = filled(61, "1423450", b'say"hi"', b"USB ", b"2.4")  # quotes, no comma
        self.write("mem.txt", memory_file(lines))
        # Name bytes FD and FE (in the names of channels 19, 20 and 38) are
        # sent as blanks: both directions say so, and keep them.
        result = self.run_setup("--to-csv", "mem.txt", "list.csv")
        self.assertEqual(result.returncode, 3)
        self.assertEqual(result.stderr.decode().splitlines(), [
            "mem.txt:12:20: note: name bytes C5 B3 are U+0173 in UTF-8,"
            " here and maybe elsewhere: the radio shows them as 2 characters of code page 437",
            "mem.txt:20:20: warning: name byte FD is sent as a blank (it would end or restart the frame)",
            "mem.txt:21:14: warning: name byte FE is sent as a blank (it would end or restart the frame)",
            "mem.txt:39:15: warning: name byte FD is sent as a blank (it would end or restart the frame)",
            "mem.txt:39:16: warning: name byte FE is sent as a blank (it would end or restart the frame)"])
        self.assertEqual(result.stdout, b"list.csv: 42 channels from mem.txt, 4 warnings\n")
        csv_bytes = self.read("list.csv")
        self.assertTrue(csv_bytes.startswith(HEADER))
        self.assertIn(b"\r\n2," + high[:7].decode("cp437").encode()
                      + b",0.000000,,0.000000,,88.5,88.5,023,NN,LSB,5.00,,filter 6.0,,,,\r\n",
                      csv_bytes)
        self.assertIn(b",AM,5.00,,AMLS filter .25,", csv_bytes)
        self.assertIn(b'\r\n60,"""A,B""",14.234500,', csv_bytes)
        self.assertIn(b'\r\n61,"say""hi""",14.234500,', csv_bytes)
        rows = csv_bytes.decode().split("\r\n")[1:-1]
        self.assertEqual([row.split(",")[1] for row in rows[:40]],
                         [(high * 3)[i * 7:i * 7 + 7].decode("cp437").rstrip(" ") for i in range(40)])

        result = self.run_setup("--from-csv", "list.csv", "back.txt")
        self.assertEqual(result.returncode, 3)
        self.assertEqual([line.split(": warning: Name")[0] for line in result.stderr.decode().splitlines()
                          if line.endswith("the byte FD or FE, which the radio receives as a blank")],
                         ["list.csv:19", "list.csv:20", "list.csv:38"])
        # ... and channel 2's frequency of 0 is named too.
        self.assertEqual(result.stdout, b"back.txt: 42 channels from list.csv, 20 empty, 4 warnings\n")
        self.assertEqual(self.read("back.txt"), memory_file(lines))

    def test_chirp_writes_a_list_and_reads_ours(self):
        radio = generic_csv.CSVRadio(None)
        radio._blank()
        for number, freq, mode, name in ((0, 3550000, "LSB", "80M NET"), (5, 14234500, "USB", "BEACON"),
                                         (17, 7030000, "CW", "QRP"), (61, 29600000, "FM", "10M FM")):
            memory = chirp_common.Memory(number)
            memory.freq, memory.mode, memory.name = freq, mode, name
            radio.set_memory(memory)
        radio.save(self.path("chirp.csv"))
        result = self.run_setup("--from-csv", "chirp.csv", "mem.txt")
        self.assertEqual((result.returncode, result.stderr), (0, b""))
        self.assertEqual(self.read("mem.txt"), memory_file({
            0: filled(0, "0355000", b"80M NET", b"LSB ", b"2.4"),
            5: filled(5, "1423450", b"BEACON ", b"USB ", b"2.4"),
            17: filled(17, "0703000", b"QRP    ", b"CW  ", b".50"),
            61: filled(61, "2960000", b"10M FM ", b"FM  ", b"6.0")}))

        result = self.run_setup("--to-csv", "mem.txt", "ours.csv")
        self.assertEqual(result.returncode, 0)
        seen = chirp_read(self.path("ours.csv"))
        self.assertEqual({n: (m.freq, m.mode, m.name) for n, m in seen.items()},
                         {0: (3550000, "LSB", "80M NET"), 5: (14234500, "USB", "BEACON"),
                          17: (7030000, "CW", "QRP"), 61: (29600000, "FM", "10M FM")})

    def test_each_kind_of_warning(self):
        self.write("list.csv", ("\ufeffLocation,Frequency,Mode,Name,Comment,Duplex,Tone\r\n"
                   "0,14.2345,USB,BEACON,,,\r\n"
                   "62,7.0,LSB,x,,,\r\n"
                   "0,7.1,LSB,again,,,\n"
                   "001,100.0,FM,,,,\n"
                   "2,-1,FM,,,,\n"
                   "3,abc,FM,,,,\n"
                   "4,7.0123456,CW,,,,\n"
                   "5,29.6,NFM,RPT,,-,Tone\n"
                   "6,7.0,DV,,,,\n"
                   "7,7.0,AM,TOOLONGNAME,AMUS filter 9.9\n"
                   '8,3.5,LSB,"Ωμ ""b""",filter .25\n'
                   "\n"
                   "9,7.2," + "x" * 4100 + "\n"
                   "10,3.6,CWR,\"two\r\nlines\",\n").encode())
        result = self.run_setup("--from-csv", "list.csv", "mem.txt")
        self.assertEqual(result.returncode, 3)
        self.assertEqual(result.stderr.decode().splitlines(), [
            "list.csv:3: warning: Location '62' is not 0 to 61: row skipped",
            "list.csv:4: warning: Location 0 given twice (first on line 2): row skipped",
            "list.csv:5: warning: Frequency '100.0' is not below 100 MHz: row skipped",
            "list.csv:6: warning: Frequency '-1' is below 0: row skipped",
            "list.csv:7: warning: Frequency 'abc' is no number of MHz: row skipped",
            "list.csv:8: warning: Frequency '7.0123456' is finer than 10 Hz: rounded to 7.012350",
            "list.csv:9: warning: Mode 'NFM' is taken as FM",
            "list.csv:9: warning: Duplex '-' and Tone 'Tone': the memory file has no place "
            "for them, dropped",
            "list.csv:10: warning: Mode 'DV' has no equivalent on the radio: row skipped",
            "list.csv:11: warning: filter '9.9' is not 6.0, 2.4, 1.8, .50 or .25: 6.0 taken",
            "list.csv:11: warning: Name 'TOOLONGNAME' is cut to seven characters: 'TOOLONG'",
            "list.csv:12: warning: Name '\\xCE\\xA9\\xCE\\xBC \"b\"' has characters code page 437 "
            "lacks: written as '\\xCE\\xA9? \"b\" '",
            "list.csv:14: warning: a row of more than 4096 bytes is skipped",
            "list.csv:15: warning: Mode 'CWR' is taken as CW",
            "list.csv:15: warning: Name 'two\\x0D\\x0Alines' is cut to seven characters: 'two??li'",
            "list.csv:15: warning: Name 'two\\x0D\\x0Alines' has characters code page 437 lacks: "
            "written as 'two??li'"])
        self.assertEqual(result.stdout, b"mem.txt: 6 channels from list.csv, 56 empty, 16 warnings\n")
        self.assertEqual(self.read("mem.txt"), memory_file({
            0: filled(0, "1423450", b"BEACON ", b"USB ", b"2.4"),
            4: filled(4, "0701235", b" " * 7, b"CW  ", b".50"),
            5: filled(5, "2960000", b"RPT    ", b"FM  ", b"6.0"),
            7: filled(7, "0700000", b"TOOLONG", b"AMUS", b"6.0"),
            8: filled(8, "0350000", b'\xea? "b" ', b"LSB ", b".25"),
            10: filled(10, "0360000", b"two??li", b"CW  ", b".50")}))

    def test_memory_file_lines_a_csv_cannot_carry_as_they_stand(self):
        self.write("mem.txt", memory_file({
            1: filled(1, "1423450", b"A\x00     ", b"usb ", b"9.9"),
            2: b"  2\xb3XX.YYYYY\xb3",
            3: empty(3)}))
        result = self.run_setup("--to-csv", "mem.txt", "list.csv")
        self.assertEqual(result.returncode, 3)
        # The findings of --check, and what the CSV makes of the name.
        self.assertEqual(result.stderr.decode().splitlines(), [
            "mem.txt:2:15: warning: name byte 00 is a control character, sent to the radio as it is",
            'mem.txt:2:22: warning: mode "usb " is not one of LSB, USB, AM, CW, FSK, FM, AMLS, AMUS'
            " - the mode from before this load is sent (LSB, mode 0, in a run that has not loaded"
            " or saved before)",
            'mem.txt:2:27: warning: filter "9.9" is not one of 6.0, 2.4, 1.8, .50, .25 - the filter'
            " from before this load is sent (filter number 0, in a run that has not loaded before)",
            "mem.txt:2: warning: name 'A?': a byte that no character stands for is written as '?'",
            'mem.txt:3:5: warning: frequency columns hold "XX.YYYYY", not seven digits in columns'
            " 5-6 and 8-12 - this line loads nothing"])
        self.assertEqual(self.read("list.csv"), HEADER +
                         b"1,A?,14.234500,,0.000000,,88.5,88.5,023,NN,LSB,5.00,,,,,,\r\n")

    def test_limits_and_failed_opens(self):
        self.write("big.csv", b"Location,Frequency,Mode\n" + b"\n" * (1 << 20) + b"0,7.0\n")
        result = self.run_setup("--from-csv", "big.csv", "mem.txt")
        self.assertEqual(result.returncode, 3)
        self.assertEqual(result.stderr, b"big.csv:1048554: warning: the file is longer than 1 MiB: "
                                        b"what follows is not read\n")
        self.assertEqual(self.read("mem.txt"), memory_file({}))
        self.write("names.csv", b"Name,Frequency\n")
        result = self.run_setup("--from-csv", "names.csv", "other.txt")
        self.assertEqual((result.returncode, result.stderr), (3, b"names.csv:1: warning: the first "
                         b"line names no Location column (split at each comma, it holds 'Name' and "
                         b"'Frequency'): other.txt is not written\n"))
        self.assertEqual(result.stdout, b"other.txt: not written, no channels from names.csv, "
                                        b"1 warning\n")
        self.assertFalse(os.path.exists(self.path("other.txt")))
        for args, why, line in (
                (["--from-csv", "missing.csv", "x.txt"], b'open "missing.csv"', b"488"),
                (["--to-csv", "missing.txt", "x.csv"], b'open "missing.txt"', b"488"),
                (["--to-csv", "mem.txt", "no/such/folder.csv"], b'create "no/such/folder.csv"',
                 b"536"),
                # every read fails
                (["--from-csv", "/proc/self/mem", "x.txt"], b'read "/proc/self/mem"', b"531"),
                (["--to-csv", "/proc/self/mem", "x.csv"], b'read "/proc/self/mem"', b"531")):
            result = self.run_setup(*args)
            reason = b"Input/output error" if b"mem" in why else b"No such file or directory"
            self.assertEqual((result.returncode, result.stdout, result.stderr),
                             (2, b"", b"quenmar-setup: cannot " + why + b": " + reason +
                              b"\n\r\nAborting due to runtime error 2 (file not found) at line "
                              + line + b" of QUEN32()\r\n\r\n"))

    def test_spreadsheet_dialects_convert_like_the_comma_list(self):
        rows = [["Location", "Name", "Frequency", "Mode", "Comment"],
                ["0", "80M NET", "3.55", "LSB", ""], ["5", "A;B", "14.2345", "USB", "filter 1.8"]]

        def csv_text(separator, point):
            return "".join(separator.join('"%s"' % f if separator in f else f.replace(".", point)
                                          for f in row) + "\r\n" for row in rows)
        expected = memory_file({0: filled(0, "0355000", b"80M NET", b"LSB ", b"2.4"),
                                5: filled(5, "1423450", b"A;B    ", b"USB ", b"1.8")})
        for name, data in (("comma", csv_text(",", ".").encode()),
                           ("semicolon", csv_text(";", ",").encode()),
                           ("tab", csv_text("\t", ".").encode()),
                           ("utf-16le", b"\xff\xfe" + csv_text("\t", ",").encode("utf-16-le")),
                           ("utf-16be", b"\xfe\xff" + csv_text(";", ".").encode("utf-16-be"))):
            with self.subTest(name):
                self.write(name + ".csv", data)
                result = self.run_setup("--from-csv", name + ".csv", name + ".txt")
                self.assertEqual((result.returncode, result.stderr), (0, b""))
                self.assertEqual(self.read(name + ".txt"), expected)

    def test_no_row_is_lost_without_a_word(self):
        good = b"1,7.0,CW\n2,7.1,CW\n"
        kept = {1: filled(1, "0700000", b" " * 7, b"CW  ", b".50"),
                2: filled(2, "0710000", b" " * 7, b"CW  ", b".50")}
        limit = 1 << 20
        head = b"Location,Frequency,Mode,Name\n" + good
        straddling = head + b"\n" * (limit - len(head) - 4) + b"3,14.2,USB,BEACON\n"
        for name, data, warning in (
                ("unbalanced quote", b"Location,Frequency,Mode,Name\n0,7.0,CW,\"QRP\n" + good
                 + b'3,7.2,CW,"NET"\n', b"list.csv:2: warning: a quote opens a field here and no "
                 b"quote closes it: row skipped, the lines after it read as rows of their own"),
                ("straddling row", straddling, b"list.csv:%d: warning: the row is cut off by the 1 "
                 b"MiB limit: row skipped\nlist.csv:%d: warning: the file is longer than 1 MiB: "
                 b"what follows is not read" % ((straddling.count(b"\n"),) * 2)),
                ("long header", b"Location,Frequency,Mode," + b"x" * 4096 + b"\n" + good,
                 b"list.csv:1: warning: the first line is longer than 4096 bytes, too long for "
                 b"a header row: mem.txt is not written")):
            with self.subTest(name):
                self.write("list.csv", data)
                if os.path.exists(self.path("mem.txt")):
                    os.unlink(self.path("mem.txt"))
                result = self.run_setup("--from-csv", "list.csv", "mem.txt")
                self.assertEqual((result.returncode, result.stderr), (3, warning + b"\n"))
                if name == "long header":
                    self.assertFalse(os.path.exists(self.path("mem.txt")))
                    self.assertEqual(result.stdout, b"mem.txt: not written, no channels from "
                                                    b"list.csv, 1 warning\n")
                    continue
                self.assertEqual(self.read("mem.txt"), memory_file(
                    {**kept, **({3: filled(3, "0720000", b"NET    ", b"CW  ", b".50")}
                                if name == "unbalanced quote" else {})}))

    def test_mode_map_and_every_change_named(self):
        self.write("list.csv", b"Location,Frequency,Mode,Name,Comment,Skip\r\n"
                   b"0,14.07,DIG,,,S\r\n"
                   b"1,7.03,NCW,,FILTER .25,\r\n"
                   b"2,5.0,NAM,,amls filter 6.0,P\r\n"
                   b"3,7.04,RTTYR,,club net,\r\n"
                   b"4,7.05,FSKR,,,\r\n"
                   b"5,7.06,Auto,,,\r\n"
                   b"6,0.0,USB,\xc2\xb2\xe2\x96\xa0,,\r\n"
                   b"7\x9b2J,7.0,CW,,,\r\n"
                   b"8,7.0,\x9b31m,,,\r\n")
        result = self.run_setup("--from-csv", "list.csv", "mem.txt")
        self.assertEqual(result.returncode, 3)
        self.assertEqual(result.stderr.decode().splitlines(), [
            "list.csv:2: warning: Mode 'DIG' is taken as USB",
            "list.csv:2: warning: Skip 'S': the memory file has no place for it, dropped",
            "list.csv:3: warning: Mode 'NCW' is taken as CW",
            "list.csv:4: warning: Mode 'NAM' is taken as AM",
            "list.csv:4: warning: Skip 'P': the memory file has no place for it, dropped",
            "list.csv:5: warning: Mode 'RTTYR' is taken as FSK",
            "list.csv:5: warning: Comment 'club net' is not understood (only 'filter 2.4', AMLS "
            "and AMUS are read): ignored",
            "list.csv:6: warning: Mode 'FSKR' is taken as FSK",
            "list.csv:7: warning: Mode 'Auto' has no equivalent on the radio: row skipped",
            "list.csv:8: warning: Frequency '0.0' is 0 MHz: written as it is",
            "list.csv:8: warning: Name '\\xC2\\xB2\\xE2\\x96\\xA0' has a character that is the "
            "byte FD or FE, which the radio receives as a blank",
            "list.csv:9: warning: Location '7\\x9B2J' is not 0 to 61: row skipped",
            "list.csv:10: warning: Mode '\\x9B31m' has no equivalent on the radio: row skipped"])
        self.assertEqual(self.read("mem.txt"), memory_file({
            0: filled(0, "1407000", b" " * 7, b"USB ", b"2.4"),
            1: filled(1, "0703000", b" " * 7, b"CW  ", b".25"),
            2: filled(2, "0500000", b" " * 7, b"AMLS", b"6.0"),
            3: filled(3, "0704000", b" " * 7, b"FSK ", b".50"),
            4: filled(4, "0705000", b" " * 7, b"FSK ", b".50"),
            6: filled(6, "0000000", b"\xfd\xfe     ", b"USB ", b"2.4")}))

    def test_to_csv_of_a_file_with_cr_only_line_ends(self):
        self.write("mem.txt", memory_file({0: filled(0, "1423450", b"BEACON ", b"USB ", b"2.4")})
                   .replace(b"\r\n", b"\r"))
        result = self.run_setup("--to-csv", "mem.txt", "list.csv")
        self.assertEqual(result.returncode, 3)
        self.assertEqual(result.stderr.decode().splitlines(), [
            "mem.txt:1:30: warning: a CR without an LF, which does not end a line - line ends are "
            "CR LF or LF, and what follows is read as part of this line",
            "mem.txt:2:1: warning: the file ends after line 1 - channels 1 to 61 are left as the "
            "radio has them"])
        self.assertEqual(result.stdout, b"list.csv: 1 channel from mem.txt, 2 warnings\n")

    def test_swapped_and_equal_names_keep_both_files(self):
        memory = memory_file({3: filled(3, "1423450", b"BEACON ", b"USB ", b"2.4")})
        self.write("backup.txt", memory)
        self.run_setup("--to-csv", "backup.txt", "club.csv")
        csv = self.read("club.csv")
        cases = (
            (["--to-csv", "club.csv", "backup.txt"], b"use --from-csv club.csv backup.txt"),
            (["--from-csv", "backup.txt", "club.csv"], b"use --to-csv backup.txt club.csv"),
            (["--to-csv", "backup.txt", "./backup.txt"], b"are the same file"),
            (["--from-csv", "club.csv", "club.csv"], b"are the same file"),
            (["--to-csv", "backup.txt", "backup2.txt"], b"are the same file"),  # a hard link
            (["--to-csv", "sheet.csv", "backup3.txt"], b"use --from-csv sheet.csv backup3.txt"),
        )
        self.write("sheet.csv", csv.replace(b",", b";"))
        os.link(self.path("backup.txt"), self.path("backup2.txt"))
        for args, words in cases:
            with self.subTest(args=args):
                result = self.run_setup(*args)
                self.assertEqual(result.returncode, 2, result.stderr)
                self.assertIn(words, result.stderr)
                self.assertEqual(result.stderr.count(b"\n"), 1)
                self.assertEqual(result.stdout, b"")
        # A memory file is not replaced by a CSV, nor a CSV by a memory file.
        self.write("other.csv", csv)
        self.write("other.txt", memory)
        for args in (["--to-csv", "backup.txt", "other.txt"],
                     ["--from-csv", "club.csv", "other.csv"],
                     ["--from-csv", "club.csv", "sheet.csv"]):
            with self.subTest(args=args):
                result = self.run_setup(*args)
                self.assertEqual(result.returncode, 2, result.stderr)
        self.assertEqual(self.read("backup.txt"), memory)
        self.assertEqual(self.read("club.csv"), csv)
        self.assertEqual(self.read("other.csv"), csv)
        self.assertEqual(self.read("other.txt"), memory)
        self.assertEqual(sorted(os.listdir(self.folder.name)),
                         ["backup.txt", "backup2.txt", "club.csv", "other.csv", "other.txt",
                          "sheet.csv"])

    def test_the_radio_jobs_name_from_csv_for_a_csv_and_a_save_keeps_other_files(self):
        # A port that cannot be opened: each refusal is its one line, before
        # the port (whose failure would add the abort report).
        self.write("club.csv", b"Location;Name;Frequency\r\n0;A;7,05\r\n")  # a semicolon dialect
        self.write("notes.txt", b"my channels\r\n")
        cases = ((["--load", "club.csv"], b"nothing is sent; to make a memory file of it, use "
                  b"--from-csv club.csv MEMORY_FILE"),
                 (["--compare", "club.csv"], b"nothing is sent; to make a memory file of it"),
                 (["--check", "club.csv"], b"nothing is checked; to make a memory file of it"),
                 (["--save", "club.csv"], b'"club.csv" is a CSV file (its first line names a '
                  b"Location column), which the save would replace: nothing is sent"),
                 (["--save", "notes.txt"], b'"notes.txt" is not a memory file (its first line is '
                  b"neither a channel line nor empty)"))
        for args, words in cases:
            with self.subTest(args=args):
                result = self.run_setup(*args)
                self.assertEqual((result.returncode, result.stdout, result.stderr.count(b"\n")),
                                 (2, b"", 1), result.stderr)
                self.assertIn(words, result.stderr)
        self.assertEqual((self.read("club.csv"), self.read("notes.txt")),
                         (b"Location;Name;Frequency\r\n0;A;7,05\r\n", b"my channels\r\n"))
        self.assertEqual(sorted(os.listdir(self.folder.name)), ["club.csv", "notes.txt"])
        # A CSV without a Mode column says once what every row becomes.
        self.write("nomode.csv", b"Location,Frequency\n0,7.1\n1,7.2\n")
        result = self.run_setup("--from-csv", "nomode.csv", "out.txt")
        self.assertEqual((result.returncode, result.stderr), (3, b"nomode.csv:1: warning: the "
                         b"first line names no Mode column: every row is taken as FM, CHIRP's "
                         b"default\n"))
        self.assertEqual(self.read("out.txt"), memory_file({
            0: filled(0, "0710000", b" " * 7, b"FM  ", b"6.0"),
            1: filled(1, "0720000", b" " * 7, b"FM  ", b"6.0")}))

    def test_a_dash_is_the_standard_input_or_output(self):
        memory = memory_file({3: filled(3, "1423450", b"BEACON ", b"USB ", b"2.4")})
        self.write("mem.txt", memory)
        csv = subprocess.run([SETUP, "--to-csv", "-", "-"], input=memory, capture_output=True,
                             cwd=self.folder.name, timeout=30)
        self.assertEqual(csv.returncode, 0, csv.stderr)
        self.assertTrue(csv.stdout.startswith(HEADER))
        self.assertEqual(csv.stderr, b"-: 1 channel from -, 0 warnings\n")
        back = subprocess.run([SETUP, "--from-csv", "-", "-"], input=csv.stdout,
                              capture_output=True, cwd=self.folder.name, timeout=30)
        self.assertEqual((back.returncode, back.stdout), (0, memory))
        self.assertEqual(sorted(os.listdir(self.folder.name)), ["mem.txt"])


if __name__ == "__main__":
    unittest.main()

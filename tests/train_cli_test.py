#!/usr/bin/python3
"""orvanta-train through its binary: options and usage errors, bad rows, what goes to
standard output and standard error, progress on a terminal only, and reproducible files.

Usage: train_cli_test.py ORVANTA_TRAIN [unittest arguments, e.g. a class name]
Runs are kept short (few epochs, one or two species) so the suite stays fast.
"""
import filecmp
import os
import pty
import subprocess
import sys
import tempfile
import unittest

BINARY = None
SALES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "sales.csv")
HEADER = "nid,shiny,hp,atk,def,sp_atk,sp_def,spd,price\n"


def run(args, stdin=b"", cwd=None):
    """(exit status, stdout text, stderr text)"""
    p = subprocess.run([BINARY] + args, input=stdin, capture_output=True, cwd=cwd, timeout=120)
    return p.returncode, p.stdout.decode("utf-8", "replace"), p.stderr.decode("utf-8", "replace")


class TempDir(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()
        self.dir = self.tmp.name

    def tearDown(self):
        self.tmp.cleanup()

    def write(self, name, text):
        path = os.path.join(self.dir, name)
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)
        return path


class Usage(TempDir):
    def test_help_shows_every_option_and_its_default(self):
        code, out, _ = run(["--help"])
        self.assertEqual(code, 0)
        for text in ["--out DIR=./ptp", "--species LIST", "--hidden N", "--layers N",
                     "--epochs N", "--learning-rate X", "--seed S=4484", "--holdout FRACTION",
                     "SALES.csv"]:
            self.assertIn(text, out)

    def test_version(self):
        code, out, _ = run(["--version"])
        self.assertEqual((code, out.strip()), (0, "orvanta-train 4.48.4"))

    def test_usage_errors_exit_2_with_a_message_and_write_nothing(self):
        for args in [[], ["--hidden", "0", SALES], ["--layers", "0", SALES],
                     ["--epochs", "0", SALES], ["--learning-rate", "0", SALES],
                     ["--learning-rate", "0.0000001", SALES], ["--holdout", "1", SALES],
                     ["--holdout", "-0.1", SALES], ["--seed", "x", SALES], ["--seed", "-1", SALES],
                     ["--seed", "18446744073709551616", SALES],
                     ["--species", "58,abc", SALES], ["--species", "0", SALES],
                     ["--species", "58,,59", SALES], ["--species", "58;59", SALES],
                     ["--species", "", SALES],
                     ["--frobnicate", SALES]]:
            with self.subTest(args=args):
                out_dir = os.path.join(self.dir, "ptp")
                code, out, err = run(["--out", out_dir] + args)
                self.assertEqual(code, 2)
                self.assertEqual(out, "")
                self.assertNotEqual(err.strip(), "")
                self.assertFalse(os.path.exists(out_dir))

    def test_empty_out_is_a_usage_error(self):
        code, _, err = run(["--out", "", SALES])
        self.assertEqual(code, 2)
        self.assertIn("--out", err)

    def test_out_that_is_a_file_exits_1(self):
        path = self.write("taken", "")
        code, _, err = run(["--species", "133", "--epochs", "1", "--out", path, SALES])
        self.assertEqual(code, 1)
        self.assertIn("cannot create " + path, err)

    def test_unreadable_file_exits_1(self):
        code, _, err = run(["--out", self.dir, os.path.join(self.dir, "missing.csv")])
        self.assertEqual(code, 1)
        self.assertIn("missing.csv", err)

    def test_missing_column_exits_1(self):
        path = self.write("s.csv", "nid,shiny,hp,atk,def,sp_atk,sp_def,spd\n58,0,1,2,3,4,5,6\n")
        code, _, err = run(["--out", self.dir, path])
        self.assertEqual(code, 1)
        self.assertIn("price", err)


class BadRows(TempDir):
    def test_bad_rows_are_reported_with_their_number_and_skipped(self):
        path = self.write("s.csv", HEADER +
                          "133,0,20,21,22,23,24,25,400000\n"
                          "133,0,20,21,22,23,24,99,400000\n"
                          "133,1,20,21,22,23,24,25,lots\n"
                          "133,0,5,5,5,5,5,5,3000000\n"
                          "133,1,21,21,22,23,24,25,40000000\n")
        code, out, err = run(["--epochs", "2", "--out", self.dir, path])
        self.assertEqual(code, 0, err)
        self.assertIn("row 2 (line 3): spd \"99\"", err)
        self.assertIn("row 3 (line 4): price \"lots\"", err)
        self.assertIn("1 rows with all IVs 9 or less or all six equal skipped", err)
        self.assertIn("133", out)
        self.assertTrue(os.path.exists(os.path.join(self.dir, "133_m3.tp")))

    def test_nothing_usable_exits_1(self):
        path = self.write("s.csv", HEADER + "133,0,20,21,22,23,24,25,0\n")
        code, out, err = run(["--out", self.dir, path])
        self.assertEqual(code, 1)
        self.assertIn("no usable sales rows", err)
        self.assertEqual(os.listdir(self.dir), ["s.csv"])

    def test_requested_species_without_sales_exits_1(self):
        code, _, err = run(["--species", "58,25", "--out", self.dir, SALES])
        self.assertEqual(code, 1)
        self.assertIn("species 25", err)
        self.assertEqual(os.listdir(self.dir), [])

    def test_species_that_orvanta_does_not_price_is_trained_with_a_warning(self):
        path = self.write("s.csv", HEADER + "86,0,20,21,22,23,24,25,400000\n")
        code, _, err = run(["--epochs", "1", "--out", self.dir, path])
        self.assertEqual(code, 0, err)
        self.assertIn("species 86 is not priced by Orvanta", err)


class Output(TempDir):
    def test_table_on_stdout_files_in_out_and_quiet_stderr(self):
        out_dir = os.path.join(self.dir, "nested", "ptp")
        code, out, err = run(["--species", "133, 58", "--epochs", "3", "--out", out_dir, SALES])
        self.assertEqual(code, 0, err)
        self.assertEqual(err, "")  # not a terminal: no progress
        lines = out.splitlines()
        header = next(i for i, line in enumerate(lines) if line.split()[:1] == ["species"])
        end = lines.index("", header)
        rows = [line.split() for line in lines[header + 1:end]]
        self.assertEqual([r[0] for r in rows], ["133", "58"])
        for r in rows:
            self.assertEqual(r[1:3], ["640", "160"])  # 800 sales each
            self.assertTrue(all(x.endswith("%") for x in r[3:]), r)
        coverage = lines[end + 1:]
        self.assertEqual(coverage[0], "By coverage of the IV spread, all species:")
        self.assertEqual([line[:25].strip() for line in coverage[2:]],
                         ["a reference spread", "near a reference spread", "elsewhere"])
        self.assertEqual(sum(int(line[25:].split()[0]) for line in coverage[2:]), 320)
        self.assertEqual(sorted(os.listdir(out_dir)),
                         ["133_m1.tp", "133_m2.tp", "133_m3.tp", "58_m1.tp", "58_m2.tp",
                          "58_m3.tp"])

    def test_progress_on_a_terminal(self):
        leader, follower = pty.openpty()
        try:
            p = subprocess.run([BINARY, "--species", "133", "--epochs", "3", "--out", self.dir,
                                SALES], stdout=subprocess.PIPE, stderr=follower, timeout=120)
            os.close(follower)
            follower = None
            chunks = []
            while True:
                try:
                    chunk = os.read(leader, 4096)
                except OSError:
                    break
                if not chunk:
                    break
                chunks.append(chunk)
            shown = b"".join(chunks).decode("utf-8", "replace")
        finally:
            if follower is not None:
                os.close(follower)
            os.close(leader)
        self.assertEqual(p.returncode, 0)
        self.assertIn("\rtraining species 133 (1 of 1), network 3 of 3: epoch 3 of 3", shown)
        self.assertNotIn("\r", p.stdout.decode())

    def test_standard_input(self):
        with open(SALES, "rb") as f:
            code, out, err = run(["--species", "121", "--epochs", "1", "--out", self.dir, "-"],
                                 stdin=f.read())
        self.assertEqual(code, 0, err)
        self.assertIn("121", out)


class Reproducible(TempDir):
    def test_same_options_same_bytes_other_seed_other_bytes(self):
        dirs = [os.path.join(self.dir, name) for name in ("a", "b", "c")]
        for d, seed in zip(dirs, ("7", "7", "8")):
            code, _, err = run(["--species", "212", "--epochs", "4", "--seed", seed, "--out", d,
                                SALES])
            self.assertEqual(code, 0, err)
        names = ["212_m1.tp", "212_m2.tp", "212_m3.tp"]
        match, mismatch, errors = filecmp.cmpfiles(dirs[0], dirs[1], names, shallow=False)
        self.assertEqual((match, errors), (names, []))
        match, mismatch, errors = filecmp.cmpfiles(dirs[0], dirs[2], names, shallow=False)
        self.assertEqual((mismatch, errors), (names, []))

    def test_a_species_trains_the_same_alone_or_with_others(self):
        alone, together = os.path.join(self.dir, "alone"), os.path.join(self.dir, "together")
        run(["--species", "120", "--epochs", "2", "--out", alone, SALES])
        run(["--species", "59,120", "--epochs", "2", "--out", together, SALES])
        names = ["120_m1.tp", "120_m2.tp", "120_m3.tp"]
        match, _, errors = filecmp.cmpfiles(alone, together, names, shallow=False)
        self.assertEqual((match, errors), (names, []))


if __name__ == "__main__":
    BINARY = os.path.abspath(sys.argv[1])
    unittest.main(argv=[sys.argv[0]] + sys.argv[2:])

#!/usr/bin/python3
"""orvanta-train through its binary: options and usage errors, bad rows, what goes to
standard output and standard error, progress on a terminal and in a log, warnings about
results that cannot be trusted, species files, the default folder, and reproducible files
(train_run_test compares one job with several).

Usage: train_cli_test.py ORVANTA_TRAIN [unittest arguments, e.g. a class name]
Runs are kept short (few epochs, one or two species) so the suite stays fast.
"""
import datetime
import filecmp
import json
import os
import pty
import resource
import subprocess
import sys
import tempfile
import unittest

BINARY = None
SALES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "sales.csv")
HEADER = "nid,shiny,hp,atk,def,sp_atk,sp_def,spd,price\n"


HOME = None  # a temporary folder standing for the user's home and data folders


def sanitized(binary):
    """True when the binary carries AddressSanitizer."""
    with open(binary, "rb") as f:
        return b"__asan_init" in f.read()


SANITIZED = len(sys.argv) > 1 and sanitized(sys.argv[1])


def environment(home=None, data_home=None):
    env = dict(os.environ)
    env["HOME"] = home or HOME
    env["XDG_DATA_HOME"] = data_home or os.path.join(home or HOME, "data")
    return env


def run(args, stdin=b"", cwd=None, env=None, stdout=subprocess.PIPE, timeout=120):
    """(exit status, stdout text, stderr text)"""
    p = subprocess.run([BINARY] + args, input=stdin, stdout=stdout, stderr=subprocess.PIPE,
                       cwd=cwd, timeout=timeout, env=env or environment())
    out = p.stdout.decode("utf-8", "replace") if p.stdout is not None else ""
    return p.returncode, out, p.stderr.decode("utf-8", "replace")


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
        for text in ["--out DIR", "${XDG_DATA_HOME:-~/.local/share}/orvanta/ptp",
                     "--species LIST", "--hidden N", "--layers N", "--epochs N",
                     "--learning-rate X", "--loss relative|absolute=relative",
                     "--weight-decay X:FLOAT in [0 - 1]=0.001",
                     "--perfect-iv-nodes N:UINT in [0 - 6]=6", "--seed S=4484", "--holdout FRACTION", "--jobs N",
                     "--name N=NAME ", "--hidden-power N=TYPE[,TYPE...]\n",
                     "--margin X:FLOAT in [0 - 1] ", "--range-coverage P:FLOAT in [0.5 - 0.99]=0.8",
                     "--reference-sales N:UINT in [1 - 1000000]=2", "--fixed-prices",
                     "--near N:UINT in [0 - 31]=2", "--no-species-files", "--since DATE",
                     "--restore LIST", "SALES.csv", "previous/"]:
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
                     ["--jobs", "0", SALES], ["--margin", "1.5", SALES], ["--near", "32", SALES],
                     ["--loss", "huber", SALES], ["--weight-decay", "-0.1", SALES],
                     ["--perfect-iv-nodes", "7", SALES],
                     ["--since", "2024-02-30", SALES], ["--since", "yesterday", SALES],
                     ["--name", "58", SALES], ["--name", "58=", SALES], ["--name", "0=X", SALES],
                     ["--name", "58=" + "x" * 65, SALES], ["--name", "58=a\tb", SALES],
                     ["--hidden-power", "58=Fairy", SALES], ["--hidden-power", "Fire", SALES],
                     ["--hidden-power", "58=Fire,Fire", SALES],
                     ["--hidden-power", "58=Fire,Ice,Dark,Bug", SALES],
                     ["--since", "2024-01-01", SALES],  # the file has no date column
                     ["--range-coverage", "0.4", SALES], ["--range-coverage", "1", SALES],
                     ["--margin", "0.1", "--range-coverage", "0.8", SALES],
                     ["--reference-sales", "0", SALES], ["--restore", "abc"],
                     ["--restore", "58", SALES], ["--restore", "58,0"],
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

    def test_unreadable_file_exits_2(self):
        code, _, err = run(["--out", self.dir, os.path.join(self.dir, "missing.csv")])
        self.assertEqual(code, 2)
        self.assertIn("missing.csv", err)
        # A folder or a device is refused at once, before anything is read or trained.
        for path, word in [(self.dir, "folder"), ("/dev/zero", "device")]:
            code, _, err = run(["--out", self.dir, path])
            self.assertEqual((code, err.count("\n")), (2, 1), err)
            self.assertIn(path + ": it is a " + word, err)

    def test_missing_column_exits_2(self):
        path = self.write("s.csv", "nid,shiny,hp,atk,def,sp_atk,sp_def,spd\n58,0,1,2,3,4,5,6\n")
        code, _, err = run(["--out", self.dir, path])
        self.assertEqual(code, 2)
        self.assertIn("price", err)
        code, _, err = run(["--out", self.dir, "-"], stdin=b"nid,price\n58,1\n")
        self.assertEqual(code, 2)
        self.assertIn("standard input", err)
        self.assertNotIn("orvanta-train-", err)  # not the name of the spooled copy

    def test_a_report_that_cannot_be_written_fails(self):
        with open("/dev/full", "wb") as full:
            code, _, err = run(["--species", "133", "--epochs", "1", "--out", self.dir, SALES],
                               stdout=full)
        self.assertNotEqual(code, 0)
        self.assertIn("cannot write the report", err)

    def test_species_without_a_name_needs_the_name_option(self):
        path = self.write("s.csv", HEADER + "700,0,20,21,22,23,24,25,400000\n")
        out_dir = os.path.join(self.dir, "ptp")
        code, _, err = run(["--epochs", "1", "--out", out_dir, path])
        self.assertEqual(code, 2)
        self.assertIn("--name 700=NAME", err)
        self.assertFalse(os.path.exists(out_dir))
        code, _, err = run(["--epochs", "1", "--out", out_dir, "--name", "700=Testmon", path])
        self.assertEqual(code, 0, err)
        with open(os.path.join(out_dir, "700_species.json"), encoding="utf-8") as f:
            self.assertEqual(json.load(f)["name"], "Testmon")
        code, _, err = run(["--epochs", "1", "--out", self.dir, "--no-species-files", path])
        self.assertEqual(code, 0, err)
        self.assertFalse(os.path.exists(os.path.join(self.dir, "700_species.json")))


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
        self.assertNotIn("skipped (the window", err)  # a fixed-price spread is trained on
        self.assertIn("133", out)
        self.assertTrue(os.path.exists(os.path.join(self.dir, "133_m3.tp")))
        code, out, err = run(["--epochs", "2", "--fixed-prices", "--out", self.dir, path])
        self.assertEqual(code, 0, err)
        self.assertIn("1 rows with all IVs 9 or less or all six equal skipped", err)

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

    def test_species_that_the_table_does_not_price_gets_its_species_file(self):
        path = self.write("s.csv", HEADER + "86,0,20,21,22,23,24,25,400000\n"
                          "87,0,20,21,22,23,24,25,400000\n")
        code, out, err = run(["--epochs", "1", "--out", self.dir, "--name", "87=Dugong",
                              "--hidden-power", "87=fire, Ice", "--hidden-power", "86=Ghost",
                              "--hidden-power", "86=", path])
        self.assertEqual(code, 0, err)
        self.assertNotIn("not priced", err)
        self.assertNotIn("will not be used", err)
        species = []
        for nid in (86, 87):
            with open(os.path.join(self.dir, "%d_species.json" % nid), encoding="utf-8") as f:
                species.append(json.load(f))
        self.assertEqual([(s["nid"], s["name"], s["hidden_power_types"]) for s in species],
                         [(86, "Seel", []), (87, "Dugong", ["Fire", "Ice"])])

    def test_few_sales_and_a_poor_fit_are_warned_about(self):
        rows = "".join("133,0,%d,21,22,23,24,25,%d\n" % (10 + i % 20, 400000 + 1000 * (i % 3))
                       for i in range(12))
        path = self.write("s.csv", HEADER + rows)
        code, out, err = run(["--epochs", "2", "--out", self.dir, path])
        self.assertEqual(code, 0, err)
        warnings = [line for line in out.splitlines() if line.startswith("warning: ")]
        self.assertTrue(any("133 Eevee: only 12 usable sales (fewer than 30)" in w
                            for w in warnings), out)
        # Measured on five folds of two: ten held-out sales, as the species file states.
        self.assertFalse(any("held-out sales (fewer than 10)" in w for w in warnings), out)
        self.assertTrue(any("not a quarter better than its median price" in w for w in warnings),
                        out)
        self.assertTrue(out.splitlines()[-1].endswith("; %d warnings" % len(warnings)), out)
        code, out, err = run(["--epochs", "2", "--holdout", "0.1", "--out", self.dir, path])
        self.assertIn("133 Eevee: only 5 held-out sales (fewer than 10)", out)

    def test_prices_as_sellers_write_them(self):
        path = self.write("s.csv", HEADER +
                          "133,0,20,21,22,23,24,25,\"1,500,000\"\n"
                          "133,0,20,21,22,23,24,26,1.5m\n"
                          "133,0,20,21,22,23,24,27,500k\n"
                          "133,0,20,21,22,23,24,28,1.23456789m\n")
        code, out, err = run(["--epochs", "1", "--out", self.dir, path])
        self.assertEqual(code, 0, err)
        self.assertIn("row 4 (line 5): price \"1.23456789m\" is not a whole number of Pd", err)
        self.assertEqual(err.count("skipped"), 1)


class Output(TempDir):
    def test_table_on_stdout_files_in_out_and_quiet_stderr(self):
        out_dir = os.path.join(self.dir, "nested", "ptp")
        code, out, err = run(["--species", "133, 58", "--epochs", "3", "--out", out_dir, SALES])
        self.assertEqual(code, 0, err)
        # Not a terminal: a line per network and per species, no carriage returns.
        self.assertNotIn("\r", err)
        # 160 held-out sales each: a second fold, with networks of its own, measures 160 more.
        self.assertIn("orvanta-train: species 133 network 6 of 6 trained", err)
        self.assertIn("orvanta-train: species 58 (Growlithe) done: 800 sales, held-out error", err)
        self.assertEqual(len(err.splitlines()), 14)
        lines = out.splitlines()
        header = next(i for i, line in enumerate(lines) if line.split()[:1] == ["species"])
        end = lines.index("", header)
        rows = [line.split() for line in lines[header + 1:end]]
        self.assertEqual([r[0] for r in rows], ["133", "58"])
        for r in rows:
            self.assertEqual(r[1:3], ["640", "160"])  # 800 sales each
            self.assertTrue(all(x.endswith("%") for x in r[3:]), r)
        by_rating = lines[end + 1:lines.index("", lines.index("", end + 1) + 1)]
        self.assertIn("rated 0", by_rating[-3])
        self.assertEqual([r.split()[:2] for r in by_rating[-2:]], [["133", "Eevee"], ["58", "Growlithe"]])
        for r in by_rating[-2:]:  # "6.1% (58)": the measured sales of each rating add up
            self.assertEqual(sum(int(c.strip("()")) for c in r.split()[3::2]), 320, r)
        start = lines.index("By coverage of the IV spread, all species:")
        coverage = lines[start:lines.index("", start)]
        self.assertEqual(coverage[0], "By coverage of the IV spread, all species:")
        self.assertEqual([line[:25].strip() for line in coverage[2:]],
                         ["a reference spread", "near a reference spread", "elsewhere"])
        self.assertEqual(sum(int(line[25:].split()[0]) for line in coverage[2:]), 640)
        start = next(i for i, line in enumerate(lines) if line.startswith("Recommended sales"))
        start = lines.index("", start) + 1  # the column names
        ranges = lines[start + 1:start + 3]
        self.assertEqual([r.split()[0] for r in ranges], ["133", "58"])
        self.assertTrue(all(r.split()[-1].endswith("%") for r in ranges), ranges)
        self.assertEqual(lines[-1], "2 species (6 networks) written to %s; 0 warnings" % out_dir)
        self.assertEqual(sorted(os.listdir(out_dir)),
                         ["133_m1.tp", "133_m2.tp", "133_m3.tp", "133_species.json",
                          "58_m1.tp", "58_m2.tp", "58_m3.tp", "58_species.json", "previous"])

    def test_default_folder_is_the_sellers_own(self):
        home = os.path.join(self.dir, "home")
        code, out, err = run(["--species", "133", "--epochs", "1", SALES],
                             env=environment(home, os.path.join(self.dir, "xdg")))
        self.assertEqual(code, 0, err)
        self.assertIn(os.path.join(self.dir, "xdg", "orvanta", "ptp", "133_species.json"),
                      [os.path.join(d, f) for d, _, fs in os.walk(self.dir) for f in fs])
        env = environment(home)
        env["XDG_DATA_HOME"] = ""  # unset or empty: below the home folder
        code, out, err = run(["--species", "133", "--epochs", "1", SALES], env=env)
        self.assertEqual(code, 0, err)
        self.assertTrue(os.path.exists(
            os.path.join(home, ".local", "share", "orvanta", "ptp", "133_m3.tp")))

    def test_dated_sales_and_since(self):
        rows = "".join("2024-%02d-01,133,0,%d,21,22,23,24,25,%d\n" % (1 + i % 12, 10 + i % 20,
                                                                       400000 + 1000 * i)
                       for i in range(48))
        path = self.write("s.csv", "date," + HEADER + rows)
        code, out, err = run(["--epochs", "1", "--since", "2024-07-01", "--out", self.dir, path])
        self.assertEqual(code, 0, err)
        self.assertIn("Sales used: dated 2024-07-01 to 2024-12-01 "
                      "(--since 2024-07-01: 24 earlier sales left out).", out)
        with open(os.path.join(self.dir, "133_species.json"), encoding="utf-8") as f:
            training = json.load(f)["training"]
        self.assertEqual(training["rows"] + training["held_out_rows"], 24)
        self.assertEqual(training["dates"],
                         {"first": "2024-07-01", "last": "2024-12-01", "since": "2024-07-01"})

    def test_progress_on_a_terminal(self):
        leader, follower = pty.openpty()
        try:
            p = subprocess.run([BINARY, "--species", "133", "--epochs", "3", "--jobs", "1",
                                "--out", self.dir, SALES], stdout=subprocess.PIPE,
                               stderr=follower, timeout=120, env=environment())
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
        self.assertIn("\rtraining: 2 of 6 networks done; 133 m3 epoch 3 of 3", shown)
        self.assertIn("\rtraining: 4 of 6 networks done; 133 fold 2 m2 epoch 3 of 3", shown)
        self.assertNotIn("\r", p.stdout.decode())

    def test_standard_input(self):
        with open(SALES, "rb") as f:
            code, out, err = run(["--species", "121", "--epochs", "1", "--out", self.dir, "-"],
                                 stdin=f.read())
        self.assertEqual(code, 0, err)
        self.assertIn("121", out)
        code, out, err = run(["--epochs", "1", "--since", "2024-01-02", "--out", self.dir, "-"],
                             stdin=("date," + HEADER + "2024-01-01,58,0,20,21,22,23,24,25,9\n"
                                    "2024-01-02,58,0,20,21,22,23,24,26,8\n").encode())
        self.assertEqual(code, 0, err)
        self.assertIn("(--since 2024-01-02: 1 earlier sales left out)", out)

    def test_pipes_named_by_a_path(self):
        """/dev/stdin and <(cmd) are pipes that can be read once: the header, the optional
        date column included, is read from the one stream."""
        dated = ("date," + HEADER + "2024-01-01,58,0,20,21,22,23,24,25,9\n"
                 "2024-01-02,58,0,20,21,22,23,24,26,8\n")
        undated = HEADER + "58,0,20,21,22,23,24,25,9\n"
        for data, since in [(dated, ["--since", "2024-01-02"]), (undated, [])]:
            code, out, err = run(["--epochs", "1", "--out", self.dir] + since + ["/dev/stdin"],
                                 stdin=data.encode())
            self.assertEqual(code, 0, err)
            self.assertIn("58", out)
        script = 'exec "$0" --epochs 1 --out "$1" --since 2024-01-02 <(printf "%s" "$2")'
        p = subprocess.run(["bash", "-c", script, BINARY, self.dir, dated], capture_output=True,
                           timeout=120, env=environment())
        self.assertEqual(p.returncode, 0, p.stderr)
        self.assertIn(b"(--since 2024-01-02: 1 earlier sales left out)", p.stdout)


class Trust(TempDir):
    """Ranges and ratings measured on held-out sales, the seller's own prices for fixed-price
    spreads, and a retrain that can be undone."""

    def species_file(self, nid=133, folder=None):
        with open(os.path.join(folder or self.dir, "%d_species.json" % nid), encoding="utf-8") as f:
            return json.load(f)

    def files(self, folder, nid=133):
        found = {}
        for name in ("%d_species.json" % nid, "%d_m1.tp" % nid, "%d_m2.tp" % nid,
                     "%d_m3.tp" % nid):
            path = os.path.join(folder, name)
            if os.path.exists(path):
                with open(path, "rb") as f:
                    found[name] = f.read()
        return found

    def test_measured_ranges_and_ratings(self):
        code, out, err = run(["--species", "133", "--epochs", "3", "--reference-sales", "3",
                              "--range-coverage", "0.9", "--out", self.dir, SALES])
        self.assertEqual(code, 0, err)
        wide = self.species_file()
        self.assertEqual(wide["fixed_prices"], False)
        self.assertEqual(wide["training"]["measured_rows"], 320)
        for rating in range(3):
            self.assertIsNotNone(wide["range_coverage"][rating])
            self.assertIsNotNone(wide["expected_error"][rating])
        self.assertTrue(any(pair is not None for pair in wide["range_margins"]), wide)
        code, out, err = run(["--species", "133", "--epochs", "3", "--reference-sales", "1",
                              "--range-coverage", "0.6", "--out", self.dir, SALES])
        narrow = self.species_file()
        self.assertLess(narrow["highest_price_margin"], wide["highest_price_margin"])
        self.assertGreater(len(narrow["reference_spreads"]), len(wide["reference_spreads"]))
        self.assertLess(sum(narrow["range_coverage"]), sum(wide["range_coverage"]))
        code, out, err = run(["--species", "133", "--epochs", "3", "--margin", "0.25",
                              "--fixed-prices", "--out", self.dir, SALES])
        fixed = self.species_file()
        self.assertNotIn("range_margins", fixed)
        self.assertEqual((fixed["lowest_price_margin"], fixed["highest_price_margin"]),
                         (0.25, 0.25))
        self.assertIsNotNone(fixed["range_coverage"][0])
        self.assertEqual(fixed["fixed_prices"], True)

    def test_restore_swaps_the_generations_byte_for_byte(self):
        path = self.write("s.csv", HEADER + "".join(
            "700,%d,%d,21,22,23,24,25,%d\n" % (i % 2, 10 + i % 7, 400000 + 20000 * (i % 7))
            for i in range(60)))
        out_dir = os.path.join(self.dir, "my ptp")
        args = ["--epochs", "2", "--name", "700=Testmon", "--out", out_dir, path]
        self.assertEqual(run(["--no-species-files"] + args)[0], 0)
        first = self.files(out_dir, 700)
        self.assertEqual(len(first), 3)
        code, out, err = run(["--seed", "9"] + args)
        self.assertEqual(code, 0, err)
        second = self.files(out_dir, 700)
        self.assertEqual(self.files(os.path.join(out_dir, "previous"), 700), first)
        code, out, err = run(["--restore", "700", "--out", out_dir])
        self.assertEqual((code, err), (0, ""))
        self.assertIn("700: the earlier generation is back in " + out_dir, out)
        self.assertEqual(self.files(out_dir, 700), first)  # its species file gone with it
        self.assertEqual(self.files(os.path.join(out_dir, "previous"), 700), second)
        self.assertEqual(run(["--restore", "700", "--out", out_dir])[0], 0)
        self.assertEqual(self.files(out_dir, 700), second)
        # A species without an earlier generation: named, exit 2, the others restored.
        code, out, err = run(["--restore", "25,700", "--out", out_dir])
        self.assertEqual(code, 2)
        self.assertIn("25 Pikachu has no earlier generation in " + out_dir + "/previous", err)
        self.assertEqual(self.files(out_dir, 700), first)

    def test_records_of_previous_that_are_not_files_are_refused_not_waited_on(self):
        previous = os.path.join(self.dir, "previous")
        os.makedirs(previous)
        os.mkfifo(os.path.join(previous, "133_generation.json"))
        code, out, err = run(["--restore", "133", "--out", self.dir], timeout=20)
        self.assertEqual(code, 2)
        self.assertIn("133 Eevee has no earlier generation in %s: %s/133_generation.json is not "
                      "a regular file" % (previous, previous), err)
        os.mkfifo(os.path.join(previous, "133_change.json"))
        for args in (["--restore", "133"], ["--species", "133", "--epochs", "1", SALES]):
            code, out, err = run(args + ["--out", self.dir], timeout=20)
            self.assertEqual(code, 1, err)
            self.assertIn("133_change.json is not a regular file", err)

    def test_a_worse_retrain_says_how_to_undo_it(self):
        out_dir = os.path.join(self.dir, "it's mine")
        code, out, err = run(["--species", "133", "--epochs", "60", "--out", out_dir, SALES])
        self.assertEqual(code, 0, err)
        self.assertNotIn("the earlier ones", out)
        code, out, err = run(["--species", "133", "--epochs", "1", "--out", out_dir, SALES])
        self.assertEqual(code, 0, err)
        warning = [line for line in out.splitlines() if "the earlier ones" in line]
        self.assertEqual(len(warning), 1, out)
        # Undated sales: each as measured on its own held-out sales.
        self.assertRegex(warning[0], r"^warning: 133 Eevee: these networks \d+\.\d%, the earlier "
                         r"ones \d+\.\d%, each on its own held-out sales \(the earlier figure as "
                         r"their species file states it, by rating, weighted as these \d+ sales\); ")
        quoted = "'" + out_dir.replace("'", "'\\''") + "'"  # as a shell reads it back
        self.assertTrue(warning[0].endswith("; orvanta-train --restore 133 --out " + quoted +
                                            " puts the earlier ones back"), warning[0])

    def test_the_earlier_networks_are_judged_on_sales_they_did_not_learn(self):
        with open(SALES, encoding="utf-8") as f:
            rows = [line for line in f if line.startswith("133,")]
        day = lambda i: datetime.date(2025, 1, 1) + datetime.timedelta(days=i * 365 // len(rows))
        dated = ["%s,%s" % (day(i), row) for i, row in enumerate(rows)]
        year = self.write("year.csv", "date," + HEADER + "".join(dated))
        half = self.write("half.csv", "date," + HEADER +
                          "".join(r for r in dated if r < "2025-07-01"))
        # Bare networks: nothing says which sales they learned, so nothing compares them.
        self.assertEqual(run(["--epochs", "60", "--no-species-files", "--out", self.dir,
                              year])[0], 0)
        code, out, err = run(["--epochs", "1", "--out", self.dir, year])
        self.assertEqual(code, 0, err)
        self.assertNotIn("the earlier ones", out)
        # Trained on the first half: judged beside the new ones on the second half's
        # held-out sales.
        self.assertEqual(run(["--epochs", "60", "--out", self.dir, half])[0], 0)
        code, out, err = run(["--epochs", "1", "--out", self.dir, year])
        self.assertRegex(out, r"warning: 133 Eevee: these networks \d+\.\d%, the earlier ones "
                         r"\d+\.\d% on the same held-out sales \(\d\d+, dated outside the "
                         r"earlier ones' training days, 2025-01-01 to 2025-06-30\); orvanta-train "
                         r"--restore 133 --out ")

    def test_networks_alone_that_nothing_prices_are_warned_about(self):
        path = self.write("s.csv", HEADER + "".join(
            "700,%d,%d,21,22,23,24,25,%d\n" % (i % 2, 10 + i % 7, 400000 + 20000 * (i % 7))
            for i in range(40)))
        args = ["--epochs", "1", "--name", "700=Testmon", "--out", self.dir, path]
        unpriced = ("warning: 700 Testmon: nothing prices these networks without a species file "
                    "(the built-in table does not price species 700); ")
        code, out, err = run(["--no-species-files"] + args)
        self.assertIn(unpriced + "train it without --no-species-files to price it\n", out)
        code, out, err = run(args)
        self.assertNotIn("nothing prices", out)
        code, out, err = run(["--no-species-files"] + args)
        self.assertIn(unpriced + "orvanta-train --restore 700 --out %s brings back the earlier "
                      "ones with their species file\n" % self.dir, out)

    def test_networks_alone_remove_a_species_file_in_the_way(self):
        self.assertEqual(run(["--species", "133", "--epochs", "1", "--out", self.dir, SALES])[0], 0)
        code, out, err = run(["--species", "133", "--epochs", "1", "--no-species-files",
                              "--out", self.dir, SALES])
        self.assertEqual(code, 0, err)
        self.assertFalse(os.path.exists(os.path.join(self.dir, "133_species.json")))
        self.assertTrue(os.path.exists(os.path.join(self.dir, "previous", "133_species.json")))


class Reproducible(TempDir):
    def test_same_options_same_bytes_other_seed_other_bytes(self):
        dirs = [os.path.join(self.dir, name) for name in ("a", "b", "c")]
        for d, seed in zip(dirs, ("7", "7", "8")):
            code, _, err = run(["--species", "212", "--epochs", "4", "--seed", seed, "--out", d,
                                SALES])
            self.assertEqual(code, 0, err)
        names = ["212_m1.tp", "212_m2.tp", "212_m3.tp", "212_species.json"]
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

    @unittest.skipIf(SANITIZED, "AddressSanitizer reserves more address space than any limit")
    def test_threads_the_system_refuses_change_nothing(self):
        # Under an address-space limit most of 256 threads cannot be started: the run goes
        # on with those it got and writes the same bytes as on one thread.
        one, limited = os.path.join(self.dir, "one"), os.path.join(self.dir, "limited")
        args = ["--species", "58,59,120", "--epochs", "2", SALES]
        code, _, err = run(["--jobs", "1", "--out", one] + args)
        self.assertEqual(code, 0, err)
        limit = lambda: resource.setrlimit(resource.RLIMIT_AS, (80 << 20, 80 << 20))
        p = subprocess.run([BINARY, "--jobs", "256", "--out", limited] + args,
                           capture_output=True, timeout=120, env=environment(), preexec_fn=limit)
        self.assertEqual(p.returncode, 0, p.stderr.decode())
        names = sorted(n for n in os.listdir(one) if os.path.isfile(os.path.join(one, n)))
        match, _, errors = filecmp.cmpfiles(one, limited, names, shallow=False)
        self.assertEqual((match, errors), (names, []))


if __name__ == "__main__":
    BINARY = os.path.abspath(sys.argv[1])
    with tempfile.TemporaryDirectory() as home:
        HOME = home
        unittest.main(argv=[sys.argv[0]] + sys.argv[2:])

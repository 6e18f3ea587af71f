#!/usr/bin/python3
"""orvanta-cli through its binary: single and batch pricing, the three formats, every
prediction status, the records' input, listing and carried columns, bad batch input, usage
errors, exit statuses and the installed networks.

Usage: cli_test.py ORVANTA_CLI DATA_DIR [unittest arguments, e.g. a class name]
DATA_DIR holds ptp/ with small hand-made networks whose outputs are known:
  58  every output 0.5           -> each network 60000 (60k)
  59  output 0 rises with shiny  -> tier 120000, shiny priced higher
  120 output 0 above 0.9         -> tier 1200000 line 1: 600000 (600k)
  121 outputs 0, 1 above 0.9     -> tier 120000000 line 2: 60000000 (60.00m)
  212 outputs 0, 1, 2 above 0.9  -> tier 1200000000 line 3: 600000000 (600.00m)
  133 has no _m2 file, 123 has a damaged _m1 file -> status 1
"""
import csv
import io
import json
import os
import random
import resource
import select
import shutil
import subprocess
import sys
import tempfile
import unittest

BINARY = None
DATA = None
ENV = None  # HOME and XDG_DATA_HOME in a temporary folder: nothing of the machine's own

LABELS = ["hidden_power_label", "models_intro_label", "first_model_label", "second_model_label",
          "third_model_label", "model_resume_label", "hidden_power_resume_label"]
KEYS = ["input", "status", "first_prediction", "second_prediction", "third_prediction",
        "average_prediction", "lowest_price", "highest_price", "hidden_power_power",
        "hidden_power_base_price", "hidden_power", "special_price", "in_range_message", "labels",
        "window_width", "name", "coverage", "expected_error", "range_coverage", "source_line", "listing"]
BATCH_KEYS = ["row", "input", "columns"] + KEYS[1:]
ENTRIES = ["nid", "lvl", "hp", "atk", "def", "sp_atk", "sp_def", "spd"]
LISTING = ["average", "lowest", "highest", "addition"]
HEADER = "shiny,nid,lvl,hp,atk,def,sp_atk,sp_def,spd\n"

GRASS = ["30", "31", "30", "30", "31", "31"]  # Hidden Power Grass, power 70 (Growlithe's type)
FIRE = ["31", "30", "31", "30", "31", "30"]   # Hidden Power Fire, power 70 (Staryu's type)
PLAIN = ["20", "21", "22", "23", "24", "25"]  # Ghost: no addition for any species here

NOT_AVAILABLE = "This pokemon is not available yet."
BAD_LVL = "The level exceeds the limit, \nplease insert a level less or equal to 100."
BAD_IVS = "One or more ivs exceed the limit, \nplease insert ivs less or equal to 32."


def run(args, stdin=b"", cwd=None, binary=None, env=None):
    """(exit status, stdout text, stderr text)"""
    p = subprocess.run([binary or BINARY] + args, input=stdin, capture_output=True,
                       cwd=cwd or DATA, timeout=60, env=env or ENV)
    return p.returncode, p.stdout.decode("utf-8", "replace"), p.stderr.decode("utf-8", "replace")


def one_json(args):
    code, out, err = run(["--format", "json"] + args)
    lines = out.splitlines()
    assert len(lines) == 1, (args, out, err)
    return code, json.loads(lines[0]), err


def json_lines(out):
    return [json.loads(line) for line in out.splitlines()]


def count_line(err, not_priced, rows):
    """True when standard error ends with the batch's count of rows without a price."""
    return err.endswith("orvanta-cli: %d of %d rows could not be priced\n" % (not_priced, rows))


def text_block(record):
    """The labels in reading order, then the source line, as the text format prints them."""
    lines = [record["labels"][name] for name in LABELS] + [record["source_line"]]
    return "".join(line + "\n" for line in lines if line)


class Single(unittest.TestCase):
    def test_json_has_exactly_the_agreed_keys_in_order(self):
        code, rec, err = one_json(["58", "50"] + PLAIN)
        self.assertEqual(code, 0)
        self.assertEqual(list(rec.keys()), KEYS)
        self.assertEqual(list(rec["labels"].keys()), LABELS)
        self.assertEqual(err, "")

    def test_status_0_prices_and_texts(self):
        code, rec, _ = one_json(["58", "50"] + GRASS)
        self.assertEqual(code, 0)
        self.assertEqual(rec["status"], 0)
        for key in ["first_prediction", "second_prediction", "third_prediction",
                    "average_prediction"]:
            self.assertEqual(rec[key], 60000)
        self.assertEqual((rec["lowest_price"], rec["highest_price"]), (54000, 66000))
        self.assertEqual((rec["hidden_power_power"], rec["hidden_power_base_price"]), (70, 500000))
        self.assertEqual(rec["hidden_power"], "Hidden Power:  Grass")
        self.assertIsNone(rec["special_price"])
        labels = rec["labels"]
        self.assertEqual(labels["hidden_power_label"], "Hidden Power:  Grass")
        self.assertEqual(labels["models_intro_label"], "Here is 3 different models prediction:")
        self.assertEqual([labels["first_model_label"], labels["second_model_label"],
                          labels["third_model_label"]], ["60k"] * 3)
        self.assertEqual(labels["model_resume_label"],
                         "Then the average price is: 60k\nRecommended sales range: 54k - 66k\n\n"
                         + rec["in_range_message"] + ".")
        self.assertEqual(labels["hidden_power_resume_label"],
                         "This pokemon is eligible for a hidden power addition \nbased on the "
                         "following description: \n\nPower : 70 \nBase price: 500k \n\nThe "
                         "resulting addition is: 1.00m \nand the new recommended sales range is "
                         "1.05m - 1.07m")
        self.assertEqual(rec["window_width"], 709)

    def test_each_price_tier(self):
        for nid, price, shown in [("120", 600000, "600k"), ("121", 60000000, "60.00m"),
                                  ("212", 600000000, "600.00m")]:
            code, rec, _ = one_json([nid, "50"] + PLAIN)
            self.assertEqual((code, rec["status"]), (0, 0), nid)
            self.assertEqual(rec["first_prediction"], price, nid)
            self.assertEqual(rec["labels"]["third_model_label"], shown, nid)
            self.assertEqual(rec["window_width"], 416, nid)
            self.assertEqual(rec["labels"]["hidden_power_resume_label"], "", nid)

    def test_text_is_the_non_empty_labels_in_reading_order(self):
        for args in [["58", "50"] + GRASS, ["120", "1"] + FIRE, ["1", "5"] + PLAIN,
                     ["58", "101"] + PLAIN, ["58", "5", "31", "31", "31", "31", "31", "31"]]:
            _, rec, _ = one_json(args)
            code, out, err = run(args)
            self.assertEqual(code, 0, args)
            self.assertEqual(out, text_block(rec), args)
            self.assertEqual(err, "", args)
        code, out, _ = run(["58", "50"] + GRASS)
        self.assertTrue(out.startswith("Hidden Power:  Grass\nHere is 3 different models "
                                       "prediction:\n60k\n60k\n60k\nThen the average price"))
        self.assertTrue(out.endswith("sales range is 1.05m - 1.07m\n"
                                     "Growlithe (58) \u00b7 networks in ./ptp\n"))

    def test_csv_is_one_quoted_record_matching_json(self):
        args = ["120", "50"] + FIRE
        _, rec, _ = one_json(args)
        code, out, _ = run(["--format", "csv"] + args)
        self.assertEqual(code, 0)
        rows = list(csv.reader(io.StringIO(out, newline="")))
        self.assertEqual(len(rows), 2)
        header, values = rows
        self.assertEqual(header[:10], ["status", "shiny", "nid", "lvl", "hp", "atk", "def",
                                       "sp_atk", "sp_def", "spd"])
        self.assertEqual(values[2:10], args)
        got = dict(zip(header, values))
        self.assertEqual(header[-4:], ["listing_" + k for k in LISTING])
        for key in KEYS:
            if key == "labels":
                for name in LABELS:
                    self.assertEqual(got[name], rec["labels"][name], name)
            elif key == "input":
                self.assertEqual([got[k] for k in ["shiny"] + ENTRIES],
                                 [str(rec["input"]["shiny"])] + [rec["input"][k] for k in ENTRIES])
            elif key == "listing":
                self.assertEqual([got["listing_" + k] for k in LISTING],
                                 [str(rec["listing"][k]) for k in LISTING])
            elif rec[key] is None:
                self.assertEqual(got[key], "", key)
            else:
                self.assertEqual(got[key], str(rec[key]), key)
        self.assertIn('"This pokemon is eligible', out)  # texts with line breaks are quoted

    def test_status_2_unknown_species(self):
        for nid in ["1", "", "abc", "-58", "86"]:
            code, rec, _ = one_json([nid, "50"] + PLAIN)
            self.assertEqual((code, rec["status"]), (0, 2), nid)
            self.assertEqual(rec["labels"]["hidden_power_label"], NOT_AVAILABLE)
            self.assertEqual([rec["labels"][n] for n in LABELS[1:]], [""] * 6)
            self.assertEqual(rec["window_width"], 416)

    def test_status_3_level_and_negative_texts_as_values(self):
        for lvl in ["101", "-1", "999"]:
            code, rec, _ = one_json(["58", lvl] + PLAIN)
            self.assertEqual((code, rec["status"]), (0, 3), lvl)
            self.assertEqual(rec["labels"]["hidden_power_label"], BAD_LVL)
        code, rec, _ = one_json(["58", "100"] + PLAIN)
        self.assertEqual(rec["status"], 0)

    def test_status_4_ivs(self):
        for ivs in [["33", "1", "2", "3", "4", "5"], ["20", "21", "22", "23", "24", "-1"],
                    ["20", "-5", "22", "23", "24", "25"]]:
            code, rec, _ = one_json(["58", "50"] + ivs)
            self.assertEqual((code, rec["status"]), (0, 4), ivs)
            self.assertEqual(rec["labels"]["hidden_power_label"], BAD_IVS)

    def test_status_5_special_price(self):
        code, rec, _ = one_json(["58", "50", "31", "31", "31", "31", "31", "31"])
        self.assertEqual((code, rec["status"]), (0, 5))
        self.assertEqual(rec["special_price"], "The price for an all IVs the same Growlithe \nis "
                                               "around 3m")
        self.assertEqual(rec["labels"]["hidden_power_label"], "Hidden Power:  Dark")
        self.assertEqual(rec["labels"]["models_intro_label"], rec["special_price"])
        self.assertEqual([rec["labels"][n] for n in LABELS[2:6]], [""] * 4)
        # Special spreads never open a network file: 133 lacks one and still gets 5.
        code, rec, _ = one_json(["133", "50", "1", "2", "3", "4", "5", "6"])
        self.assertEqual((code, rec["status"]), (0, 5))

    def test_status_1_exits_1_and_says_why(self):
        for nid, why in [("133", "133_m2.tp: No such file or directory"),
                         ("123", "./ptp/123_m1.tp is damaged"),
                         ("058", "058_m1.tp: No such file or directory"),
                         ("58x", "58x_m1.tp: No such file or directory")]:
            code, rec, err = one_json([nid, "50"] + PLAIN)
            self.assertEqual((code, rec["status"]), (1, 1), nid)
            self.assertIn(why, err, nid)
            self.assertEqual(err.count("\n"), 1, err)
            code, out, _ = run([nid, "50"] + PLAIN)
            self.assertEqual(code, 1)
            self.assertEqual(out, text_block(rec))

    def test_shiny_reaches_the_networks(self):
        _, plain, _ = one_json(["59", "50"] + PLAIN)
        _, shiny, _ = one_json(["--shiny", "59", "50"] + PLAIN)
        self.assertEqual((plain["status"], shiny["status"]), (0, 0))
        self.assertGreater(shiny["first_prediction"], plain["first_prediction"])

    def test_verbose_sends_the_diagnostic_block_to_stderr_only(self):
        args = ["120", "50"] + PLAIN
        _, quiet_out, quiet_err = run(args)
        code, out, err = run(["--verbose"] + args)
        self.assertEqual(code, 0)
        self.assertEqual(out, quiet_out)
        self.assertEqual(quiet_err, "")
        self.assertIn("networks folder: ./ptp (working folder)", err)
        numbers = [line for line in err.splitlines() if line.replace(".", "").isdigit()]
        self.assertEqual(numbers, ["0.952574", "0.500000", "0.500000", "0.500000"] * 4)

    def test_texts_up_to_the_entry_limits_in_characters(self):
        code, rec, _ = one_json(["ééé", "100", "é1", "31", "31", "31", "31", "31"])
        self.assertEqual((code, rec["status"]), (0, 2))


class Usage(unittest.TestCase):
    def assert_usage_error(self, args, words, stdin=b""):
        code, out, err = run(args, stdin)
        self.assertEqual(code, 2, args)
        self.assertEqual(out, "", args)
        self.assertNotEqual(err, "", args)
        for word in words:
            self.assertIn(word, err, args)

    def test_texts_longer_than_their_entry(self):
        self.assert_usage_error(["1234", "50"] + PLAIN, ["nid", "admits 3"])
        self.assert_usage_error(["58", "1000"] + PLAIN, ["lvl", "admits 3"])
        self.assert_usage_error(["58", "50", "20", "21", "22", "23", "24", "100"],
                                ["spd", "admits 2"])
        self.assert_usage_error(["58", "50", "-10", "21", "22", "23", "24", "25"],
                                ["hp", "admits 2"])
        self.assert_usage_error(["éééé", "50"] + PLAIN, ["nid"])

    def test_wrong_number_of_texts(self):
        self.assert_usage_error(["58", "50"] + PLAIN[:5], ["SPD"])
        self.assert_usage_error([], ["NID"])
        self.assert_usage_error(["58", "50"] + PLAIN + ["7"], [])

    def test_bad_options(self):
        self.assert_usage_error(["--format", "xml", "58", "50"] + PLAIN, ["xml"])
        self.assert_usage_error(["--colour", "58", "50"] + PLAIN, ["--colour"])
        self.assert_usage_error(["--batch", "x.csv", "58", "50"] + PLAIN, ["not both"])
        self.assert_usage_error(["--batch", "-", "--shiny"], ["--shiny"], HEADER.encode())
        self.assert_usage_error(["--ptp-dir", "", "58", "50"] + PLAIN, ["--ptp-dir", "empty"])
        self.assert_usage_error(["--ptp-dir", "", "--batch", "-"], ["--ptp-dir"], HEADER.encode())
        self.assert_usage_error(["--jobs", "0", "--batch", "-"], ["--jobs"], HEADER.encode())

    def test_help_shows_the_defaults(self):
        code, out, _ = run(["--help"])
        self.assertEqual(code, 0)
        for word in ["--format", "=text", "--ptp-dir", "./ptp", "share/orvanta/ptp", "--batch",
                     "--verbose", "--shiny", "--version", "NID", "SPD"]:
            self.assertIn(word, out)

    def test_results_that_cannot_be_written_exit_2(self):
        with open("/dev/full", "wb") as full:
            p = subprocess.run([BINARY, "58", "50"] + PLAIN, stdout=full, stderr=subprocess.PIPE,
                               cwd=DATA, timeout=60)
        self.assertEqual(p.returncode, 2)
        self.assertIn(b"cannot write the results", p.stderr)

    def test_version(self):
        self.assertEqual(run(["--version"])[:2], (0, "orvanta-cli 4.48.4\n"))


class Batch(unittest.TestCase):
    ROWS = [["0", "58", "50"] + GRASS, ["1", "59", "50"] + PLAIN, ["0", "1", "5"] + PLAIN,
            ["0", "58", "101"] + PLAIN, ["0", "58", "50", "33"] + PLAIN[1:],
            ["0", "58", "5", "3", "3", "3", "3", "3", "3"], ["0", "133", "50"] + PLAIN,
            ["0", "120", "50"] + FIRE]

    def batch_file(self, rows=None):
        return (HEADER + "".join(",".join(r) + "\n" for r in (rows or self.ROWS))).encode()

    def test_every_row_as_a_single_prediction_with_its_row_number(self):
        code, out, err = run(["--batch", "-", "--format", "json"], self.batch_file())
        self.assertEqual((code, err), (1, "orvanta-cli: 1 of 8 rows could not be priced\n"))
        records = json_lines(out)
        self.assertEqual([r["row"] for r in records], list(range(1, 9)))
        self.assertEqual([r["status"] for r in records], [0, 0, 2, 3, 4, 5, 1, 0])
        for row, rec in zip(self.ROWS, records):
            single = ["--shiny"] if row[0] == "1" else []
            _, expected, _ = one_json(single + row[1:])
            self.assertEqual(list(rec.keys()), BATCH_KEYS)
            self.assertEqual(rec["columns"], {})
            del rec["row"], rec["columns"]
            self.assertEqual(rec, expected, row)

    def test_rows_do_not_influence_each_other(self):
        code, out, _ = run(["--batch", "-", "--format", "json"], self.batch_file(
            [["0", "58", "50"] + GRASS, ["0", "1", "5"] + PLAIN, ["0", "133", "50"] + PLAIN]))
        first, second, third = json_lines(out)
        self.assertEqual(first["window_width"], 709)
        self.assertEqual(second["window_width"], 416)
        self.assertEqual(second["labels"]["hidden_power_resume_label"], "")
        self.assertIsNone(second["in_range_message"])
        self.assertEqual(third["first_prediction"], 0)

    def test_file_text_format(self):
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "box.csv")
            with open(path, "wb") as f:
                f.write(self.batch_file())
            code, out, err = run(["--batch", path])
            _, records, _ = run(["--batch", path, "--format", "json"])
        self.assertEqual(code, 1)  # row 7's networks are missing
        self.assertTrue(count_line(err, 1, 8), err)
        blocks = out.split("\nRow ")
        self.assertEqual(len(blocks), 8)
        self.assertTrue(out.startswith("Row 1\nHidden Power:  Grass\n"))
        for number, (block, rec) in enumerate(zip(blocks, json_lines(records)), start=1):
            self.assertEqual(block.removeprefix("Row "), "%d\n" % number + text_block(rec))

    def test_pipes_named_by_a_path(self):
        rows = [["0", "120", "50"] + FIRE, ["0", "58", "50"] + GRASS]
        code, out, err = run(["--batch", "/dev/stdin", "--format", "json"], self.batch_file(rows))
        self.assertEqual((code, err, [r["status"] for r in json_lines(out)]), (0, "", [0, 0]))
        script = 'exec "$0" --batch <(printf "%s" "$1") --format json'
        p = subprocess.run(["bash", "-c", script, BINARY, self.batch_file(rows).decode()],
                           capture_output=True, cwd=DATA, env=ENV, timeout=60)
        self.assertEqual((p.returncode, p.stdout.decode()), (0, out))

    def test_csv_format(self):
        rows = [["0", "120", "50"] + FIRE, ["0", "58"], ["1", "212", "1"] + PLAIN]
        code, out, _ = run(["--batch", "-", "--format", "csv"], self.batch_file(rows))
        self.assertEqual(code, 1)  # row 2 cannot be read
        table = list(csv.reader(io.StringIO(out, newline="")))
        self.assertEqual(table[0][:4], ["row", "error", "status", "shiny"])
        self.assertTrue(all(len(r) == len(table[0]) for r in table))
        got = [dict(zip(table[0], r)) for r in table[1:]]
        self.assertEqual([g["row"] for g in got], ["1", "2", "3"])
        self.assertEqual((got[0]["error"], got[0]["status"], got[0]["nid"]), ("", "0", "120"))
        self.assertEqual(got[0]["hidden_power_resume_label"].count("\n"), 7)
        self.assertIn("fields", got[1]["error"])
        self.assertEqual(got[1]["status"], "")
        self.assertEqual((got[2]["shiny"], got[2]["first_prediction"]), ("1", "600000000"))

    def test_verbose_names_rows_and_counts_on_stderr(self):
        code, out, err = run(["--batch", "-", "--verbose"], self.batch_file(
            [["0", "120", "50"] + PLAIN, ["x"], ["0", "133", "50"] + PLAIN]))
        self.assertEqual(code, 1)
        self.assertTrue(count_line(err, 2, 3), err)  # still the last line
        self.assertIn("row 1\n", err)
        self.assertIn("0.952574", err)
        self.assertIn("row 3: cannot open ./ptp/133_m2.tp", err)
        self.assertIn("2 rows priced, 1 rows could not be read", err)
        self.assertNotIn("0.952574", out)


class BatchRecords(unittest.TestCase):
    """What scripts join on and list at: the input as given, the seller's own columns carried
    through byte for byte, the listing prices, and an exit status that counts failures."""

    # A byte-order mark; quotes, commas, a line break and blanks inside quoted cells; an
    # empty header name; a name used twice; a name that is not UTF-8; a row cut short, a row
    # with a bad shiny, and a row whose prediction fails.
    AWKWARD = (b'\xef\xbb\xbf' + b'listing id,shiny,nid,lvl,hp,atk,def,sp_atk,sp_def,spd,,note,'
               b'"a, ""b""",note,\xff\r\n' +
               b'"L-1",0,58,50,30,31,30,30,31,31,x,"say ""hi"", twice","two\r\nlines", spaced ,'
               b'\xfe\r\n' +
               b'L-2,0,120," 50",31,30,31,30,31,30,,," lead",,\r\n' +
               b'L-3,0,58,50\r\n' +
               b'L-4,yes,58,50,30,31,30,30,31,31,y,n,q,s,t\r\n' +
               b'L-5,0,133,50,20,21,22,23,24,25,,,,,\r\n')
    CELLS = [["L-1", "x", 'say "hi", twice', "two\r\nlines", "spaced", "\ufffd"],
             ["L-2", "", "", " lead", "", ""], ["L-3"], ["L-4", "y", "n", "q", "s", "t"],
             ["L-5", "", "", "", "", ""]]
    KEYS = ["listing id", "column_11", "note", 'a, "b"', "note_2", "\ufffd"]

    def batch(self, fmt):
        return run(["--batch", "-", "--format", fmt], self.AWKWARD)

    def test_input_as_given_in_every_json_record(self):
        _, rec, _ = one_json(["--shiny", "58", " 50", "30", "31", "30", "30", "31", "31"])
        self.assertEqual(rec["input"], {"shiny": 1, "nid": "58", "lvl": " 50", "hp": "30",
                                        "atk": "31", "def": "30", "sp_atk": "30",
                                        "sp_def": "31", "spd": "31"})
        self.assertNotIn("columns", rec)
        records = json_lines(self.batch("json")[1])
        self.assertEqual(records[1]["input"], {"shiny": 0, "nid": "120", "lvl": " 50", "hp": "31",
                                               "atk": "30", "def": "31", "sp_atk": "30",
                                               "sp_def": "31", "spd": "30"})
        self.assertEqual([r["input"] is None for r in records], [False, False, True, True, False])

    def test_extra_columns_in_json_in_file_order_error_records_included(self):
        code, out, err = self.batch("json")
        records = json_lines(out)
        self.assertEqual([r["row"] for r in records], [1, 2, 3, 4, 5])
        for rec, cells in zip(records, self.CELLS):
            self.assertEqual(list(rec["columns"].items()), list(zip(self.KEYS, cells)), rec["row"])
        self.assertEqual(list(records[2].keys()), ["row", "error", "input", "columns"])
        self.assertIn("fields", records[2]["error"])
        self.assertIn("shiny", records[3]["error"])

    def test_extra_columns_in_csv_byte_for_byte_quoted_only_where_needed(self):
        raw = subprocess.run([BINARY, "--batch", "-", "--format", "csv"], input=self.AWKWARD,
                             capture_output=True, cwd=DATA, env=ENV, timeout=60).stdout
        lines = raw.split(b"\n")
        self.assertTrue(lines[0].endswith(b',listing_addition,listing id,,note,"a, ""b""",note,'
                                          b'\xff'), lines[0])
        table = list(csv.reader(io.StringIO(raw.decode("latin-1"), newline="")))
        width = len(table[0])
        self.assertTrue(all(len(r) == width for r in table))
        for row, cells in zip(table[1:], self.CELLS):
            # As read, the byte that is not UTF-8 included (JSON replaced it).
            expected = [c.replace("\ufffd", "\xfe") for c in cells]
            expected += [""] * (6 - len(expected))  # past where the row could be read
            self.assertEqual(row[width - 6:], expected, row[0])
        # Plain cells stay as they were; only cells CSV cannot hold plain are quoted.
        self.assertIn(b',L-1,x,"say ""hi"", twice","two\r\nlines",spaced,\xfe\n', raw)
        self.assertIn(b',L-2,,," lead",,\n', raw)

    def test_listing_prices_by_status(self):
        def listing(args):
            return one_json(args)[1]["listing"]
        # Without an addition: the model's own figures.
        self.assertEqual(listing(["120", "50"] + PLAIN),
                         {"average": 600000, "lowest": 540000, "highest": 660000, "addition": 0})
        # With one: the figures of the window's addition text.
        rec = one_json(["58", "50"] + GRASS)[1]
        self.assertEqual(rec["listing"], {"average": 1060000, "lowest": 1054000,
                                          "highest": 1066000, "addition": 1000000})
        self.assertTrue(rec["labels"]["hidden_power_resume_label"].endswith(
            "addition is: 1.00m \nand the new recommended sales range is 1.05m - 1.07m"))
        # Fixed prices: the price the message states, its mean as the average.
        for ivs, low, high in [(["3"] * 6, 3000000, 4000000), (["31"] * 6, 3000000, 3000000),
                               (["1", "2", "3", "4", "5", "6"], 100000, 100000)]:
            self.assertEqual(listing(["58", "50"] + ivs), {"average": (low + high) // 2,
                                                           "lowest": low, "highest": high,
                                                           "addition": 0}, ivs)
        for args in [["133", "50"] + PLAIN, ["1", "50"] + PLAIN, ["58", "101"] + PLAIN,
                     ["58", "50", "33"] + PLAIN[1:]]:
            self.assertIsNone(listing(args), args)
        code, out, _ = run(["--format", "csv", "58", "50", "3", "3", "3", "3", "3", "3"])
        header, values = list(csv.reader(io.StringIO(out, newline="")))
        self.assertEqual(values[-4:], ["3500000", "3000000", "4000000", "0"])
        code, out, _ = run(["--format", "csv", "1", "50"] + PLAIN)
        self.assertEqual(list(csv.reader(io.StringIO(out, newline="")))[1][-4:], [""] * 4)

    def test_exit_status_counts_the_rows_without_a_price(self):
        code, out, err = self.batch("text")
        self.assertEqual(code, 1)
        self.assertEqual(err, "orvanta-cli: 3 of 5 rows could not be priced\n")  # L-3, L-4, L-5
        code, out, err = run(["--batch", "-", "--verbose"], self.AWKWARD)
        self.assertEqual(code, 1)
        self.assertTrue(err.endswith("\norvanta-cli: 3 of 5 rows could not be priced\n"), err)
        # Statuses 2 to 5 are answers.
        answers = HEADER + "".join(",".join(r) + "\n" for r in [
            ["0", "1", "50"] + PLAIN, ["0", "58", "101"] + PLAIN, ["0", "58", "50", "40"] + PLAIN[1:],
            ["0", "58", "50"] + ["31"] * 6, ["0", "58", "50"] + GRASS])
        self.assertEqual(run(["--batch", "-"], answers.encode())[0::2], (0, ""))
        self.assertEqual(run(["--batch", "-"], HEADER.encode())[0::2], (0, ""))
        code, out, err = run(["--help"])
        self.assertIn("rows could not be priced", " ".join(out.split()))


class BatchPipeline(unittest.TestCase):
    """Many rows on several threads: the same records, in the file's order, as one
    prediction per row; rows priced while the input is still open."""

    def setUp(self):
        # A folder where each species' files fail in their own way: a damaged second
        # network (121), a damaged first one (123), a missing second one (133).
        self.tmp = tempfile.mkdtemp()
        self.ptp = os.path.join(self.tmp, "ptp")
        shutil.copytree(os.path.join(DATA, "ptp"), self.ptp)
        with open(os.path.join(self.ptp, "121_m2.tp")) as f:
            text = f.read().split()
        with open(os.path.join(self.ptp, "121_m2.tp"), "w") as f:
            f.write(" ".join(text[:12]) + " x\n")

    def tearDown(self):
        shutil.rmtree(self.tmp)

    def rows(self, count, seed=7):
        """Rows of every status and error, species repeated all through the batch."""
        kinds = [["0", "58", "50"] + GRASS, ["1", "59", "50"] + PLAIN, ["0", "120", "7"] + FIRE,
                 ["1", "212", "100"] + PLAIN, ["0", "121", "50"] + PLAIN,
                 ["0", "123", "50"] + PLAIN, ["0", "133", "50"] + PLAIN,
                 ["0", "121", "50", "5", "5", "5", "5", "5", "5"], ["0", "058", "50"] + PLAIN,
                 ["0", "1", "5"] + PLAIN, ["0", "58", "101"] + PLAIN,
                 ["0", "58", "50", "33"] + PLAIN[1:], ["1", "59", "1", "31", "31", "31", "31",
                                                       "31", "31"], ["2", "58", "50"] + PLAIN,
                 ["0", "58"]]
        rng = random.Random(seed)
        return [rng.choice(kinds) for _ in range(count)]

    def batch(self, rows):
        return (HEADER + "".join(",".join(r) + "\n" for r in rows)).encode()

    def test_records_match_one_prediction_per_row(self):
        rows = self.rows(300)
        code, out, err = run(["--batch", "-", "--format", "json", "--ptp-dir", self.ptp,
                              "--jobs", "2"], self.batch(rows))
        self.assertEqual(code, 1)
        records = json_lines(out)
        not_priced = sum(1 for r in records if "error" in r or r["status"] == 1)
        self.assertEqual(err, "orvanta-cli: %d of 300 rows could not be priced\n" % not_priced)
        self.assertEqual([r["row"] for r in records], list(range(1, 301)))
        singles = {}
        for row, rec in zip(rows, records):
            key = tuple(row)
            if key not in singles:
                if "error" in rec:
                    singles[key] = None
                    continue
                args = (["--shiny"] if row[0] == "1" else []) + row[1:]
                code, out, err = run(["--format", "json", "--ptp-dir", self.ptp] + args)
                singles[key] = json.loads(out)
                if singles[key]["status"] == 1:
                    self.assertEqual(code, 1)
            expected = singles[key]
            if expected is None:
                self.assertEqual(list(rec.keys()), ["row", "error", "input", "columns"])
                continue
            del rec["row"], rec["columns"]
            self.assertEqual(rec, expected, row)
        statuses = {r["status"] for r in singles.values() if r is not None}
        self.assertEqual(statuses, {0, 1, 2, 3, 4, 5})

    def test_damaged_network_named_for_each_of_its_rows(self):
        rows = [["0", "121", "50"] + PLAIN, ["0", "58", "50"] + PLAIN] * 3
        code, out, err = run(["--batch", "-", "--verbose", "--ptp-dir", self.ptp],
                             self.batch(rows))
        self.assertEqual(code, 1)
        for number in (1, 3, 5):
            self.assertIn("row %d: %s/121_m2.tp is damaged" % (number, self.ptp), err)

    def test_every_thread_count_gives_the_same_bytes_in_order(self):
        # The seller's own columns around the inputs, notes long enough that chunks of rows
        # go on before they are full.
        rng = random.Random(5)
        rows = ['%d,"box, %d",%s,"%s",x%d' % (n, n % 9, ",".join(r), 'n""' * rng.randrange(1300), n)
                for n, r in enumerate(self.rows(3000, seed=11))]
        data = ("id,box," + HEADER.strip() + ",note,\n" + "\n".join(rows) + "\n").encode()
        for fmt in ["json", "csv", "text"]:
            outputs = set()
            for jobs in ["1", "3", "8"]:
                code, out, err = run(["--batch", "-", "--format", fmt, "--ptp-dir", self.ptp,
                                      "--jobs", jobs], data)
                self.assertEqual(code, 1, (fmt, jobs))
                outputs.add((out, err))
            self.assertEqual(len(outputs), 1, fmt)
            if fmt == "json":
                for r in json_lines(out):
                    if "error" not in r:
                        self.assertEqual(r["columns"]["column_13"], "x%d" % (r["row"] - 1))
        code, out, err = run(["--batch", "-", "--verbose", "--ptp-dir", self.ptp, "--jobs", "4"],
                             data)
        rows = [int(line.split()[2]) for line in err.splitlines()
                if line.startswith("orvanta-cli: row ") and line.count(" ") == 2]
        self.assertEqual(rows, sorted(rows))

    def test_results_come_before_the_input_is_closed(self):
        p = subprocess.Popen([BINARY, "--batch", "-", "--format", "json"], cwd=DATA, env=ENV,
                             stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        try:
            p.stdin.write((HEADER + "0,120,50," + ",".join(PLAIN) + "\n").encode())
            p.stdin.flush()
            ready, _, _ = select.select([p.stdout], [], [], 30)
            self.assertTrue(ready, "no record while the input stays open")
            first = json.loads(p.stdout.readline())
            self.assertEqual((first["row"], first["first_prediction"]), (1, 600000))
            p.stdin.write(("0,58,50," + ",".join(GRASS) + "\n").encode())
            p.stdin.close()
            second = json.loads(p.stdout.readline())
            self.assertEqual((second["row"], second["first_prediction"]), (2, 60000))
            self.assertEqual(p.wait(timeout=30), 0)
        finally:
            p.kill()
            p.wait()
            p.stdout.close()


def species_file(nid, name, spreads, errors, **more):
    record = {"format": "orvanta-species-1", "nid": nid, "name": name,
              "hidden_power_types": ["Grass"], "hidden_power_base_price": 400000,
              "lowest_price_margin": 0.2, "highest_price_margin": 0.3,
              "reference_spreads": spreads, "near_match_window": [[1, 1]] * 6,
              "expected_error": errors}
    record.update(more)
    return json.dumps(record)


NO_NETWORKS_1 = ("No networks for National ID 1 yet: train them from your sales "
                 "(see orvanta-train --help)")


class SpeciesFields(unittest.TestCase):
    """name, coverage, expected_error and source_line in JSON and CSV, and --list, for the
    built-in table and for species files (valid and damaged)."""

    source_300 = ("Flab\u00e9b\u00e9 (300) \u00b7 trained on 1234 of your sales\nTypical error 5% "
                  "\u00b7 81% of past sales like it sold inside the range")

    def setUp(self):
        self.tmp = tempfile.mkdtemp()
        self.ptp = os.path.join(self.tmp, "ptp")
        shutil.copytree(os.path.join(DATA, "ptp"), self.ptp)
        for k in (1, 2, 3):  # species 300 priced with 58's networks by its species file
            shutil.copy(os.path.join(self.ptp, "58_m%d.tp" % k),
                        os.path.join(self.ptp, "300_m%d.tp" % k))
        self.write("300_species.json", species_file(
            300, "Flab\u00e9b\u00e9", [[int(v) for v in PLAIN]], [0.05, None, 0.25],
            range_coverage=[0.8125, None, 0.7], training={"rows": 1234, "seed": 7}))
        self.write("301_species.json", '{"format": "orvanta-species-1"')  # damaged

    def tearDown(self):
        shutil.rmtree(self.tmp)

    def write(self, name, text):
        with open(os.path.join(self.ptp, name), "w") as f:
            f.write(text)

    def records(self, rows, fmt="json"):
        data = (HEADER + "".join(",".join(r) + "\n" for r in rows)).encode()
        code, out, err = run(["--batch", "-", "--format", fmt, "--ptp-dir", self.ptp], data)
        if code == 0:
            self.assertEqual(err, "")
        else:  # the damaged species file's rows have no price
            self.assertEqual(code, 1)
            self.assertRegex(err, r"^orvanta-cli: \d+ of %d rows could not be priced\n$" % len(rows))
        return out

    def test_json_fields_by_species_and_status(self):
        near = ["21", "21", "22", "23", "24", "25"]
        rows = [["0", "300", "50"] + PLAIN, ["0", "300", "50"] + near,
                ["0", "300", "50"] + GRASS, ["0", "300", "101"] + PLAIN,
                ["0", "301", "50"] + PLAIN, ["0", "58", "50"] + PLAIN, ["0", "1", "50"] + PLAIN,
                ["0", "300", "50", "5", "5", "5", "5", "5", "5"]]
        got = [(r["status"], r["name"], r["coverage"], r["expected_error"], r["range_coverage"])
               for r in json_lines(self.records(rows))]
        flab = "Flab\u00e9b\u00e9"
        self.assertEqual(got, [(0, flab, 0, 0.05, 0.8125), (0, flab, 1, None, None),
                               (0, flab, 2, 0.25, 0.7), (3, flab, 0, None, None),
                               (1, None, None, None, None), (0, "Growlithe", 2, None, None),
                               (2, None, None, None, None), (5, flab, 2, None, None)])
        rec = json_lines(self.records([["0", "300", "50"] + GRASS]))[0]
        self.assertEqual(rec["lowest_price"], 48000)  # the file's margins: 0.2 and 0.3
        self.assertEqual(rec["highest_price"], 78000)
        self.assertIn("Base price: 400k", rec["labels"]["hidden_power_resume_label"])

    def test_csv_columns_match_json(self):
        rows = [["0", "300", "50"] + PLAIN, ["0", "1", "50"] + PLAIN, ["0", "300"]]
        table = list(csv.reader(io.StringIO(self.records(rows, "csv"), newline="")))
        self.assertEqual(table[0][-10:-4], ["window_width", "name", "coverage", "expected_error",
                                            "range_coverage", "source_line"])
        self.assertEqual(table[0][-4:], ["listing_average", "listing_lowest", "listing_highest",
                                         "listing_addition"])
        self.assertTrue(all(len(r) == len(table[0]) for r in table))
        self.assertEqual(table[1][-9:-4],
                         ["Flab\u00e9b\u00e9", "0", "0.05", "0.8125", self.source_300])
        self.assertEqual(table[2][-9:-4], ["", "", "", "", NO_NETWORKS_1])
        self.assertEqual(table[2][-4:], [""] * 4)
        self.assertEqual(table[3][-9:], [""] * 9)

    def test_source_line_says_whose_price_it_is(self):
        dated = {"rows": 5, "dates": {"first": "2025-01-01", "last": "2025-12-31"}}
        for k in (1, 2, 3):
            shutil.copy(os.path.join(self.ptp, "58_m%d.tp" % k),
                        os.path.join(self.ptp, "302_m%d.tp" % k))
        self.write("302_species.json", species_file(
            302, "Dated", [[int(v) for v in PLAIN]], None, training=dated,
            range_coverage=[0.795, None, None]))
        rows = [["0", "300", "50"] + PLAIN, ["0", "300", "50"] + GRASS,
                ["0", "300", "101"] + PLAIN, ["0", "302", "50"] + PLAIN,
                ["0", "58", "50"] + PLAIN, ["0", "301", "50"] + PLAIN, ["0", "1", "50"] + PLAIN,
                ["0", "01", "50"] + PLAIN]
        got = [r["source_line"] for r in json_lines(self.records(rows))]
        self.assertEqual(got, [
            self.source_300,
            "Flab\u00e9b\u00e9 (300) \u00b7 trained on 1234 of your sales\nTypical error 25% \u00b7 "
            "70% of past sales like it sold inside the range",
            "Flab\u00e9b\u00e9 (300) \u00b7 trained on 1234 of your sales",
            "Dated (302) \u00b7 trained on 5 of your sales, 2025-01-01 to 2025-12-31\n"
            "80% of past sales like it sold inside the range",
            "Growlithe (58) \u00b7 networks in " + self.ptp,
            "National ID 301 \u00b7 networks in %s\n%s/301_species.json: not valid UTF-8 JSON: "
            % (self.ptp, self.ptp) + got[5].split("JSON: ", 1)[-1],  # the parser's own words
            NO_NETWORKS_1, None])
        # Below the home folder, the folder is written from "~".
        env = dict(ENV, HOME=self.tmp)
        code, out, _ = run(["--format", "json", "--ptp-dir", self.ptp, "58", "50"] + PLAIN,
                           env=env)
        self.assertEqual(json.loads(out)["source_line"], "Growlithe (58) \u00b7 networks in ~/ptp")

    def test_damaged_species_file_is_named_under_verbose(self):
        code, out, err = run(["--verbose", "--ptp-dir", self.ptp, "301", "50"] + PLAIN)
        self.assertEqual(code, 1)
        self.assertIn("301_species.json", err)
        code, out, err = run(["--batch", "-", "--verbose", "--ptp-dir", self.ptp],
                             (HEADER + "0,301,50," + ",".join(PLAIN) + "\n").encode())
        self.assertIn("species 301: networks folder " + self.ptp, err)
        self.assertIn("301_species.json", err)

    def test_list(self):
        code, out, err = run(["--list", "--format", "json", "--ptp-dir", self.ptp])
        self.assertEqual((code, err), (0, ""))
        listed = {r["nid"]: r for r in json_lines(out)}
        self.assertEqual(sorted(listed), [58, 59, 120, 121, 123, 133, 212, 300, 301])
        self.assertEqual(listed[300], {"nid": 300, "name": "Flab\u00e9b\u00e9",
                                       "priced_by": "species file", "folder": self.ptp,
                                       "networks": True, "training_rows": 1234,
                                       "expected_error": [0.05, None, 0.25],
                                       "range_coverage": [0.8125, None, 0.7]})
        self.assertEqual((listed[58]["priced_by"], listed[58]["name"], listed[58]["networks"]),
                         ("built-in table", "Growlithe", True))
        self.assertFalse(listed[133]["networks"])  # its _m2 is missing
        self.assertEqual((listed[301]["priced_by"], listed[301]["networks"]),
                         ("damaged species file", False))
        code, out, err = run(["--list", "--verbose", "--ptp-dir", self.ptp])
        lines = out.splitlines()
        self.assertEqual(len(lines), 9)
        self.assertIn("300 Flab\u00e9b\u00e9: species file (1234 training rows; expected error "
                      "5.0% / - / 25.0%; inside the range 81.2% / - / 70.0%), networks "
                      "present, folder " + self.ptp, lines[7])
        self.assertIn("301_species.json", err)
        self.assertEqual(run(["--list", "--format", "csv"])[0], 2)


def sanitized(binary):
    """True when the binary carries AddressSanitizer."""
    with open(binary, "rb") as f:
        return b"__asan_init" in f.read()


class Guards(unittest.TestCase):
    """National ID texts that would leave the networks folder, and threads the system
    refuses: never a file outside, never a crash. (Files that are not regular files are
    species_file_test's and species_snapshot_test's.)"""

    def setUp(self):
        self.tmp = tempfile.mkdtemp()
        self.ptp = os.path.join(self.tmp, "ptp")
        shutil.copytree(os.path.join(DATA, "ptp"), self.ptp)

    def tearDown(self):
        shutil.rmtree(self.tmp)

    def price(self, nid, *more):
        return run(["--verbose", "--format", "json", "--ptp-dir", self.ptp] + list(more)
                   + [nid, "50"] + PLAIN)

    def test_national_id_text_names_files_inside_the_networks_folder_only(self):
        # A species file for 5 prices the number that "5/x" stands for; networks named by
        # "x" in a subfolder 5 and by "_" one folder up are never read.
        with open(os.path.join(self.ptp, "5_species.json"), "w") as f:
            f.write(species_file(5, "Charmeleon", [], None))
        os.mkdir(os.path.join(self.ptp, "5"))
        for k in (1, 2, 3):
            for path in [os.path.join(self.ptp, "5", "x_m%d.tp" % k),
                         os.path.join(self.tmp, "_m%d.tp" % k)]:
                shutil.copy(os.path.join(self.ptp, "58_m%d.tp" % k), path)
        code, out, err = self.price("5/x")
        self.assertEqual((code, json.loads(out)["status"]), (1, 1))
        self.assertIn('the National ID text "5/x" names no network file', err)
        # "../" is 0, which nothing prices: status 2 and nothing read.
        code, out, err = self.price("../")
        self.assertEqual((code, json.loads(out)["status"]), (0, 2))
        rows = "".join("0,%s,50,%s\n" % (t, ",".join(PLAIN)) for t in ["5/x", "5", "5/x"])
        code, out, err = run(["--batch", "-", "--format", "json", "--verbose", "--ptp-dir",
                              self.ptp], (HEADER + rows).encode())
        self.assertEqual([r["status"] for r in json_lines(out)], [1, 1, 1])
        self.assertIn('row 3: the National ID text "5/x" names no network file', err)
        self.assertIn("row 2: cannot open %s/5_m1.tp" % self.ptp, err)

    @unittest.skipIf(sanitized(sys.argv[1]) if len(sys.argv) > 1 else False,
                     "AddressSanitizer reserves more address space than any limit")
    def test_threads_the_system_refuses(self):
        # Under an address-space limit: with room for a few threads the batch is priced on
        # those, with none it exits 2 before writing anything; never an abort.
        data = (HEADER + "0,120,50,%s\n0,58,50,%s\n" % (",".join(PLAIN), ",".join(GRASS))).encode()
        outcomes = set()
        for megabytes in [200, 60, 20]:
            def limit():
                resource.setrlimit(resource.RLIMIT_AS, (megabytes << 20, megabytes << 20))
            p = subprocess.run([BINARY, "--batch", "-", "--format", "json", "--jobs", "256",
                                "--ptp-dir", self.ptp], input=data, capture_output=True,
                               timeout=60, env=ENV, preexec_fn=limit)
            err = p.stderr.decode()
            self.assertIn(p.returncode, (0, 2), (megabytes, err))
            if p.returncode == 0:
                self.assertEqual([r["first_prediction"] for r in json_lines(p.stdout.decode())],
                                 [600000, 60000], megabytes)
                self.assertRegex(err, r"priced on \d+ threads, all that could be started")
            else:
                self.assertEqual(p.stdout, b"", megabytes)
                self.assertRegex(err, r"^orvanta-cli: cannot start a thread to price the rows")
            outcomes.add(p.returncode)
        self.assertEqual(outcomes, {0, 2})


class BadBatchInput(unittest.TestCase):
    def records(self, data):
        code, out, err = run(["--batch", "-", "--format", "json"], data)
        records = json_lines(out)
        not_priced = sum(1 for r in records if "error" in r or r["status"] == 1)
        self.assertEqual(code, 1 if not_priced else 0)
        self.assertTrue(not_priced == 0 and err == "" or count_line(err, not_priced, len(records)),
                        err)
        return records

    def test_each_bad_row_gets_an_error_record_and_the_rest_is_priced(self):
        long_text = "9" * 100000
        data = (HEADER +
                "0,58,50,20,21\n" +                            # too few fields
                "2,58,50,20,21,22,23,24,25\n" +                # shiny not 0 or 1
                "yes,58,50,20,21,22,23,24,25\n" +
                ",58,50,20,21,22,23,24,25\n" +
                "0,1234,50,20,21,22,23,24,25\n" +              # longer than the entry
                "0,58,50,20,21,22,23,24,100\n" +
                "0,58," + long_text + ",20,21,22,23,24,25\n" +  # past the reader's limit
                "0,58,50,20,21,22,23,24,25,7\n" +              # a field too many
                "0,\xff,50,20,21,22,23,24,25\n" +              # not UTF-8
                "0,120,50,20,21,22,23,24,25\n").encode("latin-1")
        records = self.records(data)
        self.assertEqual([r["row"] for r in records], list(range(1, 11)))
        errors = [r.get("error", "") for r in records]
        for number, words in [(1, ["5 fields", "9"]), (2, ["shiny", "0 or 1", '"2"']),
                              (3, ["shiny", '"yes"']), (4, ["shiny"]), (5, ["nid", "admits 3"]),
                              (6, ["spd", "admits 2"]), (7, ["lvl", "longer than"]),
                              (8, ["10 fields"]), (9, ["nid", "UTF-8"])]:
            self.assertEqual(list(records[number - 1].keys()), ["row", "error", "input", "columns"],
                             number)
            for word in words:
                self.assertIn(word, errors[number - 1], number)
        self.assertEqual((records[9]["status"], records[9]["first_prediction"]), (0, 600000))

    def test_bom_crlf_blank_lines_quotes_and_column_order(self):
        data = (b"\xef\xbb\xbf" + b"note,spd,sp_def,sp_atk,def,atk,hp,lvl,nid,shiny\r\n" +
                b"\r\n" +
                b'"a, quoted note",25,24,23,22,21,20,50,"120",0\r\n' +
                b"   \r\n" +
                b'"two\r\nlines",25,24,23,22,21,20," 50",58,"1"\r\n' +
                b',,,,,,,,,\r\n' +
                b'x,25,24,23,22,21,20,50,"1""2",0')  # last line without a line end
        records = self.records(data)
        self.assertEqual([r["row"] for r in records], [1, 2, 3])
        self.assertEqual((records[0]["status"], records[0]["first_prediction"]), (0, 600000))
        self.assertEqual(records[0]["hidden_power"], "Hidden Power:  Ghost")
        self.assertEqual(records[1]["status"], 0)  # " 50" is the level as typed: atoi reads 50
        self.assertEqual(records[2]["status"], 2)  # the text 1"2 is species 1

    def test_unclosed_quote_costs_only_the_rows_it_swallows(self):
        data = (HEADER + "0,120,50,20,21,22,23,24,25\n" + '0,"58,50,20,21,22,23,24,25\n' +
                "0,120,50,20,21,22,23,24,25\n").encode()
        records = self.records(data)
        self.assertEqual(records[0]["status"], 0)
        self.assertEqual(records[1]["row"], 2)
        self.assertIn("closing quote", records[1]["error"])
        self.assertEqual(len(records), 2)

    def test_nul_byte_is_a_row_error(self):
        data = (HEADER + "0,5\x008,50,20,21,22,23,24,25\n0,120,50,20,21,22,23,24,25\n").encode()
        records = self.records(data)
        self.assertIn("NUL", records[0]["error"])
        self.assertEqual(records[1]["status"], 0)

    def test_header_only_prints_nothing(self):
        self.assertEqual(self.records(HEADER.encode()), [])

    def assert_refused(self, args, stdin, words):
        code, out, err = run(args, stdin)
        self.assertEqual(code, 2, args)
        self.assertEqual(out, "")
        self.assertEqual(err.count("\n"), 1, err)
        for word in words:
            self.assertIn(word, err)

    def test_unreadable_files_and_missing_columns_exit_2_with_one_message(self):
        self.assert_refused(["--batch", "/nonexistent/box.csv"], b"",
                            ["/nonexistent/box.csv", "No such file"])
        self.assert_refused(["--batch", "/"], b"", ["/: it is a folder"])
        self.assert_refused(["--batch", "/dev/zero"], b"", ["/dev/zero: it is a device"])
        self.assert_refused(["--batch", "-"], b"", ["no header"])
        self.assert_refused(["--batch", "-"], b"shiny,nid,lvl,hp,atk,def,sp_atk,spd\n0,1,2,3,4,5,6,7\n",
                            ['"sp_def"'])
        self.assert_refused(["--batch", "-", "--format", "csv"], b"nid,lvl\n", ['"shiny"'])
        self.assert_refused(["--batch", "-"], (HEADER.strip() + ",NID\n").encode(), ["twice"])


class InstalledNetworks(unittest.TestCase):
    """Without --ptp-dir and without ./ptp, the networks installed beside the program."""

    def setUp(self):
        self.tmp = tempfile.mkdtemp()
        self.prefix = os.path.join(self.tmp, "prefix")
        os.makedirs(os.path.join(self.prefix, "bin"))
        self.binary = os.path.join(self.prefix, "bin", "orvanta-cli")
        shutil.copy2(BINARY, self.binary)
        self.installed = os.path.join(self.prefix, "share", "orvanta", "ptp")
        shutil.copytree(os.path.join(DATA, "ptp"), self.installed)
        self.work = os.path.join(self.tmp, "work")
        os.makedirs(self.work)

    def tearDown(self):
        shutil.rmtree(self.tmp)

    def price(self, extra=None, env=None):
        return run(["--verbose", "--format", "json"] + (extra or []) + ["120", "50"] + PLAIN,
                   cwd=self.work, binary=self.binary, env=env)

    def test_installed_folder_is_used_and_named(self):
        code, out, err = self.price()
        self.assertEqual(code, 0)
        self.assertEqual(json.loads(out)["first_prediction"], 600000)
        self.assertEqual(json.loads(out)["source_line"],
                         "Staryu (120) \u00b7 example networks trained on made-up sales")
        self.assertIn("networks folder: " + self.installed + " (installed networks)", err)

    def test_working_folder_ptp_comes_first_for_the_species_it_holds(self):
        os.makedirs(os.path.join(self.work, "ptp"))
        code, out, err = self.price()  # ./ptp holds nothing of species 120
        self.assertEqual((code, json.loads(out)["status"]), (0, 0))
        with open(os.path.join(self.work, "ptp", "120_m1.tp"), "w") as f:
            f.write("damaged")
        code, out, err = self.price()  # refused there, never looked for further on
        self.assertEqual((code, json.loads(out)["status"]), (1, 1))
        self.assertIn("networks folder: ./ptp (working folder)", err)
        self.assertIn("./ptp/120_m1.tp is damaged", err)

    def test_sellers_own_folder_comes_before_the_installed_one(self):
        home = os.path.join(self.tmp, "home")
        own = os.path.join(home, "data", "orvanta", "ptp")
        os.makedirs(own)
        for k in (1, 2, 3):  # species 58's networks (60k) as species 120's
            shutil.copy(os.path.join(DATA, "ptp", "58_m%d.tp" % k),
                        os.path.join(own, "120_m%d.tp" % k))
        env = dict(ENV, HOME=home, XDG_DATA_HOME=os.path.join(home, "data"))
        code, out, err = self.price(env=env)
        self.assertEqual((code, json.loads(out)["first_prediction"]), (0, 60000))
        self.assertIn("networks folder: " + own + " (your own networks)", err)
        code, out, err = run(["--list", "--format", "json"], cwd=self.work, binary=self.binary,
                             env=env)
        listed = {r["nid"]: r for r in json_lines(out)}
        self.assertEqual((listed[120]["folder"], listed[58]["folder"]), (own, self.installed))

    def test_ptp_dir_option_comes_first(self):
        code, out, err = self.price(["--ptp-dir", os.path.join(self.tmp, "nowhere")])
        self.assertEqual(code, 1)
        self.assertIn("nowhere (--ptp-dir)", err)

    def test_nothing_installed(self):
        shutil.rmtree(os.path.join(self.prefix, "share"))
        code, out, err = self.price()
        self.assertEqual(code, 1)
        self.assertIn("networks folder: ./ptp (working folder)", err)
        self.assertIn("cannot open ./ptp/120_m1.tp", err)


class CloneRoot(unittest.TestCase):
    """The build tree's orvanta-cli started in the repository's root, which holds no ./ptp:
    a species the seller trained into their own folder is priced from it, every other from
    the bundled networks that the build tree keeps beside its programs."""

    def test_sellers_species_from_their_folder_the_rest_bundled(self):
        root = os.path.abspath(os.path.join(DATA, "..", "..", ".."))
        self.assertFalse(os.path.exists(os.path.join(root, "ptp")))
        with tempfile.TemporaryDirectory() as home:
            own = os.path.join(home, ".local", "share", "orvanta", "ptp")
            os.makedirs(own)
            for k in (1, 2, 3):  # Growlithe's test networks (60k) as the seller's Starmie
                shutil.copy(os.path.join(DATA, "ptp", "58_m%d.tp" % k),
                            os.path.join(own, "121_m%d.tp" % k))
            with open(os.path.join(own, "121_species.json"), "w") as f:
                f.write(species_file(121, "Starmie", [[int(v) for v in PLAIN]], None,
                                     training={"rows": 40}))
            env = dict(ENV, HOME=home, XDG_DATA_HOME=os.path.join(home, ".local", "share"))
            records = {}
            for nid in ("121", "58"):
                code, out, _ = run(["--format", "json", nid, "50"] + PLAIN, cwd=root, env=env)
                self.assertEqual(code, 0, out)
                records[nid] = json.loads(out)
        self.assertEqual(records["121"]["first_prediction"], 60000)
        self.assertEqual(records["121"]["source_line"],
                         "Starmie (121) \u00b7 trained on 40 of your sales")
        self.assertNotEqual(records["58"]["first_prediction"], 60000)
        self.assertEqual(records["58"]["source_line"],
                         "Growlithe (58) \u00b7 example networks trained on made-up sales")


if __name__ == "__main__":
    BINARY = os.path.abspath(sys.argv[1])
    DATA = os.path.abspath(sys.argv[2])
    with tempfile.TemporaryDirectory() as home:
        ENV = dict(os.environ, HOME=home, XDG_DATA_HOME=os.path.join(home, "share"))
        test = unittest.main(argv=[sys.argv[0]] + sys.argv[3:], verbosity=1, exit=False)
    sys.exit(not test.result.wasSuccessful())

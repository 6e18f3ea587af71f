#!/usr/bin/python3
"""Measures how close the trained networks come to a market: trains with the real
orvanta-train on one set of sales, prices an independent set with the real
orvanta-cli --batch --format json, and compares each price with the sale and with the
rule price behind it.

Usage:
    measure_training.py market          # data/generate_market.py: the seller's year,
                                        #   measured on the hidden year
    measure_training.py sales           # data/sales.csv, 20 % of each species held out
    measure_training.py files TRAIN.csv EVAL.csv
Options (before the command): --build DIR (default build/default; or --trainer and --cli
for the two programs), --trainer-arg ARG (repeatable, passed on to orvanta-train, e.g.
--trainer-arg=--jobs=1), --keep DIR (keep the trained files there), --json FILE (write
the figures as JSON), --detail (the figures by shiny flag and price tier too).

Reported per species and overall, on the sales whose spread has no fixed price:
- noise: the market's own noise, the median of |price - rule price| / rule price;
- error: the median absolute percentage error of the average price;
- ratio: error / noise (1.00: as close as the market allows);
- range: the share of sales whose price lies inside the recommended range;
then the same by coverage rating (with what the species files state for it) and by
species and rating (each judged against its species file's statement), and for
the fixed-price spreads (all IVs 9 or less, or all six equal) the share priced by the
networks (status 0) and their median error. Prices are compared less the Hidden Power
addition, as the trainer measures them: the window adds the addition itself.
"""
import argparse
import csv
import json
import os
import random
import resource
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
sys.path.insert(0, os.path.join(ROOT, "data"))
import generate_market  # noqa: E402
import generate_sales  # noqa: E402

IVS = ("hp", "atk", "def", "sp_atk", "sp_def", "spd")
SPLIT_SEED = 16  # which rows of data/sales.csv are held out
SPLIT_SHARE = 0.2


def median(values):
    return statistics.median(values) if values else float("nan")


def read_rows(path):
    with open(path, newline="", encoding="utf-8") as f:
        return list(csv.DictReader(f))


def write_rows(path, fieldnames, rows):
    with open(path, "w", newline="", encoding="utf-8") as f:
        w = csv.DictWriter(f, fieldnames=fieldnames, extrasaction="ignore",
                           lineterminator="\n")
        w.writeheader()
        w.writerows(rows)


def ivs_of(row):
    return tuple(int(row[k]) for k in IVS)


def sales_rule_price(row):
    """The noise-free price of a data/sales.csv row, addition included."""
    nid, ivs = int(row["nid"]), ivs_of(row)
    price = min(generate_sales.PRICE_CAP,
                max(1000, round(generate_sales.rule_price(nid, int(row["shiny"]), ivs))))
    paying = generate_sales.SPECIES[nid][5]
    if paying is not None and generate_sales.hidden_power_type(ivs) == paying:
        price += generate_sales.hidden_power_addition(ivs)
    return price


def split_sales(path, train_path, eval_path):
    """Holds out SPLIT_SHARE of each species' rows of data/sales.csv (seeded); the held-out
    rows get their rule price."""
    rows = read_rows(path)
    rng = random.Random(SPLIT_SEED)
    by_species = {}
    for i, row in enumerate(rows):
        by_species.setdefault(row["nid"], []).append(i)
    held = set()
    for indices in by_species.values():
        order = list(indices)
        for i in range(len(order) - 1, 0, -1):
            j = int(rng.random() * (i + 1))
            order[i], order[j] = order[j], order[i]
        held.update(order[:round(SPLIT_SHARE * len(order))])
    fields = list(rows[0].keys())
    write_rows(train_path, fields, [r for i, r in enumerate(rows) if i not in held])
    evaluated = []
    for i, r in enumerate(rows):
        if i in held:
            evaluated.append(dict(r, rule_price=str(sales_rule_price(r))))
    write_rows(eval_path, fields + ["rule_price"], evaluated)


def addition_of(types, ivs):
    """The Hidden Power addition a sale of `ivs` includes for a species paying `types`."""
    if generate_sales.hidden_power_type(ivs) not in types:
        return 0
    return generate_sales.hidden_power_addition(ivs)


def paying_types(ptp, nid):
    """The types the species' file says earn the addition; without one, the built-in
    table's (for data/sales.csv's species), else none."""
    path = os.path.join(ptp, f"{nid}_species.json")
    if os.path.exists(path):
        with open(path, encoding="utf-8") as f:
            names = json.load(f).get("hidden_power_types", [])
        return {generate_market.HIDDEN_POWER_TYPES.index(n) for n in names}
    if nid in generate_sales.SPECIES and generate_sales.SPECIES[nid][5] is not None:
        return {generate_sales.SPECIES[nid][5]}
    return set()


def train(trainer, train_csv, ptp, extra, home):
    env = dict(os.environ, HOME=home, XDG_DATA_HOME=os.path.join(home, "data"),
               XDG_CONFIG_HOME=os.path.join(home, "config"))
    start, before = time.monotonic(), resource.getrusage(resource.RUSAGE_CHILDREN)
    p = subprocess.run([trainer, "--out", ptp]
                       + extra + [train_csv], capture_output=True, text=True, env=env)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    seconds = (time.monotonic() - start,
               after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime)
    if p.returncode != 0:
        sys.exit(f"orvanta-train failed ({p.returncode}):\n{p.stderr}")
    return seconds, p.stdout


def price(cli, rows, ptp, home):
    """orvanta-cli's JSON record for each row (level 50 where a row has none)."""
    env = dict(os.environ, HOME=home, XDG_DATA_HOME=os.path.join(home, "data"),
               XDG_CONFIG_HOME=os.path.join(home, "config"))
    batch = os.path.join(home, "batch.csv")
    write_rows(batch, ("shiny", "nid", "lvl") + IVS, [dict(r, lvl=r.get("lvl") or "50")
                                                       for r in rows])
    p = subprocess.run([cli, "--batch", batch,
                        "--format", "json", "--ptp-dir", ptp], capture_output=True,
                       text=True, env=env)
    if p.returncode not in (0, 1):
        sys.exit(f"orvanta-cli failed ({p.returncode}):\n{p.stderr}")
    return [json.loads(line) for line in p.stdout.splitlines()]


def tier_of(price):
    """The price tier a price belongs to, 0 to 3 (see src/model/price_tiers.hpp)."""
    for tier, scale in enumerate((120_000, 1_200_000, 120_000_000)):
        if price <= 0.9 * scale:
            return tier
    return 3


def measure(rows, results, ptp):
    """One record per evaluated sale."""
    types = {}
    records = []
    for row, result in zip(rows, results):
        nid, ivs = int(row["nid"]), ivs_of(row)
        if nid not in types:
            types[nid] = paying_types(ptp, nid)
        extra = addition_of(types[nid], ivs)
        net = int(row["price"]) - extra
        rule = int(row["rule_price"]) - extra if row.get("rule_price") else None
        r = {"nid": nid, "fixed": generate_sales.has_fixed_price(ivs), "shiny": row["shiny"],
             "tier": tier_of(rule if rule else net),
             "status": result.get("status"), "coverage": result.get("coverage"),
             "noise": abs(net - rule) / rule if rule else None}
        if r["status"] == 0:
            r["error"] = abs(result["average_prediction"] - net) / net
            if rule:
                r["off_rule"] = (result["average_prediction"] - rule) / rule
            r["inside"] = result["lowest_price"] <= net <= result["highest_price"]
            r["stated_error"] = result.get("expected_error")
            r["stated_coverage"] = result.get("range_coverage")
        records.append(r)
    return records


def summary(records):
    """The figures of a group of sales."""
    priced = [r for r in records if r["status"] == 0]
    noises = [r["noise"] for r in records if r["noise"] is not None]
    error = median([r["error"] for r in priced])
    noise = median(noises)
    stated = [r["stated_error"] for r in priced if r.get("stated_error") is not None]
    covered = [r["stated_coverage"] for r in priced if r.get("stated_coverage") is not None]
    off_rule = [r["off_rule"] for r in priced if "off_rule" in r]
    return {
        "sales": len(records),
        "priced": len(priced),
        "noise": noise,
        "error": error,
        "ratio": error / noise if noises and noise > 0 else float("nan"),
        "range": (sum(r["inside"] for r in priced) / len(priced)) if priced else float("nan"),
        "stated_error": median(stated),
        "stated_range": median(covered),
        "rule_error": median([abs(x) for x in off_rule]),
        "rule_bias": median(off_rule),
    }


def percent(x):
    return "-" if x != x else f"{100 * x:.1f}%"


def ratio(x):
    return "-" if x != x else f"{x:.2f}"


def report(records, seconds, out):
    regular = [r for r in records if not r["fixed"]]
    species = sorted({r["nid"] for r in records})
    figures = {"train_seconds": seconds[0], "train_cpu_seconds": seconds[1], "species": {}, "rating": {}, "fixed": {}}
    out.write(f"orvanta-train took {seconds[0]:.1f} s ({seconds[1]:.1f} s of processor time)\n\n")
    out.write("Sales without a fixed price: median error of the average against the market's\n"
              "noise, and the share inside the recommended range; vs rule: the median distance\n"
              "of the average from the rule price, bias: its median signed distance.\n\n")
    out.write(f"{'species':>8} {'sales':>6} {'noise':>7} {'error':>7} {'ratio':>6} "
              f"{'range':>7} {'vs rule':>8} {'bias':>7}\n")
    for nid in species + ["all"]:
        group = [r for r in regular if nid == "all" or r["nid"] == nid]
        s = summary(group)
        figures["species"][str(nid)] = s
        out.write(f"{nid:>8} {s['sales']:>6} {percent(s['noise']):>7} {percent(s['error']):>7} "
                  f"{ratio(s['ratio']):>6} {percent(s['range']):>7} "
                  f"{percent(s['rule_error']):>8} {percent(s['rule_bias']):>7}\n")
    out.write("\nBy coverage rating (all species; stated: the median of what the species files\n"
              "say for these sales):\n\n")
    out.write(f"{'rating':>8} {'sales':>6} {'noise':>7} {'error':>7} {'ratio':>6} "
              f"{'range':>7} {'stated error':>13} {'stated range':>13}\n")
    for rating in (0, 1, 2):
        s = summary([r for r in regular if r["coverage"] == rating])
        figures["rating"][str(rating)] = s
        out.write(f"{rating:>8} {s['sales']:>6} {percent(s['noise']):>7} "
                  f"{percent(s['error']):>7} {ratio(s['ratio']):>6} {percent(s['range']):>7} "
                  f"{percent(s['stated_error']):>13} {percent(s['stated_range']):>13}\n")
    cells(regular, figures, out)
    out.write("\nFixed-price spreads (all IVs 9 or less, or all six equal): the share priced by\n"
              "the networks (status 0) and their median error:\n\n")
    if not any(r["fixed"] for r in records):
        out.write("(none among these sales)\n")
        return figures
    out.write(f"{'species':>8} {'sales':>6} {'priced':>7} {'error':>7} {'noise':>7}\n")
    for nid in species + ["all"]:
        group = [r for r in records if r["fixed"] and (nid == "all" or r["nid"] == nid)]
        if not group:
            continue
        s = summary(group)
        figures["fixed"][str(nid)] = s
        out.write(f"{nid:>8} {s['sales']:>6} {percent(s['priced'] / s['sales']):>7} "
                  f"{percent(s['error']):>7} {percent(s['noise']):>7}\n")
    return figures


# How far a species file's statement for one rating may be from what that rating's sales
# show before the table marks it: the error within these factors, the share within 12 points.
STATED_ERROR_FACTORS = (0.67, 1.5)
STATED_SHARE_POINTS = 0.12
FEWEST_SALES_JUDGED = 30


def cells(regular, figures, out):
    """Each species' ratings against what its species file states for them; ratings with
    at least FEWEST_SALES_JUDGED sales are judged (E: the error, S: the share is off)."""
    out.write("\nBy species and rating: measured against stated (ratio: stated / measured error;\n"
              f"marked where {FEWEST_SALES_JUDGED}+ sales find the error outside "
              f"{STATED_ERROR_FACTORS[0]}-{STATED_ERROR_FACTORS[1]}x (E) or the share more than "
              f"{round(100 * STATED_SHARE_POINTS)} points off (S)):\n\n")
    out.write(f"{'species':>8} {'rating':>6} {'sales':>6} {'error':>7} {'stated':>7} {'ratio':>6} "
              f"{'range':>7} {'stated':>7}\n")
    judged = held = 0
    figures["cells"] = {}
    for key in sorted({(r["nid"], r["coverage"]) for r in regular if r["status"] == 0}):
        s = summary([r for r in regular if (r["nid"], r["coverage"]) == key])
        figures["cells"][f"{key[0]}/{key[1]}"] = s
        stated_ratio = s["stated_error"] / s["error"] if s["error"] > 0 else float("nan")
        marks = ""
        if s["priced"] >= FEWEST_SALES_JUDGED:
            judged += 1
            if not STATED_ERROR_FACTORS[0] <= stated_ratio <= STATED_ERROR_FACTORS[1]:
                marks += " E"
            if not abs(s["stated_range"] - s["range"]) <= STATED_SHARE_POINTS:
                marks += " S"
            held += not marks
        out.write(f"{key[0]:>8} {key[1]:>6} {s['priced']:>6} {percent(s['error']):>7} "
                  f"{percent(s['stated_error']):>7} {ratio(stated_ratio):>6} "
                  f"{percent(s['range']):>7} {percent(s['stated_range']):>7}{marks}\n")
    out.write(f"\n{held} of {judged} judged ratings hold both statements\n")


def detail(records, out):
    """The figures by species, shiny flag and price tier."""
    out.write("\nBy species, shiny flag and price tier of the rule price:\n\n")
    out.write(f"{'species':>8} {'shiny':>5} {'tier':>4} {'sales':>6} {'noise':>7} {'error':>7} "
              f"{'ratio':>6} {'vs rule':>8} {'bias':>7}\n")
    regular = [r for r in records if not r["fixed"]]
    for key in sorted({(r["nid"], r["shiny"], r["tier"]) for r in regular}):
        s = summary([r for r in regular if (r["nid"], r["shiny"], r["tier"]) == key])
        out.write(f"{key[0]:>8} {key[1]:>5} {key[2]:>4} {s['sales']:>6} {percent(s['noise']):>7} "
                  f"{percent(s['error']):>7} {ratio(s['ratio']):>6} "
                  f"{percent(s['rule_error']):>8} {percent(s['rule_bias']):>7}\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter,
                                     epilog=__doc__.split("\n\n", 1)[1])
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "default"),
                        help="the build folder whose orvanta-train and orvanta-cli to run")
    parser.add_argument("--trainer", help="orvanta-train to run (default: the build's)")
    parser.add_argument("--cli", help="orvanta-cli to run (default: the build's)")
    parser.add_argument("--trainer-arg", action="append", default=[])
    parser.add_argument("--keep", help="keep the trained files in this folder")
    parser.add_argument("--json", help="write the figures to this file")
    parser.add_argument("--detail", action="store_true",
                        help="add the figures by species, shiny flag and price tier")
    parser.add_argument("command", choices=("market", "sales", "files"))
    parser.add_argument("files", nargs="*", metavar="TRAIN.csv EVAL.csv")
    args = parser.parse_args()
    if (args.command == "files") != (len(args.files) == 2):
        parser.error("files takes TRAIN.csv and EVAL.csv; market and sales take no files")

    with tempfile.TemporaryDirectory(prefix="orvanta_measure_") as tmp:
        extra = list(args.trainer_arg)
        if args.command == "market":
            train_csv, eval_csv = os.path.join(tmp, "year.csv"), os.path.join(tmp, "hidden.csv")
            generator = os.path.join(ROOT, "data", "generate_market.py")
            for path, flags in ((train_csv, []), (eval_csv, ["--hidden"])):
                with open(path, "w", encoding="utf-8") as f:
                    subprocess.run([sys.executable, generator] + flags, stdout=f, check=True)
            extra = generate_market.trainer_options() + extra
        elif args.command == "sales":
            train_csv, eval_csv = os.path.join(tmp, "train.csv"), os.path.join(tmp, "eval.csv")
            split_sales(os.path.join(ROOT, "data", "sales.csv"), train_csv, eval_csv)
        else:
            train_csv, eval_csv = args.files
        ptp = args.keep or os.path.join(tmp, "ptp")
        trainer = args.trainer or os.path.join(args.build, "src", "train", "orvanta-train")
        cli = args.cli or os.path.join(args.build, "src", "cli", "orvanta-cli")
        seconds, _ = train(trainer, train_csv, ptp, extra, tmp)
        rows = read_rows(eval_csv)
        results = price(cli, rows, ptp, tmp)
        if len(results) != len(rows):
            sys.exit(f"orvanta-cli priced {len(results)} of {len(rows)} rows")
        records = measure(rows, results, ptp)
        figures = report(records, seconds, sys.stdout)
        if args.detail:
            detail(records, sys.stdout)
    if args.json:
        with open(args.json, "w", encoding="utf-8") as f:
            json.dump(figures, f, indent=1)


if __name__ == "__main__":
    main()

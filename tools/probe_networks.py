#!/usr/bin/python3
"""Measures a folder of networks on the probe set of data/generate_sales.py: high-IV
spreads (every IV 25 to 31), plain and shiny, priced by the illustrative rule without
the seller's variation. The held-out table of orvanta-train measures the networks where
the sales are; this measures them where sellers ask most, through orvanta-cli exactly
as the window prices.

Usage: probe_networks.py ORVANTA_CLI [--ptp-dir DIR] [--max-median PERCENT]

Prints, per species and shiny flag, the median and 90th percentile of the absolute
percentage error of the average price, and the median ratio of the highest to the
lowest of the three networks' prices (1.00 when they agree). With --max-median it exits
1 when any species' median error is above PERCENT.
"""
import argparse
import json
import os
import statistics
import subprocess
import sys

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
GENERATOR = os.path.join(ROOT, "data", "generate_sales.py")


def percentile(values, fraction):
    """The value below which `fraction` of the sorted values lie (nearest rank)."""
    ordered = sorted(values)
    rank = max(1, -(-len(ordered) * fraction // 1))  # ceil, at least the first
    return ordered[int(rank) - 1]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("cli", help="the orvanta-cli binary")
    parser.add_argument("--ptp-dir", default=os.path.join(ROOT, "share", "orvanta", "ptp"))
    parser.add_argument("--max-median", type=float, default=None)
    args = parser.parse_args()

    probe = subprocess.run([sys.executable, GENERATOR, "--probe"], check=True,
                           capture_output=True, text=True).stdout
    rows = [line.split(",") for line in probe.splitlines()[1:]]
    priced = subprocess.run([args.cli, "--batch", "-", "--format", "json", "--ptp-dir",
                             args.ptp_dir], input=probe, capture_output=True, text=True)
    results = [json.loads(line) for line in priced.stdout.splitlines()]
    if priced.returncode != 0 or len(results) != len(rows):
        sys.exit(f"orvanta-cli failed ({priced.returncode}): {priced.stderr.strip()}")

    groups = {}  # (nid, shiny) -> [(error %, max/min of the three)]
    for row, result in zip(rows, results):
        if result.get("status") != 0:
            sys.exit(f"probe row {result.get('row')}: status {result.get('status')}")
        nid, shiny, price = int(row[0]), int(row[1]), int(row[-1])
        three = [result["first_prediction"], result["second_prediction"],
                 result["third_prediction"]]
        error = abs(result["average_prediction"] - price) / price * 100.0
        spread = max(three) / max(1, min(three))
        groups.setdefault((nid, shiny), []).append((error, spread))

    print("Probe: spreads with every IV 25 to 31, priced by the rule without the seller's")
    print("variation. Error of the average price (%); agreement: highest / lowest of the")
    print("three networks (median).\n")
    print(f"{'species':>7} {'shiny':>5} {'spreads':>7} {'median':>7} {'p90':>7} "
          f"{'agreement':>9}")
    failed = []
    for flag in (0, 1):
        for (nid, shiny), values in sorted(groups.items()):
            if shiny != flag:
                continue
            errors = [e for e, _ in values]
            spreads = [s for _, s in values]
            median = statistics.median(errors)
            print(f"{nid:>7} {shiny:>5} {len(values):>7} {median:>6.1f}% "
                  f"{percentile(errors, 0.9):>6.1f}% {statistics.median(spreads):>9.2f}")
            if args.max_median is not None and median > args.max_median:
                failed.append(f"{nid} shiny {shiny}: median {median:.1f}%")
        every = [e for (_, s), values in groups.items() if s == flag for e, _ in values]
        agree = [a for (_, s), values in groups.items() if s == flag for _, a in values]
        print(f"{'all':>7} {flag:>5} {len(every):>7} {statistics.median(every):>6.1f}% "
              f"{percentile(every, 0.9):>6.1f}% {statistics.median(agree):>9.2f}")
    if failed:
        sys.exit("median error above " + str(args.max_median) + "%: " + "; ".join(failed))


if __name__ == "__main__":
    main()

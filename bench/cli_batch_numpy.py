#!/usr/bin/python3
"""orvanta-cli --batch beside what a Python user would write for a big batch: read the CSV
once, load each species' three networks once, run the forward passes with NumPy over all
rows of a species at once, and print a JSON line per row.

Usage:
  cli_batch_numpy.py setup DIR [ROWS]   random 8-16-16-4 networks of the seven priced
                                        species in DIR/ptp and DIR/batch.csv (100,000 rows)
  cli_batch_numpy.py numpy DIR          the NumPy pipeline: JSON Lines on standard output
  cli_batch_numpy.py compare ORVANTA_CLI DIR [RUNS]
      checks that both give the same prices on every row, then times both (CSV in, JSON
      Lines out to /dev/null, whole processes, interleaved runs) and prints the medians and
      their ratio.
"""
import json
import os
import statistics
import subprocess
import sys
import tempfile
import time

import numpy as np

SPECIES = [58, 59, 120, 121, 123, 133, 212]
INPUTS, NODES, LAYERS, OUTPUTS = 8, 16, 2, 4
COLUMNS = ["shiny", "nid", "lvl", "hp", "atk", "def", "sp_atk", "sp_def", "spd"]
# (scale, output line) of the four price tiers, lowest first.
TIERS = [(120000.0, 0), (1200000.0, 1), (120000000.0, 2), (1200000000.0, 3)]
PRICES = ["first_prediction", "second_prediction", "third_prediction", "average_prediction",
          "lowest_price", "highest_price"]


# *** The networks and the batch file

def write_network(path, rng):
    """A random network in the model file format: header, hidden weights, hidden biases,
    output weights, output bias, each number as "%lf "."""
    shapes = [(NODES, INPUTS)] + [(NODES, NODES)] * (LAYERS - 1) + [(NODES, 1)] * LAYERS + \
             [(OUTPUTS, NODES), (OUTPUTS, 1)]
    lines = ["number_of_inputs %d" % INPUTS, "number_of_hidden_layers_nodes %d" % NODES,
             "number_of_outputs %d" % OUTPUTS, "number_of_hidden_layers %d" % LAYERS,
             "learning_rate  0.100000"]
    for shape in shapes:
        lines.append("")
        for row in rng.uniform(-2.0, 2.0, shape):
            lines.append("".join("%f " % v for v in row))
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")


def setup(folder, rows):
    rng = np.random.default_rng(20240607)
    ptp = os.path.join(folder, "ptp")
    os.makedirs(ptp, exist_ok=True)
    for nid in SPECIES:
        for k in (1, 2, 3):
            write_network(os.path.join(ptp, "%d_m%d.tp" % (nid, k)), rng)
    table = np.column_stack([rng.integers(0, 2, rows), rng.choice(SPECIES, rows),
                             rng.integers(1, 101, rows)] +
                            [rng.integers(10, 32, rows) for _ in range(6)])
    with open(os.path.join(folder, "batch.csv"), "w") as f:
        f.write(",".join(COLUMNS) + "\n")
        f.write("\n".join(",".join(map(str, r)) for r in table.tolist()) + "\n")


# *** The NumPy pipeline

def load_network(path):
    with open(path) as f:
        tokens = f.read().split()
    values = np.array(tokens[10:], dtype=float)
    inputs, nodes, outputs, layers = (int(tokens[i]) for i in (1, 3, 5, 7))
    shapes = [(nodes, inputs)] + [(nodes, nodes)] * (layers - 1) + [(nodes, 1)] * layers + \
             [(outputs, nodes), (outputs, 1)]
    matrices, at = [], 0
    for lines, columns in shapes:
        matrices.append(values[at:at + lines * columns].reshape(lines, columns))
        at += lines * columns
    weights = matrices[:layers] + [matrices[2 * layers]]
    biases = matrices[layers:2 * layers] + [matrices[2 * layers + 1]]
    return list(zip(weights, biases))


def forward(network, x):
    """All rows at once: x is rows x inputs, the result rows x outputs."""
    for w, b in network:
        x = 1.0 / (1.0 + np.exp(-(x @ w.T + b.T)))
    return x


def price_rows(ptp, table):
    """Status and the six prices of every row (prices 0 where no prediction ran)."""
    rows = len(table)
    shiny, nid, lvl, ivs = table[:, 0], table[:, 1], table[:, 2], table[:, 3:9]
    status = np.zeros(rows, dtype=np.int64)
    fixed = (ivs <= 9).all(axis=1) | (ivs == ivs[:, :1]).all(axis=1)
    # Later checks are assigned first, so the earlier ones win: species, level, IVs.
    status[fixed] = 5
    status[((ivs > 32) | (ivs < 0)).any(axis=1)] = 4
    status[(lvl > 100) | (lvl < 0)] = 3
    status[~np.isin(nid, SPECIES)] = 2
    prices = np.zeros((rows, 6), dtype=np.uint64)
    x = np.zeros((rows, INPUTS))
    x[:, 0] = shiny
    x[:, 1:7] = ivs / 31.0
    for species in SPECIES:
        chosen = np.nonzero((nid == species) & (status == 0))[0]
        if len(chosen) == 0:
            continue
        outs = [forward(load_network(os.path.join(ptp, "%d_m%d.tp" % (species, k))), x[chosen])
                for k in (1, 2, 3)]
        lifted = [(outs[0][:, r] > 0.9) | (outs[1][:, r] > 0.9) | (outs[2][:, r] > 0.9)
                  for r in range(3)]
        tier = np.where(lifted[0], np.where(lifted[1], np.where(lifted[2], 3, 2), 1), 0)
        scale = np.array([t[0] for t in TIERS])[tier]
        three = [np.floor(scale * o[np.arange(len(chosen)), tier]).astype(np.uint64)
                 for o in outs]
        average = (three[0] + three[1] + three[2]) // 3
        avg = average.astype(float)
        lowest = np.floor(avg - avg * 0.1).astype(np.uint64)
        highest = np.floor(avg * 0.1 + avg).astype(np.uint64)
        prices[chosen] = np.column_stack(three + [average, lowest, highest])
    return status, prices


def run_numpy(folder):
    path = os.path.join(folder, "batch.csv")
    with open(path) as f:
        header = [name.strip().lower() for name in f.readline().split(",")]
    order = [header.index(c) for c in COLUMNS]
    table = np.loadtxt(path, delimiter=",", skiprows=1, dtype=np.int64, ndmin=2)[:, order]
    status, prices = price_rows(os.path.join(folder, "ptp"), table)
    out = sys.stdout
    for row, (s, p) in enumerate(zip(status.tolist(), prices.tolist()), start=1):
        record = {"row": row, "status": s}
        record.update(zip(PRICES, p))
        out.write(json.dumps(record, separators=(",", ":")) + "\n")


# *** Side by side

def commands(binary, folder):
    batch = os.path.join(folder, "batch.csv")
    return {
        "orvanta-cli": [binary, "--batch", batch, "--format", "json", "--ptp-dir",
                        os.path.join(folder, "ptp")],
        "numpy": [sys.executable, os.path.abspath(__file__), "numpy", folder],
    }


def check_same_prices(cmds, env):
    outputs = {}
    for name, cmd in cmds.items():
        p = subprocess.run(cmd, capture_output=True, env=env, check=True)
        outputs[name] = [json.loads(line) for line in p.stdout.splitlines()]
    ours, theirs = outputs["orvanta-cli"], outputs["numpy"]
    if len(ours) != len(theirs):
        sys.exit("different row counts: %d and %d" % (len(ours), len(theirs)))
    differing = [a["row"] for a, b in zip(ours, theirs)
                 if a["row"] != b["row"] or a["status"] != b["status"] or
                 (a["status"] == 0 and any(a[k] != b[k] for k in PRICES))]
    if differing:
        sys.exit("%d rows differ, the first: %s" % (len(differing), differing[:5]))
    priced = sum(1 for a in ours if a["status"] == 0)
    print("same status and prices on all %d rows (%d priced by the networks)"
          % (len(ours), priced))
    return len(ours)


def compare(binary, folder, runs):
    # Nothing from the machine's own folders may take part.
    with tempfile.TemporaryDirectory() as home:
        env = dict(os.environ, HOME=home, XDG_DATA_HOME=os.path.join(home, "share"))
        cmds = commands(binary, folder)
        rows = check_same_prices(cmds, env)
        times = {name: [] for name in cmds}
        for _ in range(runs):
            for name, cmd in cmds.items():
                start = time.perf_counter()
                subprocess.run(cmd, stdout=subprocess.DEVNULL, env=env, check=True)
                times[name].append(time.perf_counter() - start)
    medians = {name: statistics.median(t) for name, t in times.items()}
    for name, t in times.items():
        print("%-12s median %.3f s (%s), %.0f rows/s"
              % (name, medians[name], ", ".join("%.3f" % v for v in t), rows / medians[name]))
    print("NumPy / orvanta-cli = %.2f" % (medians["numpy"] / medians["orvanta-cli"]))


def main():
    if len(sys.argv) >= 3 and sys.argv[1] == "setup":
        setup(sys.argv[2], int(sys.argv[3]) if len(sys.argv) > 3 else 100000)
    elif len(sys.argv) == 3 and sys.argv[1] == "numpy":
        run_numpy(sys.argv[2])
    elif len(sys.argv) >= 4 and sys.argv[1] == "compare":
        compare(os.path.abspath(sys.argv[2]), sys.argv[3],
                int(sys.argv[4]) if len(sys.argv) > 4 else 3)
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main()

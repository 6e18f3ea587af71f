#!/usr/bin/python3
"""The 8-16-4 forward pass and training step in NumPy, as a side-by-side reference for
bench_core (BM_Predict, BM_Train).

Usage: reference_numpy.py [bench_core.json]
With the JSON output of bench_core, also prints how many times faster the C++ code is.
"""
import json
import sys
import timeit

import numpy as np

INPUTS, NODES, OUTPUTS, LR = 8, 16, 4, 0.1

rng = np.random.default_rng(7)
W0 = rng.uniform(-1, 1, (NODES, INPUTS))
b0 = np.zeros((NODES, 1))
Wo = rng.uniform(-1, 1, (OUTPUTS, NODES))
bo = np.zeros((OUTPUTS, 1))
x = rng.uniform(0, 1, (INPUTS, 1))
answer = rng.uniform(0, 1, (OUTPUTS, 1))


def sigmoid(v):
    return 1.0 / (1.0 + np.exp(-v))


def predict():
    return sigmoid(Wo @ sigmoid(W0 @ x + b0) + bo)


def train():
    """One back-propagation step; the hidden error goes through the updated Wo."""
    global W0, b0, Wo, bo
    a = sigmoid(W0 @ x + b0)
    y = sigmoid(Wo @ a + bo)
    eo = answer - y
    go = (1.0 - y) * y * eo * LR
    Wo += go @ a.T
    bo += go
    e = Wo.T @ eo
    g = (1.0 - a) * a * e * LR
    W0 += g @ x.T
    b0 += g


def time_ns(fn):
    loops = 20000
    best = min(timeit.repeat(fn, number=loops, repeat=5))
    return best / loops * 1e9


def main():
    results = {"predict": time_ns(predict), "train": time_ns(train)}
    print("NumPy %s reference, 8-16-4 network, one hidden layer" % np.__version__)
    print("  forward pass   %9.0f ns" % results["predict"])
    print("  training step  %9.0f ns" % results["train"])
    if len(sys.argv) > 1:
        with open(sys.argv[1]) as f:
            core = {b["name"]: b for b in json.load(f)["benchmarks"]}
        print("C++ (bench_core, CPU time) against NumPy")
        for name, key in (("BM_Predict", "predict"), ("BM_Train", "train")):
            bench = core.get(name + "_median", core.get(name))
            scale = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}[bench.get("time_unit", "ns")]
            cpp = bench["cpu_time"] * scale
            print("  %-10s C++ %7.0f ns   NumPy %7.0f ns   NumPy / C++ = %.1f"
                  % (key, cpp, results[key], results[key] / cpp))


if __name__ == "__main__":
    main()

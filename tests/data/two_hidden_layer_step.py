#!/usr/bin/python3
"""Reference values for the two-hidden-layer training step in perceptron_train_test.cpp.

Written from the back-propagation formulas with plain Python floats (IEEE doubles, no
fused operations) in the same summation order as the matrix product: every sum starts at
0.0 and runs over k upward. Prints the network after one step with %.17g.
"""
import math

x = [0.25, -0.5, 1.0]
answer = [0.9, 0.1]
lr = 0.3
W0 = [[0.1, -0.2, 0.3], [0.4, 0.5, -0.6]]
b0 = [0.05, -0.05]
W1 = [[0.7, -0.8], [0.9, 0.15]]
b1 = [0.02, 0.03]
Wo = [[-0.35, 0.45], [0.55, -0.65]]
bo = [0.01, -0.01]


def sig(v):
    return 1.0 / (1.0 + math.exp(-v))


def layer(W, b, v):
    out = []
    for i in range(len(W)):
        s = 0.0
        for k in range(len(v)):
            s = s + W[i][k] * v[k]
        out.append(sig(s + b[i]))
    return out


def update(W, b, err, act, inp):
    grad = [((1.0 - act[i]) * act[i]) * err[i] * lr for i in range(len(act))]
    for i in range(len(W)):
        for j in range(len(inp)):
            W[i][j] = W[i][j] + (0.0 + grad[i] * inp[j])
        b[i] = b[i] + grad[i]


def back(W, err):  # W transposed times the error
    out = []
    for i in range(len(W[0])):
        s = 0.0
        for k in range(len(W)):
            s = s + W[k][i] * err[k]
        out.append(s)
    return out


a0 = layer(W0, b0, x)
a1 = layer(W1, b1, a0)
y = layer(Wo, bo, a1)
eo = [answer[i] - y[i] for i in range(len(y))]
update(Wo, bo, eo, y, a1)
e1 = back(Wo, eo)  # through the output weights just updated
update(W1, b1, e1, a1, a0)
e0 = back(W1, e1)  # through the hidden weights just updated
update(W0, b0, e0, a0, x)

for name, m in (("W0", W0), ("W1", W1), ("Wo", Wo)):
    print(name, ", ".join("%.17g" % v for row in m for v in row))
for name, v in (("b0", b0), ("b1", b1), ("bo", bo)):
    print(name, ", ".join("%.17g" % e for e in v))

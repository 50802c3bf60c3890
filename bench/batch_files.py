#!/usr/bin/env python3
"""Writes the data files of the batch benchmarks into the current folder, the same bytes
on every run (fixed seed):
    t1.crv    10,000 datasets of 20 points of the T1 example's model (Mo 100, W 1.9,
              T1 450) with noise 1, fitted with the example's command line
    melt.crv  200 datasets of 1500 points of a melting curve (model 13), as velquin_bench's
              1500-point fit
    tiny.crv  1,000,000 datasets of two points
Usage: batch_files.py [NAME ...]   (default: all three)"""
import math
import os
import random
import sys


def t1(f):
    for d in range(1, 10001):
        f.write("%d\n" % d)
        for i in range(20):
            x = 10 + i * 118.5
            f.write("%g %.4f\n" % (x, 100 * (1 - 1.9 * math.exp(-x / 450)) + random.gauss(0, 1)))


def melt_value(x, p):
    t = x + 273.15
    a = t * (p[5] * math.log(t / p[6]) + p[4] / p[6]) - (p[5] * (t - p[6]) + p[4])
    k = math.exp(a / 0.001987 / t)
    fu = k / (k + 1)
    return (1 - fu) * (p[0] - p[1] * x) + fu * (p[2] - p[3] * x)


def melt(f):
    truth = (1.0, 0.002, 0.2, 0.001, 100.0, 1.5, 330.0)
    for d in range(1, 201):
        f.write("%d\n" % d)
        for i in range(1500):
            x = 20 + 75 * i / 1499
            f.write("%.5f %.6f\n" % (x, melt_value(x, truth) + random.gauss(0, 0.005)))


def tiny(f):
    for d in range(1, 1000001):
        f.write("%d\n0 1\n1 3\n" % d)


# Written in this order from one seed, a file not wanted to /dev/null when a later one needs
# the random numbers it takes, so that each file is the same whichever others are written.
wanted = sys.argv[1:] or ["t1.crv", "melt.crv", "tiny.crv"]
random.seed(7)
for name, write in [("t1.crv", t1), ("melt.crv", melt)]:
    with open(name if name in wanted else os.devnull, "w") as f:
        write(f)
if "tiny.crv" in wanted:
    with open("tiny.crv", "w") as f:
        tiny(f)

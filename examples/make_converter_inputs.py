#!/usr/bin/env python3
"""Writes the sample inputs of the converters, melt.zarn, titration-table.col and relax.qv:
synthetic curves from known parameters plus Gaussian noise, with a fixed seed so that every
run writes the same files."""
import math
import os
import random

HERE = os.path.dirname(os.path.abspath(__file__))
rng = random.Random(20240611)


def sigmoid(x, a0, a1, a2, a3):
    return a1 / (math.exp(-(x - a2) / a3) + 1.0) + a0


def titration(ph, pka, sa, sah, hc):
    h = 10.0 ** (-ph * hc)
    k = 10.0 ** (-pka * hc)
    return h / (h + k) * (sah - sa) + sa


def write(name, text):
    with open(os.path.join(HERE, name), "w", newline="\n") as f:
        f.write(text)


def melt():
    first_x, span, n = 20.0, 70.0, 71
    ys = [sigmoid(first_x + i * span / (n - 1), 0.200, 0.350, 55.0, 4.0) + rng.gauss(0, 0.002)
          for i in range(n)]
    lines = [
        "# Melting curve: absorbance at 260 nm from 20 to 90 degrees, one value a degree.",
        "# Synthetic data: sigmoid (velquin model 11) with A0 = 0.2, A1 = 0.35, A2 = 55, A3 = 4,",
        "# plus Gaussian noise of standard deviation 0.002.",
        "# Convert: zarn2crv melt.zarn melt.crv",
        "# Fit:     velquin 0 0 melt.crv melt.res melt.log 11 500 0.1 0.5 50 5",
        "# The values run from 90 degrees down to 20.",
        "%d points" % n,
        "%.1f %.1f" % (first_x, span),
    ]
    lines += ["%.4f" % y for y in reversed(ys)]
    write("melt.zarn", "\n".join(lines) + "\n")


def titration_table():
    phs = [3.0 + 0.25 * i for i in range(21)]
    rows = [(1, 5.2, 8.10, 8.65), (2, 6.4, 7.20, 7.85), (3, 4.1, 8.40, 8.95)]
    lines = [
        "# Chemical shift (ppm) of three residues against pH, one row each.",
        "# Synthetic data: pH titration (velquin model 9), Hill coefficient 1, plus Gaussian",
        "# noise of standard deviation 0.005. pKa, Sa, Sah: row 1 5.2 8.10 8.65;",
        "# row 2 6.4 7.20 7.85 (one value missing); row 3 4.1 8.40 8.95.",
        "# Convert: colcrv titration-table.col titration.crv",
        "# Fit row 2: velquin 0 2 titration.crv titration.res titration.log 9 500 6 7 8 =1",
        " ".join("%.2f" % ph for ph in phs),
    ]
    for rid, pka, sa, sah in rows:
        words = [str(rid)]
        for j, ph in enumerate(phs):
            if rid == 2 and j == 9:
                words.append("#")
            else:
                words.append("%.3f" % (titration(ph, pka, sa, sah, 1.0) + rng.gauss(0, 0.005)))
        lines.append(" ".join(words))
    write("titration-table.col", "\n".join(lines) + "\n")


def relax():
    sets = [(1, 1000.0, 80.0), (2, 850.0, 45.0)]
    lines = [
        "# T2 relaxation: signal against echo time (ms) of two samples, ids 1 and 2.",
        "# Synthetic data: T2 relaxation (velquin model 5), id 1 Mo = 1000, T2 = 80;",
        "# id 2 Mo = 850, T2 = 45; plus Gaussian noise of standard deviation 5.",
        "# Convert: qv2crv relax.qv relax.crv",
        "# Fit id 1: velquin 0 1 relax.crv relax.res relax.log 5 500 900 60",
    ]
    for rid, mo, t2 in sets:
        for i in range(16):
            x = 10.0 + 20.0 * i
            lines.append("%d %.1f %.2f" % (rid, x, mo * math.exp(-x / t2) + rng.gauss(0, 5.0)))
    write("relax.qv", "\n".join(lines) + "\n")


melt()
titration_table()
relax()

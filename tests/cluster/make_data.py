#!/usr/bin/env python3
"""Curve data files for the recipe tests, the same for the same arguments.

make_data.py t1 FILE COUNT SEED: COUNT T1 relaxations of 20 points (Mo 100, W 1.9, T1 near
  450, noise 1), ids with gaps of 1 to 9, one id repeated later with other data (only its
  first dataset is read), one dataset with a line of text (refused).
make_data.py ph FILE COUNT SEED: COUNT pH titrations of 21 points (pKa near 6.4, Sa 8.35,
  Sah 8.95, Hill coefficient 1, noise 0.006), ids 1 to COUNT.
"""
import math
import random
import sys

kind, path, count, seed = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
rng = random.Random(seed)
with open(path, "w") as f:
    if kind == "t1":
        ids = []
        next_id = 1
        for _ in range(count):
            ids.append(next_id)
            next_id += rng.randint(1, 9)
        for n, d in enumerate(ids):
            f.write("%d\n" % d)
            t1 = 450 * (1 + 0.2 * rng.random())
            for i in range(20):
                x = 10 + i * 118.5
                f.write("%g %.4f\n" % (x, 100 * (1 - 1.9 * math.exp(-x / t1)) + rng.gauss(0, 1)))
            if n == count // 3:
                f.write("not a number\n")
            if n == count // 2:
                f.write("%d\n10 5\n20 6\n" % ids[count // 4])
    else:
        for d in range(1, count + 1):
            f.write("%d\n" % d)
            pka = 6.4 + 0.5 * (rng.random() - 0.5)
            for i in range(21):
                x = 4 + 0.2 * i
                a, b = 10 ** -x, 10 ** -pka
                f.write("%g %.5f\n" % (x, a / (a + b) * (8.95 - 8.35) + 8.35 + rng.gauss(0, 0.006)))

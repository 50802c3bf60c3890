#!/usr/bin/env python3
"""Runs two velquin binaries on the same random fits and compares every byte they leave:
exit status, standard output, results file and log file. For a change that must not
alter any output, such as a faster engine: build the old and the new program, then
    tests/compare_builds.py OLD_VELQUIN NEW_VELQUIN [COUNT [SEED]]
Each fit has a random model (0 to 28), dataset, starting values (some held, some 0, nan,
inf, huge, tiny or the unset marker) and iteration limit; most datasets follow the model
near known parameters plus noise, so that most fits take many iterations. Prints each
case that differs and a count; the exit status is 1 on any difference."""
import math
import os
import random
import shutil
import subprocess
import sys
import tempfile

PI = 3.14159265

# The models roughly as the program computes them: only to make data that the fits can
# follow, so neither the order of operations nor the last bits matter here.
def exp(v):
    return math.exp(min(v, 700.0))

def melt(x, p, f):
    return (1 - f) * (p[0] - p[1] * x) + f * (p[2] - p[3] * x)

def trimer(x, p):
    q = exp((x * p[5] - p[4]) / p[7]) / (3 * p[6] * p[6])
    s = math.sqrt(q * q * (q / 27 + 0.25))
    return (q / 2 + s) ** (1 / 3) - abs(q / 2 - s) ** (1 / 3)

def heat_cap(x, p, c2, dimer_trimer):
    tm = p[6]
    da, db, dc = p[4] - p[1], p[3] - p[0], p[2] - c2
    n = x * x * c2 + x * p[0] + p[1]
    e1 = dc / 3 * (x ** 3 - tm ** 3) + da * (x - tm) + db / 2 * (x * x - tm * tm)
    e2 = (x * x - tm * tm) * dc / 2 + da * math.log(x / tm) + (x - tm) * db
    h = e1 + p[5]
    f = 1 / (1 + exp(-(x * (e2 + p[5] / tm) - h) / (x * 0.008314)))
    return n + e1 * f + dimer_trimer * f * (1 - f) * h * h / (0.008314 * x * x)

def model(m, x, x2, p):
    lor = lambda v, w: w / (4 * PI * PI * (x - v) ** 2 * w * w + 1)
    gau = lambda v, w: exp(-0.5 * ((x - v) / w) ** 2) / (2 * PI * w)
    dis = lambda v, w: 2 * PI * w * w * (x - v) / (4 * PI * PI * (x - v) ** 2 * w * w + 1)
    fm = lambda: (math.sqrt(p[0] * (8 * x + p[0])) - p[0]) / (4 * x)
    cos_from_60 = lambda: math.cos(abs(x - 60) * PI / 180)
    t = x + 273.15
    return [
        lambda: p[0] * x + p[1],
        lambda: p[0] * x * x + p[1] * x + p[2],
        lambda: p[0] * x ** 3 + p[1] * x * x + p[2] * x + p[3],
        lambda: p[0] * exp(p[1] * x) + p[2],
        lambda: p[0] * (1 - p[1] * exp(-x / p[2])),
        lambda: p[0] * exp(-x / p[1]),
        lambda: p[1] + (p[2] - p[1]) * fm(),
        lambda: fm() * p[2] + (1 - fm()) * p[1] + fm() * (1 - fm()) / 2 * p[3] * p[4],
        lambda: p[0] * exp(-x / p[1]) + p[2] * exp(-x / p[3]),
        lambda: p[1] + (p[2] - p[1]) / (1 + 10 ** ((x - p[0]) * p[3])),
        lambda: cos_from_60() ** 2 * p[0] - cos_from_60() * p[1] + p[2],
        lambda: p[1] / (exp(-(x - p[2]) / p[3]) + 1) + p[0],
        lambda: p[0] * exp(p[1] * p[2] * (x - p[3])),
        lambda: melt(x, p, 1 / (1 + exp((p[5] * (t - p[6]) + p[4] - t * (p[5] * math.log(t / p[6]) + p[4] / p[6])) / (0.001987 * t)))),
        lambda: melt(x, p, 0.5),
        lambda: p[0] * ((x + x2 + p[1]) - math.sqrt((x + x2 + p[1]) ** 2 - 4 * x * x2)) / (2 * x2),
        lambda: p[0] * x / (x + x2),
        lambda: -p[4] * (lor(p[0], p[1]) - p[5] * lor(p[2], p[3])),
        lambda: (gau(p[0], p[1]) + p[5] * gau(p[2], p[3])) * p[4],
        lambda: (dis(p[0], p[1]) - p[5] * dis(p[2], p[3])) * p[4],
        lambda: melt(x, p, trimer(x, p)),
        lambda: (1 - trimer(x, p)) * p[2] + p[3] / (1 + exp((x * p[1] - p[0]) / p[7])),
        lambda: heat_cap(x, p, p[7], 1),
        lambda: heat_cap(x, p, p[8], 4) + 0.5 * ((x * x * p[2] + x * p[3] + p[4]) - (x * x * p[8] + x * p[0] + p[1])),
        lambda: heat_cap(x, p, p[8], 3) + 0.5 * ((x * x * p[2] + x * p[3] + p[4]) - (x * x * p[8] + x * p[0] + p[1])),
        lambda: (x * p[3] + p[2]) + (x * p[1] + p[0] - x * p[3] - p[2]) / (1 + exp((x * p[5] + p[4]) / (p[7] * 8.314))),
        lambda: p[0] * (1 - exp(-x / p[1])) + p[2] * (1 - exp(-x / p[3])),
        lambda: p[0] + p[1] * math.cos(2 * x) + p[2] * math.sin(2 * x),
        lambda: p[0] * math.cos(p[1] * abs(x - 60) * PI / 180 + p[2]) + p[3],
    ][m]()

# Per model: x range, x2, and parameters where the model has finite values throughout.
DOMAINS = [
    (0, 10, 0, [2, 1]), (0, 10, 0, [0.5, -2, 3]), (-5, 5, 0, [0.1, -0.5, 2, 1]),
    (0, 10, 0, [5, -0.3, 1]), (10, 2255, 0, [100, 1.9, 450]), (1, 300, 0, [100, 80]),
    (0.05, 5, 0, [0.5, 30, 10]), (0.05, 5, 0, [0.5, 30, 10, 0.001, 1e4]),
    (1, 500, 0, [60, 20, 40, 200]), (4.5, 8.5, 0, [6.5, 8, 8.6, 1]), (0, 180, 0, [1, 0.5, 0.2]),
    (20, 80, 0, [1, 10, 50, 5]), (0, 10, 0, [2, 0.1, 0.5, 5, 0.01]),
    (20, 95, 0, [1, 0.002, 0.2, 0.001, 100, 1.5, 330]),
    (20, 95, 0, [1, 0.002, 0.2, 0.001, 100, 1.5, 330, 1e-5]), (0.01, 5, 1, [0.5, 0.1]),
    (0.05, 5, 1, [0.3, 0.1, 0.6, 1]), (80, 130, 0, [100, 0.05, 110, 0.05, 1, 0.5]),
    (80, 130, 0, [100, 3, 110, 3, 1, 0.5]), (80, 130, 0, [100, 0.05, 110, 0.05, 1, 0.5]),
    (0, 8, 0, [1, 0.01, 0.1, 0.01, 10, 3, 1, 0.593]),
    (0, 8, 0, [15, 4, 1, 0.5, 10, 3, 1, 0.593]),
    (300, 360, 0, [0.05, 20, -1e-4, 0.05, 25, 400, 330, -1e-4]),
    (320, 340, 0, [0.05, 20, -1e-4, 0.05, 25, 400, 330, 0.5, -1e-4]),
    (300, 360, 0, [2e-5, 0.01, -1e-7, 2e-5, 0.015, 0, 330, 0.3, -1e-7]),
    (0, 8, 0, [1, 0.01, 0.1, 0.01, 20000, -5000, 1e-3, 298]),
    (1, 500, 0, [60, 20, 40, 200]), (0, 3.14159, 0, [1, 0.5, 0.3]),
    (0, 180, 0, [1, 2, 0.3, 0.1]),
]
SPECIAL = ["0", "-0", "nan", "inf", "-inf", "1e308", "-1e308", "1e-310", "-2147483648", "1e-300"]

def case(rng):
    m = rng.randrange(29)
    lo, hi, x2, truth = DOMAINS[m]
    n = rng.choice([2, 3, 5, 12, 20, 40, 80, 200]) if rng.random() < 0.97 else 1500
    noise = rng.choice([0, 1e-4, 1e-2, 0.1])
    rows = []
    for i in range(n):
        x = lo + (hi - lo) * (i + rng.random() * 0.5) / n
        t = x2 * rng.uniform(0.5, 2) if x2 else 0
        try:
            y = model(m, x, t, truth)
            y += noise * (abs(y) + 1e-3) * rng.gauss(0, 1)
        except (ValueError, ZeroDivisionError, OverflowError):
            y = rng.uniform(-1, 1)
        if rng.random() < 0.01:
            y = rng.choice([0.0, 1e300, -1e-300])
        rows.append((x, y, t) if x2 else (x, y))
    parms = []
    for v in truth:
        r = rng.random()
        if r < 0.03:
            s = rng.choice(SPECIAL)
        elif r < 0.06:
            s = "%g" % rng.uniform(-10, 10)
        else:
            s = "%.17g" % (v * (1 + rng.gauss(0, 0.03)) + rng.gauss(0, 1e-6))
        parms.append(("=" if rng.random() < 0.2 else "") + s)
    if rng.random() < 0.1:
        parms = parms[:rng.randrange(len(parms) + 1)]
    limit = rng.choice([0, 1, 3, 20, 200] + [3000] * 10 + [-1])
    offset = "0" if rng.random() < 0.9 else "%g" % rng.uniform(-5, 5)
    return m, rows, [offset, "0", "data.crv", "fit.res", "fit.log", str(m), str(limit)] + parms

def run(binary, work, rows, args):
    shutil.rmtree(work, ignore_errors=True)
    os.mkdir(work)
    with open(os.path.join(work, "data.crv"), "w") as f:
        for row in rows:
            f.write(" ".join("%.17g" % v for v in row) + "\n")
    p = subprocess.run([binary] + args, cwd=work, stdin=subprocess.DEVNULL,
                       capture_output=True, timeout=120)
    files = {}
    for name in sorted(os.listdir(work)):
        with open(os.path.join(work, name), "rb") as f:
            files[name] = f.read()
    return p.returncode, p.stdout, p.stderr, files

def main():
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    old, new = (os.path.abspath(b) for b in sys.argv[1:3])
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 2000
    rng = random.Random(int(sys.argv[4]) if len(sys.argv) > 4 else 1)
    tmp = tempfile.mkdtemp(prefix="compare-builds.")
    differ = 0
    fitted = 0
    try:
        for i in range(count):
            m, rows, args = case(rng)
            a = run(old, os.path.join(tmp, "old"), rows, args)
            b = run(new, os.path.join(tmp, "new"), rows, args)
            fitted += a[0] == 0
            if a != b:
                differ += 1
                print("case %d differs: velquin %s" % (i, " ".join(args)))
    finally:
        shutil.rmtree(tmp)
    print("%d cases, %d fits succeeded, %d differ" % (count, fitted, differ))
    sys.exit(1 if differ else 0)

main()

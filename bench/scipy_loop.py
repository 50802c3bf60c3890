#!/usr/bin/env python3
"""A short scipy loop over the datasets of a curve data file, as a user would write it
instead of velbatch: curve_fit of the T1 relaxation model Mo*(1 - W*exp(-x/T1)) with W
held at 1.9, from Mo 80 and T1 300, as the T1 example's command line fits it. The file is
read first; only the loop of fits is timed. Prints the fits, how many converged, the
seconds and the fits per second.
Usage: scipy_loop.py FILE"""
import sys
import time
import warnings

import numpy as np
from scipy.optimize import curve_fit

W = 1.9


def t1_relaxation(x, mo, t1):
    return mo * (1.0 - W * np.exp(-x / t1))


def datasets(path):
    """The points of each dataset after an id line; comments and empty lines skipped."""
    sets, xs, ys = [], [], []
    for line in open(path):
        words = line.split()
        if not words or words[0][0] in "#!":
            continue
        if len(words) == 1:
            if xs:
                sets.append((np.array(xs), np.array(ys)))
            xs, ys = [], []
            continue
        xs.append(float(words[0]))
        ys.append(float(words[1]))
    if xs:
        sets.append((np.array(xs), np.array(ys)))
    return sets


def main():
    sets = datasets(sys.argv[1])
    warnings.simplefilter("ignore")
    ok = 0
    start = time.perf_counter()
    for x, y in sets:
        try:
            curve_fit(t1_relaxation, x, y, p0=(80.0, 300.0))
            ok += 1
        except RuntimeError:
            pass
    seconds = time.perf_counter() - start
    print("%d fits, %d converged, %.3f s, %.0f fits/s" % (len(sets), ok, seconds,
                                                          len(sets) / seconds))


main()

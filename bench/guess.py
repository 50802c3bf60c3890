#!/usr/bin/env python3
"""How well velbatch --guess does, model by model (docs/bench.md, "Starting values").

For every model but 12, guess_series writes 200 datasets drawn over realistic ranges; each
series is fitted three ways with the same command line: from one common start, with
--guess, and from each dataset's true parameters (--starts, the fixed algorithm's
ceiling). A dataset is "right" when its fit is ok and every key parameter lies within its
tolerance of the truth, the tolerance widened to three of the fit's standard deviations
where the data leave the parameter that uncertain, never beyond three tolerances; "ok but
wrong" when the fit is ok and not right. The wall times of the common-start and --guess
batches are taken in turns, RUNS times each, and their medians compared.

Usage: bench/guess.py [BUILD_DIR] [--models 4,9,13] [--runs 3] [--jobs N] [--datasets 200]
       [--keep DIR]
"""
import argparse
import math
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def read_rule(path):
    rule = {"keys": [], "swap": []}
    for line in open(path):
        word, _, rest = line.rstrip("\n").partition(" ")
        if word == "key":
            index, kind, tol = rest.split()
            rule["keys"].append((int(index), kind == "rel", float(tol)))
        elif word == "swap":
            rule["swap"] = [tuple(int(v) for v in pair.split("-")) for pair in rest.split()]
        else:
            rule[word] = rest
    return rule


def read_truth(path):
    truth = {}
    for line in open(path):
        words = line.split()
        truth[int(words[0])] = [float(w.lstrip("=")) for w in words[1:]]
    return truth


def read_table(path):
    rows = {}
    with open(path) as f:
        header = f.readline().rstrip("\n").split("\t")
        count = sum(1 for name in header if name.endswith("_sd"))
        for line in f:
            fields = line.rstrip("\n").split("\t")
            status = fields[1]
            parms = sds = None
            if status != "refused":
                parms = [float(fields[4 + 2 * k]) for k in range(count)]
                sds = [float(fields[5 + 2 * k]) for k in range(count)]
            rows[int(fields[0])] = (status, parms, sds)
    return rows


def mapped(parms, swap):
    out = list(parms)
    for a, b in swap:
        out[a], out[b] = parms[b], parms[a]
    return out


def is_right(parms, sds, true, rule):
    for mapping in ([], rule["swap"]) if rule["swap"] else ([],):
        p, s = mapped(parms, mapping), mapped(sds, mapping)
        ok = True
        for index, rel, tol in rule["keys"]:
            t = tol * abs(true[index]) if rel else tol
            allowed = min(max(t, 3 * s[index]), 3 * t)
            if not (abs(p[index] - true[index]) <= allowed):
                ok = False
        if ok:
            return True
    return False


def count(rows, truth, rule):
    c = {"ok": 0, "failed": 0, "right": 0, "wrong": 0}
    for ident, (status, parms, sds) in rows.items():
        if status != "ok":
            c["failed"] += 1
            continue
        c["ok"] += 1
        c["right" if is_right(parms, sds, truth[ident], rule) else "wrong"] += 1
    return c


def run(args, cwd):
    start = time.monotonic()
    subprocess.run(args, cwd=cwd, stdout=subprocess.DEVNULL, check=False)
    return time.monotonic() - start


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("build", nargs="?", default="build")
    ap.add_argument("--models", default="")
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
    ap.add_argument("--datasets", type=int, default=200)
    ap.add_argument("--keep", default="")
    a = ap.parse_args()
    build = os.path.abspath(a.build)
    velbatch = os.path.join(build, "velbatch")
    work = a.keep or tempfile.mkdtemp(prefix="velquin-guess.")
    os.makedirs(work, exist_ok=True)
    subprocess.run([os.path.join(build, "guess_series"), work, str(a.datasets)], check=True)
    wanted = {int(m) for m in a.models.split(",") if m}
    print("| model | series | common: right | failed | ok but wrong "
          "| --guess: right | failed | ok but wrong | ceiling: right | ok but wrong "
          "| time --guess/common |")
    print("|---|---|---|---|---|---|---|---|---|---|---|")
    for model in range(29):
        stem = os.path.join(work, "model_%02d" % model)
        if model == 12 or (wanted and model not in wanted) or not os.path.exists(stem + ".rule"):
            continue
        rule = read_rule(stem + ".rule")
        truth = read_truth(stem + ".truth")
        tail = [rule["offset"], stem + ".crv"]
        fit = [rule["model"], rule["maxit"]] + rule["common"].split()
        jobs = ["-j", str(a.jobs)]

        def batch(name, options):
            res, tsv = stem + "." + name + ".res", stem + "." + name + ".tsv"
            if os.path.exists(res):
                os.remove(res)
            return run([velbatch] + jobs + options + ["--"] + tail + [res, tsv] + fit, work), tsv

        times = {"common": [], "guess": []}
        for _ in range(a.runs):
            t, common_tsv = batch("common", [])
            times["common"].append(t)
            t, guess_tsv = batch("guess", ["--guess"])
            times["guess"].append(t)
        _, ceiling_tsv = batch("ceiling", ["--starts", stem + ".truth"])
        n = len(truth)
        c = count(read_table(common_tsv), truth, rule)
        g = count(read_table(guess_tsv), truth, rule)
        t = count(read_table(ceiling_tsv), truth, rule)
        ratio = statistics.median(times["guess"]) / statistics.median(times["common"])

        def pct(v):
            return "%.1f %%" % (100.0 * v / n)

        print("| %d | %s | %s | %s | %s | %s | %s | %s | %s | %s | %.2f |" % (
            model, rule["name"], pct(c["right"]), pct(c["failed"]), pct(c["wrong"]),
            pct(g["right"]), pct(g["failed"]), pct(g["wrong"]), pct(t["right"]),
            pct(t["wrong"]), ratio))
        sys.stdout.flush()
    if not a.keep:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()

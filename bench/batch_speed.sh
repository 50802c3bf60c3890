#!/usr/bin/env bash
# velbatch against its limit, the fits alone, and against another velbatch (the program
# before a change), on the files of bench/batch_files.py:
#   1. the T1 file (10,000 datasets of 20 points, the T1 example's command line): the engine
#      alone (engine_alone: the same fits in one process, from memory, without output), and
#      velbatch -j 1 and -j 2 with its results file and table, with maxIterations 1000 and 0
#      (no iteration: what the batch costs outside the fit);
#   2. 1,000,000 datasets of two points (model 0, both parameters held): fits per second
#      per core and the peak resident set, -j 1 and -j 2;
#   3. 200 datasets of 1500 points (model 13): the engine alone, -j 1 and -j 2;
#   4. a loop of scipy's curve_fit over the T1 file, when python3-scipy is installed.
# Each figure is the median of ROUNDS rounds (default 3); every round runs every command
# once, one after the other, so that the load of a shared machine falls on all alike. The
# ratios are of those medians. "cpu" is user and system time, of the workers too: on a
# machine that other work keeps busy, its ratios hold where those of the wall times do not.
# PARTS chooses among t1, tiny, melt and scipy (default: all four).
# Usage: bench/batch_speed.sh [BUILD_DIR [OTHER_VELBATCH [ROUNDS [PARTS]]]]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
other=${2:-}
rounds=${3:-3}
parts=" ${4:-t1 tiny melt scipy} "
for p in "$build/velbatch" "$build/engine_alone" /usr/bin/time python3 ${other:+"$other"}; do
  command -v "$p" > /dev/null || { echo "batch_speed.sh: $p is missing"; exit 1; }
done
[[ -n $other ]] && other=$(cd "$(dirname "$other")" && pwd)/$(basename "$other")
scipy=""
for py in python3 /usr/bin/python3; do
  if "$py" -c "import scipy" 2> /dev/null; then scipy=$py; break; fi
done
work=$(mktemp -d "${TMPDIR:-/tmp}/velbatch-speed.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
files=""
for f in t1 tiny melt; do [[ $parts == *" $f "* ]] && files="$files $f.crv"; done
[[ $parts == *" scipy "* ]] && files="$files t1.crv"
python3 "$root/bench/batch_files.py" $files

T1_FIT=(4 1000 80 =1.9 300)
T1_NONE=(4 0 80 =1.9 300)
TINY_FIT=(0 10 =2 =1)
MELT_FIT=(13 2000 0.95 0.0025 0.25 0.0015 90 1 328)

# run LABEL VELBATCH ARG...: one velbatch run into its own results file and table, its
# wall and cpu seconds and peak resident set (KiB) appended to times.txt.
run() {
  local label=$1 bin=$2
  shift 2
  rm -f "$label.res"
  /usr/bin/time -q -f "%e %U %S %M" -o time.txt "$bin" "$@" > /dev/null 2>&1 || true
  awk -v l="$label" '{ print l, $1, $2 + $3, $4 }' time.txt >> times.txt
}
# engine LABEL ARG...: one round of engine_alone; its own wall and cpu time per dataset.
engine() {
  local label=$1
  shift
  "$build/engine_alone" 1 "$@" |
    sed -n 's/^\([0-9]*\) datasets.*: \([0-9.]*\) us per dataset (wall), \([0-9.]*\) us (cpu).*/\1 \2 \3/p' |
    awk -v l="$label" '{ print l, $2 * $1 / 1e6, $3 * $1 / 1e6, 0 }' >> times.txt
}
# both LABEL FILE JOBS FIT...: this build's velbatch, then the other's.
both() {
  local label=$1 file=$2 jobs=$3
  shift 3
  run "new-$label" "$build/velbatch" -j "$jobs" 0 "$file" "new-$label.res" "new-$label.tsv" "$@"
  if [[ -n $other ]]; then
    run "old-$label" "$other" -j "$jobs" 0 "$file" "old-$label.res" "old-$label.tsv" "$@"
  fi
}

: > times.txt
for ((r = 1; r <= rounds; r++)); do
  echo "round $r of $rounds" >&2
  if [[ $parts == *" t1 "* ]]; then
    engine engine-t1 0 t1.crv x.res x.tsv "${T1_FIT[@]}"
    for j in 1 2; do
      both "t1-j$j" t1.crv "$j" "${T1_FIT[@]}"
      both "t1none-j$j" t1.crv "$j" "${T1_NONE[@]}"
    done
  fi
  if [[ $parts == *" tiny "* ]]; then
    for j in 1 2; do both "tiny-j$j" tiny.crv "$j" "${TINY_FIT[@]}"; done
  fi
  if [[ $parts == *" melt "* ]]; then
    engine engine-melt 0 melt.crv x.res x.tsv "${MELT_FIT[@]}"
    for j in 1 2; do both "melt-j$j" melt.crv "$j" "${MELT_FIT[@]}"; done
  fi
  if [[ -n $scipy && $parts == *" scipy "* ]]; then
    "$scipy" "$root/bench/scipy_loop.py" t1.crv |
      awk '{ print "scipy-t1", $5, $5, 0 }' >> times.txt
  fi
done

# The same bytes from both programs, and from -j 1 and -j 2.
same=""
for f in t1 t1none tiny melt; do
  [[ -f new-$f-j1.tsv ]] || continue
  for ext in res tsv; do
    cmp -s "new-$f-j1.$ext" "new-$f-j2.$ext" || same="$same new-$f-j1.$ext/-j2"
    if [[ -n $other ]]; then
      cmp -s "new-$f-j1.$ext" "old-$f-j1.$ext" || same="$same $f.$ext/other"
    fi
  done
done

python3 - "$rounds" "${other:-}" "${scipy:-}" "${same:-}" << 'PY'
import statistics, sys
rounds, other, scipy, differ = sys.argv[1:5]
times = {}
for line in open("times.txt"):
    label, *v = line.split()
    times.setdefault(label, []).append([float(x) for x in v])
def med(label, k):
    return statistics.median(v[k] for v in times[label])
counts = {"t1": 10000, "t1none": 10000, "tiny": 1000000, "melt": 200}
def row(name, label, n, jobs):
    if label not in times:
        return
    wall, cpu, rss = med(label, 0), med(label, 1), med(label, 2)
    print("  %-34s %8.3f %8.3f %9.2f %10.0f %10.0f %s" % (
        name, wall, cpu, wall / n * 1e6, n / wall, n / wall / jobs,
        "%7.1f MiB" % (rss / 1024) if rss else ""))
def head(title):
    print("\n" + title)
    print("  %-34s %8s %8s %9s %10s %10s %s" % ("", "wall s", "cpu s", "us/set", "fits/s",
                                              "per core", "peak RSS"))
def ratio(a, b):
    """The ratio of the median wall times, and of the median cpu times."""
    if a not in times or b not in times:
        return "-"
    return "wall %.3f, cpu %.3f" % (med(a, 0) / med(b, 0), med(a, 1) / med(b, 1))
sides = [("new", "this build")] + ([("old", "other")] if other else [])
print("velbatch speed, median of %s rounds; other velbatch: %s" % (rounds, other or "none"))
for f, title in [("t1", "T1 file: 10,000 datasets of 20 points, model 4, maxIterations 1000"),
                 ("t1none", "The same, maxIterations 0: the cost outside the fit"),
                 ("tiny", "1,000,000 datasets of two points, model 0 held"),
                 ("melt", "200 datasets of 1500 points, model 13")]:
    if "new-%s-j1" % f not in times:
        continue
    head(title)
    n = counts[f]
    if f == "t1":
        row("engine alone", "engine-t1", n, 1)
    if f == "melt":
        row("engine alone", "engine-melt", n, 1)
    for j in (1, 2):
        for side, name in sides:
            row("velbatch -j %d, %s" % (j, name), "%s-%s-j%d" % (side, f, j), n, j)
    for side, name in sides:
        print("  %s: -j 1 / -j 2 (the speed-up of -j 2): %s" % (
            name, ratio("%s-%s-j1" % (side, f), "%s-%s-j2" % (side, f))))
    if other:
        for j in (1, 2):
            print("  -j %d: this build / the other: %s" % (
                j, ratio("new-%s-j%d" % (f, j), "old-%s-j%d" % (f, j))))
    engine = {"t1": "engine-t1", "melt": "engine-melt"}.get(f)
    if engine:
        for side, name in sides:
            print("  %s: -j 1 / the engine alone: %s" % (
                name, ratio("%s-%s-j1" % (side, f), engine)))
if "scipy-t1" in times:
    head("scipy curve_fit loop over the T1 file (fits only, from memory)")
    row("scipy", "scipy-t1", 10000, 1)
    for side, name in sides:
        print("  %s: scipy / velbatch -j 1 (velbatch's speed-up): %s" % (
            name, ratio("scipy-t1", "%s-t1-j1" % side)))
elif not scipy:
    print("\nscipy is not installed (apt-get install python3-scipy): no scipy loop")
print("\noutputs: " + ("the same bytes, -j 1 and -j 2" + (" and both programs" if other else "")
                       if not differ else "DIFFERENT:" + differ))
PY

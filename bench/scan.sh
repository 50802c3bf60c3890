#!/usr/bin/env bash
# What a part of a batch (velbatch --part K/N) costs before its first fit: the scan of the
# whole data file that finds the part's datasets. Times velbatch with a part that holds no
# dataset (0 of 2147483647 parts), so that it reads the file through and fits nothing, on
# two generated files of 1,000,000 datasets:
#   1. two-point datasets (14 MB): the cost per dataset;
#   2. the T1 example's 20-point datasets (308 MB): the cost per byte;
# beside `cat FILE > /dev/null` (the file is in the page cache: what reading alone costs),
# and, for the arithmetic of docs/bench.md, the fits of 10,000 of the 20-point datasets
# with -j 2. Each time is the median of RUNS runs (default 5), the runs alternated: the
# wall time and the processor time (user and system, the workers included), which a machine
# shared with other work stretches less.
# Usage: bench/scan.sh [BUILD_DIR [RUNS]]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
runs=${2:-5}
velbatch=$build/velbatch
for p in "$velbatch" /usr/bin/time python3; do
  command -v "$p" > /dev/null || { echo "scan.sh: $p is missing"; exit 1; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/velbatch-scan.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

python3 - << 'EOF'
import math, random
random.seed(11)
with open("tiny.crv", "w") as f:
    f.write("".join("%d\n0 1\n1 3\n" % d for d in range(1, 1000001)))
# Twenty distinct relaxations, repeated under every id: the scan reads lines, not values.
shapes = []
for s in range(20):
    lines = []
    for i in range(20):
        x = 10 + i * 118.5
        lines.append("%g %.4f\n" % (x, 100 * (1 - 1.9 * math.exp(-x / 450)) + random.gauss(0, 1)))
    shapes.append("".join(lines))
with open("t1.crv", "w") as f:
    for d in range(1, 1000001):
        f.write("%d\n%s" % (d, shapes[d % 20]))
with open("fits.crv", "w") as f:
    for d in range(1, 10001):
        f.write("%d\n%s" % (d, shapes[d % 20]))
def melt(x, p):  # model 13, as bench/batch.sh makes it
    t = x + 273.15
    a = t * (p[5] * math.log(t / p[6]) + p[4] / p[6]) - (p[5] * (t - p[6]) + p[4])
    k = math.exp(a / 0.001987 / t)
    fu = k / (k + 1)
    return (1 - fu) * (p[0] - p[1] * x) + fu * (p[2] - p[3] * x)
with open("melt.crv", "w") as f:
    truth = (1.0, 0.002, 0.2, 0.001, 100.0, 1.5, 330.0)
    for d in range(1, 101):
        f.write("%d\n" % d)
        for i in range(1500):
            x = 20 + 75 * i / 1499
            f.write("%.5f %.6f\n" % (x, melt(x, truth) + random.gauss(0, 0.005)))
EOF

# "wall cpu peak-KiB" of one run
seconds() {
  /usr/bin/time -f "%e %U %S %M" -o time.txt "$@" > /dev/null
  awk '{ print $1, $2 + $3, $4 }' time.txt
}
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
scan() { rm -f s.res s.tsv && "$velbatch" -j 1 --part 0/2147483647 0 "$1" s.res s.tsv 4 1000 80 =1.9 300; }
fits() { rm -f f.res f.tsv && "$velbatch" -j 2 0 fits.crv f.res f.tsv 4 1000 80 =1.9 300; }
melts() {
  rm -f m.res m.tsv &&
    "$velbatch" -j 2 0 melt.crv m.res m.tsv 13 2000 0.95 0.0025 0.25 0.0015 90 1 328
}
export -f scan fits melts
export velbatch

for file in tiny.crv t1.crv; do
  : > "$file.scan"; : > "$file.cat"
  for _ in $(seq "$runs"); do
    seconds bash -c "scan $file" >> "$file.scan"
    seconds cat "$file" >> "$file.cat"
  done
  bytes=$(stat -c %s "$file")
  wall=$(cut -d' ' -f1 "$file.scan" | median); cpu=$(cut -d' ' -f2 "$file.scan" | median)
  kib=$(cut -d' ' -f3 "$file.scan" | median); c=$(cut -d' ' -f1 "$file.cat" | median)
  awk -v f="$file" -v w="$wall" -v u="$cpu" -v c="$c" -v b="$bytes" -v k="$kib" 'BEGIN {
    g = b / 1073741824
    printf "%s: 1,000,000 datasets, %.0f MB (%.3f GiB)\n", f, b / 1e6, g
    printf "   scan %.2f s wall, %.2f s processor: %.2f s per million datasets, %.2f s per GiB (processor)\n", w, u, u, u / g
    printf "   cat %.2f s; peak resident set of the scan %.1f MiB\n", c, k / 1024 }'
done
: > fits.times
for _ in $(seq "$runs"); do seconds bash -c fits >> fits.times; done
wall=$(cut -d' ' -f1 fits.times | median); cpu=$(cut -d' ' -f2 fits.times | median)
awk -v w="$wall" -v u="$cpu" 'BEGIN {
  printf "fits of 10,000 of the 20-point datasets, -j 2: %.2f s wall, %.2f s processor: %.0f us of processor per fit\n", w, u, u / 10000 * 1e6 }'
: > melt.times
for _ in $(seq "$runs"); do seconds bash -c melts >> melt.times; done
wall=$(cut -d' ' -f1 melt.times | median); cpu=$(cut -d' ' -f2 melt.times | median)
awk -v w="$wall" -v u="$cpu" 'BEGIN {
  printf "fits of 100 datasets of 1500 points, model 13, -j 2: %.2f s wall, %.2f s processor: %.1f ms of processor per fit\n", w, u, u / 100 * 1e3 }'

#!/usr/bin/env bash
# Two builds' velquin_bench, run in turns ROUNDS times, so that machine noise hits both
# alike: the median time of each benchmark in each build and their ratio (after/before).
# Usage: bench/compare.sh BEFORE_BUILD_DIR AFTER_BUILD_DIR [ROUNDS [FILTER [MIN_TIME]]]
# (defaults: 10 rounds, BM_fit, 0.5 s per benchmark and run). The before build must have
# the benchmarks that are compared: build today's bench/velquin_bench.cc in it.
set -euo pipefail

if [[ $# -lt 2 ]]; then
  echo "usage: bench/compare.sh BEFORE_BUILD_DIR AFTER_BUILD_DIR [ROUNDS [FILTER [MIN_TIME]]]"
  exit 1
fi
before=$(cd "$1" && pwd)/velquin_bench
after=$(cd "$2" && pwd)/velquin_bench
rounds=${3:-10}
filter=${4:-BM_fit}
min_time=${5:-0.5}
work=$(mktemp -d "${TMPDIR:-/tmp}/velquin-compare.XXXXXX")
trap 'rm -rf "$work"' EXIT

for ((r = 0; r < rounds; r++)); do
  for side in before after; do
    bin=$before
    [[ $side == after ]] && bin=$after
    "$bin" --benchmark_filter="$filter" --benchmark_min_time="$min_time" \
      --benchmark_format=csv 2> /dev/null | grep '^"' >> "$work/$side.csv"
  done
done
python3 - "$work" << 'PY'
import csv, statistics, sys
def medians(path):
    times, units = {}, {}
    for row in csv.reader(open(path)):
        times.setdefault(row[0], []).append(float(row[2]))  # real_time
        units[row[0]] = row[4]
    return {k: statistics.median(v) for k, v in times.items()}, units
b, unit = medians(sys.argv[1] + "/before.csv")
a, _ = medians(sys.argv[1] + "/after.csv")
print("%-22s %12s %12s %7s" % ("benchmark", "before", "after", "ratio"))
for name in b:
    if name in a:
        print("%-22s %9.4g %-2s %9.4g %-2s %7.3f" % (name, b[name], unit[name], a[name],
                                                    unit[name], a[name] / b[name]))
PY

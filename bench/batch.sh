#!/usr/bin/env bash
# velbatch against a loop of one velquin process per dataset (xargs -P, as the README's
# loop for other per-dataset commands), on generated files:
#   1. 10,000 datasets of 20 points fitted with the T1 example's command line: wall times
#      of the loop and of velbatch, and whether both wrote the same reports;
#   2. 200 datasets of 1500 points of a melting curve (model 13): velbatch -j 1 and -j 2;
#   3. 1,000,000 two-point datasets: velbatch's peak memory (maximum resident set).
# Each timing is the median of RUNS runs (default 3), the runs of a comparison alternated.
# Usage: bench/batch.sh [BUILD_DIR [RUNS]]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
runs=${2:-3}
velquin=$build/velquin
velbatch=$build/velbatch
for p in "$velquin" "$velbatch" /usr/bin/time python3; do
  command -v "$p" > /dev/null || { echo "batch.sh: $p is missing"; exit 1; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/velbatch-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

python3 "$root/bench/batch_files.py"

seconds() { /usr/bin/time -f %e -o time.txt "$@" > /dev/null; cat time.txt; }
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
loop() {
  rm -rf loop && mkdir loop
  awk 'NF == 1 && $1 !~ /^[#!]/ { print $1 }' t1.crv |
    xargs -n 1 -P "$(nproc)" sh -c '"$0" 0 "$1" t1.crv "loop/$1.res" "loop/$1.log" 4 1000 80 =1.9 300 || true' "$velquin"
}
batch() { rm -f b.res b.tsv && "$velbatch" 0 t1.crv b.res b.tsv 4 1000 80 =1.9 300; }
export -f loop batch
export velquin velbatch

echo "1. 10,000 datasets of 20 points, model 4 ($runs runs each, $(nproc) processors)"
: > loop.times; : > batch.times
for _ in $(seq "$runs"); do
  seconds bash -c loop >> loop.times
  seconds bash -c batch >> batch.times
done
for id in $(seq 10000); do cat "loop/$id.res"; done > loop.res
cmp -s loop.res b.res && same="the same reports" || same="DIFFERENT REPORTS"
l=$(median < loop.times); b=$(median < batch.times)
echo "   loop $l s, velbatch $b s, ratio $(awk -v l="$l" -v b="$b" 'BEGIN { printf "%.3f", b / l }'); $same"

echo "2. 200 datasets of 1500 points, model 13"
: > j1.times; : > j2.times
for _ in $(seq "$runs"); do
  seconds "$velbatch" -j 1 0 melt.crv m1.res m1.tsv 13 2000 0.95 0.0025 0.25 0.0015 90 1 328 >> j1.times
  rm -f m1.res
  seconds "$velbatch" -j 2 0 melt.crv m2.res m2.tsv 13 2000 0.95 0.0025 0.25 0.0015 90 1 328 >> j2.times
  rm -f m2.res
done
a=$(median < j1.times); b=$(median < j2.times)
echo "   -j 1 $a s, -j 2 $b s, speed-up $(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.2f", a / b }')"
cmp -s m1.tsv m2.tsv && echo "   the same table" || echo "   DIFFERENT TABLES"
grep -c $'\tok\t' m1.tsv | sed 's/^/   ok: /'

echo "3. 1,000,000 datasets of 2 points, model 0 held"
/usr/bin/time -f "%e s, peak resident set %M KiB" -o mem.txt \
  "$velbatch" -j 2 0 tiny.crv tiny.res tiny.tsv 0 10 =2 =1 > /dev/null
sed 's/^/   /' mem.txt

#!/usr/bin/env bash
# velplot --all and --profile on the table of a generated batch: 300 pH titrations of 21
# points (model 9), of which a few fail and a few are refused, fitted by velbatch. Prints
# the wall time of velplot --all to .pdf and to .png (grids of sixteen), and of --profile,
# each the median of RUNS runs (default 3), and the pages and files written.
# Usage: bench/plot.sh [BUILD_DIR [RUNS]]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
runs=${2:-3}
velbatch=$build/velbatch
velplot=$build/velplot
for p in "$velbatch" "$velplot" gnuplot /usr/bin/time python3; do
  command -v "$p" > /dev/null || { echo "plot.sh: $p is missing"; exit 1; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/velplot-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

python3 - << 'EOF2'
import random
random.seed(11)
with open("titrations.crv", "w") as f:
    for d in range(1, 301):
        f.write("%d\n" % d)
        if d % 97 == 0:  # a line of text inside the data: the dataset is refused
            f.write("3 8.1\n3.25 8.1\nno value\n")
            continue
        pka = 5.5 + random.uniform(-1.5, 1.5)
        # A titration whose step lies outside the pH range cannot converge.
        if d % 61 == 0:
            pka = 14.0
        sa, sah = 8.0 + random.uniform(-0.5, 0.5), 8.6 + random.uniform(-0.5, 0.5)
        for i in range(21):
            ph = 3.0 + 0.25 * i
            h, k = 10 ** -ph, 10 ** -pka
            f.write("%.2f %.4f\n" % (ph, sa + h / (h + k) * (sah - sa) + random.gauss(0, 0.005)))
EOF2
"$velbatch" 0 titrations.crv titrations.res titrations.tsv 9 500 5.5 8 8.6 =1 || true

seconds() { /usr/bin/time -f %e -o time.txt "$@" > /dev/null; cat time.txt; }
median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
for out in all.pdf all.png profile.svg; do
  for _ in $(seq "$runs"); do
    rm -f all*.pdf all*.png profile.svg
    if [ "$out" = profile.svg ]; then
      seconds "$velplot" --profile pKa titrations.tsv "$out"
    else
      seconds "$velplot" --all 0 titrations.crv titrations.tsv 9 "$out"
    fi
  done | median | awk -v o="$out" '{ printf "%-12s %6.2f s\n", o, $1 }'
done
"$velplot" --all 0 titrations.crv titrations.tsv 9 all.pdf
"$velplot" --all 0 titrations.crv titrations.tsv 9 all.png
printf 'pages of all.pdf: %s\n' "$(strings all.pdf | awk '/\/Count/ { print $2; exit }')"
printf 'files all-N.png: %s\n' "$(ls all-*.png | wc -l)"

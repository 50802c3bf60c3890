#!/usr/bin/env bash
# Instructions executed by whole velquin processes, and their calls of the mathematical
# functions, counted by valgrind's callgrind: the same on every run whatever else the
# machine does, so two builds compare exactly where timings are noisy. Fits the 1500-point datasets of velquin_bench's BM_fit (models 0, 8,
# 13 and 24; made here from the same parameters and noise generator) and the T1 example,
# with each build, and prints the counts and their ratio.
# Usage: bench/callgrind.sh BEFORE_BUILD_DIR AFTER_BUILD_DIR
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
if [[ $# -ne 2 ]]; then
  echo "usage: bench/callgrind.sh BEFORE_BUILD_DIR AFTER_BUILD_DIR"
  exit 1
fi
before=$(cd "$1" && pwd)/velquin
after=$(cd "$2" && pwd)/velquin
for p in "$before" "$after" valgrind python3; do
  command -v "$p" > /dev/null || { echo "callgrind.sh: $p is missing"; exit 1; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/velquin-callgrind.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
cp "$root/examples/t1-relaxation.crv" .

python3 - << 'PY'
import math

def noise():  # velquin_bench's: three uniforms of a 32-bit LCG, seed 12345
    seed = 12345
    def uniform():
        nonlocal seed
        seed = (seed * 1664525 + 1013904223) & 0xFFFFFFFF
        return (seed >> 8) / float(1 << 23) - 1.0
    return lambda: uniform() + uniform() + uniform()

def melt(x, p):
    t = x + 273.15
    a = t * (p[5] * math.log(t / p[6]) + p[4] / p[6]) - (p[5] * (t - p[6]) + p[4])
    k = math.exp(a / 0.001987 / t)
    f = k / (k + 1)
    return (1 - f) * (p[0] - p[1] * x) + f * (p[2] - p[3] * x)

def heat_cap_trimer(x, p):
    tm, c2 = p[6], p[8]
    da, db, dc, d2 = p[4] - p[1], p[3] - p[0], p[2] - c2, x * x - tm * tm
    n = x * x * c2 + x * p[0] + p[1]
    u = x * x * p[2] + x * p[3] + p[4]
    e1 = dc * 0.3333 * (x ** 3 - tm ** 3) + da * (x - tm) + db * 0.5 * d2
    h = e1 + p[5]
    e2 = d2 * dc * 0.5 + da * (math.log(x) - math.log(tm)) + (x - tm) * db
    g = math.log(p[7] * p[7] * 2.09) * 0.008314 + e2 + p[5] / p[6]
    k = math.exp(x * (g - h) / (x * 0.008314))
    w = math.sqrt(k / (p[7] * p[7] * 20.25) + 1)
    v = k / (p[7] * p[7] * 6)
    f = (w * v + v) ** 0.3333333 - abs(v * (1 - w)) ** 0.3333333
    return f * (u - n) + f * (1 - f) / (3 - 2 * f) * 3 * h * h / (x * x * 0.008314) + n

rows = {
    0: (lambda x, p: p[0] * x + p[1], 0, 100, 0.5, [2.0, 1.0]),
    8: (lambda x, p: p[0] * math.exp(-x / p[1]) + p[2] * math.exp(-x / p[3]), 1, 500, 0.2,
        [60.0, 20.0, 40.0, 200.0]),
    13: (melt, 20, 95, 0.005, [1.0, 0.002, 0.2, 0.001, 100.0, 1.5, 330.0]),
    24: (heat_cap_trimer, 300, 360, 5e-5, [2e-5, 0.01, 0.0, 2e-5, 0.015, 0.0, 330.0, 0.3, 0.0]),
}
for model, (f, lo, hi, amplitude, truth) in rows.items():
    u = noise()
    with open("fit%d.crv" % model, "w") as out:
        for i in range(1500):
            x = lo + (hi - lo) * i / 1499
            out.write("%.17g %.17g\n" % (x, f(x, truth) + amplitude * u()))
PY

# name, data file, model, iteration limit, starting values: velquin_bench's rows
fits=(
  "model-0 fit0.crv 0 5000 1.5 4"
  "model-8 fit8.crv 8 5000 55 22 44 180"
  "model-13 fit13.crv 13 5000 0.95 0.0025 0.25 0.0015 90 1 328"
  "model-24 fit24.crv 24 5000 0 0.0105 =0 0 0.0145 =0 329 =0.3 =0"
  "t1-example t1-relaxation.crv 4 1000 80 =1.9 300"
)
# Instructions of the whole process, and the calls of exp, log, pow, sin, cos and acos.
count() {
  valgrind --tool=callgrind --compress-strings=no --callgrind-out-file=out.cg "$@" \
    > /dev/null 2> valgrind.err || true
  local ir
  ir=$(sed -n 's/.*Collected : \([0-9]*\).*/\1/p' valgrind.err)
  awk -v ir="$ir" '/^cfn=/ { f = substr($0, 5) }
    /^calls=/ && f ~ /^(exp|log|pow|sin|cos|acos)$/ { split(substr($0, 7), c, " "); n += c[1] }
    END { print ir, n + 0 }' out.cg
}
printf '%-11s %13s %13s %6s %11s %11s %6s\n' fit "instr before" "instr after" ratio \
  "libm before" "libm after" ratio
for fit in "${fits[@]}"; do
  read -r name data model limit parms <<< "$fit"
  # shellcheck disable=SC2086
  read -r bi bc < <(count "$before" 0 0 "$data" /dev/null before.log "$model" "$limit" $parms)
  # shellcheck disable=SC2086
  read -r ai ac < <(count "$after" 0 0 "$data" /dev/null after.log "$model" "$limit" $parms)
  cmp -s before.log after.log || echo "$name: the logs differ"
  awk -v n="$name" -v bi="$bi" -v ai="$ai" -v bc="$bc" -v ac="$ac" 'BEGIN {
    printf "%-11s %13d %13d %6.3f %11d %11d %6.3f\n", n, bi, ai, ai / bi, bc, ac, ac / bc }'
done

#!/usr/bin/env bash
# Where a batch of small fits spends its time, process by process: perf samples of one
# velbatch run on the T1 file of bench/batch_files.py (10,000 datasets of 20 points, the T1
# example's command line) with its results file and table, sorted into the fit, the reading
# of the data, the report, log and row, the system calls and the kernel (pipes, wake-ups,
# writes, page faults), in microseconds per dataset. Samples, not a timing: a second run
# differs by a few percent; compare builds with bench/batch_speed.sh.
# Usage: bench/batch_profile.sh [VELBATCH [JOBS [MAX_ITERATIONS]]]
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
velbatch=${1:-$root/build/velbatch}
jobs=${2:-1}
max_it=${3:-1000}
for p in "$velbatch" perf python3; do
  command -v "$p" > /dev/null || { echo "batch_profile.sh: $p is missing"; exit 1; }
done
velbatch=$(cd "$(dirname "$velbatch")" && pwd)/$(basename "$velbatch")
work=$(mktemp -d "${TMPDIR:-/tmp}/velbatch-profile.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
python3 "$root/bench/batch_files.py" t1.crv

hz=2000
perf record -q -F "$hz" -o perf.data "$velbatch" -j "$jobs" 0 t1.crv t1.res t1.tsv 4 "$max_it" \
  80 =1.9 300 > /dev/null 2> perf.err || true
perf report -i perf.data --no-children --sort pid,sym -n 2> /dev/null > report.txt

python3 - "$hz" 10000 << 'PY'
import collections, re, sys
hz, datasets = float(sys.argv[1]), float(sys.argv[2])
# Functions by what they do; the rest counts as "other".
kinds = [
    ("fit", "calc_deriv fnf_staged fnf set_new_parms one_iteration calc_rmse do_iterations "
            "exp __exp __ieee754_exp_fma log __ieee754_log_fma pow __ieee754_pow_fma"),
    ("reading the data", "crv_values read_points next_line read_whole_line_mem load_data_mem "
                         "is_empty __memchr_evex __memchr_avx2 read_crv_mem"),
    ("scan of the data file", "scan_next crv_scan_next read_whole_line _IO_getc getc __uflow "
                              "id_slot index_next"),
    ("report, log, row", "put_general put_g_digits format_general format_shortest format_int "
                         "table_row write_results write_log_results _IO_fwrite _IO_fputs fputc "
                         "_IO_new_file_xsputn mem_write fflush _IO_new_do_write "
                         "std::__floating_to_chars_shortest<double> std::to_chars"),
    ("system calls", "__libc_write __libc_read ppoll __libc_lseek64 write_whole read_whole"),
    # What the same work costs in the C library, as before it had paths of its own.
    ("printf, sscanf, strtod", "__printf_fp_l hack_digit __vfprintf_internal __strchrnul_evex "
                               "_IO_padn _itoa_word __isoc99_sscanf __vfscanf_internal "
                               "____strtod_l_internal "
                       "__strtod_internal str_to_mpn.part.0.constprop.0 round_and_return "
                       "__mpn_lshift __mpn_construct_double _IO_sputbackc _IO_no_init "
                       "_IO_str_init_static_internal _IO_setb _IO_str_underflow "
                       "_IO_default_uflow id_line_value read_point"),
]
kind_of = {name: kind for kind, names in kinds for name in names.split()}
samples = collections.defaultdict(collections.Counter)
for line in open("report.txt"):
    m = re.match(r"\s+[\d.]+%\s+(\d+)\s+(\d+):\S+\s+\[(.)\]\s+(.+?)\s*$", line)
    if not m:
        continue
    n, pid, where, sym = int(m.group(1)), m.group(2), m.group(3), m.group(4)
    kind = "kernel" if where == "k" else kind_of.get(sym, "other")
    if "to_chars" in sym or "ryu::" in sym:
        kind = "report, log, row"
    if sym.startswith("__mpn_"):
        kind = "printf, sscanf, strtod"
    if sym.startswith("__mem") and kind == "other":
        kind = "memcpy, memset"
    samples[pid][kind] += n
us = lambda n: n / hz / datasets * 1e6
# The main process starts first: the lowest pid.
for i, pid in enumerate(sorted(samples, key=int)):
    total = sum(samples[pid].values())
    print("%s (pid %s): %.1f us per dataset" % ("main process" if i == 0 else "worker", pid,
                                                 us(total)))
    for kind, n in samples[pid].most_common():
        print("  %-24s %6.1f us" % (kind, us(n)))
PY

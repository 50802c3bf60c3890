#!/bin/sh
# Fits the T1 relaxation example and shows its report and log, then fits the three
# titrations of the column table in one batch and shows the batch's table, in a scratch
# folder. Run from anywhere after the build:
#   examples/demo.sh [path/to/velquin]   (velbatch and colcrv beside it)
set -e
here=$(cd "$(dirname "$0")" && pwd)
bin=${1:-$here/../build/velquin}
bin=$(cd "$(dirname "$bin")" && pwd)/$(basename "$bin")
bindir=$(dirname "$bin")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$here/t1-relaxation.crv" "$here/titration-table.col" "$work/"
cd "$work"
echo "\$ velquin 0 0 t1-relaxation.crv t1.res t1.log 4 1000 80 =1.9 300"
status=0
"$bin" 0 0 t1-relaxation.crv t1.res t1.log 4 1000 80 =1.9 300 || status=$?
echo "exit status: $status"
echo "--- t1.res"
cat t1.res
echo "--- t1.log"
cat t1.log
echo
echo "\$ colcrv titration-table.col titration.crv"
"$bindir/colcrv" titration-table.col titration.crv
echo "\$ velbatch 0 titration.crv titration.res titration.tsv 9 500 6 7 8 =1"
status=0
"$bindir/velbatch" 0 titration.crv titration.res titration.tsv 9 500 6 7 8 =1 || status=$?
echo "exit status: $status"
echo "--- titration.tsv"
# The table's columns lined up for reading; the file itself is tab-separated.
awk -F '\t' '
  { for (i = 1; i <= NF; i++) { cell[NR, i] = $i; if (length($i) > w[i]) w[i] = length($i) } }
  NF > nf { nf = NF }
  END {
    for (r = 1; r <= NR; r++) {
      line = ""
      for (i = 1; i <= nf; i++) line = line sprintf("%-" w[i] + 2 "s", cell[r, i])
      sub(/ +$/, "", line)
      print line
    }
  }' titration.tsv

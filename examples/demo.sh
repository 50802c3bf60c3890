#!/bin/sh
# Fits the T1 relaxation example in a scratch folder and shows the report and the log.
# Run from anywhere after the build: examples/demo.sh [path/to/velquin]
set -e
here=$(cd "$(dirname "$0")" && pwd)
bin=${1:-$here/../build/velquin}
bin=$(cd "$(dirname "$bin")" && pwd)/$(basename "$bin")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$here/t1-relaxation.crv" "$work/"
cd "$work"
echo "\$ velquin 0 0 t1-relaxation.crv t1.res t1.log 4 1000 80 =1.9 300"
status=0
"$bin" 0 0 t1-relaxation.crv t1.res t1.log 4 1000 80 =1.9 300 || status=$?
echo "exit status: $status"
echo "--- t1.res"
cat t1.res
echo "--- t1.log"
cat t1.log

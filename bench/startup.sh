#!/usr/bin/env bash
# Whole-process time of a 20-point velquin fit against /bin/true: the median of RUNS
# runs of each, taken alternately so that machine noise hits both alike.
# Usage: bench/startup.sh [BUILD_DIR [RUNS]]   (defaults: build, 2000)
# For the dynamically linked program, configure a second build directory with
# -DVELQUIN_STATIC=OFF and name it here.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
if [[ ! -d $build ]]; then
  echo "startup.sh: no build directory $build"
  exit 1
fi
build=$(cd "$build" && pwd)
runs=${2:-2000}
timer=$build/velquin_startup
velquin=$build/velquin

if [[ ! -x $timer || ! -x $velquin ]]; then
  echo "startup.sh: build velquin and velquin_startup in $build first:"
  echo "  cmake --build $build --target velquin velquin_startup"
  exit 1
fi

if readelf -l "$velquin" | grep -q 'Requesting program interpreter'; then
  linkage=dynamic
else
  linkage=static
fi
echo "velquin: $velquin ($linkage)"

# The report goes to /dev/null, or the results file would grow by a report a run; the log,
# rewritten each run, to a file of its own, since velquin refuses a log that is the
# results file.
work=$(mktemp -d "${TMPDIR:-/tmp}/velquin-startup.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp "$root/examples/t1-relaxation.crv" "$work/"
cd "$work"
"$timer" "$runs" /bin/true -- \
  "$velquin" 0 0 t1-relaxation.crv /dev/null t1.log 4 1000 80 =1.9 300

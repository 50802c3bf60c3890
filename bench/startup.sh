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

# Results and log go to /dev/null: the results file is appended on every run, and
# velquin opens both as ordinary files.
cd "$root/examples"
"$timer" "$runs" /bin/true -- \
  "$velquin" 0 0 t1-relaxation.crv /dev/null /dev/null 4 1000 80 =1.9 300

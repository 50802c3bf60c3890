#!/bin/sh
# Builds the fuzz targets with clang in build-fuzz and runs each for SECONDS (default 60)
# on a fresh copy of its seed corpus, so the repository is never written to. A crash, a
# sanitizer report or an input that runs longer than 10 seconds fails the run; the log
# and the input that did it are kept and named.
# Usage: fuzz/run.sh [SECONDS]
set -eu
seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build-fuzz
targets="fuzz_crv_reader fuzz_velquin fuzz_batch_index fuzz_zarn2crv fuzz_colcrv fuzz_qv2crv"

cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELQUIN_FUZZ=ON -DVELQUIN_BUILD_TESTS=OFF -DVELQUIN_BUILD_BENCH=OFF -DVELQUIN_STATIC=OFF
# shellcheck disable=SC2086 # one word per target
cmake --build "$build" -j2 --target $targets

work=$(mktemp -d "${TMPDIR:-/tmp}/velquin-fuzz.XXXXXX")
failed=""
for target in $targets; do
  dir=$work/$target
  mkdir -p "$dir/corpus" "$dir/artifacts"
  cp "$root/fuzz/corpus/$target/"* "$dir/corpus/"
  # The reader and the index must be able to meet more than 1500 points of at least 4 bytes
  # each.
  max_len=4096
  case $target in fuzz_crv_reader | fuzz_batch_index) max_len=16384 ;; esac
  if "$build/$target" -max_total_time="$seconds" -timeout=10 -max_len="$max_len" \
      -print_final_stats=1 -artifact_prefix="$dir/artifacts/" "$dir/corpus" \
      > "$dir/log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$dir/log")
    echo "$target: passed, $runs executions in ${seconds} s"
  else
    echo "$target: FAILED"
    tail -n 40 "$dir/log"
    echo "$target: log $dir/log"
    for artifact in "$dir/artifacts/"*; do
      [ -e "$artifact" ] && echo "$target: input $artifact"
    done
    failed="$failed $target"
  fi
done

if [ -n "$failed" ]; then
  echo "fuzzing failed:$failed (files kept in $work)"
  exit 1
fi
rm -rf "$work"
echo "fuzzing passed"

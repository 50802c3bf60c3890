#!/usr/bin/env bash
# Runs a velquin binary on every recorded run of tests/data/runs, as the program test does:
# input/ copied into a fresh folder, the arguments of args, an empty standard input; then
# the exit status, standard output, an empty standard error and every file of the folder
# compared with the recording, byte for byte. For binaries the test cannot run itself: a
# cross-built one under an emulator, another compiler or build type.
#   tests/run_recorded.sh VELQUIN_BINARY [RUNNER ...]
#   tests/run_recorded.sh build-aarch64/velquin qemu-aarch64-static
# Prints each failing run with what differs and a count; the status is 1 on any difference.
set -u
if [ $# -lt 1 ]; then
  echo "usage: $0 VELQUIN_BINARY [RUNNER ...]" >&2
  exit 2
fi
# Absolute, because each run starts in its own folder.
bin=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
shift
if [ ! -x "$bin" ]; then
  echo "$0: $bin is not an executable" >&2
  exit 2
fi
runs=$(cd "$(dirname "$0")" && pwd)/data/runs
work=$(mktemp -d "${TMPDIR:-/tmp}/velquin-runs.XXXXXX")
trap 'rm -rf "$work"' EXIT

shopt -s nullglob
pass=0
fail=0
for dir in "$runs"/*/; do
  dir=${dir%/}
  name=$(basename "$dir")
  w=$work/$name
  mkdir "$w" "$w.out"
  cp -R "$dir/input/." "$w/"
  mapfile -t args < "$dir/args"
  (cd "$w" && "$@" "$bin" "${args[@]}" > "$w.out/stdout" 2> "$w.out/stderr" < /dev/null)
  status=$?
  why=""
  expected_status=$(cat "$dir/expected.status")
  [ "$status" = "$expected_status" ] || why="exit status $status, expected $expected_status"
  cmp -s "$w.out/stdout" "$dir/expected.stdout" || why="$why${why:+; }standard output differs"
  [ ! -s "$w.out/stderr" ] || why="$why${why:+; }standard error not empty: $(head -c 200 "$w.out/stderr")"
  files=$(diff -r -u "$dir/expected" "$w" 2>&1)
  [ -z "$files" ] || why="$why${why:+; }files differ:"$'\n'"$(printf '%s\n' "$files" | head -n 20)"
  if [ -z "$why" ]; then
    pass=$((pass + 1))
  else
    fail=$((fail + 1))
    echo "FAIL $name: $why"
  fi
done
echo "recorded runs with ${*:+$* }$bin: $pass passed, $fail failed"
# As in the program test: a missing or emptied folder of runs must not pass.
if [ $((pass + fail)) -lt 43 ]; then
  echo "only $((pass + fail)) recorded runs found in $runs, expected at least 43" >&2
  exit 1
fi
[ "$fail" -eq 0 ]

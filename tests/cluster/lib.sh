# Shared by the tests of the recipes beyond one machine: skips, the daemons a test starts,
# free loopback ports, and the clean-up that runs however the test ends. Sourced by bash.
#
# A test that cannot run here (no root, a package or a daemon that does not start) exits
# with status 77, which CTest counts as skipped, after saying why; with
# VELQUIN_REQUIRE_RECIPES set, as in CI, the same is a failure.

skip() {
  echo "skipped: $*"
  if [ -n "${VELQUIN_REQUIRE_RECIPES:-}" ]; then
    echo "VELQUIN_REQUIRE_RECIPES is set: a test that cannot run fails"
    exit 1
  fi
  exit 77
}

fail() {
  echo "FAILED: $*"
  exit 1
}

# The temporary folder of the test, and the pids of the daemons it started, each stopped
# by its pid at the end, the last started first, also when the test fails.
work=$(mktemp -d "${TMPDIR:-/tmp}/velquin-recipe.XXXXXX")
daemons=()

stop_daemons() {
  local i
  for ((i = ${#daemons[@]} - 1; i >= 0; i--)); do
    kill "${daemons[i]}" 2> /dev/null || true
    wait "${daemons[i]}" 2> /dev/null || true
  done
  daemons=()
}

on_exit() {
  local status=$?
  stop_daemons
  [ -n "${on_exit_hook:-}" ] && $on_exit_hook
  rm -rf "$work"
  exit "$status"
}
trap on_exit EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Runs a daemon in the foreground of a background job, its output to work/NAME.out.
start_daemon() {
  local name=$1
  shift
  "$@" > "$work/$name.out" 2>&1 &
  daemons+=($!)
}

# Prints n loopback ports that are free now.
free_ports() {
  python3 -c '
import socket, sys
held = [socket.socket() for _ in range(int(sys.argv[1]))]
for s in held:
    s.bind(("127.0.0.1", 0))
print(" ".join(str(s.getsockname()[1]) for s in held))' "$1"
}

# Waits up to seconds for the command to succeed; 1 when it never did.
wait_for() {
  local seconds=$1
  shift
  local end=$((SECONDS + seconds))
  until "$@" > /dev/null 2>&1; do
    [ "$SECONDS" -lt "$end" ] || return 1
    sleep 0.2
  done
}

# The last lines of the daemons' outputs and logs, for a message.
show_logs() {
  local f
  for f in "$@"; do
    [ -f "$f" ] && { echo "--- $f"; tail -n 15 "$f"; }
  done
  return 0
}

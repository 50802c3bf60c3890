#!/usr/bin/env bash
# The README's GNU parallel command over ssh (examples/parallel-files.sh, as the README
# prints it) against a real sshd, started here on a loopback port with a host key and a
# user key made for the test. node1 and node2 are that sshd, named in the test's own ssh
# configuration (GNU parallel takes it from PARALLEL_SSH); the user's ~/.ssh is never read
# or written. The node's login moves into a folder of the test, where velbatch is on the
# PATH, as on a machine where it is installed. Over eight data files:
#   - the tables and reports that come back equal local runs, and the node keeps no copy;
#   - a run broken off after two files (parallel killed by its pid) and run again with the
#     same command fits only the files missing from the job log, and every table is whole.
# Usage: parallel_ssh_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
. "$src/tests/cluster/lib.sh"

for program in /usr/sbin/sshd ssh ssh-keygen rsync parallel python3 pgrep; do
  command -v "$program" > /dev/null ||
    skip "$program is missing (Debian packages openssh-server, openssh-client, rsync, parallel, python3, procps)"
done
# sshd started by root needs its privilege separation folder, which a booted system makes.
if [ ! -d /run/sshd ]; then
  [ "$(id -u)" = 0 ] || skip "sshd needs /run/sshd, which only root can make"
  mkdir -m 755 /run/sshd
  remove_run_sshd() { rmdir /run/sshd 2> /dev/null || true; }
  on_exit_hook=remove_run_sshd
fi

cd "$work"
ssh-keygen -q -t ed25519 -N '' -f host_key
ssh-keygen -q -t ed25519 -N '' -f user_key
cp user_key.pub authorized_keys
mkdir node home local
mkdir home/.parallel && touch home/.parallel/will-cite
cat > node_login << LOGIN
#!/bin/sh
cd "$work/node" || exit 1
HOME=$work/node
PATH=$build:/usr/local/bin:/usr/bin:/bin
export HOME PATH
exec /bin/sh -c "\$SSH_ORIGINAL_COMMAND"
LOGIN
chmod +x node_login
read -r port <<< "$(free_ports 1)"
# The node's home is the test's folder from the start: the login shell would otherwise read
# the startup files of the real home, which may load tools for seconds on every connection.
cat > sshd_config << CONF
Port $port
ListenAddress 127.0.0.1
HostKey $work/host_key
PidFile $work/sshd.pid
AuthorizedKeysFile $work/authorized_keys
PasswordAuthentication no
KbdInteractiveAuthentication no
UsePAM no
StrictModes no
PermitRootLogin prohibit-password
ForceCommand $work/node_login
SetEnv HOME=$work/node
CONF
cat > ssh_config << CONF
Host node1 node2
  HostName 127.0.0.1
  Port $port
  User $(id -un)
  IdentityFile $work/user_key
  IdentitiesOnly yes
  StrictHostKeyChecking no
  UserKnownHostsFile $work/known_hosts
  GlobalKnownHostsFile /dev/null
  BatchMode yes
  LogLevel ERROR
CONF
start_daemon sshd /usr/sbin/sshd -D -e -f "$work/sshd_config"
wait_for 20 ssh -F ssh_config node1 true || { show_logs "$work/sshd.out"; skip "sshd did not start"; }
echo "sshd up on port $port after $SECONDS s"

export HOME=$work/home PARALLEL_SSH="ssh -F $work/ssh_config" PATH="$build:$PATH"
cd local
mkdir plates expected
for k in 1 2 3 4 5 6 7 8; do
  python3 "$src/tests/cluster/make_data.py" ph "plates/p$k.crv" 600 "$k"
  velbatch -j 2 0 "plates/p$k.crv" "expected/p$k.res" "expected/p$k.tsv" 9 500 6 7 8 =1 > /dev/null
done
cp "$src/examples/parallel-files.sh" .

check_tables() {
  local k
  for k in 1 2 3 4 5 6 7 8; do
    cmp "plates/p$k.tsv" "expected/p$k.tsv" || fail "the table of p$k.crv $1"
    cmp "plates/p$k.res" "expected/p$k.res" || fail "the reports of p$k.crv $1"
  done
  [ -z "$(find "$work/node" -type f)" ] || { find "$work/node"; fail "copies left on the node $1"; }
}

sh parallel-files.sh > run.out 2>&1 || { cat run.out; fail "the parallel command"; }
check_tables "fitted over ssh"
[ "$(cut -f 1 batch.log | sed 1d | sort -n | tr '\n' ' ')" = "1 2 3 4 5 6 7 8 " ] ||
  { cat batch.log; fail "the job log"; }
echo "8 files over ssh: the tables and reports of local runs ($SECONDS s)"

# Broken off once two files are done, then run again.
rm -f batch.log plates/*.res plates/*.tsv
sh parallel-files.sh > broken.out 2>&1 &
shell=$!
wait_for 10 pgrep -P "$shell" || fail "parallel did not start"
parallel=$(pgrep -P "$shell")
two_done() { [ -f batch.log ] && [ "$(wc -l < batch.log)" -ge 3 ]; }
wait_for 120 two_done || fail "no file was done"
kill -TERM "$parallel"
wait "$shell" || true
done_first=$(cut -f 1 batch.log | sed 1d | sort -n | tr '\n' ' ')
echo "broken off after the files of jobs $done_first"
[ "$(wc -w <<< "$done_first")" -lt 8 ] || fail "every file was done before the break"
cp batch.log batch.log.first
sh parallel-files.sh > resumed.out 2>&1 || { cat resumed.out; fail "the resumed command"; }
cmp -n "$(wc -c < batch.log.first)" batch.log.first batch.log || fail "the job log was rewritten"
again=$(tail -n +"$(($(wc -l < batch.log.first) + 1))" batch.log | cut -f 1 | sort -n | tr '\n' ' ')
echo "run again: jobs $again"
[ "$(echo $done_first $again | tr ' ' '\n' | sort -n | tr '\n' ' ')" = "1 2 3 4 5 6 7 8 " ] ||
  fail "the run again fitted jobs $again after $done_first"
check_tables "after the run again"
echo "resumed: only the missing files fitted, every table whole ($SECONDS s)"

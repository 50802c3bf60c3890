#!/usr/bin/env bash
# The README's Slurm recipe against a real Slurm: munged, slurmctld and slurmd of one node
# of 2 CPUs, all started here with their state in a temporary folder. The array script
# and the join are examples/slurm-parts.sh and examples/slurm-join.sh, which the README
# prints; on a file of 3000 datasets whose ids have gaps and one repeat, the joined parts
# must be one velbatch run of the whole file, byte for byte. Then a part cut short, as by
# a task killed in the middle of a row, stops the join; its task submitted again alone
# gives the same part, and the join is whole again.
# Usage: slurm_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
src=$(cd "$2" && pwd)
. "$src/tests/cluster/lib.sh"

[ "$(id -u)" = 0 ] || skip "slurmd starts each job as its user, which needs root"
for program in /usr/sbin/munged /usr/sbin/mungekey /usr/sbin/slurmctld /usr/sbin/slurmd \
  /usr/bin/sbatch /usr/bin/sinfo python3; do
  command -v "$program" > /dev/null ||
    skip "$program is missing (Debian packages slurm-wlm, munge and python3)"
done

# munged checks that everyone may pass through the folder of its socket.
chmod 755 "$work"
mkdir "$work/state" "$work/spool" "$work/job"
/usr/sbin/mungekey --create --keyfile="$work/munge.key" > /dev/null 2>&1 ||
  skip "mungekey cannot make a key"
start_daemon munged /usr/sbin/munged --foreground --key-file="$work/munge.key" \
  --socket="$work/munge.socket" --pid-file="$work/munged.pid" --log-file="$work/munged.log" \
  --seed-file="$work/munged.seed"
wait_for 20 test -S "$work/munge.socket" ||
  { show_logs "$work/munged.out"; skip "munged did not start"; }

read -r ctldPort slurmdPort <<< "$(free_ports 2)"
host=$(hostname -s)
cat > "$work/slurm.conf" << CONF
ClusterName=velquintest
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$ctldPort
SlurmdPort=$slurmdPort
AuthType=auth/munge
AuthInfo=socket=$work/munge.socket
CredType=cred/munge
SlurmUser=root
SlurmdUser=root
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/slurmctld.log
SlurmdLogFile=$work/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
SchedulerType=sched/builtin
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
MpiDefault=none
ReturnToService=2
NodeName=velquin-node NodeHostname=$host NodeAddr=127.0.0.1 CPUs=2 State=UNKNOWN
PartitionName=velquin Nodes=velquin-node Default=YES MaxTime=INFINITE State=UP
CONF
export SLURM_CONF=$work/slurm.conf
start_daemon slurmctld /usr/sbin/slurmctld -D -i -f "$SLURM_CONF"
start_daemon slurmd /usr/sbin/slurmd -D -N velquin-node -f "$SLURM_CONF"
node_idle() { [ "$(sinfo -h -o %T 2> /dev/null)" = idle ]; }
wait_for 60 node_idle || {
  show_logs "$work"/slurm*.out "$work/slurmctld.log" "$work/slurmd.log"
  skip "the Slurm node did not come up"
}
echo "Slurm node up after $SECONDS s"

cd "$work/job"
python3 "$src/tests/cluster/make_data.py" t1 big.crv 3000 20
cp "$src/examples/slurm-parts.sh" "$src/examples/slurm-join.sh" .
export PATH="$build:$PATH"
velbatch -j 2 0 big.crv whole.res whole.tsv 4 1000 80 =1.9 300 > whole.out || [ $? = 1 ] ||
  fail "velbatch on the whole file"

sbatch --wait slurm-parts.sh || { cat slurm-*.out; fail "the array of parts"; }
sh slurm-join.sh || fail "the join"
cmp big.tsv whole.tsv || fail "the joined table is not the whole file's"
cmp big.res whole.res || fail "the joined reports are not the whole file's"
rows=$(for k in 0 1 2 3; do echo $(($(wc -l < "part$k.tsv") - 1)); done | sort -n | uniq | tr '\n' ' ')
echo "rows of the parts: $rows"
[ "$(wc -w <<< "$rows")" -le 2 ] || fail "parts of more than two sizes: $rows"
echo "array of 4 tasks joined: the whole batch, byte for byte ($SECONDS s)"

# A task that did not end well: its table cut short inside a row.
cp part2.tsv part2.tsv.first
cp part2.res part2.res.first
cp big.tsv big.tsv.first
truncate -s -7 part2.tsv
if sh slurm-join.sh > join.out 2>&1; then fail "a part cut short was joined"; fi
grep -q "Part table part2.tsv is not whole" join.out || { cat join.out; fail "the join's message"; }
cmp big.tsv big.tsv.first || fail "a refused join changed the table"
sbatch --wait --array=2 slurm-parts.sh || fail "task 2 submitted again alone"
cmp part2.tsv part2.tsv.first || fail "task 2 alone gave another table"
cmp part2.res part2.res.first || fail "task 2 alone gave other reports"
sh slurm-join.sh || fail "the join after task 2 ran again"
cmp big.tsv whole.tsv || fail "the table joined again is not the whole file's"
cmp big.res whole.res || fail "the reports joined again are not the whole file's"
echo "task 2 run again alone: the same part, and the join whole again ($SECONDS s)"

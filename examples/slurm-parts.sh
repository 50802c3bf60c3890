#!/bin/sh
#SBATCH --array=0-3 --cpus-per-task=2
# Array task K fits part K of 4 of big.crv. The count of parts is written here, not taken
# from the array, so that a task submitted again alone (sbatch --array=K) fits the same
# part: keep it equal to the number of tasks in --array.
parts=4
part=part$SLURM_ARRAY_TASK_ID
rm -f "$part.res" "$part.tsv"  # a task run again starts afresh
velbatch -j "$SLURM_CPUS_PER_TASK" --part "$SLURM_ARRAY_TASK_ID/$parts" \
  0 big.crv "$part.res" "$part.tsv" 4 1000 80 =1.9 300
# Status 1 is a whole part with failed or refused fits (the table says which): done.
[ $? -le 1 ]

#!/bin/sh
# Each data file of plates/ is sent to a free machine and fitted there, in a folder of its
# own, and its table and reports come back beside it; the copies there are removed. Run
# again after a break, it fits only the files without a line in batch.log.
parallel --sshlogin 2/node1,2/node2 --workdir ... --transferfile {} \
  --return {.}.tsv --return {.}.res --cleanup --joblog batch.log --resume \
  velbatch -j 2 0 {} {.}.res {.}.tsv 9 500 6 7 8 =1 ::: plates/*.crv

// The batch itself: the main process finds the datasets and hands them out in blocks, worker
// processes fit them and write every report, log and table row in dataset order, whatever
// the number of workers.
#ifndef VELQUIN_BATCH_RUN_H
#define VELQUIN_BATCH_RUN_H

#include "batch_args.h"

// Runs the whole batch. Returns the exit status: 0 when every dataset is ok, 1 when one
// failed or was refused, 2 when the batch could not run on, 130 or 143 after SIGINT or
// SIGTERM.
int run_batch(const batch_options *o);

#endif  // VELQUIN_BATCH_RUN_H

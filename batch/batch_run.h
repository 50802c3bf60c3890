// The batch itself: worker processes fit the datasets, the main process hands them out and
// writes every report, log and table row in dataset order, whatever the number of workers.
#ifndef VELQUIN_BATCH_RUN_H
#define VELQUIN_BATCH_RUN_H

#include "batch_args.h"
#include "batch_index.h"

#include "reports.h"

enum {
  SLOTS_PER_JOB = 4,  // results a worker may finish ahead of the one to be written next
};

// The fit of one dataset, as velquin would make it: what it leaves in the run state, and
// its report, log and table row in the buffers. The data file fp is open (NULL when it
// could not be opened). Returns BATCH_OK, BATCH_FAILED or BATCH_REFUSED; a refused
// dataset has no report and no log (*reportLen and *logLen 0). Prints nothing.
int fit_dataset(const batch_options *o, const batch_dataset *ds, const double *parms,
                const int *held, FILE *fp, char *report, int *reportLen, char *log, int *logLen,
                char *row, int *rowLen);

// Runs the whole batch. Returns the exit status: 0 when every dataset is ok, 1 when one
// failed or was refused, 2 when the batch could not run on, 130 or 143 after SIGINT or
// SIGTERM.
int run_batch(const batch_options *o);

#endif  // VELQUIN_BATCH_RUN_H

// The fit of one dataset of a batch, as velquin would make it: what a worker is given, and
// the reports and row it gives back.
#ifndef VELQUIN_BATCH_FIT_H
#define VELQUIN_BATCH_FIT_H

#include <stdio.h>

#include "batch_args.h"
#include "batch_block.h"
#include "batch_index.h"
#include "batch_table.h"
#include "reports.h"

// A dataset and the parameters it starts from.
struct batch_task {
  batch_dataset ds;
  double parms[MAX_PARMS];
  int held[MAX_PARMS];
};

// Maps the data file at path, read-only, for fit_dataset to read the datasets from
// memory; done before the workers start, so that each of them has the one mapping. A file
// that cannot be mapped (empty, not a regular file) is read as a stream: nothing is
// reported. unmap_data_file undoes it.
void map_data_file(const char *path);
void unmap_data_file(void);

// The fit of one dataset, as velquin would make it: what it leaves in the run state, and
// its report, log and table row in the buffers (no log when log is NULL: *logLen 0). The
// data file fp is open (NULL when it could not be opened); the dataset is read from the
// mapping when there is one and it holds the dataset's place, otherwise from fp. Returns
// BATCH_OK, BATCH_FAILED or BATCH_REFUSED; a refused dataset has no report and no log
// (*reportLen and *logLen 0). Prints nothing.
int fit_dataset(const batch_options *o, const batch_dataset *ds, const double *parms,
                const int *held, FILE *fp, char *report, int *reportLen, char *log, int *logLen,
                char *row, int *rowLen);

// The same for task t, its results added to block b, which has room for them: the work of
// velbatch's workers.
void fit_into_block(const batch_options *o, const batch_task *t, FILE *fp, out_block *b);

#endif  // VELQUIN_BATCH_FIT_H

// The fit of one dataset of a batch, as velquin would make it: what a worker is given, and
// the reports and row it gives back.
#ifndef VELQUIN_BATCH_FIT_H
#define VELQUIN_BATCH_FIT_H

#include <stdio.h>

#include "batch_args.h"
#include "batch_index.h"
#include "batch_table.h"
#include "reports.h"

// A dataset and the parameters it starts from.
struct batch_task {
  batch_dataset ds;
  double parms[MAX_PARMS];
  int held[MAX_PARMS];
  int ownStart;  // 1 when the starts file gives them: --guess leaves them as they are
};

// One dataset's results, as the main process writes them.
struct batch_result {
  int status;                     // BATCH_OK, BATCH_FAILED or BATCH_REFUSED
  int reportLen, logLen, rowLen;  // -1: did not fit its buffer
  int id;
  char report[REPORT_SIZE];
  char log[LOG_SIZE];
  char row[ROW_SIZE];
  int startLen;  // with --save-starts, the start line (start_line) of a fitted dataset; else 0
  char start[START_LINE_SIZE];
};

// Maps the data file at path, read-only, for fit_dataset to read the datasets from
// memory; done before the workers start, so that each of them has the one mapping. A file
// that cannot be mapped (empty, not a regular file) is read as a stream: nothing is
// reported. unmap_data_file undoes it.
void map_data_file(const char *path);
void unmap_data_file(void);

// The fit of task t's dataset, as velquin would make it from one start: what it leaves in
// the run state, and its status, report, log, table row and, with o->saveStarts, the line
// of that start in *r. With o->guess and no start of the task's own, the start is the best
// of the dataset's guesses and the task's parameters (fit_from_guesses). The data file fp
// is open (NULL when it could not be opened); the dataset is read from the mapping when
// there is one and it holds the dataset's place, otherwise from fp. A refused dataset has
// no report, log or start line (their lengths 0). Prints nothing: the work of velbatch's
// workers.
void fit_dataset(const batch_options *o, const batch_task *t, FILE *fp, batch_result *r);

#endif  // VELQUIN_BATCH_FIT_H

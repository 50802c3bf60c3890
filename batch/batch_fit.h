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
  int ownStart;  // 1 when the starts file gives them: --guess leaves them as they are
};

// Maps the data file at path, read-only, for fit_dataset to read the datasets from
// memory; done before the workers start, so that each of them has the one mapping. A file
// that cannot be mapped (empty, not a regular file) is read as a stream: nothing is
// reported. unmap_data_file undoes it.
void map_data_file(const char *path);
void unmap_data_file(void);

// A dataset's texts, by their kinds in batch_block.h: where each is made (NULL for one not
// made) and its length, 0 for none, -1 for one that did not fit its buffer.
struct dataset_texts {
  char *at[BLOCK_TEXTS];
  int len[BLOCK_TEXTS];
};

// The fit of task t's dataset, as velquin would make it from one start: what it leaves in
// the run state, and its report, log, table row and start line (start_line) in *x. With
// o->guess and no start of the task's own, the start is the best of the dataset's guesses
// and the task's parameters (fit_from_guesses). The data file fp is open (NULL when it
// could not be opened); the dataset is read from the mapping when there is one and it
// holds the dataset's place, otherwise from fp. Returns BATCH_OK, BATCH_FAILED or
// BATCH_REFUSED; a refused dataset has no report, log or start line. Prints nothing.
int fit_dataset(const batch_options *o, const batch_task *t, FILE *fp, dataset_texts *x);

// The same for task t, its texts added to block b, which has room for them, those of the
// outputs that o asks for: the work of velbatch's workers.
void fit_into_block(const batch_options *o, const batch_task *t, FILE *fp, out_block *b);

#endif  // VELQUIN_BATCH_FIT_H

// The outputs of a batch: the results file, the table, the saved starts, the log folder,
// the progress line on a terminal and the summary. Results are written as they are given,
// one whole dataset at a time, so that the results file, the table and the saved starts
// always hold the same datasets.
#ifndef VELQUIN_BATCH_OUTPUT_H
#define VELQUIN_BATCH_OUTPUT_H

#include <stdio.h>

#include "batch_args.h"
#include "batch_fit.h"

// Opens the outputs, holding an advisory lock on the results file, the table and the
// saved-starts file until they are closed, writes the headers of the table and the saved
// starts, and starts the counts. Refuses a results file or
// table that another velbatch holds, and without o->append a results file that is not
// empty. Returns 1, or 0 after a framed report with every output closed, nothing written
// and no new file or folder left behind.
int open_outputs(const batch_options *o);

// Writes the results of one dataset: with a log folder its log and report there, then its
// start line, its report and its row. A dataset whose results cannot all be written leaves
// no part of its start line, report or row behind. Returns 1, or 0 after a framed report.
int write_result(const batch_options *o, const batch_result *r);

void close_outputs(void);

// Whether every dataset written is ok, and there was one, or, for a part without any, one
// in the batch.
int outputs_all_ok(void);

// The progress line, on standard error when it is a terminal and never otherwise: started
// once the outputs are open, drawn at most four times a second, and once more, final,
// when the batch ends.
void start_progress(void);
int progress_shown(void);
void draw_progress(int final);

// Writes the summary line of the datasets written to fp: the counts of each status, and the
// ids that the data file repeats. interrupted: the batch was stopped by a signal.
void write_summary(FILE *fp, int interrupted);

// Writes to fp the line that counts the lines of the starts file at path whose datasets the
// batch did not have, naming the first; nothing when there are none.
void write_starts_note(FILE *fp, const char *path);

#endif  // VELQUIN_BATCH_OUTPUT_H

// The outputs of a batch: the results file, the table, the saved starts, the log folder, the
// progress line on a terminal and the summary. Results are written a block of datasets at a
// time, by whichever process of the batch holds the next block, and a block is whole in every
// output or in none, so that the results file, the table and the saved starts always hold
// the same datasets.
#ifndef VELQUIN_BATCH_OUTPUT_H
#define VELQUIN_BATCH_OUTPUT_H

#include <stdio.h>

#include "batch_args.h"
#include "batch_block.h"

// Opens the outputs, holding an advisory lock on the results file, the table and the saved
// starts until they are closed (and while a worker forked since holds them open), and starts the
// counts, which the processes of the batch share. Refuses a results file or table that another
// velbatch holds, and without o->append a results file that is not empty. Writes nothing: returns
// 1, or 0 after a framed report with every output closed and no new file or folder left behind.
int open_outputs(const batch_options *o);

// Empties the table and the saved starts and writes their headers. Returns 1, or 0 after a framed
// report with the outputs closed and taken back as abandon_outputs takes them back.
int start_outputs(const batch_options *o);

// Closes the outputs of a batch that cannot start, removing the files and folders that
// open_outputs made; a file that was there is left as it was.
void abandon_outputs(const batch_options *o);

// Writes the datasets of block b, the next ones of the batch: with a log folder each one's
// log and report there, then the block's reports, rows and start lines, each kind with one
// write. When
// that fails, what it wrote is taken back and the datasets are written one at a time, up
// to the one that cannot be written, of which no part is left behind. Returns 1 when all
// are written, or 0 after a framed report, kept for outputs_failure.
int write_block(const batch_options *o, const out_block *b);

// Prints again the framed report of the write that failed in a worker, which prints nothing.
void outputs_failure(void);

// Cuts every output back to its last whole block: after the writing process was ended in the
// middle of one. Standard output cannot be cut back.
void outputs_take_back(void);

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

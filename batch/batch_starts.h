// The starts file of a batch: starting values for some of its datasets, a line each, read
// again from the file as each dataset's fit starts, so that memory stays fixed whatever the
// file holds.
#ifndef VELQUIN_BATCH_STARTS_H
#define VELQUIN_BATCH_STARTS_H

enum {
  STARTS_LINE_SIZE = 4096,  // a starts file line with its line feed
};

// Reads and checks the starts file: lines of a dataset id and parameter arguments of model
// as velquin takes them, each number whole, comments beginning with "#" or "!"; a byte
// order mark before the first line is skipped. Returns 1, or 0 after a framed report (a
// file that cannot be read, a line without an id or too long, an id twice, a parameter
// that is not a number, more than the model takes). The catalogue must be filled.
int load_starts(const char *path, int model);

// Sets params and held from the starts line of dataset id and returns 1; returns 0 when
// no starts file was given or it has no line for id, -1 after a framed report.
int starts_for(int id, double *params, int *held);

// Notes that the batch has dataset id, for the count of the starts file's other lines; the
// index notes each dataset it hands out.
void starts_met(int id);

// The lines of the starts file whose datasets index_next has not handed out: how many, and
// the first of them, its line number and dataset in *line and *id (untouched when there is
// none). Once the index has handed out every dataset, the lines for datasets not in the
// batch, whatever part of it this process fits.
int starts_unused(int *line, int *id);

// Forgets the starts file, as at process start.
void reset_starts(void);

#endif  // VELQUIN_BATCH_STARTS_H

// One part of a batch cut into N for N processes or machines: the K-th of N contiguous runs
// of the datasets that the index hands out, their sizes differing by at most one, so that
// the parts' outputs, one after the other in part order, are the whole batch's.
#ifndef VELQUIN_BATCH_PART_H
#define VELQUIN_BATCH_PART_H

#include "batch_index.h"

enum {
  // Datasets of one batch: the file's distinct ids and dataset 0, or an --ids list's ids
  // alone and the file's ids in its ranges; ranges that overlap may count an id again.
  MAX_BATCH_DATASETS = MAX_IDS + MAX_ID_RANGES + 1,
};

// Takes the --part value "K/N": K from 0 to N - 1, both decimal. Returns 1, or 0 after a
// framed report.
int parse_part(const char *text);

// Sets the part K of N directly (0 of 0: the whole batch), for tests.
void set_part(int k, int n);

// The next dataset of the part, in batch order; without a part, the index's next, as it
// is found. With a part, the first call reads the whole data file: where a part begins
// depends on how many datasets the batch has. Returns as index_next does.
int part_next(batch_dataset *ds);

// How many datasets the part has, or -1 while that is unknown.
int part_total(void);

// The same, or while the data file is still being read, a count from the bytes read so
// far; -1 when there is nothing to go by.
int part_estimate(void);

// How many datasets the whole batch has, all parts together; -1 while unknown.
int batch_count(void);

// Forgets the part and the datasets taken from the index, as at process start.
void reset_part(void);

#endif  // VELQUIN_BATCH_PART_H

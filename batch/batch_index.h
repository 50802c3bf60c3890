// What a batch fits: the datasets of the data file, found by one pass over it, or those
// that --ids selects (their starting values: batch_starts.h). Memory is fixed whatever the file
// holds: the ids seen are kept in tables of fixed capacity, the places of the datasets are handed
// on as they are found.
#ifndef VELQUIN_BATCH_INDEX_H
#define VELQUIN_BATCH_INDEX_H

#include "batch_ids.h"
#include "capacities.h"
#include "crv_reader.h"

enum {
  MAX_ID_RANGES = 65536,       // items of an --ids list
  MAX_SHOWN_DUPLICATES = 100,  // repeated ids that the summary names
};

// One dataset of the batch, as velquin would select it by its id.
struct batch_dataset {
  int id;
  crv_place at;  // where its data begin (dataset 0: the start of the file), or why not
};

// Takes the --ids list "3,7,10-20" (ids in the int range, a range ascending): an id alone
// is a dataset of the batch, refused when the file lacks it; a range selects the file's
// datasets whose ids lie in it, in file order, however wide it is. Returns 1, or 0 after a
// framed report.
int parse_id_list(const char *text);

// Opens the data file and starts the datasets. Returns 1, or 0 after a framed report.
int index_open(const char *path);

// The next dataset of the batch, in file order or in the order of the --ids list (the
// datasets of a range in file order).
// Returns 1 with *ds set, 0 when there is no more, -1 after a framed report (a read
// error, more distinct ids than the tables take).
int index_next(batch_dataset *ds);

// How many datasets the batch has, or -1 while the data file is still being read.
int index_total(void);

// The same, or while the file is still being read, the count that the bytes read so far
// promise; -1 when there is nothing to go by.
int index_estimate(void);

// The ids of the batch's datasets that stand on more than one id line of the file, as far
// as the file has been read: how many, and the first MAX_SHOWN_DUPLICATES of them.
int duplicate_count(void);
int duplicate_id(int i);

// Forgets the list, the starts and the scan, as at process start.
void reset_index(void);

#endif  // VELQUIN_BATCH_INDEX_H

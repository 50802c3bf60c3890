// A block of consecutive datasets' results, as a worker fits them into shared memory and
// the worker on writing duty appends them to the outputs: each kind of text of the block
// laid end to end, so that one write takes all of a block's reports, and one all its rows.
#ifndef VELQUIN_BATCH_BLOCK_H
#define VELQUIN_BATCH_BLOCK_H

#include "batch_table.h"
#include "reports.h"

enum {
  // The texts of a dataset. Those before BLOCK_STREAMS go to one file each, in dataset
  // order, with the block's text of each written at once; another output of that kind is
  // one more text before BLOCK_STREAMS, with its area in block_areas.
  TEXT_REPORT,  // the results file
  TEXT_ROW,     // the table
  TEXT_START,   // the saved starts (--save-starts)
  BLOCK_STREAMS,
  TEXT_LOG = BLOCK_STREAMS,  // written as a file of its own per dataset, in the log folder
  BLOCK_TEXTS,
  BLOCK_DATASETS = 4096,  // datasets of a block at most
};

// Where text t of a block lies in its bytes, and the most that one dataset's may take.
struct block_area {
  int offset, size, item;
};
extern const block_area block_areas[BLOCK_TEXTS];

// One dataset of a block: its id, its status (BATCH_OK, BATCH_FAILED or BATCH_REFUSED) and
// the length of each of its texts, -1 for a text that did not fit its buffer.
struct block_entry {
  int id, status;
  int len[BLOCK_TEXTS];
};

enum {
  // The areas' sizes: a block of small fits fills them about alike.
  REPORT_AREA = 1 << 20,
  ROW_AREA = 1 << 18,
  START_AREA = 1 << 17,
  LOG_AREA = 1 << 17,
  BLOCK_BYTES = REPORT_AREA + ROW_AREA + START_AREA + LOG_AREA,
};

struct out_block {
  long long first;  // the place in the batch of its first dataset, from 0
  int count;
  int used[BLOCK_TEXTS];  // bytes of each text
  block_entry entry[BLOCK_DATASETS];
  char bytes[BLOCK_BYTES];
};

// Empties b for the datasets from place first on.
void block_start(out_block *b, long long first);

// Whether b takes one more dataset whatever its texts hold.
int block_has_room(const out_block *b);

// Where the next dataset's text t goes: room for block_areas[t].item bytes.
char *block_text(out_block *b, int t);

// Adds the dataset whose texts block_text's places hold, len[t] bytes each.
void block_add(out_block *b, int id, int status, const int *len);

// The start of text t in b, and the bytes that the first n datasets' texts t take.
const char *block_texts(const out_block *b, int t);
long long block_bytes(const out_block *b, int t, int n);

#endif  // VELQUIN_BATCH_BLOCK_H

// A block of datasets' results: the texts of each kind one after the other in an area of
// their own, sized so that a block of small fits holds about as many datasets as a worker
// fits in a few hundredths of a second.
#include "batch_block.h"

// clang-format off
const block_area block_areas[BLOCK_TEXTS] = {
//  offset                    size          item
  {0,                         REPORT_AREA,  REPORT_SIZE},
  {REPORT_AREA,               ROW_AREA,     ROW_SIZE},
  {REPORT_AREA + ROW_AREA,    START_AREA,   START_LINE_SIZE},
  {REPORT_AREA + ROW_AREA + START_AREA, LOG_AREA, LOG_SIZE},
};
// clang-format on

void block_start(out_block *b, long long first) {
  b->first = first;
  b->count = 0;
  for (int t = 0; t < BLOCK_TEXTS; t++) b->used[t] = 0;
}

int block_has_room(const out_block *b) {
  if (b->count == BLOCK_DATASETS) return 0;
  for (int t = 0; t < BLOCK_TEXTS; t++) {
    if (b->used[t] + block_areas[t].item > block_areas[t].size) return 0;
  }
  return 1;
}

char *block_text(out_block *b, int t) { return b->bytes + block_areas[t].offset + b->used[t]; }

void block_add(out_block *b, int id, int status, const int *len) {
  block_entry *e = &b->entry[b->count++];
  e->id = id;
  e->status = status;
  for (int t = 0; t < BLOCK_TEXTS; t++) {
    e->len[t] = len[t];
    if (len[t] > 0) b->used[t] += len[t];
  }
}

const char *block_texts(const out_block *b, int t) { return b->bytes + block_areas[t].offset; }

long long block_bytes(const out_block *b, int t, int n) {
  if (n == b->count) return b->used[t];
  long long sum = 0;
  for (int i = 0; i < n; i++) {
    if (b->entry[i].len[t] > 0) sum += b->entry[i].len[t];
  }
  return sum;
}

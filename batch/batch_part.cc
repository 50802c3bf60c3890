// The part of a batch that one process fits. The index hands the datasets out in batch
// order without knowing how many there are; a part's first dataset is known only once
// their number is, so a part takes them all from the index first, into a fixed table, and
// hands out its own run of them. Whatever decides the batch's datasets (the file, an --ids
// list) decides the parts' too.
#include "batch_part.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "show_err.h"

static int partIndex, partCount;  // partCount 0: no part, the whole batch as it is found
static batch_dataset taken[MAX_BATCH_DATASETS];
static int takenCount = -1;  // the batch's datasets, once the index has handed out all
static int partFrom, partTo, partNext;

void reset_part(void) {
  partIndex = partCount = 0;
  takenCount = -1;
  partFrom = partTo = partNext = 0;
}

void set_part(int k, int n) {
  reset_part();
  partIndex = k;
  partCount = n;
}

// A count of the part value: decimal digits only, within the int range.
static int part_number(const char **p, int *v) {
  const char *s = *p;
  if (*s < '0' || *s > '9') return 0;
  char *end;
  long n = strtol(s, &end, 10);
  if (n > 0x7fffffffL) return 0;
  *v = (int)n;
  *p = end;
  return 1;
}

int parse_part(const char *text) {
  const char *p = text;
  int k = 0, n = 0;
  int ok = part_number(&p, &k) && *p++ == '/' && part_number(&p, &n) && *p == '\0' && k < n;
  if (!ok) {
    char msg[MESSAGE_SIZE];
    snprintf(msg, sizeof msg, "Invalid part %.*s: K/N, K from 0 to N-1, such as 3/20\n",
             MESSAGE_SIZE - 64, text);
    show_err(ERR_FATAL, "get_batch_args", msg);
    return 0;
  }
  set_part(k, n);
  return 1;
}

// Takes every dataset of the batch from the index and places the part in them: parts of
// floor(n * K / N) to floor(n * (K + 1) / N), which cover the n datasets once each with
// sizes that differ by at most one. Returns 1, or -1 after a framed report.
static int take_batch(void) {
  int n = 0;
  for (;;) {
    batch_dataset ds;
    int got = index_next(&ds);
    if (got < 0) return -1;
    if (got == 0) break;
    if (n == MAX_BATCH_DATASETS) {
      char msg[MESSAGE_SIZE];
      snprintf(msg, sizeof msg, "More than %d datasets in one batch to cut into parts\n",
               MAX_BATCH_DATASETS);
      show_err(ERR_FATAL, "index_datasets", msg);
      return -1;
    }
    taken[n++] = ds;
  }
  takenCount = n;
  partFrom = (int)((long long)n * partIndex / partCount);
  partTo = (int)((long long)n * (partIndex + 1) / partCount);
  partNext = partFrom;
  return 1;
}

int part_next(batch_dataset *ds) {
  if (partCount == 0) return index_next(ds);
  if (takenCount < 0 && take_batch() < 0) return -1;
  if (partNext >= partTo) return 0;
  *ds = taken[partNext++];
  return 1;
}

int part_total(void) {
  if (partCount == 0) return index_total();
  return takenCount < 0 ? -1 : partTo - partFrom;
}

int part_estimate(void) {
  if (partCount == 0) return index_estimate();
  if (takenCount >= 0) return partTo - partFrom;
  int whole = index_estimate();
  return whole < 0 ? -1 : whole / partCount;
}

int batch_count(void) {
  if (partCount == 0) return index_total();
  return takenCount;
}

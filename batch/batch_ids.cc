// The id tables of a batch: open addressing over fixed slots, and the reading of an id.
#include "batch_ids.h"

#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>

// Each run of 64 neighbouring ids keeps its order in 64 neighbouring slots, so that a file of
// consecutive ids touches a page of the table for every thousand ids rather than one for
// each; Fibonacci hashing spreads the runs, whatever their pattern.
enum { ID_RUN_BITS = 6 };
static unsigned id_hash(int id) {
  unsigned run = (((unsigned)id >> ID_RUN_BITS) * 2654435769u) >> (32 - 22 + ID_RUN_BITS);
  return run << ID_RUN_BITS | ((unsigned)id & ((1u << ID_RUN_BITS) - 1));
}
static_assert(ID_SLOTS == 1 << 22, "the hash gives 22 bits");

int id_slot(id_table *t, int id, int insert) {
  for (unsigned s = id_hash(id);; s = (s + 1) & (ID_SLOTS - 1)) {
    if (t->state[s] == SLOT_EMPTY) {
      if (!insert || t->count >= MAX_IDS) return -1;
      t->key[s] = id;
      if (t->count < NOTED_SLOTS) t->noted[t->count] = (int)s;
      t->count++;
      return (int)s;
    }
    if (t->key[s] == id) return (int)s;
  }
}

void clear_table(id_table *t) {
  if (t->count > NOTED_SLOTS) {
    memset(t->state, 0, sizeof t->state);
  } else {
    for (int i = 0; i < t->count; i++) t->state[t->noted[i]] = SLOT_EMPTY;
  }
  t->count = 0;
}

int list_id(const char **p, int *id) {
  char *end;
  errno = 0;
  long v = strtol(*p, &end, 10);
  if (end == *p || errno == ERANGE || v < INT_MIN || v > INT_MAX) return 0;
  *id = (int)v;
  *p = end;
  return 1;
}

// The sets of dataset ids that a batch keeps: the ids of the data file, of an --ids list and
// of a starts file. Each is a table of fixed capacity, whatever the files hold.
#ifndef VELQUIN_BATCH_IDS_H
#define VELQUIN_BATCH_IDS_H

enum {
  ID_SLOTS = 1 << 22,      // slots of each id table, a power of two
  MAX_IDS = ID_SLOTS / 2,  // distinct ids a table takes: half full keeps the probes short
  NOTED_SLOTS = 1024,      // the first slots taken, noted in each table
};

// A set of ids with open addressing; each slot may carry a value in a table of its user.
// The first slots taken are noted, so that a table of few ids is cleared without touching
// all of its pages.
struct id_table {
  int key[ID_SLOTS];
  unsigned char state[ID_SLOTS];  // SLOT_EMPTY; then a mark of the table's user
  int count;
  int noted[NOTED_SLOTS];
};

enum { SLOT_EMPTY = 0 };

// The slot of id, or, when insert is set, a new empty slot for it; -1 when id is absent
// or the table already holds MAX_IDS ids.
int id_slot(id_table *t, int id, int insert);

// Empties the table.
void clear_table(id_table *t);

// Reads one id at *p, moving *p past it; 0 unless it is an integer within the int range.
int list_id(const char **p, int *id);

#endif  // VELQUIN_BATCH_IDS_H

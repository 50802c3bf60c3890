// The table of a batch: one tab-separated row per dataset with its status, iteration
// count, RMSE, every parameter and its standard deviation, and the failure message, for
// programs (Python, R, awk) to read without help.
#ifndef VELQUIN_BATCH_TABLE_H
#define VELQUIN_BATCH_TABLE_H

#include "run_state.h"

enum {
  ROW_SIZE = 2048,  // a row: 4 + 2 * MAX_PARMS fields of at most 24 characters, a message
  BATCH_OK = 0,     // a dataset's status in the table, as its row names it
  BATCH_FAILED = 1,
  BATCH_REFUSED = 2,
};

extern const char *const batch_status_names[3];

// Writes the header line for model into buf: id, status, iterations, rmse, each parameter
// label without its dots and colon followed by the label with "_sd", message. Returns the
// length, or -1 when it does not fit size.
int table_header(char *buf, int size, int model);

// Writes the row of dataset id into buf from the run state that its fit left (fitFunc,
// fitParms, fitStdDev, itCount, rmse): every number in the shortest form that reads back
// as the same double, nan without a sign. A refused row leaves its number fields empty.
// Tabs, line breaks and double quotes of message become blanks. Returns the length, or
// -1 when it does not fit size.
int table_row(char *buf, int size, int id, int status, const char *message);

#endif  // VELQUIN_BATCH_TABLE_H

// The table of a batch: one tab-separated row per dataset with its status, iteration
// count, RMSE, every parameter and its standard deviation, the failure message and, for a
// failed fit, the reason it stopped, for programs (Python, R, awk) to read without help;
// its writer, and its reader for velplot. Beside it, the line of a saved start.
#ifndef VELQUIN_BATCH_TABLE_H
#define VELQUIN_BATCH_TABLE_H

#include <stdio.h>

#include "capacities.h"

enum {
  ROW_SIZE = 2048,        // a row: 4 + 2 * MAX_PARMS fields of at most 24 characters, a
                          // message and a reason
  START_LINE_SIZE = 512,  // a saved start: an id and MAX_PARMS numbers of at most 25 characters
  BATCH_OK = 0,           // a dataset's status in the table, as its row names it
  BATCH_FAILED = 1,
  BATCH_REFUSED = 2,
};

extern const char *const batch_status_names[3];

// Writes parameter i's label of model without its dots and colon ("Vo(1)....:" gives
// "Vo(1)") into buf, as snprintf does. Returns its length.
int column_label(char *buf, int size, int model, int i);

// Writes the header line for model into buf: id, status, iterations, rmse, each parameter
// label without its dots and colon followed by the label with "_sd", message, reason.
// Returns the length, or -1 when it does not fit size.
int table_header(char *buf, int size, int model);

// Writes the row of dataset id into buf from the run state that its fit left (fitFunc,
// fitParms, fitStdDev, itCount, rmse): every number in the shortest form that reads back
// as the same double, nan without a sign. A refused row leaves its number fields empty.
// A failed fit's parameters are its starting values, restored, while its iterations and
// rmse are those of the last iterate: the reason, written from the engine's stop (fitStop,
// fitStopParm, fitStartRmse, maxIt) and the loaded data's nanDataLine, says where that
// iterate stood and why the fit stopped there; ok and refused rows leave it empty. Tabs,
// line breaks and double quotes of message become blanks. Returns the length, or -1 when
// it does not fit size.
int table_row(char *buf, int size, int id, int status, const char *message);

// Writes the start of dataset id's fit into buf as a line of a starts file: the id, then
// each parameter up to the model's count or the last one held or not 0, whichever is
// further, a held one with "=", every number in the shortest form that reads back as the
// same double (nan without a sign). Returns the length, or -1 when it does not fit size.
int start_line(char *buf, int size, int id, int model, const double *parms, const int *held);

// Writes the comment line that heads a saved-starts file for model: "# id" and the
// parameter labels. Returns the length, or -1 when it does not fit size.
int start_header(char *buf, int size, int model);

// A table being read: the open file, its name for messages, the line reached, and what its
// header says.
struct table_reader {
  FILE *fp;
  const char *path;
  int lineNo;
  int parmCount;              // parameter columns, each with its _sd column
  int hasReason;              // 1 when a reason column follows message
  char header[ROW_SIZE + 1];  // the header line as read, without its line end
};

// One row as the reader gives it back: nan where the table holds no number. A refused row
// has its numbers 0; an empty message is empty, whether written empty or as R's NA.
struct table_entry {
  int id;
  int status;
  int iterations;
  double rmse;
  double parms[MAX_PARMS];
  double stdDev[MAX_PARMS];
  char message[ROW_SIZE];
  char reason[ROW_SIZE];  // empty in a table without the column
};

// The reader takes the tables that velbatch writes and the same tables written back by pandas
// (to_csv with sep="\t", index=False) or R (write.table with sep="\t", quote=FALSE,
// row.names=FALSE): whole numbers as 1000.0 or 1e+05, nan, NaN, NA or an empty field for a
// value that is not a number, inf, Inf, -Inf, column names as R renames them (Vo.1.), and a
// UTF-8 byte order mark before the header.

// Reads the header of the table in fp, which must be one that table_header writes for some
// model (the catalogue must be filled), with or without a reason column after message.
// Returns 1, or 0 after a framed report.
int table_start(table_reader *t, FILE *fp, const char *path);

// Whether the table's header is the one that table_header writes for model.
int table_of_model(const table_reader *t, int model);

// The parameter column named label as the header writes it ("pKa", "Vo(1)") or as R
// renames it ("Vo.1."), from 0; -1 when the table has none.
int table_parm_index(const table_reader *t, const char *label);

// Reads the next row into *e. Returns 1, 0 at the end of the table, or -1 after a framed
// report: a line too long, a field count other than the header's, an id, a status or a
// number that does not read, an iteration count that is not a whole number, a refused row
// with numbers.
int table_next(table_reader *t, table_entry *e);

#endif  // VELQUIN_BATCH_TABLE_H

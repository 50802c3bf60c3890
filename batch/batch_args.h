// The command line of velbatch and the checks made before anything is written.
#ifndef VELQUIN_BATCH_ARGS_H
#define VELQUIN_BATCH_ARGS_H

#include "capacities.h"

enum {
  MAX_JOBS = 64,       // worker processes
  NUM_BATCH_ARGS = 6,  // positions before the parameters
  LOG_NAME_ROOM = 16,  // "/" and the longest id and ".log" after the log folder's name
  ARGS_BAD = 0,        // get_batch_args: the usage or a framed report has been printed
  ARGS_OK = 1,         // the options are set
  ARGS_ANSWERED = 2,   // --help or --version has been answered
};

struct batch_options {
  int jobs;
  const char *idList;      // NULL: every dataset of the file
  const char *part;        // NULL: the whole batch; else "K/N", one of N parts of it
  const char *startsFile;  // NULL: every dataset starts from the parameters below
  const char *logDir;      // NULL: no logs
  double dataOffset;
  const char *dataFile;
  const char *resultsFile;
  const char *tableFile;  // "-": standard output
  int model;
  int maxIt;
  double parms[MAX_PARMS];
  int held[MAX_PARMS];
};

extern const char velbatch_usage[];

// Reads the options and positions into *o, numbers converted as velquin converts them.
// Returns ARGS_OK, ARGS_ANSWERED after --help or --version, or ARGS_BAD after the usage
// text or a framed report.
int get_batch_args(int argc, char **argv, batch_options *o);

// Refuses outputs that are another file of the batch: a results file or table that is the
// data file, a table that is the results file (the same file by device and inode, or, for
// files still to be made, the same name in the same folder). Returns 1, or 0 after a
// framed report.
int check_batch_files(const batch_options *o);

// Refuses a log folder whose logs would be another file of the batch: a results file or
// table named as a log in it, or a log there already that is the data file, the results
// file or the table. Checked once the folder exists; returns 1, or 0 after a framed report.
int check_log_folder(const batch_options *o);

#endif  // VELQUIN_BATCH_ARGS_H

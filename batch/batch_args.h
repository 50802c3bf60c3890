// The command line of velbatch and the checks made before anything is written.
#ifndef VELQUIN_BATCH_ARGS_H
#define VELQUIN_BATCH_ARGS_H

#include "capacities.h"

enum {
  MAX_JOBS = 64,       // worker processes
  NUM_BATCH_ARGS = 6,  // positions before the parameters
  LOG_NAME_ROOM = 16,  // "/" and the longest id and ".log" or ".res" after the log folder's name
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
  int append;              // a results file that holds reports may take more
  int guess;               // 1: starting values from each dataset's data (--guess)
  const char *saveStarts;  // NULL: the starts of the fits are not written
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

// Reads the options and positions into *o. Every number must be one as a whole, and no
// more parameters than the model takes are given: a slip that velquin would read as a
// prefix or drop would go into every dataset of the batch. Returns ARGS_OK, ARGS_ANSWERED
// after --help or --version, or ARGS_BAD after the usage text or a framed report.
int get_batch_args(int argc, char **argv, batch_options *o);

// Reads the n parameter words of model into params and held (those not given 0 and free),
// each a number as a whole after an optional "=", as velquin's parameters are given.
// Returns PARMS_READ, PARMS_TOO_MANY when model takes fewer than n (its labelled
// parameters; model 12, which has none, takes MAX_PARMS), or the index of the first word
// that is not a number. What is wrong can be told with parm_count_text and parm_name.
enum { PARMS_READ = -1, PARMS_TOO_MANY = -2 };
int read_parms(char *const *words, int n, int model, double *params, int *held);

// "Model 5 (T2 Relaxation) takes 2 parameters: Mo T2; 3 given" into buf, as snprintf does.
int parm_count_text(char *buf, int size, int model, int given);

// Parameter i of model as a message names it: its label without dots ("T2"), or for a
// model without labels its place from 1. As snprintf does.
int parm_name(char *buf, int size, int model, int i);

// Refuses outputs that are another file of the batch: a results file or table that is the
// data file, a table that is the results file, a saved-starts file that is the data file,
// the results file, the table or the starts file (the same file by device and inode, or,
// for files still to be made, the same name in the same folder). Returns 1, or 0 after a
// framed report.
int check_batch_files(const batch_options *o);

// Refuses a log folder whose logs or reports would be another file of the batch: a results
// file, table or saved-starts file named as one of them in it, or one there already that
// is the data file, the results file, the table or the saved-starts file. Checked once the folder
// exists; returns 1, or 0 after a framed report.
int check_log_folder(const batch_options *o);

#endif  // VELQUIN_BATCH_ARGS_H

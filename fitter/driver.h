// The top of the fitter: how a run is set up, its data loaded, and the loaded dataset fitted
// and reported. velquin's main runs these steps once; velbatch runs them for each dataset and
// velplot for each picture, all through the same functions.
#ifndef VELQUIN_DRIVER_H
#define VELQUIN_DRIVER_H

#include <stdio.h>

#include "capacities.h"
#include "crv_reader.h"

// What a run is, as a command line gives it. The names must fit NAME_SIZE (check_name);
// parameters past the ones given are 0 and free.
struct run_setup {
  double dataOffset;
  int dataRes;
  const char *dataFname;
  const char *resultsFname;  // NULL: no results file
  const char *logFname;      // NULL: no log
  int fitFunc;               // checked by check_model
  int maxIt;
  double fitParms[MAX_PARMS];
  int holdConstFlag[MAX_PARMS];
};

// Gives the run state the zero state of a fresh process, then stores the run r: the
// command-line globals and numParms. The model catalogue must be filled.
void setup_run(const run_setup *r);

extern const char velquin_usage[];

// Fills the command-line globals from velquin's command line. Returns 1, or 0 after the
// usage text (a short command line) or a framed report (a file name that does not fit its
// buffer, an output file that is the data file, a log that is the results file), before
// any file is touched.
int get_args(int argc, char **argv);

// Refuses a model number without a formula and loads the dataset. Returns 1, or 0 after a
// framed report.
int init_vars(void);

// Loads dataset dataRes of dataFname into numData, numDataCol, xOffsetData (with
// dataOffset added), yData and tData. With at NULL the file is opened and searched from
// the top; otherwise fp is the open data file (NULL when it could not be opened) and *at
// where a scan found the dataset. Returns 1, or 0 after a framed report.
int load_data(FILE *fp, const crv_place *at);

// The same for the dataset found at *at, read from the data file's bytes in memory,
// bytes[0, size) (the whole file, mapped), as load_data would read it from the file.
int load_data_mem(const char *bytes, long long size, const crv_place *at);

// Writes the report of the fit just made, whose outcome was outcome, to results and its
// log to log (none when log is NULL).
void report_fit(FILE *results, FILE *log, int outcome);

// Fits the loaded dataset, then writes its report to results and its log to log (none when
// log is NULL), whatever the fit's outcome. Returns the outcome: FIT_DONE, or a failure whose
// log message is fit_messages[outcome]. Write errors stay in the streams for their closer to
// find.
int fit_and_report(FILE *results, FILE *log);

// Fits, then writes the results file and the log whatever the fit's outcome.
// Returns the exit status: 0 for a completed fit, 1 for a failed one or an output file
// that could not be written.
int do_morvane(void);

#endif  // VELQUIN_DRIVER_H

// Reports of velquin: the results file, appended to by every run, and the log file,
// rewritten by every run, with the log's reader for the programs that draw a fit. The
// writers take the open file; the caller opens and closes.
#ifndef VELQUIN_REPORTS_H
#define VELQUIN_REPORTS_H

#include <math.h>
#include <stdio.h>

#include "capacities.h"

enum {
  // The report of the largest dataset: its head, ten parameter rows and MAX_POINTS rows of
  // at most five values of 12 characters each.
  REPORT_SIZE = 2048 + MAX_PARMS * 64 + MAX_POINTS * 72,
  LOG_SIZE = 1024,  // ten parameter lines, the RMSE, the count and a message
};

// A value as the reports print it: a NaN loses its sign, which comes from the order in
// which the compiler happened to put the operands, not from the data, and would make
// one build print "-nan" where another prints "nan". Infinities keep theirs.
static inline double shown(double v) { return isnan(v) ? fabs(v) : v; }

// Writes the human-readable report of the run to fp, which the results file's writer
// opens for appending. Returns 1.
int write_results(FILE *fp);

// Writes the log's unlabelled summary to fp: n parameter lines, the RMSE and the
// iteration count, then the fit's failure message when there is one (NULL otherwise).
// Returns 1.
int write_log_results(FILE *fp, const char *message);

// Writes the log of a failed fit before its summary: the message line alone. Returns 1.
int write_log_msg(FILE *fp, const char *message);

// Reads back the log file fname that write_log_results wrote for a fit of model: the
// parameter values into params (the catalogue's count for model), the RMSE into *logRmse, and
// into *failed whether a fit's failure message follows the iteration count. A log of a model
// with more or fewer parameters fails at its RMSE line instead of giving wrong values.
// Returns 1, or 0 after a framed report.
int read_log_results(const char *fname, int model, double *params, double *logRmse, int *failed);

#endif  // VELQUIN_REPORTS_H

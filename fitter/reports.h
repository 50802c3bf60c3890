// Reports of velquin: the results file, appended to by every run, and the log file,
// rewritten by every run. The writers take the open file; the caller opens and closes.
#ifndef VELQUIN_REPORTS_H
#define VELQUIN_REPORTS_H

#include <math.h>
#include <stdio.h>

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

// The one checked open and close of an output file. open_output returns NULL, and
// close_output 0, after a fatal report naming module; a failed write anywhere before the
// close is caught there, so a full disk never passes for a whole report.
FILE *open_output(const char *fname, const char *mode, const char *module);
int close_output(FILE *fp, const char *fname, const char *module);

#endif  // VELQUIN_REPORTS_H

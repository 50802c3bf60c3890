// Reports of velquin: the results file, appended to by every run, and the log file,
// rewritten by every run. An output file that cannot be opened or written ends the process.
#ifndef VELQUIN_REPORTS_H
#define VELQUIN_REPORTS_H

#include <math.h>

// A value as the reports print it: a NaN loses its sign, which comes from the order in
// which the compiler happened to put the operands, not from the data, and would make
// one build print "-nan" where another prints "nan". Infinities keep theirs.
static inline double shown(double v) { return isnan(v) ? fabs(v) : v; }

// Appends the human-readable report of the run to the file fname. Returns 1.
int write_results(const char *fname);

// Rewrites the log with the unlabelled summary: n parameter lines, the RMSE and the
// iteration count, then the fit's failure message when write_log_msg had one.
int write_log_results(void);

// Rewrites the log with one message line and keeps a copy of the message for the
// summary. Returns 1.
int write_log_msg(const char *message);

// Forgets the kept message, as at process start: the next summary stands alone.
void clear_log_msg(void);

#endif  // VELQUIN_REPORTS_H

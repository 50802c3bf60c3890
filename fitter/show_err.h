// The one error reporter of velquin and of the programs built on its fitter: a framed report
// on standard output (standard error for a program that keeps its output for results), or,
// while a batch or a test asks for quiet, only the message kept.
#ifndef VELQUIN_SHOW_ERR_H
#define VELQUIN_SHOW_ERR_H

#include "capacities.h"

// Prints one framed report on standard output, or on standard error while errToStderr is
// set; type ERR_FATAL is headed as fatal, any other type as a warning. The message is
// printed as it stands and kept in errMessage (cut to its size) for a caller that reports
// it another way. Printing is left out while errQuiet is set.
void show_err(int type, const char *module, const char *message);
extern char errMessage[MESSAGE_SIZE];
extern int errQuiet;
extern int errToStderr;

#endif  // VELQUIN_SHOW_ERR_H

// The profile of one column of a velbatch table: a parameter or the RMSE against the dataset
// id, with the standard deviations as bars, and the failed and refused datasets marked apart
// where no value stands. The table is read once, straight into the script.
#ifndef VELQUIN_PLOT_PROFILE_H
#define VELQUIN_PLOT_PROFILE_H

#include <stdio.h>

#include "batch_table.h"

// Reads the table t on from its header and writes to fp the whole script of the profile
// of column param (a parameter label as the header writes it, or "rmse"): values with
// their standard deviations against the dataset id, on a log scale for logX (ids <= 0
// left out and counted in the key), failed and refused datasets marked apart. Returns 1,
// or 0 after a framed report: a table of fewer than two datasets, of no successful fit (of
// an id above 0 for logX), without that column, or that does not read.
int write_profile_script(FILE *fp, int format, table_reader *t, const char *param, int logX);

#endif  // VELQUIN_PLOT_PROFILE_H

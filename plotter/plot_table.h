// The pictures of a velbatch table: one parameter across the datasets, and every fit of the
// table, each as the picture of a single fit. The table is read as it is written, never
// whole into memory; the data file is scanned once to find every dataset of the table.
#ifndef VELQUIN_PLOT_TABLE_H
#define VELQUIN_PLOT_TABLE_H

#include <stdio.h>

#include "batch_table.h"
#include "driver.h"

enum {
  MAX_TABLE_PAGES = 100000,  // datasets of a table drawn page by page or in grids
};

// Reads the table t on from its header and writes to fp the whole script of the profile
// of column param (a parameter label as the header writes it, or "rmse"): values with
// their standard deviations against the dataset id, failed and refused datasets marked
// apart. Returns 1, or 0 after a framed report: a table of fewer than two datasets, of
// no successful fit, without that column, or that does not read.
int write_profile_script(FILE *fp, int format, table_reader *t, const char *param);

// Reads the rows of the table t (of model fitFunc) and finds their datasets in dataFname
// by one scan. Returns the number of datasets, or -1 after a framed report: a table of
// another model, of no dataset or more than MAX_TABLE_PAGES, a fitted dataset that the
// data file does not hold.
int plan_table_pages(table_reader *t);

// The grid of the small pictures of count datasets in a file, and how many files they take.
void grid_shape(int count, int *cols, int *rows);
int grid_files(int count);

// Reads the table t again from its first row and writes to fp the script of every
// dataset that plan_table_pages found, each set up from base and loaded from data (the open
// data file) and
// drawn from the table's values: a page each for PLOT_PDF, grids of small pictures for the
// others, in files named partBase-1, partBase-2 ... Returns 1, or 0 after a framed report.
int write_table_pages(FILE *fp, int format, table_reader *t, const run_setup *base, FILE *data,
                      const char *partBase);

#endif  // VELQUIN_PLOT_TABLE_H

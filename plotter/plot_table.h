// The datasets of a velbatch table, for the pictures of its every fit: the table is read as
// it is written, never whole into memory; one scan of the data file finds where each of its
// datasets is, and each is loaded again from there when its picture is drawn.
#ifndef VELQUIN_PLOT_TABLE_H
#define VELQUIN_PLOT_TABLE_H

#include <stdio.h>

#include "batch_table.h"
#include "driver.h"
#include "plot_picture.h"

enum {
  MAX_TABLE_PAGES = 100000,  // datasets of a table drawn page by page or in grids
};

// Reads the rows of the table t (of model fitFunc) and finds their datasets in dataFname
// by one scan. Returns the number of datasets, or -1 after a framed report: a table of
// another model, of no dataset or more than MAX_TABLE_PAGES, a fitted dataset that the
// data file does not hold.
int plan_table_pages(table_reader *t);

// Whether tableRmse, the table's RMSE of dataset id (a successful fit), is the RMSE of
// fitParms over the loaded data, to 1e-9 of the larger of it and the data's largest size:
// the table's values are drawn over these data only if they were fitted to them. Returns 1,
// or 0 after a framed report that names the dataset and what to check.
int check_table_rmse(int id, double tableRmse, const char *tablePath);

// Reads the next row of the table t, which must be that of page k of the plan, sets up
// its run from base with the row's dataset and values, loads the dataset from data (the
// open data file) and computes its curve, with x on a log scale for logX; *page says what the row
// says. A refused dataset is drawn with its data where they can be read, quietly; a fitted one must
// load, and a successful fit's RMSE must be the table's. Returns 1, or 0 after a framed report: a
// table changed since it was planned, a dataset that does not load or does not match.
int load_table_page(table_reader *t, int k, const run_setup *base, FILE *data, int logX,
                    plot_page *page);

#endif  // VELQUIN_PLOT_TABLE_H

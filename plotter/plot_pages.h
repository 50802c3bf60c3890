// Documents of many pictures: every fit of a velbatch table drawn as a page each of a PDF, or
// as grids of small pictures, sixteen to an SVG or PNG file.
#ifndef VELQUIN_PLOT_PAGES_H
#define VELQUIN_PLOT_PAGES_H

#include <stdio.h>

#include "batch_table.h"
#include "driver.h"
#include "files.h"

enum {
  GRID_COLUMNS = 4,  // small pictures side by side in a file of a table's fits
  GRID_ROWS = 4,     // and their rows: sixteen stay legible at 400 by 330 pixels each
};

// The grid of the small pictures of count datasets in a file, and how many files they take.
void grid_shape(int count, int *cols, int *rows);
int grid_files(int count);

// Reads the table t again from its first row and writes to fp the script of the count
// datasets that plan_table_pages found, each set up from base, loaded from data (the open
// data file) and drawn from the table's values: a page each for PLOT_PDF, on gnuplot's
// standard output; for the others grids of small pictures, grid file k written to
// parts[k].temp; with x on a log scale for logX. Returns 1, or 0 after a framed report.
int write_table_pages(FILE *fp, int format, table_reader *t, int count, const run_setup *base,
                      FILE *data, const beside_file *parts, int logX);

#endif  // VELQUIN_PLOT_PAGES_H

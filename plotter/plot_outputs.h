// velplot's files: each picture written beside its name and renamed onto it once gnuplot
// has drawn them all, and the script that gnuplot reads, a private temporary file. A
// picture appears whole or not at all, those of a grid all together, and no temporary
// file stays behind, neither on a failure nor on an interrupt.
#ifndef VELQUIN_PLOT_OUTPUTS_H
#define VELQUIN_PLOT_OUTPUTS_H

#include <stdio.h>

#include "files.h"
#include "plot_pages.h"
#include "plot_table.h"

enum {
  // The grid files of the largest table; one picture is a single file.
  MAX_OUTPUT_FILES = (MAX_TABLE_PAGES + GRID_COLUMNS * GRID_ROWS - 1) / (GRID_COLUMNS * GRID_ROWS),
};

// The name of output file k (from 1) of files named after fname: fname itself for one,
// NAME-k.png for more, the extension keeping its case.
void output_name(char *buf, int size, const char *fname, int k, int files);

// Opens the temporary files of the pictures named after fname (files of them for grids; 0
// for one picture that gnuplot writes to its standard output), then the script's, and
// removes them all on an interrupt from now on. Returns the script's stream, or NULL after
// a framed report with nothing left behind: a folder in the way of a picture, a folder
// that does not exist or cannot be written.
FILE *open_outputs(const char *fname, int files);

// The temporary files of the grid files: parts[k] becomes output file k + 1.
const beside_file *output_parts(void);

// The file that gnuplot's standard output writes the one picture to; -1 for grids.
int picture_fd(void);

// The script's temporary file, never named with a leading "-" that gnuplot would take for
// an option.
const char *script_path(void);

// Closes the script's stream. Returns 1, or 0 after a framed report with every temporary
// file removed.
int close_script(FILE *fp);

// Renames the pictures onto their names once gnuplot has drawn them. Returns 1, or 0 after
// a framed report with every temporary file removed: a picture that gnuplot left empty, a
// folder in the way of one, which is found before any is renamed.
int commit_outputs(void);

// Removes every temporary file, the pictures and the script. Safe to call again.
void discard_outputs(void);

#endif  // VELQUIN_PLOT_OUTPUTS_H

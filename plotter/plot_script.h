// The picture of a fit: the curve and residuals of the loaded data at fitParms, and the
// gnuplot script that draws them, alone, as a page of a document or as one small picture of
// a grid. Reads the run state of velquin; never prints.
#ifndef VELQUIN_PLOT_SCRIPT_H
#define VELQUIN_PLOT_SCRIPT_H

#include <stdio.h>

#include "capacities.h"

enum {
  GRID_POINTS = 400,        // curve points across the x range of two-column data
  CURVE_SIZE = MAX_POINTS,  // three-column data give one curve point per data point
  PLOT_SVG = 0,             // picture formats, chosen by the output file's extension
  PLOT_PNG = 1,
  PLOT_PDF = 2,
  GRID_COLUMNS = 4,  // small pictures side by side in a file of a table's fits
  GRID_ROWS = 4,     // and their rows: sixteen stay legible at 400 by 330 pixels each
  SHOWN_FIT = 0,     // what a picture's curve is: the fit,
  SHOWN_START = 1,   // the starting values of a failed fit, drawn dashed,
  SHOWN_NONE = 2,    // or nothing: a dataset refused before any fit
};
static_assert(GRID_POINTS <= CURVE_SIZE, "the grid must fit the curve table");

// The curve in drawing order, and the residual (model minus data) at each data point.
// A point where the model is refused or not finite has its ok flag 0: a gap in the curve,
// no mark in the residual panel.
extern double curveX[CURVE_SIZE];
extern double curveY[CURVE_SIZE];
extern int curveOk[CURVE_SIZE];
extern int curveLen;
extern double residY[MAX_POINTS];
extern int residOk[MAX_POINTS];

// What a picture says of its dataset besides data and curve.
struct plot_page {
  int id;            // the dataset id
  int shown;         // SHOWN_FIT, SHOWN_START or SHOWN_NONE
  int curve;         // 1 when compute_plot has filled the tables for this dataset
  int ofTable;       // 1: a page of a table's fits, whose title tells status and RMSE
  const char *note;  // a refused dataset's message, or NULL
};

// The picture format named by fname's extension (.svg, .png or .pdf, in any case), or -1.
int plot_format(const char *fname);

// The name of the x axis of model: what x means where the catalogue says it, else "x".
const char *x_axis_name(int model);

// Fills the curve and residual tables from fitFunc, fitParms and the loaded data
// (numData, numDataCol, xOffsetData, yData, tData). Two-column data get GRID_POINTS curve
// points evenly across the x range; three-column data, whose model also depends on x2,
// the model at each data point in x order. Returns 1, or 0 when no data point has finite
// x and y, or the model has no finite value on the curve or at any data point.
int compute_plot(void);

// Writes to fp the whole script of one picture of the loaded dataset, with the label of
// fitFunc and the dataset id as title and rmse in the key. The picture goes to gnuplot's
// standard output, so the script names no file.
void write_plot_script(FILE *fp, int format, const plot_page *page);

// A document of many pictures. write_pages_start writes the terminal: a page each for
// PLOT_PDF, whose pages go to standard output; a grid of cols by rows pictures a file for
// the others, each file named by write_grid_file. write_pages_end ends the last file.
void write_pages_start(FILE *fp, int format, int cols, int rows);
void write_page(FILE *fp, int format, const plot_page *page);
void write_grid_file(FILE *fp, int format, const char *fname, const char *title, int first,
                     int rows);
void write_grid_cell(FILE *fp, int format, const plot_page *page, int cell, int cols, int rows);
void write_pages_end(FILE *fp, int format);

// The profile of one column of a table: write_profile_start, then write_profile_row for
// each row in table order (status BATCH_OK, BATCH_FAILED or BATCH_REFUSED, value and sd
// read for BATCH_OK only), then write_profile_end with what the rows held.
struct profile_summary {
  const char *title;
  const char *column;  // the y axis: the column's name
  int withSd;          // error bars of the standard deviations
  int ok, failed, refused;
  double idLo, idHi;  // the ids of all rows
  double yLo, yHi;    // the finite values of the ok rows, with their bars
};
void write_profile_start(FILE *fp, int format);
void write_profile_row(FILE *fp, int id, int status, double value, double sd, int withSd);
void write_profile_end(FILE *fp, int format, const profile_summary *s);

#endif  // VELQUIN_PLOT_SCRIPT_H

// The picture of a fit: the curve and residuals of the loaded data at fitParms, and the
// gnuplot script that draws them. Reads the run state of velquin; never prints.
#ifndef VELQUIN_PLOT_SCRIPT_H
#define VELQUIN_PLOT_SCRIPT_H

#include <stdio.h>

#include "run_state.h"

enum {
  GRID_POINTS = 400,        // curve points across the x range of two-column data
  CURVE_SIZE = MAX_POINTS,  // three-column data give one curve point per data point
  PLOT_SVG = 0,             // picture formats, chosen by the output file's extension
  PLOT_PNG = 1,
  PLOT_PDF = 2,
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

// The picture format named by fname's extension (.svg, .png or .pdf, in any case), or -1.
int plot_format(const char *fname);

// Fills the curve and residual tables from fitFunc, fitParms and the loaded data
// (numData, numDataCol, xOffsetData, yData, tData). Two-column data get GRID_POINTS curve
// points evenly across the x range; three-column data, whose model also depends on x2,
// the model at each data point in x order. Returns 1, or 0 when no data point has finite
// x and y, or the model has no finite value on the curve or at any data point.
int compute_plot(void);

// Writes to fp the script that draws the tables filled by compute_plot, with the label of
// fitFunc as title and rmse in the key. The picture goes to gnuplot's standard output,
// so the script names no file.
void write_plot_script(FILE *fp, int format);

#endif  // VELQUIN_PLOT_SCRIPT_H

// The curve's numbers: the model along the x range of the loaded dataset, or at its data
// points, and the residual at each data point, in tables that a picture's script reads.
// Every value comes from fnf at fitFunc and fitParms, as in the fit itself.
#ifndef VELQUIN_PLOT_CURVE_H
#define VELQUIN_PLOT_CURVE_H

#include "capacities.h"

enum {
  GRID_POINTS = 400,        // curve points across the x range of two-column data
  CURVE_SIZE = MAX_POINTS,  // three-column data give one curve point per data point
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

// Whether data point i has finite x and y.
int point_is_finite(int i);

// Whether data point i is drawn: finite, and on a log x scale (logX 1) at x above 0.
int point_is_drawn(int i, int logX);

// The number of data points drawn.
int drawn_points(int logX);

// Fills the curve and residual tables from fitFunc, fitParms and the loaded data
// (numData, numDataCol, xOffsetData, yData, tData), over the points drawn. Two-column data
// get GRID_POINTS curve points evenly across the x range, or across log x for logX;
// three-column data, whose model also depends on x2, the model at each data point in x
// order. Returns 1, or 0 when no data point is drawn, or the model has no finite value on
// the curve or at any point drawn.
int compute_plot(int logX);

#endif  // VELQUIN_PLOT_CURVE_H

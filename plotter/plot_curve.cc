// The curve's numbers, computed once per picture before its script is written.
#include "plot_curve.h"

#include <math.h>
#include <stdlib.h>

#include "models.h"
#include "run_state.h"

double curveX[CURVE_SIZE];
double curveY[CURVE_SIZE];
int curveOk[CURVE_SIZE];
int curveLen;
double residY[MAX_POINTS];
int residOk[MAX_POINTS];

int point_is_finite(int i) { return isfinite(xOffsetData[i]) && isfinite(yData[i]); }

int point_is_drawn(int i, int logX) {
  return point_is_finite(i) && (!logX || xOffsetData[i] > 0.0);
}

int drawn_points(int logX) {
  int n = 0;
  for (int i = 0; i < numData; i++) n += point_is_drawn(i, logX);
  return n;
}

// Model value at (x, x2), or 0 when fnf refuses the point or its value is not finite.
static int model_at(double x, double x2, double *y) {
  double v;
  if (!fnf(fitFunc, &v, x, x2, fitParms) || !isfinite(v)) return 0;
  *y = v;
  return 1;
}

// Fills the residual table. Returns the number of data points drawn (point_is_drawn), with
// *lo and *hi their x range and *anyResid whether one of them has a finite residual.
static int compute_residuals(int logX, double *lo, double *hi, int *anyResid) {
  int drawn = 0;
  *anyResid = 0;
  for (int i = 0; i < numData; i++) {
    residOk[i] = 0;
    if (!point_is_drawn(i, logX)) continue;
    if (drawn == 0 || xOffsetData[i] < *lo) *lo = xOffsetData[i];
    if (drawn == 0 || xOffsetData[i] > *hi) *hi = xOffsetData[i];
    drawn++;
    double v;
    if (model_at(xOffsetData[i], tData[i], &v) && isfinite(v - yData[i])) {
      residY[i] = v - yData[i];
      residOk[i] = 1;
      *anyResid = 1;
    }
  }
  return drawn;
}

static int by_x(const void *a, const void *b) {
  int i = *(const int *)a, j = *(const int *)b;
  if (xOffsetData[i] < xOffsetData[j]) return -1;
  if (xOffsetData[i] > xOffsetData[j]) return 1;
  return i - j;  // equal x keep the file's order, so every run draws the same line
}

// The model depends on x2 as well, so between data points there is nothing to draw.
static void curve_at_points(int logX) {
  static int order[MAX_POINTS];
  int n = 0;
  for (int i = 0; i < numData; i++) {
    if (point_is_drawn(i, logX)) order[n++] = i;
  }
  qsort(order, (size_t)n, sizeof order[0], by_x);
  for (int k = 0; k < n; k++) {
    int i = order[k];
    curveX[k] = xOffsetData[i];
    curveOk[k] = model_at(xOffsetData[i], tData[i], &curveY[k]);
  }
  curveLen = n;
}

// On a log scale the points are evenly spread in log x, so that every decade gets its share.
static void curve_on_grid(double lo, double hi, int logX) {
  for (int k = 0; k < GRID_POINTS; k++) {
    double t = (double)k / (GRID_POINTS - 1);
    double x = logX ? lo * pow(hi / lo, t) : lo + (hi - lo) * k / (GRID_POINTS - 1);
    if (k == GRID_POINTS - 1) x = hi;  // which the sum or the power may miss by a rounding
    curveX[k] = x;
    curveOk[k] = model_at(x, 0.0, &curveY[k]);
  }
  curveLen = GRID_POINTS;
}

int compute_plot(int logX) {
  double lo = 0.0, hi = 0.0;
  int anyResid, anyCurve = 0;
  if (compute_residuals(logX, &lo, &hi, &anyResid) == 0) return 0;
  if (numDataCol == 3) {
    curve_at_points(logX);
  } else {
    curve_on_grid(lo, hi, logX);
  }
  for (int k = 0; k < curveLen; k++) {
    if (curveOk[k]) anyCurve = 1;
  }
  return anyResid && anyCurve;
}

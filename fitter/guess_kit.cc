// The guess under way and what every guess computes with: the model's values at the
// points, least squares of the linear parameters, and the starts found with the floor, the
// lowest RSS that the guess met. The model values come from fnf itself, so that a guess
// reads the formula that the fit reads.
#include "guess_kit.h"

#include <math.h>
#include <stdlib.h>
#include <string.h>

#include "models.h"

namespace guess {

const guess_data *pts;
int model;
int parmCount;
double known[MAX_PARMS];
int held[MAX_PARMS];
guess_list *found;
static double floorRss;            // the lowest RSS of the model met so far
static double floorAt[MAX_PARMS];  // where

double col[MAX_COLS][MAX_POINTS];
double tgt[MAX_POINTS];
double val[MAX_POINTS];
int order[MAX_POINTS];

double xLo, xHi, xSpan, xPosLo, dxTypical;

static const double *orderX;
static int by_x(const void *a, const void *b) {
  int i = *(const int *)a, j = *(const int *)b;
  if (orderX[i] != orderX[j]) return orderX[i] < orderX[j] ? -1 : 1;
  return i - j;
}

static int by_value(const void *a, const void *b) {
  double u = *(const double *)a, v = *(const double *)b;
  return u < v ? -1 : u > v ? 1 : 0;
}

// The span of the points, for the grids. Returns 0 when x is not finite or has no span.
static int measure_points(void) {
  int n = pts->n;
  for (int i = 0; i < n; i++) {
    if (!isfinite(pts->x[i]) || !isfinite(pts->y[i]) || !isfinite(pts->x2[i])) return 0;
    order[i] = i;
  }
  orderX = pts->x;
  qsort(order, (size_t)n, sizeof order[0], by_x);
  xLo = pts->x[order[0]];
  xHi = pts->x[order[n - 1]];
  xSpan = xHi - xLo;
  if (!(xSpan > 0.0) || !isfinite(xSpan)) return 0;
  xPosLo = xSpan / 1000.0;
  for (int k = 0; k < n; k++) {
    if (pts->x[order[k]] > 0.0) {
      xPosLo = pts->x[order[k]];
      break;
    }
  }
  static double gaps[MAX_POINTS];
  int g = 0;
  for (int k = 1; k < n; k++) {
    double d = pts->x[order[k]] - pts->x[order[k - 1]];
    if (d > 0.0) gaps[g++] = d;
  }
  qsort(gaps, (size_t)g, sizeof gaps[0], by_value);
  dxTypical = g > 0 ? gaps[g / 2] : xSpan;
  return 1;
}

int begin_guess(int m, const guess_data *d, const double *knownValues, const int *heldFlags,
                guess_list *out) {
  pts = d;
  model = m;
  floorRss = HUGE_VAL;
  parmCount = fitParmNum[m];
  found = out;
  for (int i = 0; i < MAX_PARMS; i++) {
    held[i] = heldFlags[i] == 1;
    known[i] = held[i] ? knownValues[i] : 0.0;
  }
  return measure_points();
}

void end_guess(void) {
  found->floor = floorRss < HUGE_VAL ? sqrt(floorRss / pts->n) : HUGE_VAL;
  memcpy(found->lowest, floorAt, sizeof floorAt);
}

// --- the model's values and least squares

int model_column(const double *p, double *out) {
  for (int i = 0; i < pts->n; i++) {
    if (!fnf(model, &out[i], pts->x[i], pts->x2[i], p) || !isfinite(out[i])) return 0;
  }
  return 1;
}

double model_rss(const double *p) {
  if (!model_column(p, val)) return HUGE_VAL;
  double s = 0.0;
  for (int i = 0; i < pts->n; i++) s += (val[i] - pts->y[i]) * (val[i] - pts->y[i]);
  return isfinite(s) ? s : HUGE_VAL;
}

double least_squares(int m, double *coef) {
  int n = pts->n;
  double a[MAX_COLS][MAX_COLS + 1], s[MAX_COLS];
  for (int j = 0; j < m; j++) {
    double ss = 0.0;
    for (int i = 0; i < n; i++) ss += col[j][i] * col[j][i];
    if (!(ss > 0.0) || !isfinite(ss)) return HUGE_VAL;
    s[j] = sqrt(ss);
  }
  for (int j = 0; j < m; j++) {
    for (int k = 0; k <= j; k++) {
      double sum = 0.0;
      for (int i = 0; i < n; i++) sum += col[j][i] * col[k][i];
      a[j][k] = a[k][j] = sum / (s[j] * s[k]);
    }
    double sum = 0.0;
    for (int i = 0; i < n; i++) sum += col[j][i] * tgt[i];
    a[j][m] = sum / s[j];
  }
  // Gauss-Jordan with partial pivoting; a pivot this small means collinear columns.
  for (int c = 0; c < m; c++) {
    int piv = c;
    for (int r = c + 1; r < m; r++) {
      if (fabs(a[r][c]) > fabs(a[piv][c])) piv = r;
    }
    if (!(fabs(a[piv][c]) > 1e-10)) return HUGE_VAL;
    for (int k = 0; k <= m; k++) {
      double t = a[c][k];
      a[c][k] = a[piv][k];
      a[piv][k] = t;
    }
    for (int r = 0; r < m; r++) {
      if (r == c) continue;
      double f = a[r][c] / a[c][c];
      for (int k = c; k <= m; k++) a[r][k] -= f * a[c][k];
    }
  }
  for (int j = 0; j < m; j++) coef[j] = a[j][m] / a[j][j] / s[j];
  double rss = 0.0;
  for (int i = 0; i < n; i++) {
    double r = tgt[i];
    for (int j = 0; j < m; j++) r -= coef[j] * col[j][i];
    rss += r * r;
  }
  return isfinite(rss) ? rss : HUGE_VAL;
}

double solve_plain(double *p, int m, const int *lin) {
  double q[MAX_PARMS];
  memcpy(q, p, sizeof q);
  for (int k = 0; k < m; k++) q[lin[k]] = 0.0;
  for (int i = 0; i < pts->n; i++) tgt[i] = pts->y[i];
  int idx[MAX_COLS], nFree = 0;
  for (int k = 0; k < m; k++) {
    int j = lin[k];
    q[j] = 1.0;
    int ok = model_column(q, col[nFree]);
    q[j] = 0.0;
    if (!ok) return HUGE_VAL;
    if (held[j]) {
      for (int i = 0; i < pts->n; i++) tgt[i] -= known[j] * col[nFree][i];
      p[j] = known[j];
    } else {
      idx[nFree++] = j;
    }
  }
  double coef[MAX_COLS];
  double rss = least_squares(nFree, coef);
  for (int k = 0; k < nFree; k++) p[idx[k]] = coef[k];
  return rss;
}

// --- the starts found

void base_parms(double *p) {
  for (int i = 0; i < MAX_PARMS; i++) p[i] = held[i] ? known[i] : 0.0;
}

void add_start(const double *p) {
  if (found->n >= MAX_GUESSES) return;
  double s[MAX_PARMS];
  for (int i = 0; i < MAX_PARMS; i++) {
    s[i] = held[i] ? known[i] : p[i];
    if (i < parmCount && !isfinite(s[i])) return;
  }
  for (int k = 0; k < found->n; k++) {
    if (memcmp(found->start[k], s, sizeof s) == 0) return;
  }
  memcpy(found->start[found->n++], s, sizeof s);
}

void saw_rss(double rss, const double *p) {
  if (!(rss < floorRss)) return;
  for (int i = 0; i < parmCount; i++) {
    if (!isfinite(p[i])) return;
  }
  floorRss = rss;
  for (int i = 0; i < MAX_PARMS; i++) floorAt[i] = held[i] ? known[i] : p[i];
}

void add_scaled(const double *p, double factor) {
  double s[MAX_PARMS];
  for (int i = 0; i < MAX_PARMS; i++) s[i] = held[i] ? p[i] : p[i] * factor;
  add_start(s);
}

}  // namespace guess

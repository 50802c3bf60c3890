// Starting values from the data, one guess per model. Most guesses search the model's few
// nonlinear parameters (a time, a midpoint, a width) over a grid that the points span,
// solve the parameters in which the model is linear (levels, amplitudes, baselines) by
// least squares at every grid point, and refine the best points. The model values come
// from fnf itself, so that a guess reads the formula that the fit reads.
#include "model_guess.h"

#include <math.h>
#include <stdlib.h>
#include <string.h>

#include "models.h"

enum {
  MAX_COLS = 6,       // parameters solved together by least squares
  MAX_COORDS = 4,     // coordinates of a search
  KEPT = 3,           // distinct minima that a grid keeps
  REFINE_EVALS = 60,  // evaluations that one refinement may spend
  MAX_CENTRES = 16,   // line centres tried by the line-shape models
  LINE_WIDTHS = 6,    // widths tried at each centre
};

// The gas constant in kJ/(mol K), as the heat-capacity models take it.
static const double R_KJ = 0.008314;

// The guess under way: its points, model and holds, and where its starts go.
static const guess_data *pts;
static int model;
static int parmCount;
static double known[MAX_PARMS];
static int held[MAX_PARMS];
static guess_list *found;
static double floorRss;            // the lowest RSS of the model met so far
static double floorAt[MAX_PARMS];  // where

static double col[MAX_COLS][MAX_POINTS];  // the columns of the linear parameters
static double tgt[MAX_POINTS];            // y less the share of the held linear parameters
static double val[MAX_POINTS];            // the model at every point, for model_rss and others
static int order[MAX_POINTS];             // the points by ascending x

// What the points span: xPosLo is the smallest positive x (a thousandth of the span when
// no x is positive), dxTypical the median distance between neighbouring x.
static double xLo, xHi, xSpan, xPosLo, dxTypical;

// --- the model's values and least squares

// The model at every point with parameters p, into out. Returns 0 when it has no finite
// value at some point.
static int model_column(const double *p, double *out) {
  for (int i = 0; i < pts->n; i++) {
    if (!fnf(model, &out[i], pts->x[i], pts->x2[i], p) || !isfinite(out[i])) return 0;
  }
  return 1;
}

// Sum of squared residuals of the model at p, HUGE_VAL where it has no value.
static double model_rss(const double *p) {
  if (!model_column(p, val)) return HUGE_VAL;
  double s = 0.0;
  for (int i = 0; i < pts->n; i++) s += (val[i] - pts->y[i]) * (val[i] - pts->y[i]);
  return isfinite(s) ? s : HUGE_VAL;
}

// Least squares of tgt on col[0..m-1], the columns scaled to unit length so that a
// parameter in mM and one in ppm weigh alike. Returns the residual sum of squares with
// the coefficients in coef, or HUGE_VAL when the columns are not finite or nearly
// depend on each other.
static double least_squares(int m, double *coef) {
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

// Solves the parameters lin[0..m-1] of p, in which the model is linear with no other
// term, by least squares; a held one keeps its value. The other parameters are read
// from p. Returns the RSS, or HUGE_VAL.
static double solve_plain(double *p, int m, const int *lin) {
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

// Solves the baselines p0 to p3 of a two-state model, y = (1 - f)*N + f*U, N and U lines
// in x, from the model's unfolded fraction f, which fnf gives at unit levels: with N 0 and
// U 1 the model is f itself. state[] names the parameters: N's level and slope, then U's;
// a negative slope sign means the model subtracts it. Returns the RSS, or HUGE_VAL.
struct two_state_form {
  int nLevel, nSlope, uLevel, uSlope;
  double slopeSign;
};

static double solve_two_state(double *p, const two_state_form *form) {
  double q[MAX_PARMS];
  memcpy(q, p, sizeof q);
  q[form->nLevel] = q[form->nSlope] = q[form->uSlope] = 0.0;
  q[form->uLevel] = 1.0;
  if (!model_column(q, val)) return HUGE_VAL;
  int n = pts->n, m = 0, idx[4];
  const int parm[4] = {form->nLevel, form->nSlope, form->uLevel, form->uSlope};
  for (int i = 0; i < n; i++) tgt[i] = pts->y[i];
  for (int k = 0; k < 4; k++) {
    int j = parm[k];
    double *c = col[m];
    for (int i = 0; i < n; i++) {
      double share = k < 2 ? 1.0 - val[i] : val[i];
      c[i] = k % 2 == 0 ? share : form->slopeSign * share * pts->x[i];
    }
    if (held[j]) {
      for (int i = 0; i < n; i++) tgt[i] -= known[j] * c[i];
      p[j] = known[j];
    } else {
      idx[m++] = j;
    }
  }
  double coef[4];
  double rss = least_squares(m, coef);
  for (int k = 0; k < m; k++) p[idx[k]] = coef[k];
  return rss;
}

// The melting and denaturation models' baselines: native p0 - p1*x, unfolded p2 - p3*x.
static const two_state_form SUBTRACTED_SLOPES = {0, 1, 2, 3, -1.0};

// --- the starts found

// Adds p as a start: held parameters at their values, every value finite, no start twice.
static void add_start(const double *p) {
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

// Notes the RSS of the model at p, for the floor.
static void saw_rss(double rss, const double *p) {
  if (!(rss < floorRss)) return;
  for (int i = 0; i < parmCount; i++) {
    if (!isfinite(p[i])) return;
  }
  floorRss = rss;
  for (int i = 0; i < MAX_PARMS; i++) floorAt[i] = held[i] ? known[i] : p[i];
}

// The free parameters of p times factor. A fit that starts at the least-squares optimum of
// a linear model cannot end below its start's RMSE, so such a start is moved off first.
static void add_scaled(const double *p, double factor) {
  double s[MAX_PARMS];
  for (int i = 0; i < MAX_PARMS; i++) s[i] = held[i] ? p[i] : p[i] * factor;
  add_start(s);
}

// --- searches over nonlinear coordinates

// A grid over k coordinates: steps[j] values from lo[j] to hi[j] (one step: lo alone, and
// the coordinate is not refined either).
struct search_space {
  int k;
  double lo[MAX_COORDS];
  double hi[MAX_COORDS];
  int steps[MAX_COORDS];
};

// Places the coordinates q into p and solves the rest of p: the RSS, or HUGE_VAL.
typedef double solve_fn(const double *q, double *p);

struct search_point {
  double rss;
  double q[MAX_COORDS];
  int at[MAX_COORDS];  // grid indices
};

static double spacing(const search_space *s, int j) {
  return s->steps[j] > 1 ? (s->hi[j] - s->lo[j]) / (s->steps[j] - 1) : 0.0;
}

// Keeps the KEPT best grid points that lie at least two grid steps apart in some
// coordinate, best first.
static void keep_point(search_point *kept, int *nKept, const search_point *pt) {
  if (!(pt->rss < HUGE_VAL)) return;
  for (int k = 0; k < *nKept; k++) {
    int near = 1;
    for (int j = 0; j < MAX_COORDS; j++) {
      if (abs(kept[k].at[j] - pt->at[j]) >= 2) near = 0;
    }
    if (!near) continue;
    if (pt->rss < kept[k].rss) {
      kept[k] = *pt;
      for (; k > 0 && kept[k].rss < kept[k - 1].rss; k--) {
        search_point t = kept[k];
        kept[k] = kept[k - 1];
        kept[k - 1] = t;
      }
    }
    return;
  }
  int at;
  if (*nKept < KEPT) {
    at = (*nKept)++;
  } else if (pt->rss < kept[KEPT - 1].rss) {
    at = KEPT - 1;
  } else {
    return;
  }
  kept[at] = *pt;
  for (int k = at; k > 0 && kept[k].rss < kept[k - 1].rss; k--) {
    search_point t = kept[k];
    kept[k] = kept[k - 1];
    kept[k - 1] = t;
  }
}

static void grid_search(const search_space *s, solve_fn *solve, const double *base,
                        search_point *kept, int *nKept) {
  int at[MAX_COORDS] = {0, 0, 0, 0};
  *nKept = 0;
  for (;;) {
    search_point pt;
    memset(&pt, 0, sizeof pt);
    for (int j = 0; j < s->k; j++) {
      pt.at[j] = at[j];
      pt.q[j] = s->lo[j] + spacing(s, j) * at[j];
    }
    double p[MAX_PARMS];
    memcpy(p, base, sizeof p);
    pt.rss = solve(pt.q, p);
    keep_point(kept, nKept, &pt);
    int j = 0;
    for (; j < s->k; j++) {
      if (++at[j] < s->steps[j]) break;
      at[j] = 0;
    }
    if (j == s->k) break;
  }
}

// Pattern search from pt: each coordinate moved a step either way while the RSS falls,
// the steps halved when none does. Leaves the best in pt.
static void refine(const search_space *s, solve_fn *solve, const double *base, search_point *pt) {
  double step[MAX_COORDS];
  for (int j = 0; j < s->k; j++) step[j] = spacing(s, j);
  for (int evals = 0, halvings = 0; evals < REFINE_EVALS && halvings < 6;) {
    int moved = 0;
    for (int j = 0; j < s->k; j++) {
      if (step[j] == 0.0) continue;
      for (int dir = -1; dir <= 1; dir += 2) {
        search_point t = *pt;
        t.q[j] += dir * step[j];
        double p[MAX_PARMS];
        memcpy(p, base, sizeof p);
        t.rss = solve(t.q, p);
        evals++;
        if (t.rss < pt->rss) {
          *pt = t;
          moved = 1;
          break;
        }
      }
    }
    if (!moved) {
      for (int j = 0; j < s->k; j++) step[j] *= 0.5;
      halvings++;
    }
  }
}

// Adds the start that the coordinates q give.
static void add_point(solve_fn *solve, const double *base, const double *q) {
  double p[MAX_PARMS];
  memcpy(p, base, sizeof p);
  if (solve(q, p) < HUGE_VAL) add_start(p);
}

// The end of a search: each point kept from the grid refined. A fit that starts at its own
// optimum cannot end below its start's RMSE, so each refined point is added moved back by
// offset grid steps in every coordinate, a start from which the fit has a way to walk;
// the best is added moved forward as well.
static void finish_search(const search_space *s, solve_fn *solve, const double *base,
                          search_point *kept, int nKept, double offset) {
  for (int k = 0; k < nKept; k++) refine(s, solve, base, &kept[k]);
  for (int k = 1; k < nKept; k++) {
    for (int m = k; m > 0 && kept[m].rss < kept[m - 1].rss; m--) {
      search_point t = kept[m];
      kept[m] = kept[m - 1];
      kept[m - 1] = t;
    }
  }
  if (nKept > 0) {
    double p[MAX_PARMS];
    memcpy(p, base, sizeof p);
    saw_rss(solve(kept[0].q, p), p);
  }
  // Points refined into one minimum are one point.
  int distinct = 0;
  for (int k = 0; k < nKept; k++) {
    int same = 0;
    for (int m = 0; m < distinct && !same; m++) {
      same = 1;
      for (int j = 0; j < s->k; j++) {
        if (fabs(kept[k].q[j] - kept[m].q[j]) > 0.5 * spacing(s, j)) same = 0;
      }
    }
    if (!same) kept[distinct++] = kept[k];
  }
  nKept = distinct;
  for (int k = 0; k <= nKept; k++) {
    const search_point *pt = &kept[k < nKept ? k : 0];
    double by = k < nKept ? -offset : offset;
    if (k == nKept && (nKept == 0 || offset == 0.0)) break;
    double q[MAX_COORDS];
    for (int j = 0; j < s->k; j++) q[j] = pt->q[j] + by * spacing(s, j);
    add_point(solve, base, q);
  }
}

static void run_search(const search_space *s, solve_fn *solve, const double *base, double offset) {
  search_point kept[KEPT];
  int nKept;
  grid_search(s, solve, base, kept, &nKept);
  finish_search(s, solve, base, kept, nKept, offset);
}

// A coordinate that a held parameter fixes: one step, at its value.
static void fix_coord(search_space *s, int j, double value) {
  s->lo[j] = s->hi[j] = value;
  s->steps[j] = 1;
}

// --- the guesses, one per model or family

// The parameter vector a guess starts from: held values in place, the rest 0.
static void base_parms(double *p) {
  for (int i = 0; i < MAX_PARMS; i++) p[i] = held[i] ? known[i] : 0.0;
}

// Models 0, 1, 2, 10 and 27, linear in every parameter: reads every point, and solves the
// model by least squares. The optimum is moved off by a tenth both ways.
static void guess_linear(void) {
  int lin[MAX_PARMS];
  for (int i = 0; i < parmCount; i++) lin[i] = i;
  double p[MAX_PARMS];
  base_parms(p);
  double rss = solve_plain(p, parmCount, lin);
  if (!(rss < HUGE_VAL)) return;
  saw_rss(rss, p);
  add_scaled(p, 1.1);
  add_scaled(p, 0.9);
}

// Model 3: q0 = ln |A1|, q1 its sign.
static double solve_exponential(const double *q, double *p) {
  static const int lin[] = {0, 2};
  if (!held[1]) p[1] = (q[1] < 0.0 ? -1.0 : 1.0) * exp(q[0]);
  return solve_plain(p, 2, lin);
}

// Model 3, A0*exp(A1*x) + A2: reads every point. The rate over a log grid of both signs,
// from a tenth of an e-folding to thirty over the x span; A0 and A2 by least squares.
static void guess_exponential(void) {
  search_space s = {2, {log(0.1 / xSpan), -1.0}, {log(30.0 / xSpan), 1.0}, {28, 2}};
  if (held[1]) {
    fix_coord(&s, 0, 0.0);
    fix_coord(&s, 1, 0.0);
  }
  double p[MAX_PARMS];
  base_parms(p);
  run_search(&s, solve_exponential, p, 1.0);
}

// Model 4: q0 = ln T1. Mo and Mo*W are linear; W is their ratio.
static double solve_t1(const double *q, double *p) {
  if (!held[2]) p[2] = exp(q[0]);
  double u[MAX_PARMS] = {1.0, 1.0, p[2]};  // 1 - exp(-x/T1)
  if (!model_column(u, val)) return HUGE_VAL;
  int n = pts->n;
  if (held[0] && held[1]) return model_rss(p);
  double coef[2];
  if (held[0]) {  // y - Mo = -Mo*W*exp(-x/T1)
    for (int i = 0; i < n; i++) {
      tgt[i] = pts->y[i] - p[0];
      col[0][i] = p[0] * (val[i] - 1.0);
    }
    double rss = least_squares(1, coef);
    p[1] = coef[0];
    return rss;
  }
  if (held[1]) {  // y = Mo*(1 - W*exp(-x/T1))
    for (int i = 0; i < n; i++) {
      tgt[i] = pts->y[i];
      col[0][i] = 1.0 - p[1] * (1.0 - val[i]);
    }
    double rss = least_squares(1, coef);
    p[0] = coef[0];
    return rss;
  }
  for (int i = 0; i < n; i++) {
    tgt[i] = pts->y[i];
    col[0][i] = 1.0;
    col[1][i] = val[i] - 1.0;
  }
  double rss = least_squares(2, coef);
  p[0] = coef[0];
  p[1] = coef[1] / coef[0];
  return rss;
}

// The log grid of a time or a constant on the scale of positive x: from a tenth of the
// smallest positive x to ten times the largest.
static void time_coord(search_space *s, int j, int steps) {
  s->lo[j] = log(xPosLo / 10.0);
  s->hi[j] = log((xHi > 0.0 ? xHi : xSpan) * 10.0);
  s->steps[j] = steps;
}

// Model 4, Mo*(1 - W*exp(-x/T1)): reads every point. T1 over a log grid of the delays;
// Mo, and W unless held, by least squares.
static void guess_t1(void) {
  search_space s = {1, {0}, {0}, {0}};
  time_coord(&s, 0, 30);
  if (held[2]) fix_coord(&s, 0, 0.0);
  double p[MAX_PARMS];
  base_parms(p);
  run_search(&s, solve_t1, p, 1.0);
}

// Models 5 (q0 = ln T2), 6 and 15 (q0 = ln Kd): one constant on the scale of x, its
// parameter given by the row, the linear ones by least squares.
static int scaleParm;
static int scaleLin[2], scaleLinCount;
static double solve_scale(const double *q, double *p) {
  if (!held[scaleParm]) p[scaleParm] = exp(q[0]);
  return solve_plain(p, scaleLinCount, scaleLin);
}

static void search_scale(int parm, int lin0, int lin1, int steps) {
  scaleParm = parm;
  scaleLin[0] = lin0;
  scaleLin[1] = lin1;
  scaleLinCount = lin1 < 0 ? 1 : 2;
  search_space s = {1, {0}, {0}, {0}};
  time_coord(&s, 0, steps);
  s.lo[0] -= log(3.0);  // a dissociation constant may lie a little further out
  s.hi[0] += log(3.0);
  if (held[parm]) fix_coord(&s, 0, 0.0);
  double p[MAX_PARMS];
  base_parms(p);
  run_search(&s, solve_scale, p, 1.0);
}

// Model 5, Mo*exp(-x/T2): reads every point. T2 over a log grid of the delays, Mo by
// least squares.
static void guess_t2(void) { search_scale(1, 0, -1, 30); }

// Model 6, the rates averaged by the monomer fraction: reads every point. Kd over a log
// grid of the concentrations, R2D and R2M by least squares.
static void guess_r2_dimer(void) { search_scale(0, 1, 2, 30); }

// Model 15, one binding site: reads x, x2 and y. Kd over a log grid of the ligand
// concentrations, the bound shift by least squares.
static void guess_shift_xy1(void) { search_scale(1, 0, -1, 30); }

// Model 7: q0 = ln Kd. R2D, R2M and the product TAU*DELTASQU are linear.
static double solve_r2x(const double *q, double *p) {
  if (!held[0]) p[0] = exp(q[0]);
  int n = pts->n, m = 0, idx[3];
  for (int i = 0; i < n; i++) tgt[i] = pts->y[i];
  // The columns of R2D, R2M and the exchange term fm*fd*TAU*DELTASQU, at unit values.
  static const double unit[3][3] = {{1.0, 0.0, 0.0}, {0.0, 1.0, 0.0}, {0.0, 0.0, 1.0}};
  int productHeld = held[3] && held[4];
  for (int k = 0; k < 3; k++) {
    double e[MAX_PARMS] = {p[0], unit[k][0], unit[k][1], unit[k][2], unit[k][2]};
    if (!model_column(e, col[m])) return HUGE_VAL;
    double value = k < 2 ? known[1 + k] : known[3] * known[4];
    if (k < 2 ? held[1 + k] : productHeld) {
      for (int i = 0; i < n; i++) tgt[i] -= value * col[m][i];
    } else {
      idx[m++] = k;
    }
  }
  double coef[3];
  double rss = least_squares(m, coef);
  if (m > 0 && idx[m - 1] == 2 && coef[m - 1] < 0.0) {
    rss = least_squares(m - 1, coef);  // an exchange term is not negative: none at all
    coef[m - 1] = 0.0;
  }
  for (int k = 0; k < m; k++) {
    if (idx[k] < 2) {
      p[1 + idx[k]] = coef[k];
    } else if (held[3]) {
      p[4] = p[3] != 0.0 ? coef[k] / p[3] : 0.0;
    } else {
      double other = held[4] ? p[4] : 1.0;  // both free: the data give only the product
      p[3] = other != 0.0 ? coef[k] / other : 0.0;
      p[4] = other;
    }
  }
  return rss;
}

// Model 7, model 6 plus an exchange term: reads every point. Kd over a log grid of the
// concentrations; R2D, R2M and TAU*DELTASQU by least squares, the free one of TAU and
// DELTASQU from the product.
static void guess_r2x_dimer(void) {
  search_space s = {1, {0}, {0}, {0}};
  time_coord(&s, 0, 30);
  if (held[0]) fix_coord(&s, 0, 0.0);
  double p[MAX_PARMS];
  base_parms(p);
  run_search(&s, solve_r2x, p, 1.0);
}

// Models 8 and 26: q0 and q1 = ln of the two times, the first the shorter.
static double solve_two_times(const double *q, double *p) {
  static const int lin[] = {0, 2};
  if (!held[1]) p[1] = exp(q[0]);
  if (!held[3]) p[3] = exp(q[1]);
  if (!held[1] && !held[3] && !(p[1] * 1.5 < p[3])) return HUGE_VAL;  // one pair, not two
  return solve_plain(p, 2, lin);
}

enum { TIME_STEPS = 20 };

// One exponential term of models 8 and 26 at each time of the grid, computed once: the
// model with A0 = 1 and A2 = 0.
static double timeCol[TIME_STEPS][MAX_POINTS];

// Models 8 (decays) and 26 (rises), two exponentials: read every point. Both times over a
// log grid of the delays, the amplitudes by least squares; the grid pairs each time's
// column with each longer one's.
static void guess_two_times(void) {
  search_space s = {2, {0}, {0}, {0}};
  time_coord(&s, 0, TIME_STEPS);
  time_coord(&s, 1, TIME_STEPS);
  double p[MAX_PARMS];
  base_parms(p);
  if (held[0] || held[1] || held[2] || held[3]) {
    if (held[1]) fix_coord(&s, 0, 0.0);
    if (held[3]) fix_coord(&s, 1, 0.0);
    run_search(&s, solve_two_times, p, 1.0);
    return;
  }
  int n = pts->n;
  double sumCC[TIME_STEPS], sumCY[TIME_STEPS], yy = 0.0;
  for (int i = 0; i < n; i++) yy += pts->y[i] * pts->y[i];
  for (int k = 0; k < TIME_STEPS; k++) {
    double e[MAX_PARMS] = {1.0, exp(s.lo[0] + spacing(&s, 0) * k), 0.0, 1.0};
    sumCC[k] = 0.0;
    if (!model_column(e, timeCol[k])) continue;
    double cc = 0.0, cy = 0.0;
    for (int i = 0; i < n; i++)
      cc += timeCol[k][i] * timeCol[k][i], cy += timeCol[k][i] * pts->y[i];
    sumCC[k] = cc, sumCY[k] = cy;
  }
  search_point kept[KEPT];
  int nKept = 0;
  for (int a = 0; a < TIME_STEPS; a++) {
    for (int b = a + 1; b < TIME_STEPS; b++) {
      if (!(sumCC[a] > 0.0) || !(sumCC[b] > 0.0)) continue;
      double ab = 0.0;
      for (int i = 0; i < n; i++) ab += timeCol[a][i] * timeCol[b][i];
      double aa = sumCC[a], bb = sumCC[b], ay = sumCY[a], by = sumCY[b];
      double det = aa * bb - ab * ab;
      if (!(det > 1e-10 * aa * bb)) continue;  // one decay, not two
      search_point pt;
      memset(&pt, 0, sizeof pt);
      pt.rss = yy - (bb * ay * ay - 2.0 * ab * ay * by + aa * by * by) / det;
      pt.at[0] = a, pt.at[1] = b;
      pt.q[0] = s.lo[0] + spacing(&s, 0) * a;
      pt.q[1] = s.lo[1] + spacing(&s, 1) * b;
      keep_point(kept, &nKept, &pt);
    }
  }
  finish_search(&s, solve_two_times, p, kept, nKept, 1.0);
}

// Model 9: q0 = pKa, q1 = ln HC.
static double solve_titration(const double *q, double *p) {
  static const int lin[] = {1, 2};
  if (!held[0]) p[0] = q[0];
  if (!held[3]) p[3] = exp(q[1]);
  return solve_plain(p, 2, lin);
}

// Model 9, a titration: reads every point. pKa over the pH span and a unit beyond it in
// steps of 0.25, HC (unless held) from 0.5 to 2; Sa and Sah by least squares.
static void guess_titration(void) {
  int steps = (int)((xSpan + 2.0) / 0.25) + 1;
  if (steps > 160) steps = 160;
  search_space s = {2, {xLo - 1.0, log(0.5)}, {xHi + 1.0, log(2.0)}, {steps, 5}};
  if (held[0]) fix_coord(&s, 0, 0.0);
  if (held[3]) fix_coord(&s, 1, 0.0);
  double p[MAX_PARMS];
  base_parms(p);
  run_search(&s, solve_titration, p, 1.0);
}

// Model 11: q0 = the midpoint A2, q1 = ln A3.
static double solve_sigmoid(const double *q, double *p) {
  static const int lin[] = {0, 1};
  if (!held[2]) p[2] = q[0];
  if (!held[3]) p[3] = exp(q[1]);
  return solve_plain(p, 2, lin);
}

// The midpoint grid of a transition: across the x span.
static void midpoint_coord(search_space *s, int j, int steps) {
  s->lo[j] = xLo;
  s->hi[j] = xHi;
  s->steps[j] = steps;
}

// Model 11, a step: reads every point. The midpoint across the x span and the width from
// a two-hundredth of the span to the span, on a log grid; the levels by least squares.
static void guess_sigmoid(void) {
  search_space s = {2, {0, log(xSpan / 200.0)}, {0, log(xSpan)}, {0, 8}};
  midpoint_coord(&s, 0, 20);
  if (held[2]) fix_coord(&s, 0, 0.0);
  if (held[3]) fix_coord(&s, 1, 0.0);
  double p[MAX_PARMS];
  base_parms(p);
  run_search(&s, solve_sigmoid, p, 1.0);
}

// Models 13 and 14: q0 = Tm in K, q1 = ln dH, q2 = dCp.
static double solve_melt(const double *q, double *p) {
  if (!held[6]) p[6] = q[0];
  if (!held[4]) p[4] = exp(q[1]);
  if (!held[5]) p[5] = q[2];
  return solve_two_state(p, &SUBTRACTED_SLOPES);
}

// Models 13 and 14, two-state melts in degrees Celsius: read every point. Tm across the
// temperatures, dH from 20 to 400 kcal/mol on a log grid (transitions from about 50 K to
// 2 K wide), dCp unless held from 0 to 2; the baselines by least squares.
static void guess_melt(void) {
  search_space s = {3, {0, log(20.0), 0.0}, {0, log(400.0), 2.0}, {0, 10, 3}};
  midpoint_coord(&s, 0, 30);
  s.lo[0] += 273.15;
  s.hi[0] += 273.15;
  if (held[6]) fix_coord(&s, 0, 0.0);
  if (held[4]) fix_coord(&s, 1, 0.0);
  if (held[5]) fix_coord(&s, 2, 0.0);
  double p[MAX_PARMS];
  base_parms(p);
  if (model == 14 && !held[7]) p[7] = 1.0;  // only rounding tells the concentration
  run_search(&s, solve_melt, p, 1.0);
}

// Model 16: q0 = ln DKd1, q1 = ln(DKd2/DKd1).
static double solve_shift_xy2(const double *q, double *p) {
  static const int lin[] = {0, 2};
  if (!held[1]) p[1] = exp(q[0]);
  if (!held[3]) p[3] = p[1] * exp(q[1]);
  return solve_plain(p, 2, lin);
}

// Model 16, two binding steps: reads x, x2 and y. DKd1 over a log grid of the ligand
// concentrations, DKd2 from 5 to 100 times it (the middle root is the physical one only
// above 4 times); both shifts by least squares.
static void guess_shift_xy2(void) {
  search_space s = {2, {0, log(5.0)}, {0, log(100.0)}, {0, 6}};
  time_coord(&s, 0, 20);
  if (held[1]) fix_coord(&s, 0, 0.0);
  if (held[3]) fix_coord(&s, 1, 0.0);
  double p[MAX_PARMS];
  base_parms(p);
  run_search(&s, solve_shift_xy2, p, 1.0);
}

// --- the line-shape models 17, 18 and 19

// y = Mo*(line1 + sign*F*line2), each line the model's own with Mo 1 and F 0.
static double line_sign(void) { return model == 18 ? 1.0 : -1.0; }

// The model's width parameter for a line of full width at half height fwhm: a time
// 1/(pi fwhm) for the Lorentzian and dispersion shapes, a standard deviation for the
// Gaussian.
static double width_of(double fwhm) {
  return model == 18 ? fwhm / 2.3548 : 1.0 / (3.14159265 * fwhm);
}

static int line_column(double v, double w, double *out) {
  double p[MAX_PARMS] = {v, w, v, w, 1.0, 0.0};
  return model_column(p, out);
}

// q = centre 1, ln fwhm 1, centre 2, ln fwhm 2. Mo and Mo*F are linear.
static double solve_lines(const double *q, double *p) {
  if (!held[0]) p[0] = q[0];
  if (!held[1]) p[1] = width_of(exp(q[1]));
  if (!held[2]) p[2] = q[2];
  if (!held[3]) p[3] = width_of(exp(q[3]));
  static double line2[MAX_POINTS];
  if (!line_column(p[0], p[1], col[0]) || !line_column(p[2], p[3], line2)) return HUGE_VAL;
  int n = pts->n;
  double sign = line_sign(), coef[2];
  if (held[4] && held[5]) return model_rss(p);
  if (held[4]) {  // y - Mo*line1 = sign*Mo*F*line2
    for (int i = 0; i < n; i++) {
      tgt[i] = pts->y[i] - p[4] * col[0][i];
      col[0][i] = sign * p[4] * line2[i];
    }
    double rss = least_squares(1, coef);
    p[5] = coef[0];
    return rss;
  }
  for (int i = 0; i < n; i++) tgt[i] = pts->y[i];
  if (held[5]) {  // y = Mo*(line1 + sign*F*line2)
    for (int i = 0; i < n; i++) col[0][i] += sign * p[5] * line2[i];
    double rss = least_squares(1, coef);
    p[4] = coef[0];
    return rss;
  }
  memcpy(col[1], line2, sizeof(double) * (size_t)n);
  double rss = least_squares(2, coef);
  p[4] = coef[0];
  p[5] = sign * coef[1] / coef[0];
  return rss;
}

// Every line shape tried, once: centre c and width w in row c*LINE_WIDTHS + w.
static double lineCol[MAX_CENTRES * LINE_WIDTHS][MAX_POINTS];

// The two lines that explain most of y: the first alone, then the second beside it, each
// amplitude by least squares (holds aside, which the refinement respects). Leaves the
// coordinates in q. Returns 0 when no line shape has a value.
static int find_two_lines(const double *centre, int nCentres, double lnLo, double lnStep,
                          const double *base, double *q) {
  int n = pts->n, cols = nCentres * LINE_WIDTHS;
  static double sumCC[MAX_CENTRES * LINE_WIDTHS], sumCY[MAX_CENTRES * LINE_WIDTHS];
  int first = -1;
  double bestGain = 0.0;
  for (int k = 0; k < cols; k++) {
    double fwhm = exp(lnLo + lnStep * (k % LINE_WIDTHS));
    sumCC[k] = 0.0;
    if (!line_column(centre[k / LINE_WIDTHS], width_of(fwhm), lineCol[k])) continue;
    double cc = 0.0, cy = 0.0;
    for (int i = 0; i < n; i++) {
      cc += lineCol[k][i] * lineCol[k][i];
      cy += lineCol[k][i] * pts->y[i];
    }
    sumCC[k] = cc;
    sumCY[k] = cy;
    if (cc > 0.0 && cy * cy / cc > bestGain) {
      bestGain = cy * cy / cc;
      first = k;
    }
  }
  if (first < 0) return 0;
  // The second: the pair's least squares, y*y less what the pair explains.
  int second = -1;
  double bestPair = bestGain;
  const double *a = lineCol[first];
  double aa = sumCC[first], ay = sumCY[first];
  for (int k = 0; k < cols; k++) {
    if (k == first || !(sumCC[k] > 0.0)) continue;
    double ab = 0.0;
    for (int i = 0; i < n; i++) ab += a[i] * lineCol[k][i];
    double bb = sumCC[k], by = sumCY[k], det = aa * bb - ab * ab;
    if (!(det > 1e-9 * aa * bb)) continue;  // the same shape twice
    double gain = (bb * ay * ay - 2.0 * ab * ay * by + aa * by * by) / det;
    if (gain > bestPair) {
      bestPair = gain;
      second = k;
    }
  }
  if (second < 0) second = first;
  q[0] = centre[first / LINE_WIDTHS];
  q[1] = lnLo + lnStep * (first % LINE_WIDTHS);
  q[2] = centre[second / LINE_WIDTHS];
  q[3] = lnLo + lnStep * (second % LINE_WIDTHS);
  double p[MAX_PARMS];
  memcpy(p, base, sizeof p);
  return solve_lines(q, p) < HUGE_VAL;
}

static const double *sortKey;
static int by_key_desc(const void *a, const void *b) {
  int i = *(const int *)a, j = *(const int *)b;
  double ki = fabs(sortKey[i]), kj = fabs(sortKey[j]);
  if (ki != kj) return ki > kj ? -1 : 1;
  return i - j;
}

// The centres that the line-shape guesses try, into centre: the largest local extremes
// of y (three-point means), then the midpoints between neighbours in x among them, where
// a dispersion line crosses zero. Returns how many, at most MAX_CENTRES.
static int line_centres(double *centre) {
  int n = pts->n;
  static double smooth[MAX_POINTS];
  static int extreme[MAX_POINTS];
  for (int k = 0; k < n; k++) {
    int lo = k > 0 ? k - 1 : k, hi = k < n - 1 ? k + 1 : k;
    smooth[k] = (pts->y[order[lo]] + pts->y[order[k]] + pts->y[order[hi]]) / 3.0;
  }
  int nExt = 0;
  for (int k = 0; k < n; k++) {
    double a = k > 0 ? smooth[k - 1] : smooth[k], b = k < n - 1 ? smooth[k + 1] : smooth[k];
    if ((smooth[k] >= a && smooth[k] >= b) || (smooth[k] <= a && smooth[k] <= b)) {
      extreme[nExt++] = k;
    }
  }
  sortKey = smooth;
  qsort(extreme, (size_t)nExt, sizeof extreme[0], by_key_desc);
  if (nExt > MAX_CENTRES / 2) nExt = MAX_CENTRES / 2;
  int nCentres = 0;
  for (int k = 0; k < nExt; k++) centre[nCentres++] = pts->x[order[extreme[k]]];
  int byX[MAX_CENTRES];
  for (int k = 0; k < nExt; k++) byX[k] = extreme[k];
  for (int k = 1; k < nExt; k++) {
    for (int m = k; m > 0 && byX[m] < byX[m - 1]; m--) {
      int t = byX[m];
      byX[m] = byX[m - 1];
      byX[m - 1] = t;
    }
  }
  for (int k = 1; k < nExt && nCentres < MAX_CENTRES; k++) {
    centre[nCentres++] = 0.5 * (pts->x[order[byX[k - 1]]] + pts->x[order[byX[k]]]);
  }
  return nCentres;
}

// Models 17, 18 and 19, two lines: read every point. The centres of line_centres, the
// widths from two point spacings to a quarter of the span. The line that explains most of
// y is found first, then the second beside it; both are refined together, Mo and F solved
// by least squares throughout. The start with the two lines swapped is added too, since
// the fit treats them differently.
static void guess_lines(void) {
  double centre[MAX_CENTRES];
  int nCentres = line_centres(centre);
  double fwhmLo = 2.0 * dxTypical, fwhmHi = xSpan / 4.0;
  if (!(fwhmLo > 0.0) || !(fwhmHi > fwhmLo)) {
    fwhmLo = xSpan / 100.0;
    fwhmHi = xSpan / 4.0;
  }
  double lnLo = log(fwhmLo), lnStep = (log(fwhmHi) - lnLo) / (LINE_WIDTHS - 1);

  double base[MAX_PARMS];
  base_parms(base);
  double q2[MAX_COORDS];
  if (!find_two_lines(centre, nCentres, lnLo, lnStep, base, q2)) return;
  search_space s = {4, {0, 0, 0, 0}, {0, 0, 0, 0}, {2, 2, 2, 2}};
  // The refinement steps: a quarter of the narrower width, and a factor of 1.5.
  double stepV = 0.25 * exp(q2[1] < q2[3] ? q2[1] : q2[3]);
  for (int j = 0; j < 4; j++) s.hi[j] = j % 2 == 0 ? stepV : log(1.5);
  if (held[0]) fix_coord(&s, 0, 0.0);
  if (held[1]) fix_coord(&s, 1, 0.0);
  if (held[2]) fix_coord(&s, 2, 0.0);
  if (held[3]) fix_coord(&s, 3, 0.0);
  search_point pt;
  memset(&pt, 0, sizeof pt);
  memcpy(pt.q, q2, sizeof pt.q);
  double p[MAX_PARMS];
  memcpy(p, base, sizeof p);
  pt.rss = solve_lines(pt.q, p);
  refine(&s, solve_lines, base, &pt);
  memcpy(p, base, sizeof p);
  saw_rss(solve_lines(pt.q, p), p);
  // Started from the lines found, the fit could not end below the start's RMSE: both
  // lines a little wider, in either order, and a little narrower.
  int order2 = !held[0] && !held[1] && !held[2] && !held[3];
  for (int k = 0; k < 3; k++) {
    double by = log(k < 2 ? 1.3 : 1.0 / 1.3);
    double t[MAX_COORDS] = {pt.q[0], pt.q[1] + by, pt.q[2], pt.q[3] + by};
    if (k == 1) {
      if (!order2) continue;
      double u[MAX_COORDS] = {t[2], t[3], t[0], t[1]};
      memcpy(t, u, sizeof t);
    }
    add_point(solve_lines, base, t);
  }
}

// --- denaturation and dissociation

// The trimer models' concentration p6 and RT p7, held as they must be for a guess; the
// documented values stand in for a free one, which the data cannot give.
static void trimer_constants(double *p) {
  if (!held[6]) p[6] = 1.0;
  if (!held[7]) p[7] = 0.5924;
}

// Model 20: q0 = the midpoint, q1 = ln m. A4 = m*xm - RT*ln(0.75*A6^2), where u = 1/2.
static double solve_trimer(const double *q, double *p) {
  if (!held[5]) p[5] = exp(q[1]);
  if (!held[4]) p[4] = p[5] * q[0] - p[7] * log(0.75 * p[6] * p[6]);
  return solve_two_state(p, &SUBTRACTED_SLOPES);
}

// Model 20, trimer unfolding by a denaturant: reads every point. The midpoint across the
// concentrations and the m value from 0.3 to 10 per unit of x on a log grid; the
// baselines by least squares.
static void guess_denature_trimer(void) {
  search_space s = {2, {0, log(0.3)}, {0, log(10.0)}, {0, 10}};
  midpoint_coord(&s, 0, 30);
  if (held[4]) fix_coord(&s, 0, 0.0);
  if (held[5]) fix_coord(&s, 1, 0.0);
  double p[MAX_PARMS];
  base_parms(p);
  trimer_constants(p);
  run_search(&s, solve_trimer, p, 1.0);
}

// Model 21: q0, q1 the trimer's midpoint and ln m, as model 20; q2, q3 those of the second
// equilibrium, A0 = A1*xm2.
static double solve_mono_trimer(const double *q, double *p) {
  static const int lin[] = {2, 3};
  if (!held[5]) p[5] = exp(q[1]);
  if (!held[4]) p[4] = p[5] * q[0] - p[7] * log(0.75 * p[6] * p[6]);
  if (!held[1]) p[1] = exp(q[3]);
  if (!held[0]) p[0] = p[1] * q[2];
  return solve_plain(p, 2, lin);
}

// The columns of model 21's two fractions over their grids, each computed once: the
// trimer's folded fraction for q0, q1 and the two-state step's for q2, q3.
enum { STEP_GRID = 14 * 5 };
static double trimerCol[STEP_GRID][MAX_POINTS], stepCol[STEP_GRID][MAX_POINTS];

// Model 21, a trimer and a two-state step: reads every point. Both midpoints across the
// concentrations and both m values on log grids; the two levels by least squares. The
// grid pairs each column of one fraction with each of the other.
static void guess_denature_mono_trimer(void) {
  search_space s = {4, {0, log(0.3), 0, log(0.3)}, {0, log(10.0), 0, log(10.0)}, {0, 5, 0, 5}};
  midpoint_coord(&s, 0, 14);
  midpoint_coord(&s, 2, 14);
  if (held[4]) fix_coord(&s, 0, 0.0);
  if (held[5]) fix_coord(&s, 1, 0.0);
  if (held[0]) fix_coord(&s, 2, 0.0);
  if (held[1]) fix_coord(&s, 3, 0.0);
  double base[MAX_PARMS];
  base_parms(base);
  trimer_constants(base);
  int n = pts->n, na = s.steps[0] * s.steps[1], nb = s.steps[2] * s.steps[3];
  for (int k = 0; k < na || k < nb; k++) {
    double q[MAX_COORDS] = {s.lo[0] + spacing(&s, 0) * (k % s.steps[0]),
                            s.lo[1] + spacing(&s, 1) * (k / s.steps[0] % s.steps[1]),
                            s.lo[2] + spacing(&s, 2) * (k % s.steps[2]),
                            s.lo[3] + spacing(&s, 3) * (k / s.steps[2] % s.steps[3])};
    double p[MAX_PARMS];
    memcpy(p, base, sizeof p);
    solve_mono_trimer(q, p);  // places the coordinates; the levels are set below
    p[2] = 1.0, p[3] = 0.0;
    if (k < na && !model_column(p, trimerCol[k])) trimerCol[k][0] = NAN;
    p[2] = 0.0, p[3] = 1.0;
    if (k < nb && !model_column(p, stepCol[k])) stepCol[k][0] = NAN;
  }
  search_point kept[KEPT];
  int nKept = 0;
  for (int a = 0; a < na; a++) {
    if (isnan(trimerCol[a][0])) continue;
    for (int b = 0; b < nb; b++) {
      if (isnan(stepCol[b][0])) continue;
      for (int i = 0; i < n; i++) tgt[i] = pts->y[i];
      int m = 0;
      const double *c[2] = {trimerCol[a], stepCol[b]};
      for (int j = 0; j < 2; j++) {
        if (held[2 + j]) {
          for (int i = 0; i < n; i++) tgt[i] -= known[2 + j] * c[j][i];
        } else {
          memcpy(col[m++], c[j], sizeof(double) * (size_t)n);
        }
      }
      double coef[2];
      search_point pt;
      memset(&pt, 0, sizeof pt);
      pt.rss = least_squares(m, coef);
      pt.at[0] = a % s.steps[0], pt.at[1] = a / s.steps[0];
      pt.at[2] = b % s.steps[2], pt.at[3] = b / s.steps[2];
      for (int j = 0; j < 4; j++) pt.q[j] = s.lo[j] + spacing(&s, j) * pt.at[j];
      keep_point(kept, &nKept, &pt);
    }
  }
  finish_search(&s, solve_mono_trimer, base, kept, nKept, 1.0);
}

// Model 25: q0 = the midpoint, q1 = ln(-b). a = -R*Temp*ln P - b*xm, where f = 1/2.
static double solve_dimer_sigmoid(const double *q, double *p) {
  // The dimer baseline c + d*x at f = 0, the monomer's r + s*x at f = 1.
  static const two_state_form form = {2, 3, 0, 1, 1.0};
  if (!held[5]) p[5] = -exp(q[1]);
  if (!held[4]) p[4] = -8.314 * p[7] * log(p[6]) - p[5] * q[0];
  return solve_two_state(p, &form);
}

// Model 25, a dimer dissociating along x: reads every point. The midpoint across x and
// -b from 300 to 30000 J/(mol unit of x) on a log grid; the baselines by least squares.
// Temp and P must be held; the documented values stand in for a free one.
static void guess_dimer_sigmoid(void) {
  search_space s = {2, {0, log(300.0)}, {0, log(30000.0)}, {0, 10}};
  midpoint_coord(&s, 0, 30);
  if (held[4]) fix_coord(&s, 0, 0.0);
  if (held[5]) fix_coord(&s, 1, 0.0);
  double p[MAX_PARMS];
  base_parms(p);
  if (!held[6]) p[6] = 1.0;
  if (!held[7]) p[7] = 298.15;
  run_search(&s, solve_dimer_sigmoid, p, 1.0);
}

// --- heat capacity

// The unfolded fraction and the peak term of models 22 and 23 at x, formed as the models
// form them (docs/models.md) for Tm, dH and a heat-capacity change dcp that does not vary
// with the temperature: the baselines' own slopes, noisy on the short sides of a peak,
// would change it by hundreds across the kelvins of x.
static void heat_cap_state(double x, double tm, double dh, double dcp, double *f, double *peak) {
  double e1 = dcp * (x - tm), e2 = dcp * (log(x) - log(tm));
  double h = e1 + dh;
  if (model == 22) {
    double k = exp((x * (e2 + dh / tm) - h) / (x * R_KJ));
    *f = 1.0 / (1.0 + 1.0 / k);
    *peak = *f * (1.0 - *f) * h * h / (x * (x * R_KJ));
  } else if (model == 24) {
    double c = held[7] ? known[7] : 1.0;
    double g = log(c * (c * 2.09)) * R_KJ + (e2 + dh / tm);
    double k = exp((x * (g - h)) / (x * R_KJ));
    double w = sqrt(k / (c * (c * 20.25)) + 1.0), v = k / (c * (c * 6.0));
    *f = cbrt(w * v + v) - cbrt(fabs(v * (1.0 - w)));  // the model's pow(, 0.3333333), nearly
    *peak = *f * (1.0 - *f) / (3.0 - 2.0 * *f) * (h * (h * 3.0)) / (x * (x * R_KJ));
  } else {
    double c = held[7] ? known[7] : 1.0;
    double g = log(c * 1.66) * R_KJ + ((e2 + e2) + dh / tm);
    double k = exp(((x + x) * g - (h + h)) / (x * R_KJ));
    *f = c * ((sqrt(k * k + k * (c * 8.0)) - k) * 0.25);
    *peak = *f * (1.0 - *f) / (2.0 - *f) * 8.0 * h * h / (x * (x * R_KJ));
  }
}

// A line by least squares through the points with x in [lo, hi], less what sub gives
// (NULL: nothing), into *a + *b*x. Returns 0 when fewer than three points lie there.
static int side_line(double lo, double hi, const double *sub, double *a, double *b) {
  int n = pts->n, m = 0;
  double sx = 0.0, sy = 0.0, sxx = 0.0, sxy = 0.0;
  for (int i = 0; i < n; i++) {
    double x = pts->x[i];
    if (x < lo || x > hi) continue;
    double y = pts->y[i] - (sub != NULL ? sub[i] : 0.0);
    sx += x, sy += y, sxx += x * x, sxy += x * y, m++;
  }
  double det = m * sxx - sx * sx;
  if (m < 3 || !(det > 0.0)) return 0;
  *b = (m * sxy - sx * sy) / det;
  *a = (sy - *b * sx) / m;
  return 1;
}

// The baselines of models 22 and 23 from the two sides of the peak, where the fraction is
// 0 and 1: the native line from the points below Tm - w, w four times the transition's
// width R*Tm^2/dH, and above Tm + w the unfolded line (model 23) or, for model 22, the
// native line plus E1, whose heat-capacity change dA + dB*x is then a line as well. Held
// and quadratic parameters keep their values; a side with too few points leaves p alone.
static void heat_cap_sides(double *p) {
  double tm = p[6], w = 4.0 * R_KJ * tm * tm / p[5];
  double a, b;
  if (!side_line(-HUGE_VAL, tm - w, NULL, &a, &b)) return;
  if (!held[0]) p[0] = b;
  if (!held[1]) p[1] = a;
  static double native[MAX_POINTS];
  for (int i = 0; i < pts->n; i++) native[i] = model == 22 ? p[0] * pts->x[i] + p[1] : 0.0;
  if (!side_line(tm + w, HUGE_VAL, native, &a, &b)) return;
  // Model 22 above Tm: y - N = E1, about dcp*(x - Tm), a line of slope dcp.
  if (!held[3]) p[3] = model == 22 ? p[0] : b;
  if (!held[4]) p[4] = model == 22 ? p[1] + b : a;
}

// Passes of solve_heat_cap: one over the grid, more where the points are refined.
static int heatCapPasses;

// The columns of p0, p1, p3, p4, p2 and c2 of models 22 and 23 at Tm tm, dH dh and a
// heat-capacity change dcp, the fraction and the peak term taken as known: cols, and y less
// the peak in tgt. Returns 0 when an x is not positive.
static int heat_cap_columns(double tm, double dh, double dcp, double cols[][MAX_POINTS]) {
  for (int i = 0; i < pts->n; i++) {
    double x = pts->x[i], f, peak;
    if (!(x > 0.0)) return 0;
    heat_cap_state(x, tm, dh, dcp, &f, &peak);
    double d1 = x - tm, d2 = x * x - tm * tm, d3 = 0.3333 * (x * x * x - tm * tm * tm);
    if (model == 22) {  // N + f*E1 + peak, E1 = dA d1 + dB d2/2 + dC d3
      cols[0][i] = x - f * 0.5 * d2;
      cols[1][i] = 1.0 - f * d1;
      cols[2][i] = f * 0.5 * d2;
      cols[3][i] = f * d1;
      cols[4][i] = f * d3;
      cols[5][i] = x * x - f * d3;
    } else {  // (1 - F) N + F U + peak
      cols[0][i] = (1.0 - f) * x;
      cols[1][i] = 1.0 - f;
      cols[2][i] = f * x;
      cols[3][i] = f;
      cols[4][i] = f * x * x;
      cols[5][i] = (1.0 - f) * x * x;
    }
    tgt[i] = pts->y[i] - peak;
  }
  return 1;
}

// Models 22 and 23: q0 = Tm, q1 = ln dH. With the fraction f and the peak term taken as
// known, the model is linear in the baselines p0, p1, p3, p4 (and the quadratic
// coefficients when free), which least squares gives; the first pass takes the change of
// the baselines from the sides of the peak, each next the one of the baselines just
// solved. The RSS is the model's own.
static double solve_heat_cap(const double *q, double *p) {
  if (!held[6]) p[6] = q[0];
  if (!held[5]) p[5] = exp(q[1]);
  double tm = p[6];
  int n = pts->n;
  static const int parm22[] = {0, 1, 3, 4, 2, 7}, parm23[] = {0, 1, 3, 4, 2, 8};
  const int *parm = model == 22 ? parm22 : parm23;
  static double cols[6][MAX_POINTS];
  heat_cap_sides(p);
  for (int pass = 0; pass < heatCapPasses; pass++) {
    double c2 = model == 22 ? p[7] : p[8];
    double dcp = ((tm * tm) * p[2] + tm * p[3] + p[4]) - ((tm * tm) * c2 + tm * p[0] + p[1]);
    if (!heat_cap_columns(tm, p[5], dcp, cols)) return HUGE_VAL;
    int idx[MAX_COLS], m = 0;
    for (int k = 0; k < 6; k++) {
      int j = parm[k];
      if (held[j]) {
        for (int i = 0; i < n; i++) tgt[i] -= known[j] * cols[k][i];
        p[j] = known[j];
      } else {
        memcpy(col[m], cols[k], sizeof(double) * (size_t)n);
        idx[m++] = j;
      }
    }
    double coef[MAX_COLS];
    if (!(least_squares(m, coef) < HUGE_VAL)) break;  // the pass before stands
    for (int k = 0; k < m; k++) p[idx[k]] = coef[k];
  }
  return model_rss(p);
}

// Model 23: q0 = Tm, q1 = ln dH, q2 = the heat-capacity change at Tm. Both baselines
// take the native one's slope and the unfolded line lies q2 above the native one, so that
// the change is the same at every x, as heat_cap_state takes it: least squares gives the
// native line alone. With a baseline held, the general solution instead.
static double solve_heat_cap_dimer(const double *q, double *p) {
  if (held[0] || held[1] || held[3] || held[4]) return solve_heat_cap(q, p);
  if (!held[6]) p[6] = q[0];
  if (!held[5]) p[5] = exp(q[1]);
  if (!held[2]) p[2] = 0.0;
  if (!held[8]) p[8] = 0.0;
  double dcp = q[2];
  int n = pts->n;
  for (int i = 0; i < n; i++) {
    double x = pts->x[i], f, peak;
    if (!(x > 0.0)) return HUGE_VAL;
    heat_cap_state(x, p[6], p[5], dcp, &f, &peak);
    col[0][i] = x;
    col[1][i] = 1.0;
    tgt[i] = pts->y[i] - peak - f * dcp - (f * p[2] + (1.0 - f) * p[8]) * x * x;
  }
  double coef[2];
  double rss = least_squares(2, coef);  // the model's own: its change is dcp at every x
  p[0] = p[3] = coef[0];
  p[1] = coef[1];
  p[4] = coef[1] + dcp;
  return rss;
}

// The peak itself, above the line through the two ends: Tm at its maximum, dH from its
// height h, 0.25*dH^2/(R*Tm^2) for the monomer at Tm and about 1.37*dH^2/(R*Tm^2) at the
// dimer's maximum. Tried round about, as one more point of the grid in kept.
static void heat_cap_peak_seeds(solve_fn *solve, const double *p, search_point *kept, int *nKept) {
  int n = pts->n, e = n / 10 > 0 ? n / 10 : 1;
  double x0 = 0.0, y0 = 0.0, x1 = 0.0, y1 = 0.0;
  for (int k = 0; k < e; k++) {
    x0 += pts->x[order[k]] / e, y0 += pts->y[order[k]] / e;
    x1 += pts->x[order[n - 1 - k]] / e, y1 += pts->y[order[n - 1 - k]] / e;
  }
  double h = -HUGE_VAL, tm = 0.0;
  for (int k = 1; k + 1 < n; k++) {
    double x = pts->x[order[k]];
    double ys = (pts->y[order[k - 1]] + pts->y[order[k]] + pts->y[order[k + 1]]) / 3.0;
    double above = ys - (y0 + (y1 - y0) * (x - x0) / (x1 - x0));
    if (above > h) h = above, tm = x;
  }
  if (h > 0.0 && tm > 0.0) {
    double dh = model == 22 ? 2.0 * tm * sqrt(R_KJ * h) : tm * sqrt(R_KJ * h / 1.37);
    for (int a = -1; a <= 1; a++) {
      for (int b = -1; b <= 1; b++) {
        for (int c = 0; c < (model == 23 ? 5 : 1); c++) {
          search_point pt;
          memset(&pt, 0, sizeof pt);
          pt.q[0] = held[6] ? 0.0 : tm + a;
          pt.q[1] = held[5] ? 0.0 : log(dh) + b * log(1.4);
          pt.q[2] = model == 23 ? -1.0 + c : 0.5;
          pt.at[0] = pt.at[1] = 1000;  // one region apart from the grid
          double t[MAX_PARMS];
          memcpy(t, p, sizeof t);
          pt.rss = solve(pt.q, t);
          keep_point(kept, nKept, &pt);
        }
      }
    }
  }
}

// Models 22 and 23, heat capacity in K: read every point. Tm across the temperatures, dH
// from 50 to 2000 kJ/mol on a log grid, the baselines by least squares; each point scored
// by the model's own RSS.
static void guess_heat_cap(void) {
  // Model 23 searches its heat-capacity change too: on the grid at 0.5, and from -1 to 3
  // kJ/(mol K) where the points kept are refined.
  search_space s = {3, {0, log(50.0), 0.5}, {0, log(2000.0), 0.5}, {0, 10, 1}};
  midpoint_coord(&s, 0, 30);
  if (held[6]) fix_coord(&s, 0, 0.0);
  if (held[5]) fix_coord(&s, 1, 0.0);
  solve_fn *solve = model == 23 ? solve_heat_cap_dimer : solve_heat_cap;
  double p[MAX_PARMS];
  base_parms(p);
  if (model == 23 && !held[7]) p[7] = 1.0;
  search_point kept[KEPT];
  int nKept;
  heatCapPasses = 1;
  grid_search(&s, solve, p, kept, &nKept);
  heat_cap_peak_seeds(solve, p, kept, &nKept);
  heatCapPasses = 3;
  for (int k = 0; k < nKept; k++) {
    double t[MAX_PARMS];
    memcpy(t, p, sizeof t);
    kept[k].rss = solve(kept[k].q, t);
  }
  if (model == 23) s.lo[2] = -1.0, s.hi[2] = 3.0, s.steps[2] = 5;
  finish_search(&s, solve, p, kept, nKept, 1.0);
}

// Model 24: q0 = the transition's midpoint x*, q1 = ln of the heat-capacity change, the
// same at every x; both baselines take the native one's slope. Its K has no temperature
// factor: F = 1/2 where q = 1/4, i.e. where A5*(1/Tm - 1) = R*ln(0.75/2.09) + E1 - E2,
// which gives A5 for the held Tm (or, A5 held, the midpoint is Tm's coordinate instead).
static double solve_heat_cap_trimer(const double *q, double *p) {
  double dcp = exp(q[1]);
  if (!held[5]) {
    double tm = p[6], x = q[0];
    double e = dcp * (x - tm) - dcp * (log(x) - log(tm));
    p[5] = (R_KJ * log(0.75 / 2.09) + e) / (1.0 / tm - 1.0);
  } else if (!held[6]) {
    p[6] = q[0];
  }
  if (!held[2]) p[2] = 0.0;
  if (!held[8]) p[8] = 0.0;
  int n = pts->n;
  for (int i = 0; i < n; i++) {
    double x = pts->x[i], f, peak;
    if (!(x > 0.0)) return HUGE_VAL;
    heat_cap_state(x, p[6], p[5], dcp, &f, &peak);
    col[0][i] = x;
    col[1][i] = 1.0;
    tgt[i] = pts->y[i] - peak - f * dcp - (f * p[2] + (1.0 - f) * p[8]) * x * x;
  }
  double coef[2];
  double rss = least_squares(2, coef);
  if (!held[0]) p[0] = coef[0];
  if (!held[3]) p[3] = coef[0];
  if (!held[1]) p[1] = coef[1];
  if (!held[4]) p[4] = coef[1] + dcp;
  // With a baseline held the change is no longer dcp everywhere: the model's own RSS.
  return held[0] || held[1] || held[3] || held[4] ? model_rss(p) : rss;
}

// Model 24, heat capacity of a trimer in K: reads every point. Its transition is visible
// only at a small heat-capacity change and enthalpy; at realistic ones K underflows and y
// is the native line (docs/models.md), which the smallest change of the grid gives. The
// midpoint across the temperatures, the change from 10^-4 to 10 kJ/(mol K) on a log grid,
// the native line by least squares. A5 and A6 move the transition together: one of them
// is held, Tm unless said otherwise.
static void guess_heat_cap_trimer(void) {
  search_space s = {2, {0, log(1e-4)}, {0, log(10.0)}, {0, 8}};
  midpoint_coord(&s, 0, 20);
  if (held[5] && held[6]) fix_coord(&s, 0, 0.0);
  double p[MAX_PARMS];
  base_parms(p);
  if (!held[6]) p[6] = 0.5 * (xLo + xHi);
  if (!held[7]) p[7] = 1.0;
  // The transition is steep in the change: moved off a quarter of a grid step only.
  run_search(&s, solve_heat_cap_trimer, p, 0.25);
}

// --- angles

// Model 28: q0 = A1. A0*cos(A1*theta + A2) is a sum of two cosines of fixed phases, linear
// in their amplitudes; A3 is linear.
static double solve_sinusoid(const double *q, double *p) {
  if (!held[1]) p[1] = q[0];
  int n = pts->n;
  double c0[MAX_PARMS] = {1.0, p[1], 0.0, 0.0}, c1[MAX_PARMS] = {1.0, p[1], -1.0, 0.0};
  if (held[2]) c0[2] = p[2];
  if (!model_column(c0, col[0])) return HUGE_VAL;
  int m = 1;
  if (!held[2] && !model_column(c1, col[m++])) return HUGE_VAL;
  for (int i = 0; i < n; i++) tgt[i] = pts->y[i] - (held[3] ? p[3] : 0.0);
  if (!held[3]) {
    for (int i = 0; i < n; i++) col[m][i] = 1.0;
    m++;
  }
  double coef[3];
  double rss = least_squares(m, coef);
  if (!(rss < HUGE_VAL)) return rss;
  if (!held[3]) p[3] = coef[m - 1];
  if (held[2]) {
    if (!held[0]) p[0] = coef[0];
    return held[0] ? model_rss(p) : rss;
  }
  // a*cos(t) + b*cos(t - 1) = A0*cos(t + A2)
  double c = coef[0] + coef[1] * cos(1.0), s = coef[1] * sin(1.0);
  p[2] = atan2(-s, c);
  if (!held[0]) p[0] = sqrt(c * c + s * s);
  return held[0] ? model_rss(p) : rss;
}

// Model 28, a cosine of the angle from 60 degrees: reads every point. A1 over a linear
// grid from a quarter to forty cycles over the angles spanned; A0, A2 and A3 by least
// squares.
static void guess_sinusoid(void) {
  double theta = 0.0;  // the largest angle from 60 degrees, in radians
  for (int i = 0; i < pts->n; i++) {
    double t = fabs(pts->x[i] - 60.0) * (3.14159265 / 180.0);
    if (t > theta) theta = t;
  }
  if (!(theta > 0.0)) return;
  double step = 3.14159265 / (2.0 * theta);  // a quarter cycle over the angles
  int steps = pts->n < 160 ? pts->n : 160;
  search_space s = {1, {step}, {step * steps}, {steps}};
  if (held[1]) fix_coord(&s, 0, 0.0);
  double p[MAX_PARMS];
  base_parms(p);
  run_search(&s, solve_sinusoid, p, 0.25);  // a sixteenth of a cycle over the angles
}

// --- the table

typedef void guess_fn(void);

struct guess_row {
  int no;
  guess_fn *guess;
};

// One row per model number, in order: row i is model i.
// clang-format off
static const guess_row guess_rows[LAST_MODEL + 1] = {
  {  0, guess_linear},
  {  1, guess_linear},
  {  2, guess_linear},
  {  3, guess_exponential},
  {  4, guess_t1},
  {  5, guess_t2},
  {  6, guess_r2_dimer},
  {  7, guess_r2x_dimer},
  {  8, guess_two_times},
  {  9, guess_titration},
  { 10, guess_linear},
  { 11, guess_sigmoid},
  { 12, NULL},  // nothing is fitted
  { 13, guess_melt},
  { 14, guess_melt},
  { 15, guess_shift_xy1},
  { 16, guess_shift_xy2},
  { 17, guess_lines},
  { 18, guess_lines},
  { 19, guess_lines},
  { 20, guess_denature_trimer},
  { 21, guess_denature_mono_trimer},
  { 22, guess_heat_cap},
  { 23, guess_heat_cap},
  { 24, guess_heat_cap_trimer},
  { 25, guess_dimer_sigmoid},
  { 26, guess_two_times},
  { 27, guess_linear},
  { 28, guess_sinusoid},
};
// clang-format on

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

int guess_starts(int m, const guess_data *d, const double *knownValues, const int *heldFlags,
                 guess_list *out) {
  out->n = 0;
  out->floor = HUGE_VAL;
  if (m < 0 || m > LAST_MODEL || guess_rows[m].guess == NULL || d->n < 2) return 0;
  pts = d;
  model = m;
  floorRss = HUGE_VAL;
  parmCount = fitParmNum[m];
  found = out;
  for (int i = 0; i < MAX_PARMS; i++) {
    held[i] = heldFlags[i] == 1;
    known[i] = held[i] ? knownValues[i] : 0.0;
  }
  if (!measure_points()) return 0;
  guess_rows[m].guess();
  out->floor = floorRss < HUGE_VAL ? sqrt(floorRss / d->n) : HUGE_VAL;
  memcpy(out->lowest, floorAt, sizeof floorAt);
  return out->n;
}

// The signs that the models' physics gives their parameters: times, dissociation
// constants, m values and enthalpies are positive, an exchange term is not negative.
// A parameter of 0 or less where the row says "positive", or below 0 where it says
// "not negative", is implausible; -1 ends a list.
struct plausible_row {
  int model;
  int positive[3];
  int notNegative;  // a product p[j]*p[j+1], or -1
};

// clang-format off
static const plausible_row plausible_rows[] = {
//  model  positive       product not negative
  {  4,    {2, -1},       -1},
  {  5,    {1, -1},       -1},
  {  7,    {0, -1},        3},  // TAU*DELTASQU
  {  8,    {1, 3, -1},    -1},
  { 13,    {4, -1},       -1},
  { 14,    {4, -1},       -1},
  { 15,    {1, -1},       -1},
  { 16,    {1, 3, -1},    -1},
  { 20,    {5, -1},       -1},
  { 21,    {5, 1, -1},    -1},
  { 22,    {5, -1},       -1},
  { 23,    {5, -1},       -1},
  { 26,    {1, 3, -1},    -1},
};
// clang-format on

int plausible_result(int m, const guess_data *d, const double *p) {
  for (const plausible_row &row : plausible_rows) {
    if (row.model != m) continue;
    for (int k = 0; k < 3 && row.positive[k] >= 0; k++) {
      if (!(p[row.positive[k]] > 0.0)) return 0;
    }
    if (row.notNegative >= 0 && p[row.notNegative] * p[row.notNegative + 1] < 0.0) return 0;
  }
  // A melt's or a peak's Tm, and a line's centre, lie near the x measured: the other root
  // of the free energy, or a line far outside, is a mirror that fits as well.
  int at = -1;
  double shift = 0.0;
  if (m == 13 || m == 14) at = 6, shift = 273.15;
  if (m == 22 || m == 23) at = 6;
  if (m >= 17 && m <= 19) at = 0;
  if (at < 0) return 1;
  double lo = HUGE_VAL, hi = -HUGE_VAL;
  for (int i = 0; i < d->n; i++) {
    if (d->x[i] < lo) lo = d->x[i];
    if (d->x[i] > hi) hi = d->x[i];
  }
  double margin = at == 0 ? 0.0 : 0.5 * (hi - lo);  // a line outside the x measured is lost
  for (int k = 0; k < (m >= 17 && m <= 19 ? 2 : 1); k++) {
    double t = p[at + 2 * k] - shift;
    if (!(t > lo - margin && t < hi + margin)) return 0;
  }
  return 1;
}

// --- what the data cannot separate

struct unseparated_row {
  int model;
  int parm;
  int other;  // a parameter whose hold does instead, or -1
  const char *why;
};

// clang-format off
static const unseparated_row unseparated_rows[] = {
//  model parm other  why
  {  7,   3,   4,   "TAU and DELTASQU enter only as their product"},
  { 14,   7,  -1,   "the concentration changes the curve only through rounding"},
  { 20,   7,  -1,   "only A4/RT and A5/RT enter the model"},
  { 20,   6,  -1,   "the concentration trades off exactly against A4"},
  { 21,   7,  -1,   "only A4/RT, A5/RT, A0/RT and A1/RT enter the model"},
  { 21,   6,  -1,   "the concentration trades off exactly against A4"},
  { 24,   7,  -1,   "the concentration changes the curve only through rounding"},
  { 24,   5,   6,   "A5 and A6 move the transition together"},
  { 25,   7,  -1,   "Temp only scales a and b"},
  { 25,   6,  -1,   "the concentration trades off exactly against a"},
};
// clang-format on

int unseparated_parm(int m, const int *heldFlags, int *other, const char **why) {
  for (const unseparated_row &row : unseparated_rows) {
    if (row.model != m || heldFlags[row.parm] == 1) continue;
    if (row.other >= 0 && heldFlags[row.other] == 1) continue;
    *other = row.other;
    *why = row.why;
    return row.parm;
  }
  return -1;
}

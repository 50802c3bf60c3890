// The guesses of the heat-capacity models 22, 23 and 24 (differential scanning
// calorimetry, in K): the transition's Tm and enthalpy searched, the baselines solved by
// least squares with the unfolded fraction and the peak term taken as known.
#include <math.h>
#include <string.h>

#include "guess_kit.h"

namespace guess {

// The gas constant in kJ/(mol K), as the heat-capacity models take it.
static const double R_KJ = 0.008314;

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

// The native line of models 23 and 24 when the unfolded one lies dcp above it, the same
// at every x: its slope and level by least squares into coef[0] and coef[1], from y less
// the peak, the change and the quadratic terms at Tm p6 and dH p5, and the RSS into *rss.
// Returns 0, with nothing solved, when an x is not positive.
static int native_line(const double *p, double dcp, double *coef, double *rss) {
  int n = pts->n;
  for (int i = 0; i < n; i++) {
    double x = pts->x[i], f, peak;
    if (!(x > 0.0)) return 0;
    heat_cap_state(x, p[6], p[5], dcp, &f, &peak);
    col[0][i] = x;
    col[1][i] = 1.0;
    tgt[i] = pts->y[i] - peak - f * dcp - (f * p[2] + (1.0 - f) * p[8]) * x * x;
  }
  *rss = least_squares(2, coef);
  return 1;
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
  double coef[2], rss;
  if (!native_line(p, dcp, coef, &rss)) return HUGE_VAL;
  p[0] = p[3] = coef[0];
  p[1] = coef[1];
  p[4] = coef[1] + dcp;
  return rss;  // the model's own: its change is dcp at every x
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
void guess_heat_cap(void) {
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
  double coef[2], rss;
  if (!native_line(p, dcp, coef, &rss)) return HUGE_VAL;
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
void guess_heat_cap_trimer(void) {
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

}  // namespace guess

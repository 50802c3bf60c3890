// The guesses of the relaxation models: T1 by inversion recovery (4), T2 (5), and two
// exponential decays or rises (8, 26), each on a log grid of the delays.
#include <math.h>
#include <string.h>

#include "guess_kit.h"

namespace guess {

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

// Model 4, Mo*(1 - W*exp(-x/T1)): reads every point. T1 over a log grid of the delays;
// Mo, and W unless held, by least squares.
void guess_t1(void) {
  search_space s = {1, {0}, {0}, {0}};
  time_coord(&s, 0, 30);
  if (held[2]) fix_coord(&s, 0, 0.0);
  double p[MAX_PARMS];
  base_parms(p);
  run_search(&s, solve_t1, p, 1.0);
}

// Model 5, Mo*exp(-x/T2): reads every point. T2 over a log grid of the delays, Mo by
// least squares.
void guess_t2(void) { search_scale(1, 0, -1, 30); }

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
void guess_two_times(void) {
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

}  // namespace guess

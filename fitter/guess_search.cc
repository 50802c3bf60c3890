// The searches of the guesses over a model's few nonlinear parameters (a time, a
// midpoint, a width): a grid that the points span, the parameters in which the model is
// linear solved at every grid point, the best points kept and refined.
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include "guess_kit.h"

namespace guess {

enum { REFINE_EVALS = 60 };  // evaluations that one refinement may spend

double spacing(const search_space *s, int j) {
  return s->steps[j] > 1 ? (s->hi[j] - s->lo[j]) / (s->steps[j] - 1) : 0.0;
}

void keep_point(search_point *kept, int *nKept, const search_point *pt) {
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

void grid_search(const search_space *s, solve_fn *solve, const double *base, search_point *kept,
                 int *nKept) {
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

void refine(const search_space *s, solve_fn *solve, const double *base, search_point *pt) {
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

void add_point(solve_fn *solve, const double *base, const double *q) {
  double p[MAX_PARMS];
  memcpy(p, base, sizeof p);
  if (solve(q, p) < HUGE_VAL) add_start(p);
}

void finish_search(const search_space *s, solve_fn *solve, const double *base, search_point *kept,
                   int nKept, double offset) {
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

void run_search(const search_space *s, solve_fn *solve, const double *base, double offset) {
  search_point kept[KEPT];
  int nKept;
  grid_search(s, solve, base, kept, &nKept);
  finish_search(s, solve, base, kept, nKept, offset);
}

void fix_coord(search_space *s, int j, double value) {
  s->lo[j] = s->hi[j] = value;
  s->steps[j] = 1;
}

void time_coord(search_space *s, int j, int steps) {
  s->lo[j] = log(xPosLo / 10.0);
  s->hi[j] = log((xHi > 0.0 ? xHi : xSpan) * 10.0);
  s->steps[j] = steps;
}

void midpoint_coord(search_space *s, int j, int steps) {
  s->lo[j] = xLo;
  s->hi[j] = xHi;
  s->steps[j] = steps;
}

// The search_scale under way: q0 is the log of parameter scaleParm.
static int scaleParm;
static int scaleLin[2], scaleLinCount;
static double solve_scale(const double *q, double *p) {
  if (!held[scaleParm]) p[scaleParm] = exp(q[0]);
  return solve_plain(p, scaleLinCount, scaleLin);
}

void search_scale(int parm, int lin0, int lin1, int steps) {
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

}  // namespace guess

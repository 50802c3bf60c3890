// The guesses of the titration and binding models: the monomer-dimer rates (6, 7), the pH
// titration (9) and the shifts of one and of two binding steps (15, 16).
#include <math.h>
#include <string.h>

#include "guess_kit.h"

namespace guess {

// Model 6, the rates averaged by the monomer fraction: reads every point. Kd over a log
// grid of the concentrations, R2D and R2M by least squares.
void guess_r2_dimer(void) { search_scale(0, 1, 2, 30); }

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
void guess_r2x_dimer(void) {
  search_space s = {1, {0}, {0}, {0}};
  time_coord(&s, 0, 30);
  if (held[0]) fix_coord(&s, 0, 0.0);
  double p[MAX_PARMS];
  base_parms(p);
  run_search(&s, solve_r2x, p, 1.0);
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
void guess_titration(void) {
  // At most 160 steps, capped before the conversion: a span of any size fits no int.
  double quarters = (xSpan + 2.0) / 0.25;
  int steps = quarters < 159.0 ? (int)quarters + 1 : 160;
  search_space s = {2, {xLo - 1.0, log(0.5)}, {xHi + 1.0, log(2.0)}, {steps, 5}};
  if (held[0]) fix_coord(&s, 0, 0.0);
  if (held[3]) fix_coord(&s, 1, 0.0);
  double p[MAX_PARMS];
  base_parms(p);
  run_search(&s, solve_titration, p, 1.0);
}

// Model 15, one binding site: reads x, x2 and y. Kd over a log grid of the ligand
// concentrations, the bound shift by least squares.
void guess_shift_xy1(void) { search_scale(1, 0, -1, 30); }

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
void guess_shift_xy2(void) {
  search_space s = {2, {0, log(5.0)}, {0, log(100.0)}, {0, 6}};
  time_coord(&s, 0, 20);
  if (held[1]) fix_coord(&s, 0, 0.0);
  if (held[3]) fix_coord(&s, 1, 0.0);
  double p[MAX_PARMS];
  base_parms(p);
  run_search(&s, solve_shift_xy2, p, 1.0);
}

}  // namespace guess

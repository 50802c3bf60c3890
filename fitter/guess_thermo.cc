// The guesses of the thermodynamic two-state models: the melts (13, 14), the trimer's
// denaturation alone and with a two-state step (20, 21), and the dimer's dissociation
// (25). Their baselines are lines on either side of the transition, solved by least squares
// from the model's own unfolded fraction.
#include <math.h>
#include <string.h>

#include "guess_kit.h"

namespace guess {

// The baselines of a two-state model: N's level and slope, then U's; a negative slope sign
// means the model subtracts it.
struct two_state_form {
  int nLevel, nSlope, uLevel, uSlope;
  double slopeSign;
};

// Solves the baselines of form of a two-state model, y = (1 - f)*N + f*U, N and U lines in
// x, from the model's unfolded fraction f, which fnf gives at unit levels: with N 0 and U 1
// the model is f itself. Returns the RSS, or HUGE_VAL.
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
void guess_melt(void) {
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
void guess_denature_trimer(void) {
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
void guess_denature_mono_trimer(void) {
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
void guess_dimer_sigmoid(void) {
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

}  // namespace guess

// The guesses of the general models: polynomials and other sums linear in every
// parameter (0, 1, 2, 10, 27), the exponential (3), the sigmoid step (11) and the cosine
// of an angle (28).
#include <math.h>
#include <string.h>

#include "guess_kit.h"
#include "models.h"

namespace guess {

// Models 0, 1, 2, 10 and 27, linear in every parameter: reads every point, and solves the
// model by least squares. The optimum is moved off by a tenth both ways.
void guess_linear(void) {
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
void guess_exponential(void) {
  search_space s = {2, {log(0.1 / xSpan), -1.0}, {log(30.0 / xSpan), 1.0}, {28, 2}};
  if (held[1]) {
    fix_coord(&s, 0, 0.0);
    fix_coord(&s, 1, 0.0);
  }
  double p[MAX_PARMS];
  base_parms(p);
  run_search(&s, solve_exponential, p, 1.0);
}

// Model 11: q0 = the midpoint A2, q1 = ln A3.
static double solve_sigmoid(const double *q, double *p) {
  static const int lin[] = {0, 1};
  if (!held[2]) p[2] = q[0];
  if (!held[3]) p[3] = exp(q[1]);
  return solve_plain(p, 2, lin);
}

// Model 11, a step: reads every point. The midpoint across the x span and the width from
// a two-hundredth of the span to the span, on a log grid; the levels by least squares.
void guess_sigmoid(void) {
  search_space s = {2, {0, log(xSpan / 200.0)}, {0, log(xSpan)}, {0, 8}};
  midpoint_coord(&s, 0, 20);
  if (held[2]) fix_coord(&s, 0, 0.0);
  if (held[3]) fix_coord(&s, 1, 0.0);
  double p[MAX_PARMS];
  base_parms(p);
  run_search(&s, solve_sigmoid, p, 1.0);
}

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
void guess_sinusoid(void) {
  double theta = 0.0;  // the largest angle from 60 degrees, in radians
  for (int i = 0; i < pts->n; i++) {
    double t = fabs(pts->x[i] - 60.0) * (PI / 180.0);
    if (t > theta) theta = t;
  }
  if (!(theta > 0.0)) return;
  double step = PI / (2.0 * theta);  // a quarter cycle over the angles
  int steps = pts->n < 160 ? pts->n : 160;
  search_space s = {1, {step}, {step * steps}, {steps}};
  if (held[1]) fix_coord(&s, 0, 0.0);
  double p[MAX_PARMS];
  base_parms(p);
  run_search(&s, solve_sinusoid, p, 0.25);  // a sixteenth of a cycle over the angles
}

}  // namespace guess

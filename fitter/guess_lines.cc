// The guesses of the line-shape models 17, 18 and 19, two lines of a spectrum: the line
// that explains most of y, then the second beside it, both refined together.
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include "guess_kit.h"
#include "models.h"

namespace guess {

enum {
  MAX_CENTRES = 16,  // line centres tried
  LINE_WIDTHS = 6,   // widths tried at each centre
};

// y = Mo*(line1 + sign*F*line2), each line the model's own with Mo 1 and F 0.
static double line_sign(void) { return model == 18 ? 1.0 : -1.0; }

// The model's width parameter for a line of full width at half height fwhm: a time
// 1/(pi fwhm) for the Lorentzian and dispersion shapes, a standard deviation for the
// Gaussian.
static double width_of(double fwhm) { return model == 18 ? fwhm / 2.3548 : 1.0 / (PI * fwhm); }

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
void guess_lines(void) {
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

}  // namespace guess

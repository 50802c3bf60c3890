// Model evaluation: fnf, its staged forms for the derivative pass, and the general
// models, the inner loop of every fit: nothing is allocated, printed or tested. The order
// of operations is part of each model: stored results were computed with it, and a
// rearranged formula changes the last bits, and more where nearly equal terms cancel.
#include <math.h>
#include <stddef.h>

#include "models.h"

// The angular constants from the models' pi (models.h).
static const double DEG_TO_RAD = PI / 180.0;
static const double RAD_TO_DEG = 180.0 / PI;
static const double TWO_PI = 2.0 * PI;
static const double FOUR_PI_SQ = 4.0 * PI * PI;

// Line shapes of models 17, 18 and 19 at x for centre v and width w.
static inline double lorentz(double x, double v, double w) {
  double d = x - v;
  return w / ((d * (d * FOUR_PI_SQ)) * (w * w) + 1.0);
}

static inline double gauss(double x, double v, double w) {
  double u = (x - v) / w;
  return (1.0 / (TWO_PI * w)) * exp(u * (u * -0.5));  // 1/(2 pi w) is the model's prefactor
}

static inline double dispersion(double x, double v, double w) {
  double d = x - v;
  return ((w * (w * TWO_PI)) * d) / ((d * (d * FOUR_PI_SQ)) * (w * w) + 1.0);
}

static inline double decay(double x, double tau) { return exp(-x / tau); }

// The angle of models 10 and 28 in radians, measured from 60 degrees and folded: x and
// 120 - x give the same value.
static inline double folded_angle(double x) { return fabs(x - 60.0) * DEG_TO_RAD; }

// Model 16: one root of a cubic by the trigonometric method, always the 240-degree
// branch. Refuses (returns 0) when the cubic has no such real root. The comparisons let
// nan through on purpose: the result is then nan with success.
static int xy2_root(double *z, double x, double x2, const double *p) {
  double d = p[3] - 4.0 * p[1];
  double a = ((p[3] * p[3] - (4.0 * p[1]) * p[3]) - (2.0 * x2) * p[3]) / d;
  double b = ((x * p[3]) * (2.0 * x2 - x) - (p[3] * p[3]) * (x + (p[1] + x2))) / d;
  double e = ((p[3] * p[3]) * (x * x2)) / d;
  double pp = (3.0 * b - a * a) / 3.0;
  if (pp > 0.0) return 0;
  double q27 = 27.0 * e + (a * (a * (a + a)) + b * (-9.0 * a));
  double m = ((pp * pp) * pp) / -27.0;
  double t = (q27 / -54.0) / sqrt(m);
  if (t > 1.0) return 0;
  if (t < -1.0) return 0;
  *z =
      (2.0 * sqrt(pp / -3.0)) * cos(((acos(t) * RAD_TO_DEG) / 3.0 + 240.0) * DEG_TO_RAD) + a / -3.0;
  return 1;
}

// Every model at (x, x2) with p. A staged model computes each stage value v[i] again when
// one of the inputs it names has changed, and otherwise takes kept[i]. The cheap models,
// which call no mathematical function costlier than sqrt, have no stages.
static inline int eval_model(int model, unsigned changed, double *y, double x, double x2,
                             const double *p, const double *kept, double *v) {
  if ((unsigned)model > (unsigned)LAST_MODEL) return 0;
  switch (model) {
    case 0:  // Straight Line
      *y = p[0] * x + p[1];
      return 1;
    case 1:  // Quadratic
      *y = (x * (x * p[0]) + x * p[1]) + p[2];
      return 1;
    case 2:  // Cubic Polynomial
      *y = ((x * (x * (x * p[0])) + x * (x * p[1])) + x * p[2]) + p[3];
      return 1;
    case 3:  // Exponential
      v[0] = changed & (PX | P1) ? exp(p[1] * x) : kept[0];
      *y = p[0] * v[0] + p[2];
      return 1;
    case 4:  // T1 Relaxation
      v[0] = changed & (PX | P2) ? decay(x, p[2]) : kept[0];
      *y = p[0] * (1.0 - p[1] * v[0]);
      return 1;
    case 5:  // T2 Relaxation
      v[0] = changed & (PX | P1) ? decay(x, p[1]) : kept[0];
      *y = p[0] * v[0];
      return 1;
    case 6: {  // R2 Dimer: p1 + (p2 - p1) * monomer fraction, the roots taken apart
      double root = (sqrt(p[0]) * (p[2] - p[1])) * sqrt(8.0 * x + p[0]);
      *y = (root + ((4.0 * p[1]) * x + (p[1] - p[2]) * p[0])) / (4.0 * x);
      return 1;
    }
    case 7: {  // R2X Dimer; fd is half the dimer share, so fm + 2 fd = 1
      double s = sqrt(p[0]) * sqrt(8.0 * x + p[0]);
      double fm = ((s - p[0]) * 0.25) / x;
      double fd = (((4.0 * x + p[0]) - s) * 0.125) / x;
      *y = ((fm * fd) * p[3]) * p[4] + (fm * p[2] + (2.0 * fd) * p[1]);
      return 1;
    }
    case 8:  // Sum of Exponentials (decays)
      v[0] = changed & (PX | P1) ? decay(x, p[1]) : kept[0];
      v[1] = changed & (PX | P3) ? decay(x, p[3]) : kept[1];
      *y = p[0] * v[0] + p[2] * v[1];
      return 1;
    case 9:  // PH Titration; x is the pH
      v[0] = changed & (PX | P3) ? pow(10.0, -x * p[3]) : kept[0];
      v[1] = changed & (P0 | P3) ? pow(10.0, -p[0] * p[3]) : kept[1];
      *y = (v[0] / (v[0] + v[1])) * (p[2] - p[1]) + p[1];
      return 1;
    case 10:  // Sinusoidal 1
      v[0] = changed & PX ? cos(folded_angle(x)) : kept[0];
      *y = (v[0] * (v[0] * p[0]) - v[0] * p[1]) + p[2];
      return 1;
    case 11:  // Sigmoidal
      v[0] = changed & (PX | P2 | P3) ? exp(-(x - p[2]) / p[3]) : kept[0];
      *y = p[1] / (v[0] + 1.0) + p[0];
      return 1;
    case 12:  // no catalogue row; five parameters, the second exponent twice the first
      v[0] = changed & (PX | P1 | P2 | P3) ? exp((p[1] * p[2]) * (x - p[3])) : kept[0];
      v[1] =
          changed & (PX | P1 | P2 | P3) ? exp((x - p[3]) * (p[1] * p[2] + p[1] * p[2])) : kept[1];
      *y = p[0] * v[0] + ((p[0] * p[0]) * p[4]) * v[1];
      return 1;
    case 13:  // Monomer Melting Curve 3
      *y = melt_monomer(changed, x, p, kept, v);
      return 1;
    case 14:  // Dimer Melting Curve 4
      *y = melt_dimer(changed, x, p, kept, v);
      return 1;
    case 15: {  // Chemical Shift (XY1)
      double s = (x + x2) + p[1];
      *y = ((s - sqrt(s * s - (4.0 * x) * x2)) * p[0]) / (2.0 * x2);
      return 1;
    }
    case 16:  // Chemical Shift (XY2); the root, or the refusal, is of the point, p1 and p3
      if (!(changed & (PX | P1 | P3))) {
        v[0] = kept[0];
      } else if (!xy2_root(&v[0], x, x2, p)) {
        return 0;
      }
      *y = (v[0] * p[0] + ((v[0] * p[2]) * (x - v[0])) / (p[3] + 2.0 * v[0])) / x2;
      return 1;
    case 17:  // Sum of Lorentzian Curves; the leading minus belongs to the model
      *y = -p[4] * (lorentz(x, p[0], p[1]) - p[5] * lorentz(x, p[2], p[3]));
      return 1;
    case 18:  // Gaussian
      v[0] = changed & (PX | P0 | P1) ? gauss(x, p[0], p[1]) : kept[0];
      v[1] = changed & (PX | P2 | P3) ? gauss(x, p[2], p[3]) : kept[1];
      *y = (v[0] + p[5] * v[1]) * p[4];
      return 1;
    case 19:  // Dispersion Curves
      *y = (dispersion(x, p[0], p[1]) - p[5] * dispersion(x, p[2], p[3])) * p[4];
      return 1;
    case 20:  // Denaturation Trimer
      *y = denature_trimer(changed, x, p, kept, v);
      return 1;
    case 21:  // Denaturation Monomer/Trimer
      *y = denature_mono_trimer(changed, x, p, kept, v);
      return 1;
    case 22:  // Partial molar heat capacity of monomer
      *y = heat_cap_monomer(changed, x, p, kept, v);
      return 1;
    case 23:  // Partial molar heat capacity of dimer
      *y = heat_cap_dimer(changed, x, p, kept, v);
      return 1;
    case 24:  // Partial molar heat capacity of trimer
      *y = heat_cap_trimer(changed, x, p, kept, v);
      return 1;
    case 25:  // Sigmoidal hzk
      *y = sigmoid_dimer(changed, x, p, kept, v);
      return 1;
    case 26:  // Sum of Exponentials (rises)
      v[0] = changed & (PX | P1) ? decay(x, p[1]) : kept[0];
      v[1] = changed & (PX | P3) ? decay(x, p[3]) : kept[1];
      *y = p[0] * (1.0 - v[0]) + p[2] * (1.0 - v[1]);
      return 1;
    case 27:  // Single Crystal; x in radians
      v[0] = changed & PX ? cos(x + x) : kept[0];
      v[1] = changed & PX ? sin(x + x) : kept[1];
      *y = (p[0] + p[1] * v[0]) + p[2] * v[1];
      return 1;
    case 28:  // Sinusoidal 2
      v[0] = changed & (PX | P1 | P2) ? cos(p[1] * folded_angle(x) + p[2]) : kept[0];
      *y = p[0] * v[0] + p[3];
      return 1;
  }
  return 0;  // not reached: every number up to LAST_MODEL has its case
}

int fnf(int model, double *y, double x, double x2, const double *params) {
  double unused[MAX_STAGES];  // every stage is computed, and none is wanted afterwards
  return eval_model(model, ALL_INPUTS, y, x, x2, params, NULL, unused);
}

int fnf_staged(int model, unsigned changed, double *y, double x, double x2, const double *params,
               const stage_values *kept, stage_values *s) {
  return eval_model(model, changed, y, x, x2, params, kept->v, s->v);
}

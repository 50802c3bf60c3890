// Model evaluation: fnf and the general models, the inner loop of every fit: nothing is
// allocated, printed or tested. The order of operations is part of each model: stored
// results were computed with it, and a rearranged formula changes the last bits, and
// more where nearly equal terms cancel.
#include <math.h>

#include "models.h"

// The models take pi as 3.14159265, not the full double: every result, and every
// stored report, depends on this exact value and on the constants computed from it.
static const double PI = 3.14159265;
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

// Model 16: one root of a cubic by the trigonometric method, always the 240-degree
// branch. Refuses (returns 0) when the cubic has no such real root. The comparisons
// let nan through on purpose: the result is then nan with success.
static int shift_xy2(double *y, double x, double x2, const double *p) {
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
  double z =
      (2.0 * sqrt(pp / -3.0)) * cos(((acos(t) * RAD_TO_DEG) / 3.0 + 240.0) * DEG_TO_RAD) + a / -3.0;
  *y = (z * p[0] + ((z * p[2]) * (x - z)) / (p[3] + 2.0 * z)) / x2;
  return 1;
}

int fnf(int model, double *y, double x, double x2, const double *params) {
  const double *p = params;
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
      *y = p[0] * exp(p[1] * x) + p[2];
      return 1;
    case 4:  // T1 Relaxation
      *y = p[0] * (1.0 - p[1] * exp(-x / p[2]));
      return 1;
    case 5:  // T2 Relaxation
      *y = p[0] * exp(-x / p[1]);
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
      *y = p[0] * exp(-x / p[1]) + p[2] * exp(-x / p[3]);
      return 1;
    case 9: {  // PH Titration; x is the pH
      double h = pow(10.0, -x * p[3]);
      double k = pow(10.0, -p[0] * p[3]);
      *y = (h / (h + k)) * (p[2] - p[1]) + p[1];
      return 1;
    }
    case 10: {  // Sinusoidal 1; the angle is folded about 60 degrees
      double k = cos(fabs(x - 60.0) * DEG_TO_RAD);
      *y = (k * (k * p[0]) - k * p[1]) + p[2];
      return 1;
    }
    case 11:  // Sigmoidal
      *y = p[1] / (exp(-(x - p[2]) / p[3]) + 1.0) + p[0];
      return 1;
    case 12: {  // no catalogue row; five parameters, the second exponent twice the first
      double e = (p[1] * p[2]) * (x - p[3]);
      *y = p[0] * exp(e) + ((p[0] * p[0]) * p[4]) * exp((x - p[3]) * (p[1] * p[2] + p[1] * p[2]));
      return 1;
    }
    case 13:  // Monomer Melting Curve 3
      *y = melt_monomer(x, p);
      return 1;
    case 14:  // Dimer Melting Curve 4
      *y = melt_dimer(x, p);
      return 1;
    case 15: {  // Chemical Shift (XY1)
      double s = (x + x2) + p[1];
      *y = ((s - sqrt(s * s - (4.0 * x) * x2)) * p[0]) / (2.0 * x2);
      return 1;
    }
    case 16:  // Chemical Shift (XY2)
      return shift_xy2(y, x, x2, p);
    case 17:  // Sum of Lorentzian Curves; the leading minus belongs to the model
      *y = -p[4] * (lorentz(x, p[0], p[1]) - p[5] * lorentz(x, p[2], p[3]));
      return 1;
    case 18:  // Gaussian
      *y = (gauss(x, p[0], p[1]) + p[5] * gauss(x, p[2], p[3])) * p[4];
      return 1;
    case 19:  // Dispersion Curves
      *y = (dispersion(x, p[0], p[1]) - p[5] * dispersion(x, p[2], p[3])) * p[4];
      return 1;
    case 20:  // Denaturation Trimer
      *y = denature_trimer(x, p);
      return 1;
    case 21:  // Denaturation Monomer/Trimer
      *y = denature_mono_trimer(x, p);
      return 1;
    case 22:  // Partial molar heat capacity of monomer
      *y = heat_cap_monomer(x, p);
      return 1;
    case 23:  // Partial molar heat capacity of dimer
      *y = heat_cap_dimer(x, p);
      return 1;
    case 24:  // Partial molar heat capacity of trimer
      *y = heat_cap_trimer(x, p);
      return 1;
    case 25:  // Sigmoidal hzk
      *y = sigmoid_dimer(x, p);
      return 1;
    case 26:  // Sum of Exponentials (rises)
      *y = p[0] * (1.0 - exp(-x / p[1])) + p[2] * (1.0 - exp(-x / p[3]));
      return 1;
    case 27:  // Single Crystal; x in radians
      *y = (p[0] + p[1] * cos(x + x)) + p[2] * sin(x + x);
      return 1;
    case 28: {  // Sinusoidal 2; the angle is folded about 60 degrees
      double theta = fabs(x - 60.0) * DEG_TO_RAD;
      *y = p[0] * cos(p[1] * theta + p[2]) + p[3];
      return 1;
    }
  }
  return 0;  // not reached: every number up to LAST_MODEL has its case
}

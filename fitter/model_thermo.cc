// Thermodynamic unfolding models, dispatched by fnf: melting, denaturation, heat capacity,
// dimer sigmoid. Each always has a value, inf or nan included. The decimal constants are
// the models' own (0.03704 is not 1/27), and the order of operations is kept: the terms
// sqrt(K*K + ...) - K cancel badly when K is large.
#include <math.h>

#include "models.h"

static const double R_KCAL = 0.001987;  // gas constant, kcal/(mol K)
static const double R_KJ = 0.008314;    // gas constant, kJ/(mol K)
static const double R_J = 8.314;        // gas constant, J/(mol K)
static const double KELVIN = 273.15;
static const double CARDANO_27 = 0.03704;  // stands for 1/27 in Cardano's formula
static const double CUBE_ROOT = 0.3333333;
static const double THIRD = 0.3333;  // integral of the heat-capacity term in T squared

// Baselines are taken in x (degrees Celsius, or denaturant), not in kelvin.
static inline double two_state(double f, double x, const double *p) {
  return (1.0 - f) * (p[0] - p[1] * x) + f * (p[2] - p[3] * x);
}

double melt_monomer(double x, const double *p) {
  double t = x + KELVIN;
  double a = t * (p[5] * log(t / p[6]) + p[4] / p[6]) - (p[5] * (t - p[6]) + p[4]);
  double k = exp(-((-a) / R_KCAL) / t);
  double f = k / (k + 1.0);
  return two_state(f, x, p);
}

double melt_dimer(double x, const double *p) {
  double t = x + KELVIN;
  double a =
      t * (R_KCAL * log(p[7]) + (p[5] * log(t / p[6]) + p[4] / p[6])) - (p[5] * (t - p[6]) + p[4]);
  double k = exp((-a) / (t * -R_KCAL));
  double f = (sqrt(k * k + k * (8.0 * p[7])) - k) / (4.0 * p[7]);
  return two_state(f, x, p);
}

// Unfolded fraction of the trimer models: the real root of u^3 + q u - q = 0. The
// second cube root is of a number that is never positive, so it is taken of the
// magnitude and subtracted.
static inline double trimer_fraction(double x, const double *p) {
  double k = exp((x * p[5] - p[4]) / p[7]);
  double q = k / (p[6] * (p[6] * 3.0));
  double s = sqrt((q * q) * (q * CARDANO_27 + 0.25));
  return pow(q * 0.5 + s, CUBE_ROOT) - pow(fabs(q * 0.5 - s), CUBE_ROOT);
}

double denature_trimer(double x, const double *p) { return two_state(trimer_fraction(x, p), x, p); }

// Here p2 and p3 are levels, and p0 and p1 describe a second equilibrium.
double denature_mono_trimer(double x, const double *p) {
  double u = trimer_fraction(x, p);
  double k2 = exp((x * p[1] + (0.0 - p[0])) / p[7]);
  return (1.0 - u) * p[2] + (1.0 - k2 / (k2 + 1.0)) * p[3];
}

double sigmoid_dimer(double x, const double *p) {
  double k = exp((0.0 - (x * p[5] + p[4])) / (p[7] * R_J));
  double n = x * p[3] + p[2];
  double u = x * p[1] + p[0];
  return n + ((u - n) * (sqrt(k * k + k * (p[6] * 8.0)) - k)) / (p[6] * 4.0);
}

// Quantities shared by the heat-capacity models: x is the temperature in kelvin, p6 the
// midpoint Tm, p5 the enthalpy at Tm, c2 the native quadratic coefficient.
struct heat_cap_terms {
  double native;    // N, native baseline
  double unfolded;  // U, unfolded baseline (dimer and trimer)
  double e1;        // integral of the heat-capacity change from Tm to x
  double h;         // enthalpy at x
  double e2;        // integral of the heat-capacity change over temperature
};

static inline heat_cap_terms heat_cap_shared(double x, const double *p, double c2) {
  double tm = p[6];
  double da = p[4] - p[1];
  double db = p[3] - p[0];
  double dc = p[2] - c2;
  double d2 = x * x - tm * tm;
  heat_cap_terms s;
  s.native = ((x * x) * c2 + x * p[0]) + p[1];
  s.unfolded = ((x * x) * p[2] + x * p[3]) + p[4];
  s.e1 = (dc * THIRD) * (pow(x, 3) - pow(tm, 3)) + (da * (x - tm) + (db * 0.5) * d2);
  s.h = s.e1 + p[5];
  s.e2 = d2 * (dc * 0.5) + (da * (log(x) - log(tm)) + (x - tm) * db);
  return s;
}

double heat_cap_monomer(double x, const double *p) {
  heat_cap_terms s = heat_cap_shared(x, p, p[7]);
  double k = exp((x * (s.e2 + p[5] / p[6]) - s.h) / (x * R_KJ));
  double f = k / (k + 1.0);
  // The first term weights E1, not H, by the unfolded fraction.
  return s.e1 * f + (((f * (1.0 - f)) * (s.h * s.h)) / (x * (x * R_KJ)) + s.native);
}

double heat_cap_dimer(double x, const double *p) {
  heat_cap_terms s = heat_cap_shared(x, p, p[8]);
  double g = log(p[7] * 1.66) * R_KJ + ((s.e2 + s.e2) + p[5] / p[6]);
  double k = exp(((x + x) * g - (s.h + s.h)) / (x * R_KJ));
  double f = p[7] * ((sqrt(k * k + k * (p[7] * 8.0)) - k) * 0.25);
  double h2 = s.h + s.h;
  return f * (s.unfolded - s.native) +
         ((((f * (1.0 - f)) / (2.0 - f)) * (h2 * (h2 + h2))) / (x * (x * R_KJ)) + s.native);
}

double heat_cap_trimer(double x, const double *p) {
  heat_cap_terms s = heat_cap_shared(x, p, p[8]);
  double g = log(p[7] * (p[7] * 2.09)) * R_KJ + (s.e2 + p[5] / p[6]);
  double k = exp((x * (g - s.h)) / (x * R_KJ));  // H is subtracted inside the product
  double w = sqrt(k / (p[7] * (p[7] * 20.25)) + 1.0);
  double v = k / (p[7] * (p[7] * 6.0));
  double f = pow(w * v + v, CUBE_ROOT) - pow(fabs(v * (1.0 - w)), CUBE_ROOT);
  return f * (s.unfolded - s.native) +
         ((((f * (1.0 - f)) / (3.0 - 2.0 * f)) * (s.h * (s.h * 3.0))) / (x * (x * R_KJ)) +
          s.native);
}

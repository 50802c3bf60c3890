// Thermodynamic unfolding models, dispatched by fnf: melting, denaturation, heat capacity,
// dimer sigmoid. Each always has a value, inf or nan included. The decimal constants are
// the models' own (0.03704 is not 1/27), and the order of operations is kept: the terms
// sqrt(K*K + ...) - K cancel badly when K is large. Each model computes a stage value v[i]
// again when one of the inputs it names has changed (models.h), and otherwise takes kept[i].
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

// Model 13's unfolded fraction at T, from ln(T/Tm).
static inline double melt_monomer_fraction(double t, double lg, const double *p) {
  double a = t * (p[5] * lg + p[4] / p[6]) - (p[5] * (t - p[6]) + p[4]);
  double k = exp(-((-a) / R_KCAL) / t);
  return k / (k + 1.0);
}

// Model 13. v[0] = ln(T/Tm), v[1] = the unfolded fraction f.
double melt_monomer(unsigned changed, double x, const double *p, const double *kept, double *v) {
  double t = x + KELVIN;
  v[0] = changed & (PX | P6) ? log(t / p[6]) : kept[0];
  v[1] = changed & (PX | P4 | P5 | P6) ? melt_monomer_fraction(t, v[0], p) : kept[1];
  return two_state(v[1], x, p);
}

// Model 14's unfolded fraction at T, from ln(T/Tm) and ln p7.
static inline double melt_dimer_fraction(double t, double lg, double lc, const double *p) {
  double a = t * (R_KCAL * lc + (p[5] * lg + p[4] / p[6])) - (p[5] * (t - p[6]) + p[4]);
  double k = exp((-a) / (t * -R_KCAL));
  return (sqrt(k * k + k * (8.0 * p[7])) - k) / (4.0 * p[7]);
}

// Model 14. v[0] = ln(T/Tm), v[1] = ln p7, v[2] = the unfolded fraction f.
double melt_dimer(unsigned changed, double x, const double *p, const double *kept, double *v) {
  double t = x + KELVIN;
  v[0] = changed & (PX | P6) ? log(t / p[6]) : kept[0];
  v[1] = changed & P7 ? log(p[7]) : kept[1];
  v[2] = changed & (PX | P4 | P5 | P6 | P7) ? melt_dimer_fraction(t, v[0], v[1], p) : kept[2];
  return two_state(v[2], x, p);
}

// Unfolded fraction of the trimer models from K: the real root of u^3 + q u - q = 0. The
// second cube root is of a number that is never positive, so it is taken of the
// magnitude and subtracted.
static inline double trimer_root(double k, const double *p) {
  double q = k / (p[6] * (p[6] * 3.0));
  double s = sqrt((q * q) * (q * CARDANO_27 + 0.25));
  return pow(q * 0.5 + s, CUBE_ROOT) - pow(fabs(q * 0.5 - s), CUBE_ROOT);
}

// The trimer models' v[0] = K and v[1] = the unfolded fraction u; returns u.
static inline double trimer_fraction(unsigned changed, double x, const double *p,
                                     const double *kept, double *v) {
  v[0] = changed & (PX | P4 | P5 | P7) ? exp((x * p[5] - p[4]) / p[7]) : kept[0];
  v[1] = changed & (PX | P4 | P5 | P6 | P7) ? trimer_root(v[0], p) : kept[1];
  return v[1];
}

// Model 20. v[0] and v[1] as for trimer_fraction.
double denature_trimer(unsigned changed, double x, const double *p, const double *kept, double *v) {
  return two_state(trimer_fraction(changed, x, p, kept, v), x, p);
}

// Model 21. v[0] and v[1] as for trimer_fraction, v[2] = K2. Here p2 and p3 are levels,
// and p0 and p1 describe a second equilibrium.
double denature_mono_trimer(unsigned changed, double x, const double *p, const double *kept,
                            double *v) {
  double u = trimer_fraction(changed, x, p, kept, v);
  v[2] = changed & (PX | P0 | P1 | P7) ? exp((x * p[1] + (0.0 - p[0])) / p[7]) : kept[2];
  return (1.0 - u) * p[2] + (1.0 - v[2] / (v[2] + 1.0)) * p[3];
}

// Model 25. v[0] = K, v[1] = sqrt(K K + 8 P K) - K.
double sigmoid_dimer(unsigned changed, double x, const double *p, const double *kept, double *v) {
  v[0] = changed & (PX | P4 | P5 | P7) ? exp((0.0 - (x * p[5] + p[4])) / (p[7] * R_J)) : kept[0];
  v[1] =
      changed & (PX | P4 | P5 | P6 | P7) ? sqrt(v[0] * v[0] + v[0] * (p[6] * 8.0)) - v[0] : kept[1];
  double n = x * p[3] + p[2];
  double u = x * p[1] + p[0];
  return n + ((u - n) * v[1]) / (p[6] * 4.0);
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

// v[0] = x^3, v[1] = ln x, v[2] = Tm^3, v[3] = ln Tm; the dimer and trimer keep the
// logarithm of their concentration term in v[4].
static inline heat_cap_terms heat_cap_shared(unsigned changed, double x, const double *p, double c2,
                                             const double *kept, double *v) {
  double tm = p[6];
  v[0] = changed & PX ? pow(x, 3) : kept[0];
  v[1] = changed & PX ? log(x) : kept[1];
  v[2] = changed & P6 ? pow(tm, 3) : kept[2];
  v[3] = changed & P6 ? log(tm) : kept[3];
  double da = p[4] - p[1];
  double db = p[3] - p[0];
  double dc = p[2] - c2;
  double d2 = x * x - tm * tm;
  heat_cap_terms s;
  s.native = ((x * x) * c2 + x * p[0]) + p[1];
  s.unfolded = ((x * x) * p[2] + x * p[3]) + p[4];
  s.e1 = (dc * THIRD) * (v[0] - v[2]) + (da * (x - tm) + (db * 0.5) * d2);
  s.h = s.e1 + p[5];
  s.e2 = d2 * (dc * 0.5) + (da * (v[1] - v[3]) + (x - tm) * db);
  return s;
}

// Model 22. v[0] to v[3] as for heat_cap_shared.
double heat_cap_monomer(unsigned changed, double x, const double *p, const double *kept,
                        double *v) {
  heat_cap_terms s = heat_cap_shared(changed, x, p, p[7], kept, v);
  double k = exp((x * (s.e2 + p[5] / p[6]) - s.h) / (x * R_KJ));
  double f = k / (k + 1.0);
  // The first term weights E1, not H, by the unfolded fraction.
  return s.e1 * f + (((f * (1.0 - f)) * (s.h * s.h)) / (x * (x * R_KJ)) + s.native);
}

// Model 23. v[0] to v[3] as for heat_cap_shared, v[4] = ln(1.66 p7).
double heat_cap_dimer(unsigned changed, double x, const double *p, const double *kept, double *v) {
  heat_cap_terms s = heat_cap_shared(changed, x, p, p[8], kept, v);
  v[4] = changed & P7 ? log(p[7] * 1.66) : kept[4];
  double g = v[4] * R_KJ + ((s.e2 + s.e2) + p[5] / p[6]);
  double k = exp(((x + x) * g - (s.h + s.h)) / (x * R_KJ));
  double f = p[7] * ((sqrt(k * k + k * (p[7] * 8.0)) - k) * 0.25);
  double h2 = s.h + s.h;
  return f * (s.unfolded - s.native) +
         ((((f * (1.0 - f)) / (2.0 - f)) * (h2 * (h2 + h2))) / (x * (x * R_KJ)) + s.native);
}

// Model 24. v[0] to v[3] as for heat_cap_shared, v[4] = ln(2.09 p7^2).
double heat_cap_trimer(unsigned changed, double x, const double *p, const double *kept, double *v) {
  heat_cap_terms s = heat_cap_shared(changed, x, p, p[8], kept, v);
  v[4] = changed & P7 ? log(p[7] * (p[7] * 2.09)) : kept[4];
  double g = v[4] * R_KJ + (s.e2 + p[5] / p[6]);
  double k = exp((x * (g - s.h)) / (x * R_KJ));  // H is subtracted inside the product
  double w = sqrt(k / (p[7] * (p[7] * 20.25)) + 1.0);
  double vk = k / (p[7] * (p[7] * 6.0));  // v of the cubic's solution
  double f = pow(w * vk + vk, CUBE_ROOT) - pow(fabs(vk * (1.0 - w)), CUBE_ROOT);
  return f * (s.unfolded - s.native) +
         ((((f * (1.0 - f)) / (3.0 - 2.0 * f)) * (s.h * (s.h * 3.0))) / (x * (x * R_KJ)) +
          s.native);
}

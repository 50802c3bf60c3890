// Series of datasets for the benchmark of velbatch --guess (bench/guess.py): for every
// model but 12, 200 datasets drawn over the ranges a lab meets, x laid out as measured,
// 1 to 2 % noise, y made by fnf itself. Seeded and deterministic.
// Usage: guess_series DIR [DATASETS]. Writes into DIR, for each model NN:
//   model_NN.crv    the datasets, ids 1 to DATASETS
//   model_NN.truth  each dataset's true parameters as a starts file (held ones with "=")
//   model_NN.rule   the command line and what the evaluator counts: see write_rule
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "models.h"
#include "run_state.h"

enum { DEFAULT_DATASETS = 200 };

// --- a seeded generator: splitmix64, and normal deviates by Box-Muller

static uint64_t rngState;

static uint64_t next_u64(void) {
  uint64_t z = (rngState += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

static double uniform(double lo, double hi) {
  return lo + (hi - lo) * ((double)(next_u64() >> 11) / 9007199254740992.0);
}

static double log_uniform(double lo, double hi) { return exp(uniform(log(lo), log(hi))); }

static double either_sign(double v) { return (next_u64() & 1) ? v : -v; }

static double normal(void) {
  double u = uniform(1e-300, 1.0), v = uniform(0.0, 1.0);
  return sqrt(-2.0 * log(u)) * cos(6.283185307179586 * v);
}

static int uniform_int(int lo, int hi) { return lo + (int)(next_u64() % (uint64_t)(hi - lo + 1)); }

// --- one dataset

struct dataset {
  int n;
  double x[MAX_POINTS];   // as written: dataOffset is added by the programs
  double x2[MAX_POINTS];  // the third column, when the series has one
  double p[MAX_PARMS];
};

static void linear_x(dataset *d, int n, double lo, double hi) {
  d->n = n;
  for (int i = 0; i < n; i++) d->x[i] = lo + (hi - lo) * i / (n - 1);
}

static void log_x(dataset *d, int n, double lo, double hi) {
  d->n = n;
  for (int i = 0; i < n; i++) d->x[i] = lo * pow(hi / lo, (double)i / (n - 1));
}

// The temperatures of a melt, 20 to 90 degrees Celsius.
static void melt_x(dataset *d) { linear_x(d, uniform_int(50, 150), 20.0, 90.0); }

// Two lines of a spectrum of 100 to 400 points over 0 to 1000 Hz: centres at least
// three full widths apart, heights 0.5 to 2; fwhm and h for the model's own parameters.
static void two_lines(dataset *d, double *fwhm, double *h) {
  linear_x(d, uniform_int(100, 400), 0.0, 1000.0);
  fwhm[0] = uniform(5.0, 30.0);
  fwhm[1] = uniform(5.0, 30.0);
  h[0] = uniform(0.5, 2.0);
  h[1] = uniform(0.5, 2.0);
  do {
    d->p[0] = uniform(100.0, 900.0);
    d->p[2] = uniform(100.0, 900.0);
  } while (fabs(d->p[0] - d->p[2]) < 3.0 * (fwhm[0] + fwhm[1]));
}

// The heat-capacity models' baselines in kJ/(mol K), at temperatures in K: a native
// line of 15 to 25 at 298 K rising 0.05 to 0.15 per K, the unfolded line dLo to dHi above
// it at Tm with a slope of its own; the quadratic coefficients 0.
static void heat_cap_baselines(double *p, double tm, double dLo, double dHi) {
  p[0] = uniform(0.05, 0.15);
  p[1] = uniform(15.0, 25.0) - p[0] * 298.0;
  p[3] = p[0] + uniform(-0.05, 0.05) * (dHi / 8.0);
  p[4] = (p[1] + p[0] * tm) + uniform(dLo, dHi) - p[3] * tm;
  p[2] = 0.0;
}

// --- the series

// Draws dataset d of the series of model: its x (and x2) and its true parameters.
static void draw(int model, dataset *d) {
  double *p = d->p;
  memset(d->x2, 0, sizeof d->x2);
  memset(p, 0, sizeof d->p);
  switch (model) {
    case 0:
      linear_x(d, uniform_int(10, 30), 0.0, 10.0);
      p[0] = either_sign(uniform(0.5, 5.0));
      p[1] = uniform(-10.0, 10.0);
      break;
    case 1:
      linear_x(d, uniform_int(10, 30), 0.0, 10.0);
      p[0] = either_sign(uniform(0.1, 2.0));
      p[1] = uniform(-5.0, 5.0);
      p[2] = uniform(-10.0, 10.0);
      break;
    case 2:
      linear_x(d, uniform_int(15, 40), -2.0, 2.0);
      p[0] = either_sign(uniform(0.2, 2.0));
      for (int i = 1; i < 4; i++) p[i] = uniform(-3.0, 3.0);
      break;
    case 3:
      linear_x(d, uniform_int(20, 40), 0.0, 10.0);
      p[0] = uniform(1.0, 10.0);
      p[1] = -log_uniform(0.2, 2.0);
      p[2] = uniform(-1.0, 1.0);
      break;
    case 4:  // 12 inversion-recovery delays, 10 ms to 5 s
      log_x(d, 12, 10.0, 5000.0);
      p[0] = uniform(50.0, 200.0);
      p[1] = 1.9;
      p[2] = log_uniform(100.0, 1000.0);
      break;
    case 5:
      log_x(d, uniform_int(12, 16), 1.0, 1000.0);
      p[0] = uniform(50.0, 200.0);
      p[1] = log_uniform(10.0, 200.0);
      break;
    case 6:
    case 7:  // concentrations 0.01 to 10 mM
      log_x(d, uniform_int(12, 20), 0.01, 10.0);
      p[0] = log_uniform(0.05, 2.0);
      p[1] = uniform(15.0, 40.0);
      p[2] = uniform(5.0, 15.0);
      if (model == 7) {
        p[3] = uniform(1e-5, 5e-5);
        p[4] = 1e6;
      }
      break;
    case 8:
    case 26:
      log_x(d, uniform_int(20, 40), 0.01, 10.0);
      p[0] = uniform(20.0, 100.0);
      p[1] = log_uniform(0.05, 0.3);
      p[2] = uniform(20.0, 100.0);
      p[3] = log_uniform(1.0, 5.0);
      break;
    case 9: {  // pH 2 to 12
      linear_x(d, uniform_int(15, 25), 2.0, 12.0);
      p[0] = uniform(3.0, 10.0);
      p[1] = uniform(7.0, 9.0);
      p[2] = p[1] + either_sign(uniform(0.2, 1.5));
      p[3] = 1.0;
      break;
    }
    case 10:  // angles in degrees
      linear_x(d, uniform_int(19, 37), 0.0, 180.0);
      for (int i = 0; i < 3; i++) p[i] = uniform(-5.0, 5.0);
      break;
    case 11:
      linear_x(d, uniform_int(30, 80), 20.0, 90.0);
      p[0] = uniform(0.0, 1.0);
      p[1] = either_sign(uniform(0.2, 1.0));
      p[2] = uniform(35.0, 75.0);
      p[3] = uniform(2.0, 8.0);
      break;
    case 13:
    case 14:
      melt_x(d);
      p[0] = uniform(0.8, 1.2);
      p[1] = uniform(0.0, 0.005);
      p[2] = uniform(0.1, 0.4);
      p[3] = uniform(0.0, 0.003);
      p[4] = uniform(50.0, 150.0);
      p[5] = 1.2;
      p[6] = uniform(40.0, 75.0) + 273.15;
      if (model == 14) p[7] = 1e-5;
      break;
    case 15: {  // ligand 0.01 to 10 mM, protein 0.05 to 0.5 mM
      log_x(d, uniform_int(10, 15), 0.01, 10.0);
      double c = uniform(0.05, 0.5);
      for (int i = 0; i < d->n; i++) d->x2[i] = c;
      p[0] = either_sign(uniform(0.1, 1.0));
      p[1] = log_uniform(0.01, 2.0);
      break;
    }
    case 16: {
      log_x(d, uniform_int(12, 20), 0.01, 20.0);
      double c = uniform(0.05, 0.5);
      for (int i = 0; i < d->n; i++) d->x2[i] = c;
      p[0] = uniform(0.1, 1.0);
      p[1] = log_uniform(0.01, 0.5);
      p[2] = uniform(0.1, 1.0);
      p[3] = p[1] * log_uniform(8.0, 40.0);
      break;
    }
    case 17: {  // Lorentzians: height T1 at the centre, fwhm 1/(pi T1); y = Mo*(F*L2 - L1)
      double fwhm[2], h[2];
      two_lines(d, fwhm, h);
      p[1] = 1.0 / (PI * fwhm[0]);
      p[3] = 1.0 / (PI * fwhm[1]);
      p[4] = -h[0] / p[1];
      p[5] = h[1] / (p[4] * p[3]);
      break;
    }
    case 18: {  // Gaussians of height 1/(2 pi w)
      double fwhm[2], h[2];
      two_lines(d, fwhm, h);
      p[1] = fwhm[0] / 2.3548;
      p[3] = fwhm[1] / 2.3548;
      p[4] = h[0] * 6.2831853 * p[1];
      p[5] = h[1] * p[3] / (h[0] * p[1]);
      break;
    }
    case 19: {  // dispersion shapes, extremes +-w/2
      double fwhm[2], h[2];
      two_lines(d, fwhm, h);
      p[1] = 1.0 / (PI * fwhm[0]);
      p[3] = 1.0 / (PI * fwhm[1]);
      p[4] = 2.0 * h[0] / p[1];
      p[5] = either_sign(2.0 * h[1] / (p[4] * p[3]));
      break;
    }
    case 20:
    case 21: {  // denaturant 0 to 8 M, 10 uM protein, 25 degrees Celsius
      linear_x(d, uniform_int(30, 60), 0.0, 8.0);
      p[6] = 1e-5;
      p[7] = 0.5924;
      double xm = uniform(2.0, 6.0);
      p[5] = uniform(1.0, 3.0);
      if (model == 21) xm = uniform(1.5, 3.5);
      p[4] = p[5] * xm - p[7] * log(0.75 * p[6] * p[6]);
      if (model == 20) {
        p[0] = uniform(0.9, 1.1);
        p[1] = uniform(-0.02, 0.02);
        p[2] = uniform(0.2, 0.4);
        p[3] = uniform(-0.02, 0.02);
      } else {  // a second step 2 to 3 M above the first
        p[1] = uniform(1.0, 3.0);
        p[0] = p[1] * (xm + uniform(2.0, 3.0));
        p[2] = uniform(0.3, 1.0);
        p[3] = uniform(0.3, 1.0);
      }
      break;
    }
    case 22:  // DSC in degrees Celsius, fitted in K with dataOffset 273.15
      linear_x(d, uniform_int(100, 400), 20.0, 90.0);
      p[6] = uniform(315.0, 350.0);
      heat_cap_baselines(p, p[6], 3.0, 8.0);
      p[5] = uniform(200.0, 600.0);
      break;
    case 23:  // K holds twice the heat-capacity integral: the sum of the terms that
              // cancel overflows the double's digits within 20 K above Tm once the
              // heat capacity changes by more than about 1 kJ/(mol K), so a window
              // round the transition and a small change
      p[6] = uniform(315.0, 350.0);
      linear_x(d, uniform_int(100, 400), p[6] - 25.0 - 273.15, p[6] + 15.0 - 273.15);
      heat_cap_baselines(p, p[6], 0.2, 1.0);
      p[5] = uniform(200.0, 500.0);
      p[7] = 1.0;
      break;
    case 24:  // K has no temperature factor: only tiny coefficients show a transition
      linear_x(d, uniform_int(100, 400), 20.0, 90.0);
      p[0] = uniform(1e-5, 3e-5);
      p[1] = uniform(0.008, 0.012);
      p[3] = p[0];
      p[4] = p[1] + uniform(0.003, 0.008);
      p[5] = uniform(-0.02, 0.02);
      p[6] = 330.0;
      p[7] = 0.3;
      break;
    case 25: {  // a dimer dissociating along 0 to 8 M denaturant, 10 uM, 25 degrees Celsius
      linear_x(d, uniform_int(30, 60), 0.0, 8.0);
      p[6] = 1e-5;
      p[7] = 298.15;
      p[5] = -uniform(3000.0, 8000.0);
      p[4] = -8.314 * p[7] * log(p[6]) - p[5] * uniform(2.0, 6.0);
      p[0] = uniform(0.2, 0.4);
      p[1] = uniform(-0.02, 0.02);
      p[2] = uniform(0.9, 1.1);
      p[3] = uniform(-0.02, 0.02);
      break;
    }
    case 27:  // angles in radians
      linear_x(d, uniform_int(19, 37), 0.0, PI);
      p[0] = uniform(5.0, 10.0);
      p[1] = uniform(-2.0, 2.0);
      p[2] = uniform(-2.0, 2.0);
      break;
    case 28:  // 0 to 360 degrees, given with dataOffset 60 so that theta = x
      linear_x(d, uniform_int(24, 72), 0.0, 360.0);
      p[0] = uniform(1.0, 5.0);
      p[1] = uniform(0.5, 3.0);
      p[2] = uniform(-3.0, 3.0);
      p[3] = uniform(-2.0, 2.0);
      break;
  }
}

// What each series holds, how it is fitted and counted. common is the start a user
// would give every dataset: the documented example, or the middle of the ranges. key
// lists the parameters counted, each with its tolerance (relative when rel), swap the
// parameter pairs whose exchange gives the same curve.
struct series_rule {
  int model;
  const char *name;
  double offset;
  int maxIt;
  const char *common;
  int held[MAX_PARMS];
  int keys;
  int key[2];
  double tol[2];
  int rel[2];
  const char *swap;
};

// clang-format off
static const series_rule series_rules[] = {
  { 0, "straight line",            0,      1000, "1 0",                          {0},                     1, {0},    {0.04},       {1},    ""},
  { 1, "quadratic",                0,      1000, "1 1 1",                        {0},                     1, {0},    {0.08},       {1},    ""},
  { 2, "cubic",                    0,      1000, "1 1 1 1",                      {0},                     1, {0},    {0.08},       {1},    ""},
  { 3, "exponential decay",        0,      1000, "5 -1 0",                       {0},                     1, {1},    {0.04},       {1},    ""},
  { 4, "T1 inversion recovery",    0,      1000, "100 =1.9 300",                 {0, 1},                  1, {2},    {0.03},       {1},    ""},
  { 5, "T2 decay",                 0,      1000, "100 50",                       {0},                     1, {1},    {0.03},       {1},    ""},
  { 6, "monomer-dimer R2",         0,      1000, "0.3 25 10",                    {0},                     1, {0},    {0.25},       {1},    ""},
  { 7, "monomer-dimer R2, exchange", 0,    1000, "0.3 25 10 2e-5 =1e6",          {0, 0, 0, 0, 1},         1, {0},    {0.4},       {1},    ""},
  { 8, "two decays",               0,      1000, "50 0.1 50 2",                  {0},                     2, {1, 3}, {0.3, 0.15},  {1, 1}, "0-2 1-3"},
  { 9, "pH titration",             0,      1000, "7 8.3 9 =1",                   {0, 0, 0, 1},            1, {0},    {0.1},        {0},    ""},
  {10, "angle, cos^2",             0,      1000, "1 1 1",                        {0},                     1, {1},    {0.25},       {0},    ""},
  {11, "sigmoid",                  0,      1000, "0.1 0.5 50 5",                 {0},                     1, {2},    {0.5},        {0},    ""},
  {13, "thermal melt",             0,      2000, "1 0.002 0.25 0.001 80 =1.2 330",
                                                                                 {0, 0, 0, 0, 0, 1},      1, {6},    {1.0},        {0},    ""},
  {14, "thermal melt, dimer",      0,      2000, "1 0.002 0.25 0.001 80 =1.2 330 =1e-5",
                                                                                 {0, 0, 0, 0, 0, 1, 0, 1}, 1, {6},   {1.0},        {0},    ""},
  {15, "ligand binding, one site", 0,      1000, "0.3 0.3",                      {0},                     1, {1},    {0.2},       {1},    ""},
  {16, "ligand binding, two steps", 0,     1000, "0.5 0.1 0.5 1",                {0},                     1, {1},    {0.5},        {1},    ""},
  {17, "two Lorentzian lines",     0,      1000, "300 0.02 700 0.02 -50 -1",     {0},                     2, {0, 2}, {2.0, 2.0},   {0, 0}, "0-2 1-3"},
  {18, "two Gaussian peaks",       0,      1000, "300 8 700 8 50 1",             {0},                     2, {0, 2}, {2.0, 2.0},   {0, 0}, "0-2 1-3"},
  {19, "two dispersion lines",     0,      1000, "300 0.02 700 0.02 100 1",      {0},                     2, {0, 2}, {2.0, 2.0},   {0, 0}, "0-2 1-3"},
  {20, "denaturation, trimer",     0,      2000, "1 0 0.3 0 20 2 =1e-5 =0.5924", {0, 0, 0, 0, 0, 0, 1, 1}, 1, {4},   {0.1},        {1},    ""},
  {21, "denaturation, trimer and two-state", 0, 2000, "10 2 0.5 0.5 20 2 =1e-5 =0.5924",
                                                                                 {0, 0, 0, 0, 0, 0, 1, 1}, 2, {4, 0}, {0.1, 0.1}, {1, 1}, ""},
  {22, "DSC, monomer",             273.15, 2000, "0.1 -10 =0 0.1 -5 400 330 =0", {0, 0, 1, 0, 0, 0, 0, 1}, 1, {6},   {0.5},        {0},    ""},
  {23, "DSC, dimer",               273.15, 2000, "0.1 -10 =0 0.1 -9.5 350 330 =1 =0",
                                                                                 {0, 0, 1, 0, 0, 0, 0, 1, 1}, 1, {6}, {0.5},       {0},    ""},
  {24, "DSC, trimer (toy scale)",  273.15, 2000, "2e-5 0.01 =0 2e-5 0.015 0 =330 =0.3 =0",
                                                                                 {0, 0, 1, 0, 0, 0, 1, 1, 1}, 1, {5}, {0.003},     {0},    ""},
  {25, "dimer dissociation",       0,      2000, "0.3 0 1 0 50000 -5000 =1e-5 =298.15",
                                                                                 {0, 0, 0, 0, 0, 0, 1, 1}, 1, {4},   {0.1},        {1},    ""},
  {26, "two rises",                0,      1000, "50 0.1 50 2",                  {0},                     2, {1, 3}, {0.5, 0.3},  {1, 1}, "0-2 1-3"},
  {27, "single crystal",           0,      1000, "5 1 1",                        {0},                     1, {1},    {0.1},        {0},    ""},
  {28, "angle, cosine",            60,     1000, "2 1 0 0",                      {0},                     1, {1},    {0.03},       {0},    ""},
};
// clang-format on

static void write_rule(FILE *fp, const series_rule *s, int datasets) {
  fprintf(fp, "model %d\nname %s\noffset %.17g\nmaxit %d\ncommon %s\ndatasets %d\n", s->model,
          s->name, s->offset, s->maxIt, s->common, datasets);
  for (int k = 0; k < s->keys; k++) {
    fprintf(fp, "key %d %s %.17g\n", s->key[k], s->rel[k] ? "rel" : "abs", s->tol[k]);
  }
  fprintf(fp, "swap %s\n", s->swap);
}

// y of dataset d by the model, and 1 to 2 % of its range as noise.
static int make_y(int model, const dataset *d, double offset, double *y) {
  double lo = HUGE_VAL, hi = -HUGE_VAL;
  for (int i = 0; i < d->n; i++) {
    if (!fnf(model, &y[i], d->x[i] + offset, d->x2[i], d->p) || !isfinite(y[i])) return 0;
    if (y[i] < lo) lo = y[i];
    if (y[i] > hi) hi = y[i];
  }
  double sigma = uniform(0.01, 0.02) * (hi - lo);
  for (int i = 0; i < d->n; i++) y[i] += sigma * normal();
  return 1;
}

int main(int argc, char **argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: guess_series DIR [DATASETS]\n");
    return 2;
  }
  int datasets = argc > 2 ? atoi(argv[2]) : DEFAULT_DATASETS;
  fill_catalogue();
  static dataset d;
  static double y[MAX_POINTS];
  for (const series_rule &s : series_rules) {
    char path[1024];
    rngState = 0x5EED0000ull + (uint64_t)s.model;
    snprintf(path, sizeof path, "%s/model_%02d.crv", argv[1], s.model);
    FILE *crv = fopen(path, "w");
    snprintf(path, sizeof path, "%s/model_%02d.truth", argv[1], s.model);
    FILE *truth = fopen(path, "w");
    snprintf(path, sizeof path, "%s/model_%02d.rule", argv[1], s.model);
    FILE *ruleFp = fopen(path, "w");
    if (crv == NULL || truth == NULL || ruleFp == NULL) {
      fprintf(stderr, "guess_series: cannot write in %s\n", argv[1]);
      return 1;
    }
    write_rule(ruleFp, &s, datasets);
    for (int id = 1; id <= datasets; id++) {
      do {
        draw(s.model, &d);
      } while (!make_y(s.model, &d, s.offset, y));
      fprintf(crv, "%d\n", id);
      for (int i = 0; i < d.n; i++) {
        if (s.model == 15 || s.model == 16) {
          fprintf(crv, "%.10g %.10g %.10g\n", d.x[i], y[i], d.x2[i]);
        } else {
          fprintf(crv, "%.10g %.10g\n", d.x[i], y[i]);
        }
      }
      fprintf(truth, "%d", id);
      for (int i = 0; i < fitParmNum[s.model]; i++) {
        fprintf(truth, " %s%.17g", s.held[i] ? "=" : "", d.p[i]);
      }
      fprintf(truth, "\n");
    }
    fclose(crv);
    fclose(truth);
    fclose(ruleFp);
  }
  return 0;
}

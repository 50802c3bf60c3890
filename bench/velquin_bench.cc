// Benchmarks of velquin's hot paths: one fnf evaluation of every model, whole 1500-point
// fits of a straight line, a sum of decays, a melting curve and a heat-capacity curve, and
// the 20-point fit of the T1 example; the report's "%10.5g" by snprintf and by
// format_general. Reads and writes the run-state globals directly, as init_vars would; not
// a test.
#include <benchmark/benchmark.h>
#include <math.h>
#include <stdio.h>
#include <string.h>

#include "driver.h"
#include "fit_engine.h"
#include "models.h"
#include "number_format.h"
#include "run_state.h"

enum { EVAL_POINTS = 64 };

// A model over EVAL_POINTS evenly spaced x in [xLo, xHi], all with the same x2, at
// parameters for which every value is finite: temperatures around the midpoint for
// the melting and heat-capacity models, pH around the pKa, positive x where the model
// divides by x, and for model 16 a cubic with an admissible root at every point.
// The unfolding models pass through their transition inside the range, so that exp
// neither underflows nor overflows throughout. Model 24 takes its exponent as
// (G - H)/R with no temperature factor, so only small coefficients keep its
// transition inside the range; at realistic enthalpies K is 0 everywhere.
struct eval_row {
  int model;
  double xLo, xHi, x2;
  double parm[MAX_PARMS];
};

// clang-format off
static const eval_row eval_rows[] = {
//  model  x from   x to     x2    parameters
  {  0,    0.0,    10.0,    0.0,  {2.0, 1.0}},
  {  1,    0.0,    10.0,    0.0,  {0.5, -2.0, 3.0}},
  {  2,   -5.0,     5.0,    0.0,  {0.1, -0.5, 2.0, 1.0}},
  {  3,    0.0,    10.0,    0.0,  {5.0, -0.3, 1.0}},
  {  4,   10.0,  2255.0,    0.0,  {100.0, 1.9, 450.0}},
  {  5,    1.0,   300.0,    0.0,  {100.0, 80.0}},
  {  6,    0.05,    5.0,    0.0,  {0.5, 30.0, 10.0}},
  {  7,    0.05,    5.0,    0.0,  {0.5, 30.0, 10.0, 0.001, 1e4}},
  {  8,    1.0,   500.0,    0.0,  {60.0, 20.0, 40.0, 200.0}},
  {  9,    4.5,     8.5,    0.0,  {6.5, 8.0, 8.6, 1.0}},
  { 10,    0.0,   180.0,    0.0,  {1.0, 0.5, 0.2}},
  { 11,   20.0,    80.0,    0.0,  {1.0, 10.0, 50.0, 5.0}},
  { 12,    0.0,    10.0,    0.0,  {2.0, 0.1, 0.5, 5.0, 0.01}},
  { 13,   20.0,    95.0,    0.0,  {1.0, 0.002, 0.2, 0.001, 100.0, 1.5, 330.0}},
  { 14,   20.0,    95.0,    0.0,  {1.0, 0.002, 0.2, 0.001, 100.0, 1.5, 330.0, 1e-5}},
  { 15,    0.01,    5.0,    1.0,  {0.5, 0.1}},
  { 16,    0.05,    5.0,    1.0,  {0.3, 0.1, 0.6, 1.0}},
  { 17,   80.0,   130.0,    0.0,  {100.0, 0.05, 110.0, 0.05, 1.0, 0.5}},
  { 18,   80.0,   130.0,    0.0,  {100.0, 3.0, 110.0, 3.0, 1.0, 0.5}},
  { 19,   80.0,   130.0,    0.0,  {100.0, 0.05, 110.0, 0.05, 1.0, 0.5}},
  { 20,    0.0,     8.0,    0.0,  {1.0, 0.01, 0.1, 0.01, 10.0, 3.0, 1.0, 0.593}},
  { 21,    0.0,     8.0,    0.0,  {15.0, 4.0, 1.0, 0.5, 10.0, 3.0, 1.0, 0.593}},
  { 22,  300.0,   360.0,    0.0,  {0.05, 20.0, -1e-4, 0.05, 25.0, 400.0, 330.0, -1e-4}},
  { 23,  320.0,   340.0,    0.0,  {0.05, 20.0, -1e-4, 0.05, 25.0, 400.0, 330.0, 0.5, -1e-4}},
  { 24,  300.0,   360.0,    0.0,  {2e-5, 0.01, -1e-7, 2e-5, 0.015, 0.0, 330.0, 0.3, -1e-7}},
  { 25,    0.0,     8.0,    0.0,  {1.0, 0.01, 0.1, 0.01, 20000.0, -5000.0, 1e-3, 298.0}},
  { 26,    1.0,   500.0,    0.0,  {60.0, 20.0, 40.0, 200.0}},
  { 27,    0.0,  3.14159,   0.0,  {1.0, 0.5, 0.3}},
  { 28,    0.0,   180.0,    0.0,  {1.0, 2.0, 0.3, 0.1}},
};
// clang-format on

static double even_x(double lo, double hi, int i, int n) { return lo + (hi - lo) * i / (n - 1); }

// Model 12 has a formula but no catalogue row, hence no label.
static const char *model_label(int model) {
  fill_catalogue();
  return fitLabel[model] ? fitLabel[model] : "(no catalogue row)";
}

static void BM_fnf(benchmark::State &state) {
  int model = (int)state.range(0);
  const eval_row &row = eval_rows[model];
  if (row.model != model) {
    state.SkipWithError("eval_rows is not in model order");
    return;
  }
  double x[EVAL_POINTS];
  for (int i = 0; i < EVAL_POINTS; i++) x[i] = even_x(row.xLo, row.xHi, i, EVAL_POINTS);
  // A refused or non-finite value would time an early return, not the model.
  for (int i = 0; i < EVAL_POINTS; i++) {
    double y = NAN;
    if (!fnf(model, &y, x[i], row.x2, row.parm) || !isfinite(y)) {
      state.SkipWithError("model has no finite value at a benchmark point");
      return;
    }
  }
  for (auto _ : state) {
    for (int i = 0; i < EVAL_POINTS; i++) {
      double y;
      int ok = fnf(model, &y, x[i], row.x2, row.parm);
      benchmark::DoNotOptimize(ok);
      benchmark::DoNotOptimize(y);
    }
  }
  state.SetItemsProcessed(state.iterations() * EVAL_POINTS);
  state.counters["per_eval"] =
      benchmark::Counter((double)(state.iterations() * EVAL_POINTS),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.SetLabel(model_label(model));
}
BENCHMARK(BM_fnf)->DenseRange(0, LAST_MODEL);

// A whole fit: MAX_POINTS points of the model at truth plus deterministic noise of
// amplitude noise, fitted from start with the held parameters held.
struct fit_row {
  int model;
  double xLo, xHi, noise;
  double truth[MAX_PARMS];
  double start[MAX_PARMS];
  int held[MAX_PARMS];
};

// clang-format off
static const fit_row fit_rows[] = {
//  model  x from  x to    noise
//         truth
//         start
//         held
  {  0,    0.0,   100.0,  0.5,
         {2.0, 1.0},
         {1.5, 4.0},
         {0, 0}},
  {  8,    1.0,   500.0,  0.2,
         {60.0, 20.0, 40.0, 200.0},
         {55.0, 22.0, 44.0, 180.0},
         {0, 0, 0, 0}},
  { 13,   20.0,    95.0,  0.005,
         {1.0, 0.002, 0.2, 0.001, 100.0, 1.5, 330.0},
         {0.95, 0.0025, 0.25, 0.0015, 90.0, 1.0, 328.0},
         {0, 0, 0, 0, 0, 0, 0}},
  // Model 24 with coefficients as small as in its fnf row, and the quadratic terms, the
  // enthalpy at Tm and the concentration p7 held. With larger ones a derivative step
  // drives K so high that F loses all precision and the fit runs into nan.
  { 24,  300.0,   360.0,  5e-5,
         {2e-5, 0.01, 0.0, 2e-5, 0.015, 0.0, 330.0, 0.3, 0.0},
         {0.0, 0.0105, 0.0, 0.0, 0.0145, 0.0, 329.0, 0.3, 0.0},
         {0, 0, 1, 0, 0, 1, 0, 1, 1}},
};
// clang-format on

// Uniform in [-1, 1) from a 32-bit linear congruential generator: the same data on
// every machine and every run.
static double next_noise(unsigned *seed) {
  *seed = *seed * 1664525u + 1013904223u;
  return (double)(*seed >> 8) / (double)(1u << 23) - 1.0;
}

// Loads the row's data into the run state as init_vars would after reading a file.
// Returns 1, or 0 when the model has no value at some point.
static int load_fit(const fit_row &row) {
  fill_catalogue();
  fitFunc = row.model;
  numParms = fitParmNum[row.model];
  numData = MAX_POINTS;
  numDataCol = 2;
  maxIt = 5000;
  strcpy(logFname, "/dev/null");  // a failed fit writes its message to the log
  for (int i = 0; i < MAX_PARMS; i++) holdConstFlag[i] = row.held[i];
  unsigned seed = 12345u;
  for (int i = 0; i < numData; i++) {
    double x = even_x(row.xLo, row.xHi, i, numData);
    double y;
    if (!fnf(row.model, &y, x, 0.0, row.truth)) return 0;
    // Three uniforms summed: a bell-shaped noise of standard deviation noise.
    double u = next_noise(&seed) + next_noise(&seed) + next_noise(&seed);
    xOffsetData[i] = x;
    yData[i] = y + row.noise * u;
    tData[i] = 0.0;
  }
  return 1;
}

static void BM_fit(benchmark::State &state) {
  const fit_row *row = NULL;
  for (const fit_row &r : fit_rows) {
    if (r.model == (int)state.range(0)) row = &r;
  }
  if (row == NULL || !load_fit(*row)) {
    state.SkipWithError("no synthetic data for this model");
    return;
  }
  memcpy(fitParms, row->start, sizeof fitParms);
  if (do_iterations(fitParms, fitStdDev) != 0) {
    state.SkipWithError("the fit does not converge from its starting values");
    return;
  }
  // A fit that stopped short of the data's parameters leaves more than the noise.
  if (!(rmse < 1.5 * row->noise)) {
    state.SkipWithError("the fit converged, but not to the parameters of the data");
    return;
  }
  int iterations = itCount;
  for (auto _ : state) {
    memcpy(fitParms, row->start, sizeof fitParms);
    benchmark::DoNotOptimize(do_iterations(fitParms, fitStdDev));
  }
  state.counters["fit_iterations"] = iterations;
  state.counters["rmse"] = rmse;
  state.SetLabel(model_label(row->model));
}
BENCHMARK(BM_fit)->Arg(0)->Arg(8)->Arg(13)->Arg(24)->Unit(benchmark::kMillisecond);

// The T1 example as examples/demo.sh fits it: 20 points, model 4, W held, at most 1000
// iterations; read from the file as velquin reads it.
static void BM_fit_t1_example(benchmark::State &state) {
  const double start[MAX_PARMS] = {80.0, 1.9, 300.0};
  const int held[MAX_PARMS] = {0, 1, 0};
  snprintf(dataFname, sizeof dataFname, "%s", EXAMPLES_DIR "/t1-relaxation.crv");
  dataRes = 0;
  dataOffset = 0.0;
  fitFunc = 4;
  fill_catalogue();
  numParms = fitParmNum[fitFunc];  // as setup_run sets it: without it nothing is free
  maxIt = 1000;
  strcpy(logFname, "/dev/null");
  memcpy(holdConstFlag, held, sizeof holdConstFlag);
  if (!init_vars()) {
    state.SkipWithError("cannot read the T1 example");
    return;
  }
  memcpy(fitParms, start, sizeof fitParms);
  if (do_iterations(fitParms, fitStdDev) != 0) {
    state.SkipWithError("the T1 example does not converge");
    return;
  }
  int iterations = itCount;
  for (auto _ : state) {
    memcpy(fitParms, start, sizeof fitParms);
    benchmark::DoNotOptimize(do_iterations(fitParms, fitStdDev));
  }
  state.counters["fit_iterations"] = iterations;
  state.counters["rmse"] = rmse;
  state.SetLabel(model_label(4));
}
BENCHMARK(BM_fit_t1_example)->Unit(benchmark::kMicrosecond);

// The numbers of a report's point table: x, y, the fitted y and the residual of a
// relaxation curve with noise, as velquin writes them for each point.
enum { REPORT_POINTS = 256 };
static double report_numbers[4 * REPORT_POINTS];

static int fill_report_numbers() {
  const eval_row &row = eval_rows[4];
  unsigned seed = 12345u;
  for (int i = 0; i < REPORT_POINTS; i++) {
    double x = even_x(row.xLo, row.xHi, i, REPORT_POINTS), y;
    if (!fnf(row.model, &y, x, row.x2, row.parm)) return 0;
    double resid = 0.5 * next_noise(&seed);
    double *out = report_numbers + 4 * i;
    out[0] = x;
    out[1] = y + resid;
    out[2] = y;
    out[3] = resid;
  }
  return 1;
}

// The report's "%10.5g" of every number, by snprintf (argument 0) or by format_general
// (argument 1); run both interleaved (--benchmark_enable_random_interleaving) and compare
// their per_number times.
static void BM_report_number(benchmark::State &state) {
  int ours = (int)state.range(0);
  char buf[32], theirs[32];
  if (!fill_report_numbers()) {
    state.SkipWithError("the relaxation curve has no value at some point");
    return;
  }
  for (double v : report_numbers) {
    format_general(buf, sizeof buf, 10, 5, v);
    snprintf(theirs, sizeof theirs, "%10.5g", v);
    if (strcmp(buf, theirs) != 0) {
      state.SkipWithError("format_general and snprintf differ on a report number");
      return;
    }
  }
  for (auto _ : state) {
    for (double v : report_numbers) {
      int n =
          ours ? format_general(buf, sizeof buf, 10, 5, v) : snprintf(buf, sizeof buf, "%10.5g", v);
      benchmark::DoNotOptimize(n);
      benchmark::ClobberMemory();
    }
  }
  state.counters["per_number"] =
      benchmark::Counter((double)(state.iterations() * 4 * REPORT_POINTS),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.SetLabel(ours ? "format_general" : "snprintf");
}
BENCHMARK(BM_report_number)->Arg(0)->Arg(1);

BENCHMARK_MAIN();

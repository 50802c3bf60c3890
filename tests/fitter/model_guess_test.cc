// Unit tests of the guesses and the fit chosen from them: on data made from known
// parameters, every model's guess lands near them, and the fit kept ends ok at them and is
// to the bit the fit that do_iterations makes from the start it reports. Then what the
// data cannot separate, what is plausible, and data that give no guess.
#include "model_guess.h"

#include <gtest/gtest.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "fit_engine.h"
#include "guess_fit.h"
#include "models.h"
#include "run_state.h"

namespace {

// A value as a data file holds it: seven significant digits.
double printed(double v) {
  char buf[32];
  snprintf(buf, sizeof buf, "%.7g", v);
  return strtod(buf, NULL);
}

struct model_row {
  int model;
  double lo, hi;  // x as measured, n points evenly or, with logX, on a log scale
  int n, logX;
  double x2, offset;  // the third column (0: two columns), dataOffset
  double parms[MAX_PARMS];
  int held[MAX_PARMS];
  int maxIt;
  int keys[4];   // the parameters checked, -1 ending the list
  double fit;    // the fit's relative distance from each of them, at most
  int twoLines;  // models 17 to 19: the lines may come in either order
};

// The guess of each key parameter lies within this factor of the truth: it is a start,
// the fit does the rest.
const double GUESS_FACTOR = 2.0;

// clang-format off
const model_row rows[] = {
//  model  x from   x to    n  log  x2    offset  parameters, then holds                                    maxIt  keys            fit   lines
  {  0,    0,      10,    12, 0,  0,    0,      {2, 1}, {0},                                              1000, {0, 1, -1},     1e-4, 0},
  {  1,    0,      10,    12, 0,  0,    0,      {0.5, -2, 3}, {0},                                        1000, {0, 1, 2, -1},  1e-4, 0},
  {  2,   -2,       2,    15, 0,  0,    0,      {0.5, -1, 2, 1}, {0},                                     1000, {0, 1, -1},     1e-4, 0},
  {  3,    0,      10,    20, 0,  0,    0,      {5, -0.3, 1}, {0},                                        1000, {0, 1, 2, -1},  1e-4, 0},
  {  4,   10,    5000,    12, 1,  0,    0,      {100, 1.9, 450}, {0, 1},                                  1000, {0, 2, -1},     1e-4, 0},
  {  5,    1,    1000,    14, 1,  0,    0,      {100, 80}, {0},                                           1000, {0, 1, -1},     1e-4, 0},
  {  6,    0.01,   10,    15, 1,  0,    0,      {0.5, 30, 10}, {0},                                       1000, {0, 1, 2, -1},  1e-4, 0},
  {  7,    0.01,   10,    15, 1,  0,    0,      {0.5, 30, 10, 3e-5, 1e6}, {0, 0, 0, 0, 1},                1000, {0, 3, -1},     1e-3, 0},
  {  8,    0.01,   10,    30, 1,  0,    0,      {60, 0.1, 40, 2}, {0},                                    1000, {1, 3, -1},     1e-3, 0},
  {  9,    2,      12,    21, 0,  0,    0,      {6.5, 8, 8.6, 1}, {0, 0, 0, 1},                           1000, {0, 1, 2, -1},  1e-4, 0},
  { 10,    0,     180,    19, 0,  0,    0,      {1, 0.5, 0.2}, {0},                                       1000, {0, 1, 2, -1},  1e-4, 0},
  { 11,   20,      90,    36, 0,  0,    0,      {1, 10, 50, 5}, {0},                                      1000, {1, 2, 3, -1},  1e-4, 0},
  { 13,   20,      90,    71, 0,  0,    0,      {1, 0.002, 0.2, 0.001, 100, 1.2, 330}, {0, 0, 0, 0, 0, 1},
                                                                                                          2000, {4, 6, -1},     1e-3, 0},
  { 14,   20,      90,    71, 0,  0,    0,      {1, 0.002, 0.2, 0.001, 100, 1.2, 330, 1e-5}, {0, 0, 0, 0, 0, 1, 0, 1},
                                                                                                          2000, {4, 6, -1},     1e-3, 0},
  { 15,    0.01,   10,    12, 1,  0.2,  0,      {0.5, 0.3}, {0},                                          1000, {0, 1, -1},     1e-3, 0},
  { 16,    0.01,   20,    15, 1,  0.2,  0,      {0.3, 0.1, 0.6, 2}, {0},                                  1000, {1, 3, -1},     1e-3, 0},
  { 17,    0,    1000,   201, 0,  0,    0,      {300, 0.02, 700, 0.03, -50, -1}, {0},                     1000, {0, 2, -1},     1e-4, 1},
  { 18,    0,    1000,   201, 0,  0,    0,      {300, 8, 700, 6, 50, 1}, {0},                             1000, {0, 2, -1},     1e-4, 1},
  { 19,    0,    1000,   201, 0,  0,    0,      {300, 0.02, 700, 0.03, 100, 1}, {0},                      1000, {0, 2, -1},     1e-4, 1},
  { 20,    0,       8,    41, 0,  0,    0,      {1, 0.01, 0.3, 0.01, 8, 2, 1, 0.5924}, {0, 0, 0, 0, 0, 0, 1, 1},
                                                                                                          2000, {4, 5, -1},     1e-3, 0},
  { 21,    0,       8,    41, 0,  0,    0,      {3, 1, 0.5, 0.5, 1.2, 0.4, 1, 0.5924}, {0, 0, 0, 0, 0, 0, 1, 1},
                                                                                                          2000, {0, 4, -1},     1e-3, 0},
  { 22,   20,      90,   141, 0,  0,    273.15, {0.1, -10, 0, 0.1, -5, 400, 330, 0}, {0, 0, 1, 0, 0, 0, 0, 1},
                                                                                                          2000, {5, 6, -1},     1e-3, 0},
  { 23,   31.85,   71.85, 161, 0,  0,    273.15, {0.1, -10, 0, 0.1, -9.7, 300, 330, 1, 0}, {0, 0, 1, 0, 0, 0, 0, 1, 1},
                                                                                                          2000, {5, 6, -1},     1e-2, 0},
  { 24,   20,      90,   141, 0,  0,    273.15, {2e-5, 0.01, 0, 2e-5, 0.015, 0, 330, 0.3, 0}, {0, 0, 1, 0, 0, 0, 1, 1, 1},
                                                                                                          2000, {1, 4, -1},     1e-3, 0},
  { 25,    0,       8,    41, 0,  0,    0,      {0.3, 0, 1, 0, 50000, -5000, 1e-5, 298.15}, {0, 0, 0, 0, 0, 0, 1, 1},
                                                                                                          2000, {4, 5, -1},     1e-3, 0},
  { 26,    0.01,   10,    30, 1,  0,    0,      {60, 0.1, 40, 2}, {0},                                    1000, {1, 3, -1},     1e-3, 0},
  { 27,    0,       3.14159265, 19, 0, 0, 0,    {7, 1, -0.5}, {0},                                        1000, {0, 1, 2, -1},  1e-4, 0},
  { 28,    0,     360,    37, 0,  0,    60,     {2, 1.5, 0.5, 1}, {0},                                    1000, {0, 1, 2, -1},  1e-4, 0},
};
// clang-format on

// Loads the row's data into the run state, as load_data would, and the command line's
// start: the held values, 0 for the rest.
void load_row(const model_row &r) {
  reset_run_state();
  fill_catalogue();
  fitFunc = r.model;
  numParms = fitParmNum[r.model];
  maxIt = r.maxIt;
  numData = r.n;
  numDataCol = r.x2 != 0.0 ? 3 : 2;
  for (int i = 0; i < r.n; i++) {
    double t = (double)i / (r.n - 1);
    double x = printed(r.logX ? r.lo * pow(r.hi / r.lo, t) : r.lo + (r.hi - r.lo) * t);
    xOffsetData[i] = x + r.offset;
    tData[i] = r.x2;
    double y;
    ASSERT_EQ(fnf(r.model, &y, xOffsetData[i], tData[i], r.parms), 1);
    yData[i] = printed(y);
  }
  for (int i = 0; i < MAX_PARMS; i++) {
    holdConstFlag[i] = r.held[i];
    fitParms[i] = r.held[i] ? r.parms[i] : 0.0;
  }
}

// Whether each key parameter of p lies within the factor (relative distance, when below
// 1) of the truth; the two lines of models 17 to 19 in either order.
bool near_truth(const model_row &r, const double *p, double within) {
  for (int order = 0; order < (r.twoLines ? 2 : 1); order++) {
    bool all = true;
    for (int k = 0; k < 4 && r.keys[k] >= 0; k++) {
      int j = r.keys[k];
      if (order == 1 && j < 4) j ^= 2;  // centre and width of the other line
      double ratio = p[j] / r.parms[r.keys[k]];
      bool ok =
          within < 1.0 ? fabs(ratio - 1.0) <= within : ratio >= 1.0 / within && ratio <= within;
      if (!ok) all = false;
    }
    if (all) return true;
  }
  return false;
}

bool same_bits(const double *a, const double *b, int n) {
  return memcmp(a, b, sizeof(double) * (size_t)n) == 0;
}

TEST(guess_starts, land_near_the_parameters_and_the_fit_ends_at_them) {
  for (const model_row &r : rows) {
    SCOPED_TRACE(fitLabel[r.model] != NULL ? fitLabel[r.model] : "");
    SCOPED_TRACE(r.model);
    load_row(r);
    guess_data d = {xOffsetData, yData, tData, numData};
    guess_list g;
    ASSERT_GT(guess_starts(r.model, &d, fitParms, holdConstFlag, &g), 0);
    for (int k = 0; k < g.n; k++) {
      for (int i = 0; i < numParms; i++) {
        EXPECT_TRUE(isfinite(g.start[k][i]));
        if (r.held[i]) {
          EXPECT_EQ(g.start[k][i], r.parms[i]);
        }
      }
    }
    EXPECT_TRUE(near_truth(r, g.lowest, GUESS_FACTOR));

    // The fit chosen, against do_iterations from the start it reports.
    double start[MAX_PARMS], loaded[MAX_POINTS];
    memcpy(loaded, xOffsetData, sizeof loaded);
    int outcome = fit_from_guesses(fitParms, fitStdDev, start);
    EXPECT_EQ(outcome, FIT_DONE);
    EXPECT_TRUE(near_truth(r, fitParms, r.fit));
    double parms[MAX_PARMS], sd[MAX_PARMS], x[MAX_POINTS];
    memcpy(parms, fitParms, sizeof parms);
    memcpy(sd, fitStdDev, sizeof sd);
    memcpy(x, xOffsetData, sizeof x);
    int its = itCount;
    double fitted = rmse;
    memcpy(xOffsetData, loaded, sizeof loaded);
    memset(fitStdDev, 0, sizeof fitStdDev);
    reset_engine();
    memcpy(fitParms, start, sizeof start);
    EXPECT_EQ(do_iterations(fitParms, fitStdDev), outcome);
    EXPECT_TRUE(same_bits(fitParms, parms, MAX_PARMS));
    EXPECT_TRUE(same_bits(fitStdDev, sd, MAX_PARMS));
    EXPECT_TRUE(same_bits(xOffsetData, x, numData));
    EXPECT_EQ(itCount, its);
    EXPECT_TRUE(same_bits(&rmse, &fitted, 1));
  }
}

TEST(guess_starts, give_none_for_model_12_and_for_points_without_a_span) {
  fill_catalogue();
  double x[3] = {1, 1, 1}, y[3] = {1, 2, 3}, x2[3] = {0, 0, 0}, p[MAX_PARMS] = {};
  int held[MAX_PARMS] = {};
  guess_list g;
  guess_data flat = {x, y, x2, 3};
  EXPECT_EQ(guess_starts(0, &flat, p, held, &g), 0);
  double xs[3] = {1, 2, 3};
  guess_data line = {xs, y, x2, 3};
  EXPECT_EQ(guess_starts(12, &line, p, held, &g), 0);
  EXPECT_EQ(g.floor, HUGE_VAL);
  double bad[3] = {1, NAN, 3};
  guess_data holed = {xs, bad, x2, 3};
  EXPECT_EQ(guess_starts(0, &holed, p, held, &g), 0);
  EXPECT_EQ(guess_starts(0, &line, p, held, &g), 2);  // the line, moved off both ways
}

TEST(unseparated_parm, names_each_free_parameter_the_data_cannot_tell) {
  fill_catalogue();
  struct row {
    int model;
    int held[MAX_PARMS];
    int parm, other;
  } cases[] = {
      {7, {0}, 3, 4},                         // TAU or DELTASQU
      {7, {0, 0, 0, 0, 1}, -1, -1},           // DELTASQU held
      {7, {0, 0, 0, 1, 0}, -1, -1},           // TAU held
      {14, {0}, 7, -1},                       // the concentration
      {20, {0, 0, 0, 0, 0, 0, 1, 0}, 7, -1},  // RT
      {20, {0, 0, 0, 0, 0, 0, 0, 1}, 6, -1},  // the concentration
      {21, {0, 0, 0, 0, 0, 0, 1, 1}, -1, -1},
      {24, {0, 0, 0, 0, 0, 0, 0, 1}, 5, 6},  // A5 or A6
      {24, {0, 0, 0, 0, 0, 1, 0, 1}, -1, -1},
      {25, {0, 0, 0, 0, 0, 0, 1, 0}, 7, -1},  // Temp
      {9, {0}, -1, -1},
  };
  for (const row &r : cases) {
    SCOPED_TRACE(r.model);
    int other = -2;
    const char *why = NULL;
    EXPECT_EQ(unseparated_parm(r.model, r.held, &other, &why), r.parm);
    if (r.parm >= 0) {
      EXPECT_EQ(other, r.other);
      ASSERT_NE(why, nullptr);
      EXPECT_GT(strlen(why), 0u);
    }
  }
}

TEST(plausible_result, refuses_what_the_physics_does_not_allow) {
  double x[3] = {20, 50, 90}, y[3] = {}, x2[3] = {};
  guess_data melt = {x, y, x2, 3};
  struct row {
    const char *name;
    int model;
    double p[MAX_PARMS];
    int plausible;
  } cases[] = {
      {"a melt", 13, {1, 0, 0, 0, 80, 1.2, 330}, 1},
      {"a negative enthalpy", 13, {1, 0, 0, 0, -50, 1.2, 230}, 0},
      {"a Tm far below the temperatures", 13, {1, 0, 0, 0, 80, 1.2, 200}, 0},
      {"a negative exchange term", 7, {0.5, 30, 10, -1e-5, 1e6}, 0},
      {"an exchange term of 0", 7, {0.5, 30, 10, 0, 1e6}, 1},
      {"a negative T1", 4, {100, 1.9, -300}, 0},
      {"a line outside the spectrum", 18, {50, 5, 95, 5, 1, 1}, 0},
      {"two lines inside", 18, {30, 5, 60, 5, 1, 1}, 1},
      {"a straight line", 0, {-1, -1}, 1},
  };
  for (const row &r : cases) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(plausible_result(r.model, &melt, r.p), r.plausible);
  }
}

}  // namespace

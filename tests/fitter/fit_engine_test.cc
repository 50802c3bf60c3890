// Unit tests of the fitting engine: the RMSE, the normal equations and their inversion
// seen through the parameter step, every way a fit can end, and fits of each model
// family that recover known parameters from noisy synthetic data.
#include "fit_engine.h"

#include <gtest/gtest.h>
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <string>

#include "models.h"
#include "program_run.h"
#include "run_state.h"

namespace {

const double UNSET = -2147483648.0;
const char *const GRAPH_MSG = "velquin: Unable to graph function with your starting parameters.\n";
const char *const CONVERGE_MSG = "velquin: Unable to converge with your starting parameters.\n";

// Every global the engine reads or writes as at process start, then model 0 with room for
// 100 iterations.
class engine_state : public testing::Test {
 protected:
  void SetUp() override {
    reset_run_state();
    reset_engine();
    fill_catalogue();
    use_model(0);
    numDataCol = 2;
    maxIt = 100;
  }

  void use_model(int model) {
    fitFunc = model;
    numParms = fitParmNum[model];
  }

  void load(int n, const double *x, const double *y, const double *t = nullptr) {
    numData = n;
    numDataCol = t ? 3 : 2;
    for (int i = 0; i < n; i++) {
      xOffsetData[i] = x[i];
      yData[i] = y[i];
      tData[i] = t ? t[i] : 0.0;
    }
  }

  void set_parms(const double *p, const int *hold) {
    for (int i = 0; i < MAX_PARMS; i++) {
      fitParms[i] = p[i];
      holdConstFlag[i] = hold[i];
    }
  }

  // The engine counts its free parameters only when a fit starts; a negative limit
  // makes do_iterations count them and stop before its first iteration, so that
  // calc_deriv and set_new_parms can then be called on their own.
  void count_free_parms() {
    int keep = maxIt;
    maxIt = -1;
    ::do_iterations(fitParms, fitStdDev);
    maxIt = keep;
  }
};

// The suites carry the operations' names, so the tests call the operations as ::name.
class calc_rmse : public engine_state {};
class calc_deriv : public engine_state {};
class set_new_parms : public engine_state {};
class one_iteration : public engine_state {};
class do_iterations : public engine_state {};

// --- calc_rmse

TEST_F(calc_rmse, exact_data_give_zero) {
  const double x[] = {0, 1, 2, 3}, y[] = {1, 3, 5, 7}, p[MAX_PARMS] = {2, 1};
  load(4, x, y);
  const int hold[MAX_PARMS] = {};
  set_parms(p, hold);
  EXPECT_EQ(::calc_rmse(fitParms), 0.0);
}

TEST_F(calc_rmse, divides_by_the_number_of_points) {
  // Model values 5 and 5 against 2 and 1: residuals 3 and 4, so sqrt(25 / 2).
  const double x[] = {0, 1}, y[] = {2, 1}, p[MAX_PARMS] = {0, 5};
  load(2, x, y);
  const int free_all[MAX_PARMS] = {}, held_all[MAX_PARMS] = {1, 1};
  const int one_free[MAX_PARMS] = {1, 0};
  for (const int *hold : {free_all, held_all, one_free}) {
    set_parms(p, hold);
    EXPECT_DOUBLE_EQ(::calc_rmse(fitParms), 3.5355339059327376);
  }
}

TEST_F(calc_rmse, unset_marker_and_refused_points) {
  struct row {
    const char *name;
    int model;
    int n;
    double x[3], t[3], y[3];
    double p[MAX_PARMS];
    int hold[MAX_PARMS];
    double expected;  // -2 for "evaluated: 0 or more"
  };
  // clang-format off
  const row rows[] = {
  //  name                                  model n  x           t             y
  //                                        parameters           hold     expected
    {"marker in a free parameter",           0, 2, {0, 1},     {},           {0, 0},
                                            {UNSET, 0},          {0, 0},  -1.0},
    {"marker in a held parameter",           0, 2, {0, 1},     {},           {0, 0},
                                            {0, UNSET},          {0, 1},  -1.0},
    // Beyond the model's parameters the marker means nothing.
    {"marker past the model's parameters",   0, 2, {0, 1},     {},           {2, 1},
                                            {-1, 2, UNSET},      {},      0.0},
    // One above the marker is an ordinary value: residuals 3 and -4.
    {"one above the marker is evaluated",    0, 2, {0, 0},     {},           {-2147483650.0, -2147483643.0},
                                            {0, -2147483647.0},  {},      3.5355339059327376},
    // Model 16's cubic has no admissible root at x = 7 with these constants; the
    // points at x = 1 and x = 3 are fine.
    {"one refused point of three",          16, 3, {1, 7, 3},  {10, 10, 10}, {},
                                            {1, 8, 1, 5},        {},      -1.0},
    {"the same without that point",         16, 2, {1, 3},     {10, 10},     {},
                                            {1, 8, 1, 5},        {},      -2.0},
    {"model number 29",                     29, 2, {0, 1},     {},           {0, 0},
                                            {1, 1},              {},      -1.0},
    {"negative model number",               -1, 2, {0, 1},     {},           {0, 0},
                                            {1, 1},              {},      -1.0},
  };
  // clang-format on
  for (const row &r : rows) {
    SCOPED_TRACE(r.name);
    fitFunc = r.model;
    numParms = r.model >= 0 && r.model <= LAST_MODEL ? fitParmNum[r.model] : 2;
    load(r.n, r.x, r.y, r.t);
    set_parms(r.p, r.hold);
    double got = ::calc_rmse(fitParms);
    if (r.expected == -2.0) {
      EXPECT_GE(got, 0.0);
    } else {
      EXPECT_DOUBLE_EQ(got, r.expected);
    }
  }
}

// --- calc_deriv and the inversion, seen through the step of set_new_parms

TEST_F(set_new_parms, moves_free_parameters_by_a_tenth_of_the_gauss_newton_step) {
  // Straight line through x = 1, 2, 3 against y = 2, 1, 5. The derivatives are x for
  // the slope and 1 for the intercept, so the normal equations are written down by
  // hand; the full least-squares line is y = 1.5 x - 1/3.
  struct row {
    const char *name;
    double p[MAX_PARMS];
    int hold[MAX_PARMS];
    double expected[2];
    double tol;
  };
  const row rows[] = {
      // r = 0, 3, 1: sum r x = 9, sum x^2 = 14.
      {"slope alone", {2, 0}, {0, 1}, {2 - 0.9 / 14, 0}, 1e-12},
      // r = 1, 4, 2: sum r = 7 over 3 points.
      {"intercept alone", {2, 1}, {1, 0}, {2, 1 - 0.7 / 3}, 1e-12},
      // [[14 6][6 3]]^-1 [15 7] = [0.5 4/3].
      {"both free", {2, 1}, {0, 0}, {1.95, 1 - 0.4 / 3}, 1e-12},
      // A zero intercept is stepped to 1e-9: the difference of the model values keeps
      // only about seven digits. r = 0, 3, 1.
      {"zero stepped to 1e-9", {2, 0}, {1, 0}, {2, -0.4 / 3}, 1e-6},
  };
  const double x[] = {1, 2, 3}, y[] = {2, 1, 5};
  for (const row &r : rows) {
    SCOPED_TRACE(r.name);
    load(3, x, y);
    set_parms(r.p, r.hold);
    count_free_parms();
    ASSERT_EQ(::calc_deriv(fitParms), 1);
    EXPECT_EQ(fitParms[0], r.p[0]);  // back to the entry values after the derivatives
    EXPECT_EQ(fitParms[1], r.p[1]);
    ASSERT_EQ(::set_new_parms(fitParms), 1);
    for (int i = 0; i < 2; i++) {
      if (r.hold[i]) {
        EXPECT_EQ(fitParms[i], r.p[i]) << "held parameter " << i;
      } else {
        EXPECT_NEAR(fitParms[i], r.expected[i], r.tol) << "parameter " << i;
      }
    }
  }
}

TEST_F(set_new_parms, singular_matrix_leaves_parameters_untouched) {
  // At x = 0 the slope changes no model value: a zero row and column in the matrix.
  const double x[] = {0, 0, 0}, y[] = {1, 2, 4};
  const double p[MAX_PARMS] = {0.75, 3};
  const int hold[MAX_PARMS] = {0, 0};
  load(3, x, y);
  set_parms(p, hold);
  count_free_parms();
  ASSERT_EQ(::calc_deriv(fitParms), 1);
  EXPECT_EQ(::set_new_parms(fitParms), 0);
  EXPECT_EQ(fitParms[0], 0.75);
  EXPECT_EQ(fitParms[1], 3.0);
}

TEST_F(calc_deriv, refusal_at_a_stepped_value_restores_the_parameters) {
  // Model 16 at x = 7, x2 = 10 evaluates with DKd1 = 7.55 but has no admissible root
  // at the stepped 7.55 * 1.02; the first point is fine with both.
  use_model(16);
  const double x[] = {3, 7}, t[] = {10, 10}, y[] = {0.8, 0.6};
  const double p[MAX_PARMS] = {1, 7.55, 1, 5, 42};
  const int hold[MAX_PARMS] = {1, 0, 1, 0};
  load(2, x, y, t);
  set_parms(p, hold);
  count_free_parms();
  double y0;
  ASSERT_EQ(fnf(16, &y0, 7, 10, fitParms), 1);
  EXPECT_EQ(::calc_deriv(fitParms), 0);
  for (int i = 0; i < MAX_PARMS; i++) EXPECT_EQ(fitParms[i], p[i]) << "parameter " << i;
}

// --- one_iteration: the RMSE comes from the derivative pass's sum

TEST_F(one_iteration, rmse_is_calc_rmse_to_the_bit) {
  // Three iterations of each fit, steps included; the RMSE after each is compared with
  // calc_rmse at the parameters reached, bit for bit (any nan matching any nan), also when
  // the unset marker makes it -1.
  struct row {
    const char *name;
    int model;
    double xFirst, xLast, x2;
    double truth[MAX_PARMS];
    double start[MAX_PARMS];
    int hold[MAX_PARMS];
  };
  // clang-format off
  const row rows[] = {
  //  name                                  model  x range      x2
  //                                        truth
  //                                        start
  //                                        hold
    {"straight line",                        0,    0, 10,       0,
                                            {2, 1},
                                            {1.5, 4},                                   {}},
    {"sum of decays",                        8,    1, 500,      0,
                                            {60, 20, 40, 200},
                                            {55, 22, 44, 180},                          {}},
    {"monomer melting",                     13,    20, 95,      0,
                                            {1, 0.002, 0.2, 0.001, 100, 1.5, 330},
                                            {0.95, 0.0025, 0.25, 0.0015, 90, 1, 328},   {}},
    {"chemical shift XY2, three columns",   16,    0.05, 5,     1,
                                            {0.3, 0.1, 0.6, 1},
                                            {0.32, 0.11, 0.55, 1.05},                   {}},
    {"heat capacity, trimer, held entries", 24,    300, 360,    0,
                                            {2e-5, 0.01, 0, 2e-5, 0.015, 0, 330, 0.3, 0},
                                            {0, 0.0105, 0, 0, 0.0145, 0, 329, 0.3, 0},  {0, 0, 1, 0, 0, 1, 0, 1, 1}},
    // x = 0 among the points: the logarithm of 0 makes every value nan.
    {"heat capacity at x = 0: nan",         22,    0, 330,      0,
                                            {0.05, 20, -1e-4, 0.05, 25, 400, 330, -1e-4},
                                            {0.05, 20, -1e-4, 0.05, 25, 400, 330, -1e-4}, {}},
    {"unset marker in a held parameter",     5,    1, 300,      0,
                                            {100, 80},
                                            {90, UNSET},                                {0, 1}},
  };
  // clang-format on
  for (const row &r : rows) {
    SCOPED_TRACE(r.name);
    use_model(r.model);
    double x[40], y[40], t[40];
    for (int i = 0; i < 40; i++) {
      x[i] = r.xFirst + (r.xLast - r.xFirst) * i / 39;
      t[i] = r.x2 * (1 + 0.01 * i);
      ASSERT_EQ(fnf(r.model, &y[i], x[i], t[i], r.truth), 1);
      y[i] += 1e-3 * ((i * 7919) % 11 - 5);
    }
    load(40, x, y, r.x2 != 0 ? t : nullptr);
    set_parms(r.start, r.hold);
    count_free_parms();
    for (int it = 0; it < 3; it++) {
      rmse = 7777.0;  // to be replaced; and no hundredfold rise can stop the iteration
      ASSERT_EQ(::one_iteration(fitParms), 1) << "iteration " << it;
      double expected = ::calc_rmse(fitParms);
      EXPECT_TRUE(std::isnan(rmse) ? std::isnan(expected)
                                   : memcmp(&rmse, &expected, sizeof rmse) == 0)
          << "iteration " << it << ": " << rmse << " against " << expected;
    }
  }
}

// --- do_iterations: how a fit ends

TEST_F(do_iterations, every_outcome_of_a_fit) {
  struct row {
    const char *name;
    int model;
    int n;
    double x[4], t[4], y[4];
    double p[MAX_PARMS];
    int hold[MAX_PARMS];
    int maxIt;
    int result;
    int itCount;
    const char *log;  // "(none)" when no message is written
    int stop;         // fitStop
  };
  // clang-format off
  const row rows[] = {
  //  name                                           model n  x             t         y
  //                                                 start             hold          maxIt result itCount log
    {"every parameter held",                           0, 4, {0, 1, 2, 3}, {},       {1.1, 2.9, 5.2, 6.8},
                                                     {1, 0},           {1, 1},        50, 0,     0,     "(none)", STOP_CONVERGED},
    {"first iteration: a stepped value is refused",   16, 2, {3, 7},       {10, 10}, {0.8, 0.6},
                                                     {1, 7.55, 1, 5},  {1, 0, 1, 1},  50, 1,     0,     GRAPH_MSG, STOP_NO_START_VALUE},
    {"first iteration: refused at the start",         16, 2, {3, 7},       {10, 10}, {0.8, 0.6},
                                                     {1, 8, 1, 5},     {1, 0, 1, 1},  50, 1,     0,     GRAPH_MSG, STOP_NO_START_VALUE},
    {"first iteration: a held parameter is unset",     0, 2, {0, 1},       {},       {1, 2},
                                                     {1, UNSET},       {0, 1},        50, 1,     0,     GRAPH_MSG, STOP_NO_START_VALUE},
    // The matrix of the first iteration is singular; the second cannot step.
    {"later iteration: singular matrix",               0, 3, {0, 0, 0},    {},       {1, 2, 4},
                                                     {0.75, 3},        {0, 0},        50, 1,     1,     CONVERGE_MSG, STOP_SINGULAR},
    // The step from DKd1 = 6 to about 9 leaves model 16 without a root.
    {"later iteration: evaluation refused",           16, 2, {7, 7},       {10, 10}, {-1, -1},
                                                     {1, 6, 1, 5},     {1, 0, 1, 1},  50, 1,     1,     CONVERGE_MSG, STOP_NO_VALUE},
    // T2 = 0.05 barely moves the model, so a tenth of the step still takes T2 past 100
    // and the RMSE from 0.001 to about 1.
    {"later iteration: RMSE grew a hundredfold",       5, 2, {1, 2},       {},       {0.001, 0.001},
                                                     {1, 0.05},        {1, 0},        50, 1,     1,     CONVERGE_MSG, STOP_DIVERGED},
    {"iteration limit above 0",                        0, 4, {0, 1, 2, 3}, {},       {1.1, 2.9, 5.2, 6.8},
                                                     {1, 0},           {0, 0},         3, 1,     3,     CONVERGE_MSG, STOP_LIMIT},
    {"iteration limit 0",                              0, 4, {0, 1, 2, 3}, {},       {1.1, 2.9, 5.2, 6.8},
                                                     {1, 0},           {0, 0},         0, 1,     0,     GRAPH_MSG, STOP_LIMIT_NOT_POSITIVE},
    // Exact data make the standard error 0, which the convergence test never accepts.
    {"exact data end at the limit",                    0, 4, {0, 1, 2, 3}, {},       {1, 3, 5, 7},
                                                     {2, 1},           {0, 0},         5, 1,     5,     CONVERGE_MSG, STOP_LIMIT},
    // With no degree of freedom left the standard error is not finite.
    {"as many free parameters as points",              0, 2, {0, 1},       {},       {1, 4},
                                                     {1, 0},           {0, 0},         5, 1,     5,     CONVERGE_MSG, STOP_LIMIT},
    // Residuals +1 and -1 against equal derivatives: no step, converged at once, and the
    // RMSE is no better than at the start.
    {"converged without a better RMSE",                0, 2, {0, 1},       {},       {0, 2},
                                                     {0, 1},           {1, 0},        50, 1,     1,     CONVERGE_MSG, STOP_NOT_BETTER},
    {"negative iteration limit",                       0, 4, {0, 1, 2, 3}, {},       {1.1, 2.9, 5.2, 6.8},
                                                     {1, 0},           {0, 0},        -5, 1,    -5,     CONVERGE_MSG, STOP_LIMIT_NOT_POSITIVE},
    // No iteration is made, so the refused stepped value is never reached.
    {"negative iteration limit before a refusal",     16, 2, {3, 7},       {10, 10}, {0.8, 0.6},
                                                     {1, 7.55, 1, 5},  {1, 0, 1, 1},  -1, 1,    -1,     CONVERGE_MSG, STOP_LIMIT_NOT_POSITIVE},
  };
  // clang-format on
  for (const row &r : rows) {
    SCOPED_TRACE(r.name);
    use_model(r.model);
    load(r.n, r.x, r.y, r.model == 16 ? r.t : nullptr);
    set_parms(r.p, r.hold);
    maxIt = r.maxIt;
    itCount = 12345;
    for (int i = 0; i < MAX_PARMS; i++) fitStdDev[i] = -7.0;  // never written here
    int outcome = ::do_iterations(fitParms, fitStdDev);
    EXPECT_EQ(outcome != FIT_DONE, r.result);
    EXPECT_EQ(itCount, r.itCount);
    for (int i = 0; i < numParms; i++) {
      EXPECT_EQ(fitParms[i], r.p[i]) << "starting value of parameter " << i;
      EXPECT_EQ(fitStdDev[i], -7.0) << "standard deviation " << i;
    }
    EXPECT_EQ(outcome == FIT_DONE ? "(none)" : std::string(fit_messages[outcome]) + "\n", r.log);
    EXPECT_EQ(fitStop, r.stop);
    // The one singular case has every x at 0: A0's column of derivatives is 0.
    if (r.stop == STOP_SINGULAR) {
      EXPECT_EQ(fitStopParm, 0);
    }
  }
}

TEST_F(do_iterations, every_parameter_held_reports_the_rmse_at_the_given_values) {
  const double x[] = {0, 1}, y[] = {2, 1}, p[MAX_PARMS] = {0, 5};
  const int hold[MAX_PARMS] = {1, 1};
  load(2, x, y);
  set_parms(p, hold);
  EXPECT_EQ(::do_iterations(fitParms, fitStdDev), 0);
  EXPECT_DOUBLE_EQ(rmse, 3.5355339059327376);
  EXPECT_EQ(fitStdDev[0], 0.0);
  EXPECT_EQ(fitStdDev[1], 0.0);
}

TEST_F(do_iterations, failure_keeps_the_last_rmse_computed) {
  // The hundredfold rise: rmse is that of the rejected step, not of the restored values.
  use_model(5);
  const double x[] = {1, 2}, y[] = {0.001, 0.001}, p[MAX_PARMS] = {1, 0.05};
  const int hold[MAX_PARMS] = {1, 0};
  load(2, x, y);
  set_parms(p, hold);
  ASSERT_EQ(::do_iterations(fitParms, fitStdDev), FIT_NO_CONVERGE);
  double start = ::calc_rmse(fitParms);
  EXPECT_NEAR(start, 0.001, 1e-5);
  EXPECT_GT(rmse, 100 * start);

  // An unset parameter: both RMSE values were -1.0, and -1.0 stays.
  use_model(0);
  const double q[MAX_PARMS] = {1, UNSET};
  const int hold_q[MAX_PARMS] = {0, 1};
  set_parms(q, hold_q);
  ASSERT_EQ(::do_iterations(fitParms, fitStdDev), FIT_NO_GRAPH);
  EXPECT_EQ(rmse, -1.0);
}

TEST_F(do_iterations, converged_fit_reports_standard_deviations_of_free_parameters) {
  // Quadratic with A0 held at 0.5. The residuals 0.1, -0.1, -0.1, 0.1, 0 are orthogonal
  // to 1 and x, so the least-squares values are A1 = 2, A2 = 1 with a residual sum of
  // 0.04. The normal matrix of (A1, A2) is [[30 10][10 5]], its inverse
  // [[0.1 -0.2][-0.2 0.6]]: the first free parameter's diagonal is 0.1, the second's
  // 0.6, whatever their parameter indices.
  use_model(1);
  const double x[] = {0, 1, 2, 3, 4}, y[] = {1.1, 3.4, 6.9, 11.6, 17};
  const double p[MAX_PARMS] = {0.5, 1, 3};
  const int hold[MAX_PARMS] = {1, 0, 0};
  load(5, x, y);
  set_parms(p, hold);
  maxIt = 1000;
  ASSERT_EQ(::do_iterations(fitParms, fitStdDev), 0);
  EXPECT_GE(itCount, 1);
  EXPECT_LT(itCount, 1000);
  EXPECT_EQ(fitParms[0], 0.5);
  EXPECT_EQ(fitStdDev[0], 0.0);
  // RMSE at the fitted values, near sqrt(0.04 / 5); the standard error divides the
  // same sum by the 3 degrees of freedom.
  EXPECT_NEAR(rmse, sqrt(0.04 / 5), 1e-4);
  EXPECT_DOUBLE_EQ(rmse, ::calc_rmse(fitParms));
  double se = sqrt(rmse * rmse * 5 / 3);
  EXPECT_NEAR(fitStdDev[1], sqrt(0.1) * se, 1e-9 * se);
  EXPECT_NEAR(fitStdDev[2], sqrt(0.6) * se, 1e-9 * se);
  EXPECT_NEAR(fitParms[1], 2.0, 0.05 * fitStdDev[1]);
  EXPECT_NEAR(fitParms[2], 1.0, 0.05 * fitStdDev[2]);
}

TEST_F(do_iterations, line_shapes_are_back_in_unshifted_terms) {
  // Two Lorentzians on x = 100 .. 110; the fit runs on x - 100 and must hand back x,
  // Vo(1) and Vo(2) as they were, after success and after either kind of failure. All
  // of them lie within a factor 2 of the first x, so taking it off and adding it back
  // is exact and the comparisons can be.
  use_model(17);
  const double truth[MAX_PARMS] = {103, 0.3, 107, 0.4, -1, 0.5};
  double x[201], y[201];
  for (int i = 0; i < 201; i++) {
    x[i] = 100 + i * 0.05;
    ASSERT_EQ(fnf(17, &y[i], x[i], 0, truth), 1);
  }
  const double start[MAX_PARMS] = {103.1, 0.31, 106.9, 0.39, -1.05, 0.5};
  const int hold[MAX_PARMS] = {0, 0, 0, 0, 0, 1};
  struct row {
    const char *name;
    int maxIt;
    int result;
    const char *log;
  };
  const row rows[] = {
      {"success", 2000, 0, "(none)"},
      {"failure after iterations", 2, 1, CONVERGE_MSG},
      {"failure in the first iteration", 0, 1, GRAPH_MSG},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(r.name);
    load(201, x, y);
    set_parms(start, hold);
    maxIt = r.maxIt;
    int outcome = ::do_iterations(fitParms, fitStdDev);
    EXPECT_EQ(outcome != FIT_DONE, r.result);
    EXPECT_EQ(outcome == FIT_DONE ? "(none)" : std::string(fit_messages[outcome]) + "\n", r.log);
    for (int i = 0; i < 201; i++) ASSERT_EQ(xOffsetData[i], x[i]) << "point " << i;
    if (r.result == 0) {
      EXPECT_NEAR(fitParms[0], 103, 1e-6);
      EXPECT_NEAR(fitParms[2], 107, 1e-6);
    } else {
      EXPECT_EQ(fitParms[0], start[0]);
      EXPECT_EQ(fitParms[2], start[2]);
    }
  }
}

// --- fits that converge, one or more models of each family

// Knuth's 64-bit linear congruential generator and Box-Muller: the same noise on every
// run and every machine.
struct noise_source {
  uint64_t state;
  double uniform() {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return ((state >> 11) + 0.5) / 9007199254740992.0;
  }
  double normal() {
    double u1 = uniform(), u2 = uniform();
    return sqrt(-2.0 * log(u1)) * cos(6.283185307179586 * u2);
  }
};

struct fit_row {
  const char *name;
  int model;
  double truth[MAX_PARMS];
  int hold[MAX_PARMS];
  double start[MAX_PARMS];  // held entries equal the truth
  double xFirst, xLast;
  int points;
  double sigma;
  int maxIt;
};

// clang-format off
const fit_row fit_rows[] = {
//  name                    model  truth                                   hold
//                                 start
//                                 x range     points  sigma  maxIt
  {"cubic",                  2,  {0.05, -0.4, 1.5, 2},                   {0, 0, 0, 1},
                                 {0.04, -0.3, 1.2, 2},
                                 -3, 8,      40,     0.05,  2000},
  {"T1 relaxation",          4,  {100, 2, 1.5},                          {0, 1, 0},
                                 {90, 2, 1.2},
                                 0.05, 8,    40,     0.5,   2000},
  {"sum of exponentials",    8,  {5, 0.5, 3, 4},                         {0, 0, 0, 0},
                                 {4.5, 0.6, 3.3, 3.5},
                                 0, 12,      80,     0.02,  3000},
  {"pH titration",           9,  {6.5, 1.2, 8.4, 1},                     {0, 0, 0, 1},
                                 {6.8, 1.0, 8.0, 1},
                                 3, 10,      36,     0.05,  2000},
  {"sigmoid",               11,  {0.2, 1.5, 50, 4},                      {0, 0, 0, 0},
                                 {0.25, 1.3, 52, 5},
                                 20, 80,     61,     0.02,  3000},
  {"sinusoid 2",            28,  {2, 1.5, 0.3, 0.5},                     {0, 0, 0, 0},
                                 {1.8, 1.45, 0.35, 0.4},
                                 0, 180,     46,     0.05,  2000},
  {"two Lorentzians",       17,  {103, 0.3, 107, 0.4, -1, 0.5},          {0, 0, 0, 0, 0, 1},
                                 {103.1, 0.31, 106.9, 0.39, -1.05, 0.5},
                                 100, 110,   201,    0.005, 2000},
  {"R2 dimer",               6,  {0.5, 30, 8},                           {0, 0, 0},
                                 {0.6, 27, 9},
                                 0.05, 5,    30,     0.1,   3000},
  {"monomer melting",       13,  {1, 0.002, 0.2, 0.001, 80, 1, 333.15},  {0, 1, 0, 1, 0, 1, 0},
                                 {0.95, 0.002, 0.25, 0.001, 70, 1, 331},
                                 20, 90,     71,     0.005, 3000},
};
// clang-format on

TEST_F(do_iterations, fits_recover_known_parameters) {
  for (const fit_row &r : fit_rows) {
    SCOPED_TRACE(r.name);
    use_model(r.model);
    noise_source noise = {1};
    double x[MAX_POINTS], y[MAX_POINTS];
    for (int i = 0; i < r.points; i++) {
      x[i] = r.xFirst + (r.xLast - r.xFirst) * i / (r.points - 1);
      ASSERT_EQ(fnf(r.model, &y[i], x[i], 0, r.truth), 1);
      y[i] += r.sigma * noise.normal();
    }
    load(r.points, x, y);
    set_parms(r.start, r.hold);
    maxIt = r.maxIt;
    ASSERT_EQ(::do_iterations(fitParms, fitStdDev), 0) << "itCount " << itCount;
    EXPECT_LT(rmse, 1.5 * r.sigma);
    for (int i = 0; i < numParms; i++) {
      if (r.hold[i]) {
        EXPECT_EQ(fitParms[i], r.start[i]) << "held parameter " << i;
        EXPECT_EQ(fitStdDev[i], 0.0) << "held parameter " << i;
      } else {
        EXPECT_GT(fitStdDev[i], 0.0) << "parameter " << i;
        EXPECT_NEAR(fitParms[i], r.truth[i], 4 * fitStdDev[i]) << "parameter " << i;
      }
    }
  }
}

}  // namespace

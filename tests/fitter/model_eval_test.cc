// Unit tests of fnf: every model at chosen points, the refused model numbers and the
// undefined values that the models return rather than refuse; and of fnf_staged, which
// must give fnf's result and value to the bit however it is called.
#include <gtest/gtest.h>
#include <stdint.h>
#include <string.h>

#include <cfloat>
#include <climits>
#include <cmath>

#include "models.h"

namespace {

const double REL = 1e-12;        // relative, against the value in 50-digit arithmetic
const double EXACT = 0.0;        // the very double (or nan when the expected value is nan)
const double NOT_FINITE = -1.0;  // inf or nan, whichever the rounding of the last step gives
const double UNTOUCHED = -4242.125;

struct eval_row {
  const char *name;
  int model;
  double x, x2;
  int n;  // parameters the formula reads; the slots after them hold nan, so a stray read shows
  double p[MAX_PARMS];
  int result;
  double expected;
  double tol;
};

// Where to expect what:
// - Short exact values are known without the formula (pH = pKa gives the mean of Sa and
//   Sah, a Lorentzian with F = 0 at its centre gives -Mo*T1(1), K = 0 leaves the native
//   baseline N, ...), or come from arithmetic that is exact in double.
// - Long values with REL are the model evaluated in 50-digit arithmetic (mpmath) on the
//   same double inputs, with the constants as the doubles the models use: pi = 3.14159265
//   and the factors computed from it, 0.001987, 0.3333333, and so on.
// - Long values with EXACT sit where nearly equal terms cancel (sqrt(K*K + ...) - K with
//   a large K), so the double result is far from the exact one. There the reference is
//   the model's own order of operations carried out in IEEE double (Python floats, the
//   same C library's exp and log); any rearrangement of the formula shows.
// - Rows with result 0 must leave y as it was.
// clang-format off
const eval_row eval_rows[] = {
//  name, model, x, x2, n,
//   params, result, expected, tol
  {"0 straight line", 0, 3, 0, 2, {2.5, -1.25}, 1, 6.25, EXACT},
  {"1 quadratic, exact", 1, 4, 0, 3, {0.5, -3, 7}, 1, 3.0, EXACT},
  {"1 quadratic", 1, 0.3, 0, 3, {1.7, -2.2, 0.9}, 1, 0.39299999999999997802, REL},
  {"2 cubic (x-1)(x-2)(x-3) at 1.5", 2, 1.5, 0, 4, {1, -6, 11, -6}, 1, 0.375, EXACT},
  {"2 cubic", 2, -0.7, 0, 4, {0.3, 1.1, -2.5, 4.2}, 1, 6.3861000000000000651, REL},
  {"3 exponential", 3, 1.3, 0, 3, {2, -0.7, 0.25}, 1, 1.0550484480672719708, REL},
  {"4 T1 relaxation", 4, 0.5, 0, 3, {100, 2, 0.8}, 1, -7.0522857037980521054, REL},
  {"5 T2 relaxation", 5, 0.9, 0, 2, {50, 1.7}, 1, 29.44756548752767077, REL},
  {"6 R2 dimer", 6, 2.5, 0, 3, {0.3, 12, 4}, 1, 10.265765971319509474, REL},
  {"6 R2 dimer, small x", 6, 0.05, 0, 3, {2, 10, 25}, 1, 24.316767251549834002, REL},
  {"6 at x = 0 divides 0 by 0", 6, 0, 0, 3, {4, 2, 5}, 1, NAN, EXACT},
  {"7 R2X dimer", 7, 2.5, 0, 5, {0.3, 12, 4, 0.02, 150}, 1, 10.520444984519756974, REL},
  {"7 R2X dimer, small x", 7, 0.4, 0, 5, {1.5, 20, 6, 0.01, 300}, 1, 10.193224239534985924, REL},
  {"7 at x = 0 divides 0 by 0", 7, 0, 0, 5, {4, 2, 5, 0.01, 300}, 1, NAN, EXACT},
  {"8 sum of decays", 8, 1.1, 0, 4, {3, 0.5, 1.5, 4}, 1, 1.4717676599244542801, REL},
  {"9 at pH = pKa gives the mean of Sa and Sah", 9, 6.5, 0, 4, {6.5, 1.25, 3.75, 1}, 1, 2.5, EXACT},
  {"9 titration", 9, 7.2, 0, 4, {6.8, 1.25, 3.75, 0.9}, 1, 2.009678073926000089, REL},
  {"10 at x = 60 gives p0 - p1 + p2", 10, 60, 0, 3, {1.5, 0.25, 2}, 1, 3.25, EXACT},
  {"10 at 100 degrees", 10, 100, 0, 3, {1.5, 0.25, 2}, 1, 2.6887250235206788546, REL},
  {"11 at x = p2 gives p1/2 + p0", 11, 5, 0, 4, {1, 4, 5, 1.5}, 1, 3.0, EXACT},
  {"11 sigmoid", 11, 6, 0, 4, {1, 4, 5, 1.5}, 1, 3.6430254750632686894, REL},
  {"12 reads five parameters", 12, 3, 0, 5,
   {1.5, 0.4, -0.5, 2, 0.3}, 1, 1.6805621606910292756, REL},
  {"13 monomer melting", 13, 55, 0, 7,
   {1, 0.01, 0.2, 0.002, 100, 1.5, 330}, 1, 0.34204011495571947615, REL},
  {"13 at the midpoint gives the mean of the baselines", 13, 60, 0, 7,
   {1, 0.01, 0.2, 0.002, 100, 1.5, 333.15}, 1, 0.24, REL},
  {"14 dimer melting", 14, 55, 0, 8,
   {1, 0.01, 0.2, 0.002, 100, 1.5, 330, 0.25}, 1, 0.31754549225374950227, REL},
  {"14 at the midpoint f = 0.5 whatever p7", 14, 60, 0, 8,
   {1, 0.01, 0.2, 0.002, 100, 1.5, 333.15, 0.25}, 1, 0.24, REL},
  {"14 far above the midpoint", 14, 95, 0, 8,
   {1, 0.01, 0.2, 0.002, 100, 1.5, 330, 0.25}, 1, 0.010000000000000009, EXACT},
  {"15 chemical shift", 15, 1.2, 0.8, 2, {2, 0.5}, 1, 1.1844781629674969967, REL},
  {"15 with x2 = 0 and s > 0: 0/0", 15, 1, 0, 2, {1.5, 3}, 1, NAN, EXACT},
  {"15 with x2 = 0 and s < 0", 15, 1, 0, 2, {1.5, -3}, 1, -INFINITY, EXACT},
  {"16 chemical shift, the 240-degree root", 16, 4.2, 2.8, 4,
   {0.9, 0.6, 3, 8.61}, 1, 0.9591101133998871973, REL},
  {"16 with x2 = 0 divides by zero last", 16, 4.2, 0, 4,
   {0.9, 0.6, 3, 8.61}, 1, INFINITY, NOT_FINITE},
  {"16 with D = 0 is nan, not refused", 16, 1.5, 0.7, 4, {1, 0.5, 1, 2}, 1, NAN, EXACT},
  {"16 refuses P > 0", 16, 4.5, 0.2, 4, {-2.8, 1.65, 2.6, 3.84}, 0, 0.0, EXACT},
  {"16 refuses t > 1", 16, 1.2, 1.2, 4, {-1.7, 1.41, -1.3, 0.26}, 0, 0.0, EXACT},
  {"16 refuses t < -1", 16, 2.2, -0.1, 4, {1, -1.7, 1, -3.5}, 0, 0.0, EXACT},
  {"17 F = 0 at x = p0 gives -Mo*T1(1)", 17, 3, 0, 6, {3, 0.25, 5, 0.3, 8, 0}, 1, -2.0, EXACT},
  {"17 two Lorentzians", 17, 3.4, 0, 6,
   {3, 0.25, 3.5, 0.3, 8, 0.6}, 1, -0.04332211765192791395, REL},
  {"18 two Gaussians", 18, 1.3, 0, 6, {1, 0.5, 2, 0.7, 3, 0.4}, 1, 0.96310833196170243145, REL},
  {"19 first shape is 0 at x = p0", 19, 1, 0, 6,
   {1, 0.5, 1.2, 0.7, 3, 0.4}, 1, 0.41657017666046800527, REL},
  {"19 dispersion", 19, 1.3, 0, 6, {1, 0.5, 1.2, 0.7, 3, 0.4}, 1, 0.43911849009187095163, REL},
  {"20 denaturation at K = 1", 20, 2.5, 0, 8,
   {1, 0.05, 0.2, 0.01, 5, 2, 1, 2.5}, 1, 0.49940717657224910547, REL},
  {"20 K well below 1", 20, 0.5, 0, 8,
   {1, 0.05, 0.2, 0.01, 5, 2, 1, 2.5}, 1, 0.70044920854329851237, REL},
  {"20 K well above 1", 20, 8, 0, 8,
   {1, 0.05, 0.2, 0.01, 5, 2, 1, 2.5}, 1, 0.13598385724108278536, REL},
  {"21 monomer/trimer", 21, 2.5, 0, 8,
   {1, 0.05, 0.2, 0.01, 5, 2, 1, 2.5}, 1, 0.098553940524101620985, REL},
  {"21 monomer/trimer, second equilibrium", 21, 3.7, 0, 8,
   {4, 1.5, 0.2, 0.7, 5, 2, 0.9, 2.5}, 1, 0.30647600587564547721, REL},
  {"22 heat capacity, monomer", 22, 325, 0, 8,
   {0.01, 2, 2e-05, 0.012, 2.5, 300, 330, 1e-05}, 1, 17.347132120806666553, REL},
  {"22 at x = Tm gives N + p5^2/(4 R x^2)", 22, 330, 0, 8,
   {0.01, 2, 2e-05, 0.012, 2.5, 300, 330, 1e-05}, 1, 31.240042849162121771, REL},
  {"22 at x = 0 is nan", 22, 0, 0, 8, {0.01, 2, 2e-05, 0.012, 2.5, 300, 330, 1e-05}, 1, NAN, EXACT},
  {"23 heat capacity, dimer", 23, 325, 0, 9,
   {0.01, 2, 2e-05, 0.012, 2.5, 300, 330, 0.6, 1e-05}, 1, 6.7071162429817802182, REL},
  {"23 above Tm", 23, 335, 0, 9,
   {0.01, 2, 2e-05, 0.012, 2.5, 300, 330, 0.6, 1e-05}, 1, 124.06709325287136811, REL},
  {"23 large K", 23, 320, 0, 9,
   {0.01, 2, -0.0001, 0.02, 3, 300, 330, 0.001, 5e-05}, 1, 10.32, EXACT},
  {"23 at x = 0 is nan", 23, 0, 0, 9,
   {0.01, 2, 2e-05, 0.012, 2.5, 300, 330, 0.6, 1e-05}, 1, NAN, EXACT},
  {"24 heat capacity, trimer, K near 0.5", 24, 330, 0, 9,
   {0.01, 2, 2e-05, 0.012, 2.5, -0.008, 330, 0.3, 1e-05}, 1, 8.0965932588345800027, REL},
  {"24 off Tm", 24, 331, 0, 9,
   {0.01, 2, 2e-05, 0.01, 2.001, -0.008, 330, 0.3, 2e-05}, 1, 7.5019643373996708441, REL},
  {"24 with K = 0 gives N exactly", 24, 300, 0, 9,
   {0.5, 10, 0.07, 0.6, 12, 1000000, 300, 0.3, 0.0625}, 1, 5785.0, EXACT},
  {"24 at x = 0 is nan", 24, 0, 0, 9,
   {0.01, 2, 2e-05, 0.012, 2.5, -0.008, 330, 0.3, 1e-05}, 1, NAN, EXACT},
  {"25 sigmoid dimer", 25, 50, 0, 8,
   {2, -0.01, 0.5, 0.003, 45000, -1000, 0.5, 300}, 1, 1.4087606982199240878, REL},
  {"25 large K", 25, 50, 0, 8,
   {2, -0.01, 0.5, 0.003, 45000, -2100, 0.3, 300}, 1, 1.500000540415446, EXACT},
  {"26 sum of rises", 26, 1.1, 0, 4, {3, 0.5, 1.5, 4}, 1, 3.0282323400755457199, REL},
  {"27 single crystal", 27, 0.7, 0, 3, {1, 0.5, -0.3}, 1, 0.78934865245358247434, REL},
  {"28 sinusoid", 28, 20, 0, 4, {1.5, 2, 0.3, -0.5}, 1, -0.6877072230703255687, REL},
  {"29 is refused", 29, 1, 0, 0, {}, 0, 0.0, EXACT},
  {"49 is refused", 49, 1, 0, 0, {}, 0, 0.0, EXACT},
  {"-1 is refused", -1, 1, 0, 0, {}, 0, 0.0, EXACT},
  {"INT_MIN is refused", INT_MIN, 1, 0, 0, {}, 0, 0.0, EXACT},
  {"INT_MAX is refused", INT_MAX, 1, 0, 0, {}, 0, 0.0, EXACT},
};
// clang-format on

TEST(fnf, evaluates_every_model_at_chosen_points) {
  for (const eval_row &row : eval_rows) {
    SCOPED_TRACE(row.name);
    double p[MAX_PARMS];
    for (int i = 0; i < MAX_PARMS; i++) p[i] = i < row.n ? row.p[i] : NAN;
    double y = UNTOUCHED;
    ASSERT_EQ(fnf(row.model, &y, row.x, row.x2, p), row.result);
    if (row.result == 0) {
      EXPECT_EQ(y, UNTOUCHED);
    } else if (row.tol == NOT_FINITE) {
      EXPECT_FALSE(std::isfinite(y)) << y;
    } else if (std::isnan(row.expected)) {
      EXPECT_TRUE(std::isnan(y)) << y;
    } else if (row.tol == EXACT) {
      EXPECT_EQ(y, row.expected);
    } else {
      EXPECT_NEAR(y, row.expected, row.tol * std::fabs(row.expected));
    }
  }
}

// Models 10 and 28 measure the angle from 60 degrees, folded: x and 120 - x agree to the bit.
TEST(fnf, angle_folds_about_60_degrees) {
  const double p[MAX_PARMS] = {1.5, 0.7, 0.3, -0.5};
  const double pairs[][2] = {{0, 120}, {15, 105}, {-30, 150}};
  for (int model : {10, 28}) {
    for (const auto &xs : pairs) {
      SCOPED_TRACE(testing::Message() << "model " << model << " at " << xs[0]);
      double y0 = 0, y1 = 1;
      ASSERT_EQ(fnf(model, &y0, xs[0], 0, p), 1);
      ASSERT_EQ(fnf(model, &y1, xs[1], 0, p), 1);
      EXPECT_EQ(y0, y1);
    }
  }
}

// Any nan equals any nan: the reports print every nan alike. Otherwise the very bits, so
// that 0 and -0 differ.
bool same_double(double a, double b) {
  return (std::isnan(a) && std::isnan(b)) || memcmp(&a, &b, sizeof a) == 0;
}

// Knuth's 64-bit linear congruential generator: the same cases on every run.
struct case_source {
  uint64_t state;
  double uniform() {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return ((state >> 11) + 0.5) / 9007199254740992.0;
  }
  int below(int n) { return (int)(uniform() * n); }
  // Mostly near v, sometimes a value that no formula expects.
  double near(double v) {
    static const double special[] = {0.0,    -0.0,    INFINITY,     -INFINITY,     NAN,
                                     1.0,    -1.0,    DBL_MAX,      -DBL_MAX,      1e300,
                                     -1e300, DBL_MIN, DBL_TRUE_MIN, -DBL_TRUE_MIN, 1e-300};
    if (uniform() < 0.1) return special[below(sizeof special / sizeof special[0])];
    double u = v * (1.0 + 0.5 * (uniform() - 0.5)) + 1e-3 * (uniform() - 0.5);
    return uniform() < 0.05 ? -u : u;
  }
};

// fnf_staged against fnf over random points and parameters around each row of the table
// above (every model, and the refused numbers): at a new point with every input new; at
// each point after it with only x and x2 new, in place, as the derivative pass goes from
// point to point; and at each parameter stepped, as the pass steps it or to any other
// value, from the point's stage values.
TEST(fnf_staged, gives_fnf_result_and_value_to_the_bit) {
  case_source rng = {42};
  const double UNSET_Y = -4242.125;
  long compared = 0;
  for (const eval_row &row : eval_rows) {
    SCOPED_TRACE(row.name);
    for (int trial = 0; trial < 400; trial++) {
      double p[MAX_PARMS];
      for (int i = 0; i < MAX_PARMS; i++) p[i] = rng.near(i < row.n ? row.p[i] : 1.0);
      double x = rng.near(row.x), x2 = rng.near(row.x2);
      stage_values base, step;
      unsigned changed = ALL_INPUTS;
      for (int point = 0; point < 3; point++) {
        double yf = UNSET_Y, ys = UNSET_Y;
        int rf = fnf(row.model, &yf, x, x2, p);
        int rs = fnf_staged(row.model, changed, &ys, x, x2, p, &base, &base);
        ASSERT_EQ(rs, rf) << "model " << row.model << " at x = " << x << ", point " << point;
        ASSERT_TRUE(same_double(ys, yf)) << ys << " against " << yf;
        compared++;
        if (rf == 0) break;  // a refused point leaves no stage values to reuse
        for (int j = 0; j < MAX_PARMS; j++) {
          double keep = p[j];
          for (int how = 0; how < 2; how++) {
            p[j] = how == 0 ? keep * 1.02 + 1e-9 : rng.near(keep);
            yf = ys = UNSET_Y;
            rf = fnf(row.model, &yf, x, x2, p);
            rs = fnf_staged(row.model, 1u << j, &ys, x, x2, p, &base, &step);
            ASSERT_EQ(rs, rf) << "model " << row.model << ", parameter " << j << " stepped from "
                              << keep << " to " << p[j];
            ASSERT_TRUE(same_double(ys, yf))
                << ys << " against " << yf << ", parameter " << j << " at " << p[j];
            compared++;
          }
          p[j] = keep;
        }
        changed = PX;
        x = rng.near(x);
        x2 = rng.near(x2);
      }
    }
  }
  EXPECT_GT(compared, 1000000);
}

}  // namespace

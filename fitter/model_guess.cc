// Starting values from the data, one guess per model, found through one table indexed
// by the model number as the catalogue is; and what the models' physics allows of a
// result, and which parameters the data cannot separate. The guesses themselves are in
// the files of their families (guess_kit.h lists them).
#include "model_guess.h"

#include <math.h>

#include "guess_kit.h"

namespace guess {

typedef void guess_fn(void);

struct guess_row {
  int no;
  guess_fn *guess;
};

// One row per model number, in order: row i is model i.
// clang-format off
static const guess_row guess_rows[LAST_MODEL + 1] = {
  {  0, guess_linear},
  {  1, guess_linear},
  {  2, guess_linear},
  {  3, guess_exponential},
  {  4, guess_t1},
  {  5, guess_t2},
  {  6, guess_r2_dimer},
  {  7, guess_r2x_dimer},
  {  8, guess_two_times},
  {  9, guess_titration},
  { 10, guess_linear},
  { 11, guess_sigmoid},
  { 12, NULL},  // nothing is fitted
  { 13, guess_melt},
  { 14, guess_melt},
  { 15, guess_shift_xy1},
  { 16, guess_shift_xy2},
  { 17, guess_lines},
  { 18, guess_lines},
  { 19, guess_lines},
  { 20, guess_denature_trimer},
  { 21, guess_denature_mono_trimer},
  { 22, guess_heat_cap},
  { 23, guess_heat_cap},
  { 24, guess_heat_cap_trimer},
  { 25, guess_dimer_sigmoid},
  { 26, guess_two_times},
  { 27, guess_linear},
  { 28, guess_sinusoid},
};
// clang-format on

}  // namespace guess

int guess_starts(int m, const guess_data *d, const double *knownValues, const int *heldFlags,
                 guess_list *out) {
  out->n = 0;
  out->floor = HUGE_VAL;
  if (m < 0 || m > LAST_MODEL || guess::guess_rows[m].guess == NULL || d->n < 2) return 0;
  if (!guess::begin_guess(m, d, knownValues, heldFlags, out)) return 0;
  guess::guess_rows[m].guess();
  guess::end_guess();
  return out->n;
}

// The signs that the models' physics gives their parameters: times, dissociation
// constants, m values and enthalpies are positive, an exchange term is not negative.
// A parameter of 0 or less where the row says "positive", or below 0 where it says
// "not negative", is implausible; -1 ends a list.
struct plausible_row {
  int model;
  int positive[3];
  int notNegative;  // a product p[j]*p[j+1], or -1
};

// clang-format off
static const plausible_row plausible_rows[] = {
//  model  positive       product not negative
  {  4,    {2, -1},       -1},
  {  5,    {1, -1},       -1},
  {  7,    {0, -1},        3},  // TAU*DELTASQU
  {  8,    {1, 3, -1},    -1},
  { 13,    {4, -1},       -1},
  { 14,    {4, -1},       -1},
  { 15,    {1, -1},       -1},
  { 16,    {1, 3, -1},    -1},
  { 20,    {5, -1},       -1},
  { 21,    {5, 1, -1},    -1},
  { 22,    {5, -1},       -1},
  { 23,    {5, -1},       -1},
  { 26,    {1, 3, -1},    -1},
};
// clang-format on

int plausible_result(int m, const guess_data *d, const double *p) {
  for (const plausible_row &row : plausible_rows) {
    if (row.model != m) continue;
    for (int k = 0; k < 3 && row.positive[k] >= 0; k++) {
      if (!(p[row.positive[k]] > 0.0)) return 0;
    }
    if (row.notNegative >= 0 && p[row.notNegative] * p[row.notNegative + 1] < 0.0) return 0;
  }
  // A melt's or a peak's Tm, and a line's centre, lie near the x measured: the other root
  // of the free energy, or a line far outside, is a mirror that fits as well.
  int at = -1;
  double shift = 0.0;
  if (m == 13 || m == 14) at = 6, shift = 273.15;
  if (m == 22 || m == 23) at = 6;
  if (m >= 17 && m <= 19) at = 0;
  if (at < 0) return 1;
  double lo = HUGE_VAL, hi = -HUGE_VAL;
  for (int i = 0; i < d->n; i++) {
    if (d->x[i] < lo) lo = d->x[i];
    if (d->x[i] > hi) hi = d->x[i];
  }
  double margin = at == 0 ? 0.0 : 0.5 * (hi - lo);  // a line outside the x measured is lost
  for (int k = 0; k < (m >= 17 && m <= 19 ? 2 : 1); k++) {
    double t = p[at + 2 * k] - shift;
    if (!(t > lo - margin && t < hi + margin)) return 0;
  }
  return 1;
}

// --- what the data cannot separate

struct unseparated_row {
  int model;
  int parm;
  int other;  // a parameter whose hold does instead, or -1
  const char *why;
};

// clang-format off
static const unseparated_row unseparated_rows[] = {
//  model parm other  why
  {  7,   3,   4,   "TAU and DELTASQU enter only as their product"},
  { 14,   7,  -1,   "the concentration changes the curve only through rounding"},
  { 20,   7,  -1,   "only A4/RT and A5/RT enter the model"},
  { 20,   6,  -1,   "the concentration trades off exactly against A4"},
  { 21,   7,  -1,   "only A4/RT, A5/RT, A0/RT and A1/RT enter the model"},
  { 21,   6,  -1,   "the concentration trades off exactly against A4"},
  { 24,   7,  -1,   "the concentration changes the curve only through rounding"},
  { 24,   5,   6,   "A5 and A6 move the transition together"},
  { 25,   7,  -1,   "Temp only scales a and b"},
  { 25,   6,  -1,   "the concentration trades off exactly against a"},
};
// clang-format on

int unseparated_parm(int m, const int *heldFlags, int *other, const char **why) {
  for (const unseparated_row &row : unseparated_rows) {
    if (row.model != m || heldFlags[row.parm] == 1) continue;
    if (row.other >= 0 && heldFlags[row.other] == 1) continue;
    *other = row.other;
    *why = row.why;
    return row.parm;
  }
  return -1;
}

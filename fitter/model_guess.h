// Starting values from a dataset's own data: what each model's curve tells of its
// parameters, kept beside the catalogue and found, as it is, by the model number.
// Nothing here fits: the guesses are candidates for the fit, which decides.
#ifndef VELQUIN_MODEL_GUESS_H
#define VELQUIN_MODEL_GUESS_H

#include "capacities.h"

enum { MAX_GUESSES = 8 };

// The points a guess reads: x after dataOffset, y, and x2 (0 for two-column data).
struct guess_data {
  const double *x;
  const double *y;
  const double *x2;
  int n;
};

// Candidate starts, each a whole parameter vector: every value finite, and each held
// parameter at its held value. floor is the lowest RMSE over the points that the guess
// met on its way, at the parameters in lowest (floor HUGE_VAL when none): a fit that
// ends there has found what the guess knows of.
struct guess_list {
  int n;
  double start[MAX_GUESSES][MAX_PARMS];
  double floor;
  double lowest[MAX_PARMS];
};

// Fills *out with the guesses for model from the points of d. A parameter whose held flag
// is 1 is taken as known at its value in known; the others' values in known are not read.
// Returns out->n: 0 for a model without a guess (12, a number without a formula) or data
// that give none.
int guess_starts(int model, const guess_data *d, const double *known, const int *held,
                 guess_list *out);

// Whether the fitted parameters p of model are a result the points can mean: for the
// melting and heat-capacity models a positive enthalpy at a Tm near the temperatures
// measured, and not the mirror solution that the other root of the free energy gives.
// 1 for every other model.
int plausible_result(int model, const guess_data *d, const double *p);

// A parameter of model that the data cannot separate from others, free in held: its index
// (the first such), with the index of a parameter whose hold would do instead in *other
// (-1 when only its own hold does) and the reason in *why. Returns -1 when every such
// parameter is held, and the guesses can work.
int unseparated_parm(int model, const int *held, int *other, const char **why);

#endif  // VELQUIN_MODEL_GUESS_H

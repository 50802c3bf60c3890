// The model library: the catalogue that describes the built-in models to the reports,
// and fnf, which computes them. The two share the model numbering and nothing else.
#ifndef VELQUIN_MODELS_H
#define VELQUIN_MODELS_H

#include "capacities.h"

// The models take pi as 3.14159265, not the full double: every result, and every
// stored report, depends on this exact value and on the constants computed from it.
static const double PI = 3.14159265;

// Catalogue rows, indexed by model number; an empty row is all null or 0.
extern const char *fitLabel[CATALOGUE_ROWS];
extern const char *fitNote[CATALOGUE_ROWS];
extern int fitParmNum[CATALOGUE_ROWS];
extern const char *fitParmStr[CATALOGUE_ROWS][MAX_PARMS];

// Stores every catalogue row; the head of init_vars, before anything reads the tables.
void fill_catalogue(void);

// Evaluates model at (x, x2) with params. Returns 1 with the value in *y, or 0 with *y
// untouched when the model number is outside 0 to LAST_MODEL or when model 16's cubic
// has no admissible root. Undefined arithmetic is returned as inf or nan, with 1.
int fnf(int model, double *y, double x, double x2, const double *params);

// Staged evaluation, for the derivative pass, which evaluates a model again and again at
// inputs that differ in one place. The costly parts of a value (exponentials, logarithms,
// powers, angles) are its stage values; each reads some of the inputs, named as bits: P0
// to P9 for params[0] to params[9], PX for the point (x, x2).
enum : unsigned {
  P0 = 1u << 0,
  P1 = 1u << 1,
  P2 = 1u << 2,
  P3 = 1u << 3,
  P4 = 1u << 4,
  P5 = 1u << 5,
  P6 = 1u << 6,
  P7 = 1u << 7,
  P8 = 1u << 8,
  P9 = 1u << 9,
  PX = 1u << MAX_PARMS,
  ALL_INPUTS = (PX << 1) - 1,
};
enum { MAX_STAGES = 5 };
struct stage_values {
  double v[MAX_STAGES];
};

// fnf, keeping the value's stage values in *s. kept holds those of an earlier evaluation
// of the same model that returned 1 at inputs differing from these only in the ones named
// by changed: a stage that reads none of them is copied from there, not computed. kept
// may be s; with changed ALL_INPUTS it is not read. The result, and every double of the
// value, is fnf's.
int fnf_staged(int model, unsigned changed, double *y, double x, double x2, const double *params,
               const stage_values *kept, stage_values *s);

// The thermodynamic models, which fnf dispatches to; each always has a value. Each stage
// value v[i] is computed again when one of the inputs that it reads is in changed, and
// otherwise copied from kept[i]; with every input changed, kept is not read.
typedef double thermo_model(unsigned changed, double x, const double *p, const double *kept,
                            double *v);
thermo_model melt_monomer;          // 13
thermo_model melt_dimer;            // 14
thermo_model denature_trimer;       // 20
thermo_model denature_mono_trimer;  // 21
thermo_model heat_cap_monomer;      // 22
thermo_model heat_cap_dimer;        // 23
thermo_model heat_cap_trimer;       // 24
thermo_model sigmoid_dimer;         // 25

#endif  // VELQUIN_MODELS_H

// The model library: the catalogue that describes the built-in models to the reports,
// and fnf, which computes them. The two share the model numbering and nothing else.
#ifndef VELQUIN_MODELS_H
#define VELQUIN_MODELS_H

#include "run_state.h"

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

// The thermodynamic models, which fnf dispatches to; each always has a value.
double melt_monomer(double x, const double *p);          // model 13
double melt_dimer(double x, const double *p);            // model 14
double denature_trimer(double x, const double *p);       // model 20
double denature_mono_trimer(double x, const double *p);  // model 21
double heat_cap_monomer(double x, const double *p);      // model 22
double heat_cap_dimer(double x, const double *p);        // model 23
double heat_cap_trimer(double x, const double *p);       // model 24
double sigmoid_dimer(double x, const double *p);         // model 25

#endif  // VELQUIN_MODELS_H

// What the guesses of every model share: the guess under way (its points, model, holds
// and the starts found), the model's values and least squares over the points, and the
// searches over a model's nonlinear parameters. Only the guesses' own files include it;
// model_guess.h is the guesses' face to the rest of the fitter.
#ifndef VELQUIN_GUESS_KIT_H
#define VELQUIN_GUESS_KIT_H

#include "model_guess.h"

namespace guess {

enum {
  MAX_COLS = 6,    // parameters solved together by least squares
  MAX_COORDS = 4,  // coordinates of a search
  KEPT = 3,        // distinct minima that a grid keeps
};

// --- the guess under way, set by begin_guess

// Its points, model and holds, and where its starts go.
extern const guess_data *pts;
extern int model;
extern int parmCount;
extern double known[MAX_PARMS];
extern int held[MAX_PARMS];
extern guess_list *found;

extern double col[MAX_COLS][MAX_POINTS];  // the columns of the linear parameters
extern double tgt[MAX_POINTS];            // y less the share of the held linear parameters
extern double val[MAX_POINTS];            // the model at every point, for model_rss and others
extern int order[MAX_POINTS];             // the points by ascending x

// What the points span: xPosLo is the smallest positive x (a thousandth of the span when
// no x is positive), dxTypical the median distance between neighbouring x.
extern double xLo, xHi, xSpan, xPosLo, dxTypical;

// Starts the guess of model m from the points of d, with known and held as guess_starts
// takes them and its starts going into out (out->n 0 already). Returns 0 when x or y is
// not finite or x has no span.
int begin_guess(int m, const guess_data *d, const double *knownValues, const int *heldFlags,
                guess_list *out);

// Ends it: the lowest RSS that it met, as an RMSE, and where, into out->floor and
// out->lowest.
void end_guess(void);

// --- the model's values and least squares

// The model at every point with parameters p, into out. Returns 0 when it has no finite
// value at some point.
int model_column(const double *p, double *out);

// Sum of squared residuals of the model at p, HUGE_VAL where it has no value.
double model_rss(const double *p);

// Least squares of tgt on col[0..m-1], the columns scaled to unit length so that a
// parameter in mM and one in ppm weigh alike. Returns the residual sum of squares with
// the coefficients in coef, or HUGE_VAL when the columns are not finite or nearly
// depend on each other.
double least_squares(int m, double *coef);

// Solves the parameters lin[0..m-1] of p, in which the model is linear with no other
// term, by least squares; a held one keeps its value. The other parameters are read
// from p. Returns the RSS, or HUGE_VAL.
double solve_plain(double *p, int m, const int *lin);

// --- the starts found

// The parameter vector a guess starts from: held values in place, the rest 0.
void base_parms(double *p);

// Adds p as a start: held parameters at their values, every value finite, no start twice.
void add_start(const double *p);

// Notes the RSS of the model at p, for the floor.
void saw_rss(double rss, const double *p);

// The free parameters of p times factor. A fit that starts at the least-squares optimum of
// a linear model cannot end below its start's RMSE, so such a start is moved off first.
void add_scaled(const double *p, double factor);

// --- searches over nonlinear coordinates

// A grid over k coordinates: steps[j] values from lo[j] to hi[j] (one step: lo alone, and
// the coordinate is not refined either).
struct search_space {
  int k;
  double lo[MAX_COORDS];
  double hi[MAX_COORDS];
  int steps[MAX_COORDS];
};

// Places the coordinates q into p and solves the rest of p: the RSS, or HUGE_VAL.
typedef double solve_fn(const double *q, double *p);

struct search_point {
  double rss;
  double q[MAX_COORDS];
  int at[MAX_COORDS];  // grid indices
};

// The distance between neighbouring values of coordinate j, 0 for one step.
double spacing(const search_space *s, int j);

// Keeps the KEPT best grid points that lie at least two grid steps apart in some
// coordinate, best first.
void keep_point(search_point *kept, int *nKept, const search_point *pt);

// Every point of the grid s, each solved from base, the best kept in kept.
void grid_search(const search_space *s, solve_fn *solve, const double *base, search_point *kept,
                 int *nKept);

// Pattern search from pt: each coordinate moved a step either way while the RSS falls,
// the steps halved when none does. Leaves the best in pt.
void refine(const search_space *s, solve_fn *solve, const double *base, search_point *pt);

// Adds the start that the coordinates q give.
void add_point(solve_fn *solve, const double *base, const double *q);

// The end of a search: each point kept from the grid refined. A fit that starts at its own
// optimum cannot end below its start's RMSE, so each refined point is added moved back by
// offset grid steps in every coordinate, a start from which the fit has a way to walk;
// the best is added moved forward as well.
void finish_search(const search_space *s, solve_fn *solve, const double *base, search_point *kept,
                   int nKept, double offset);

// The grid, then its end.
void run_search(const search_space *s, solve_fn *solve, const double *base, double offset);

// A coordinate that a held parameter fixes: one step, at its value.
void fix_coord(search_space *s, int j, double value);

// The log grid of a time or a constant on the scale of positive x: from a tenth of the
// smallest positive x to ten times the largest.
void time_coord(search_space *s, int j, int steps);

// The midpoint grid of a transition: across the x span.
void midpoint_coord(search_space *s, int j, int steps);

// Models 5 (q0 = ln T2), 6 and 15 (q0 = ln Kd): one constant, parameter parm, on a log
// grid of steps on the scale of x, the linear ones lin0 and lin1 (-1: none) by least
// squares.
void search_scale(int parm, int lin0, int lin1, int steps);

// --- the guesses, one per model or family, as the table of model_guess.cc lists them

void guess_linear(void);                // 0, 1, 2, 10, 27  guess_general.cc
void guess_exponential(void);           // 3
void guess_sigmoid(void);               // 11
void guess_sinusoid(void);              // 28
void guess_t1(void);                    // 4                guess_relax.cc
void guess_t2(void);                    // 5
void guess_two_times(void);             // 8, 26
void guess_r2_dimer(void);              // 6                guess_binding.cc
void guess_r2x_dimer(void);             // 7
void guess_titration(void);             // 9
void guess_shift_xy1(void);             // 15
void guess_shift_xy2(void);             // 16
void guess_melt(void);                  // 13, 14           guess_thermo.cc
void guess_denature_trimer(void);       // 20
void guess_denature_mono_trimer(void);  // 21
void guess_dimer_sigmoid(void);         // 25
void guess_lines(void);                 // 17, 18, 19       guess_lines.cc
void guess_heat_cap(void);              // 22, 23           guess_heat_cap.cc
void guess_heat_cap_trimer(void);       // 24

}  // namespace guess

#endif  // VELQUIN_GUESS_KIT_H

// Fitting engine: a Gauss-Newton iteration whose every step is cut to a tenth.
// Never prints and writes no file: failures go back to the caller as results.
#ifndef VELQUIN_FIT_ENGINE_H
#define VELQUIN_FIT_ENGINE_H

// Root-mean-square residual of the loaded data (fitFunc, numParms, numData, xOffsetData,
// tData, yData) at params, or -1.0 when a parameter holds the unset marker or the model
// cannot be evaluated at some point. Writes no global.
double calc_rmse(const double *params);

// Builds the engine's normal equations at params from forward-difference derivatives in
// the free parameters (holdConstFlag) and adds the squared residuals to its running sum.
// Returns 1, or 0 when the model cannot be evaluated; params holds its entry values
// again in both cases.
int calc_deriv(double *params);

// Moves the free parameters by a tenth of the Gauss-Newton step. Returns 1, or 0 with
// params untouched when the normal matrix is singular.
int set_new_parms(double *params);

// One iteration: step (from the second on), derivatives, standard error, and the RMSE
// stored in rmse. Returns 1 to go on, 0 to stop the fit as failed.
int one_iteration(double *params);

// How a fit ends: FIT_DONE, or one of the two failures, whose message for the run log is
// fit_messages[outcome] (NULL for FIT_DONE).
enum { FIT_DONE = 0, FIT_NO_GRAPH = 1, FIT_NO_CONVERGE = 2 };
extern const char *const fit_messages[3];

// Which stop ended the last fit, finer than its outcome, for a reader who asks why a fit
// failed: fitStop is one of these; fitStopParm the parameter whose column made the normal
// matrix singular (STOP_SINGULAR); fitStartRmse the RMSE at the starting values (-1.0 when
// the model has none there).
enum {
  STOP_CONVERGED = 0,       // converged below the starting RMSE, or nothing was free
  STOP_NO_START_VALUE,      // the model has no value at the starting values
  STOP_NO_VALUE,            // the model has no value at the parameters an iteration reached
  STOP_LIMIT_NOT_POSITIVE,  // the iteration limit is 0 or negative
  STOP_LIMIT,               // the iteration limit was reached
  STOP_SINGULAR,            // the normal matrix was singular
  STOP_DIVERGED,            // the RMSE rose a hundredfold in one iteration
  STOP_NOT_BETTER,          // converged, but no better than the starting values
};
extern int fitStop;
extern int fitStopParm;
extern double fitStartRmse;

// Runs the whole fit on params within maxIt iterations, setting itCount and rmse, and
// writes the standard deviations of a successful one into stdDev. xOffsetData is shifted
// for models 17 to 19 only while the fit runs. Returns FIT_DONE for a converged fit that
// beat the starting RMSE, or when nothing is free; otherwise the failure met, after the
// starting values have been restored (once an iteration has counted).
int do_iterations(double *params, double *stdDev);

// Zeroes the engine's working state, as at process start.
void reset_engine(void);

#endif  // VELQUIN_FIT_ENGINE_H

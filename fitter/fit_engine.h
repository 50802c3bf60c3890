// Fitting engine: a Gauss-Newton iteration whose every step is cut to a tenth.
// Never prints: failures go back to the caller as results, and a failed fit leaves
// one message in the run log.
#ifndef VELQUIN_FIT_ENGINE_H
#define VELQUIN_FIT_ENGINE_H

// Root-mean-square residual of the loaded data at params, or -1.0 when a parameter
// holds the unset marker or the model cannot be evaluated at some point.
double calc_rmse(const double *params);

// Builds the normal equations at params from forward-difference derivatives and adds
// the squared residuals to the running sum. Returns 1, or 0 when the model cannot be
// evaluated; params holds its entry values again in both cases.
int calc_deriv(double *params);

// Moves the free parameters by a tenth of the Gauss-Newton step. Returns 1, or 0 with
// params untouched when the normal matrix is singular.
int set_new_parms(double *params);

// One iteration: step (from the second on), derivatives, standard error, RMSE.
// Returns 1 to go on, 0 to stop the fit as failed.
int one_iteration(double *params);

// Runs the whole fit on params and writes the standard deviations of a successful
// one into stdDev. Returns 0 for a converged fit that beat the starting RMSE, or when
// nothing is free; 1 for a failure, after the starting values have been restored
// (once an iteration has counted) and the reason passed to write_log_msg.
int do_iterations(double *params, double *stdDev);

#endif  // VELQUIN_FIT_ENGINE_H

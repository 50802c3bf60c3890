// Fits from guessed starts: the model's guesses and the command line's start, ranked by
// their RMSE over the loaded data. The best is fitted, and the next after a failure; a fit
// is trusted when it ends near the lowest RMSE that the guesses met, and otherwise the fit
// from that lowest point is reported. Whichever is kept is exactly the fit do_iterations
// makes from its one start.
#ifndef VELQUIN_GUESS_FIT_H
#define VELQUIN_GUESS_FIT_H

// Fits the loaded dataset (fitFunc, numParms, holdConstFlag, the points, maxIt) from the
// best of the model's guesses and the start in params: the command line's values, held
// ones included, 0 where none was given. Leaves params, stdDev, itCount, rmse, xOffsetData
// and the engine's fitStop, fitStopParm and fitStartRmse as do_iterations(start, stdDev)
// leaves them from a fresh run state, and the start in start. Returns do_iterations's outcome for
// that fit.
int fit_from_guesses(double *params, double *stdDev, double *start);

#endif  // VELQUIN_GUESS_FIT_H

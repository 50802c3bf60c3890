// Fits from guessed starts. Every trial is do_iterations from a fresh engine and the
// points as loaded, so the fit kept is the one velquin makes from its start, to the bit;
// nothing is refitted from a result, since a second fit from a converged one must end
// below that result's RMSE and mostly cannot.
#include "guess_fit.h"

#include <math.h>
#include <string.h>

#include "fit_engine.h"
#include "model_guess.h"
#include "run_state.h"

enum {
  MAX_CANDIDATES = MAX_GUESSES + 1,
  MAX_TRIALS = 2,      // candidates fitted: the best, and the next when that one fails
  SCREEN_SHARE = 4,    // a candidate's trial runs a quarter of the iteration limit,
  SCREEN_LEAST = 200,  // or this many when that is less
};

// How far above the floor, the lowest RMSE the guesses met, a fit may end and still be
// trusted: the excess of its RSS over the floor's, in units of the noise variance. A fit
// four standard deviations off in one parameter adds 16.
static const double NEAR_SPREAD = 16.0;

struct candidate {
  double start[MAX_PARMS];
  double rmse;  // over the points at the start; HUGE_VAL where the model has no value
};

struct trial {
  int outcome;
  int finished;  // 0: stopped by a trial's lower iteration limit, not the fit's own end
  int plausible;
  int itCount;
  double rmse;
  int stop, stopParm;  // the engine's fitStop and fitStopParm, which the table's reason reads
  double startRmse;    // and its fitStartRmse
  double start[MAX_PARMS];
  double params[MAX_PARMS];
  double stdDev[MAX_PARMS];
};

static candidate candidates[MAX_CANDIDATES];
static trial kept;                  // the fit to report
static double loadedX[MAX_POINTS];  // x as loaded: every trial starts from it
static double keptX[MAX_POINTS];    // x as the kept trial left it (models 17 to 19 move it)

static double rank_of(const double *p) {
  double r = calc_rmse(p);
  return r >= 0.0 && isfinite(r) ? r : HUGE_VAL;
}

// Fits from start within limit iterations, from a fresh engine and the points as loaded,
// into *t. A fit that ends before limit is the fit of any larger limit, to the bit.
static void run_trial(const double *start, int limit, const guess_data *d, trial *t) {
  int fullLimit = maxIt;
  memcpy(xOffsetData, loadedX, sizeof(double) * (size_t)numData);
  reset_engine();
  memcpy(t->start, start, sizeof t->start);
  memcpy(t->params, start, sizeof t->params);
  memset(t->stdDev, 0, sizeof t->stdDev);
  maxIt = limit;
  t->outcome = do_iterations(t->params, t->stdDev);
  maxIt = fullLimit;
  t->finished = limit >= fullLimit || t->outcome == FIT_DONE || itCount < limit;
  t->itCount = itCount;
  t->rmse = rmse;
  t->stop = fitStop;
  t->stopParm = fitStopParm;
  t->startRmse = fitStartRmse;
  t->plausible = plausible_result(fitFunc, d, t->params);
}

static void keep_trial(const trial *t) {
  kept = *t;
  memcpy(keptX, xOffsetData, sizeof(double) * (size_t)numData);
}

// Whether trial t is better than the kept one: a plausible result beats an implausible
// one, even a failed fit (whose values are its start's) an implausible success, which
// would pass nonsense for an answer; then a success beats a failure, and between
// successes the lower RMSE wins. The earlier trial wins a tie.
static int better(const trial *t) {
  if (t->plausible != kept.plausible) return t->plausible;
  if (t->outcome != FIT_DONE) return 0;
  return kept.outcome != FIT_DONE || t->rmse < kept.rmse;
}

// Whether the kept fit is a plausible success that ends within factor of floor.
static int kept_reaches(double floor, double factor) {
  return kept.outcome == FIT_DONE && kept.plausible && kept.rmse <= floor * factor;
}

// The candidates: the guesses, then the command line's start, so that a guess wins a tie;
// rank[] orders them by their RMSE. Without a start that has a value, the command line's
// is the one to try, as without guesses. Returns how many there are.
static int rank_candidates(const guess_list *guesses, const double *given, int *rank) {
  int n = 0;
  for (int k = 0; k < guesses->n; k++) {
    memcpy(candidates[n++].start, guesses->start[k], sizeof candidates[0].start);
  }
  memcpy(candidates[n++].start, given, sizeof candidates[0].start);
  for (int k = 0; k < n; k++) {
    candidates[k].rmse = rank_of(candidates[k].start);
    rank[k] = k;
    for (int m = k; m > 0 && candidates[rank[m]].rmse < candidates[rank[m - 1]].rmse; m--) {
      int t = rank[m];
      rank[m] = rank[m - 1];
      rank[m - 1] = t;
    }
  }
  if (!(candidates[rank[0]].rmse < HUGE_VAL)) rank[0] = n - 1;
  return n;
}

int fit_from_guesses(double *params, double *stdDev, double *start) {
  guess_data d = {xOffsetData, yData, tData, numData};
  static guess_list guesses;
  guess_starts(fitFunc, &d, params, holdConstFlag, &guesses);
  int rank[MAX_CANDIDATES];
  int n = rank_candidates(&guesses, params, rank);

  memcpy(loadedX, xOffsetData, sizeof(double) * (size_t)numData);
  double near = sqrt(1.0 + NEAR_SPREAD / numData);
  int screen = maxIt / SCREEN_SHARE > SCREEN_LEAST ? maxIt / SCREEN_SHARE : SCREEN_LEAST;
  if (screen > maxIt) screen = maxIt;
  trial t;
  for (int r = 0, trials = 0; r < n && trials < MAX_TRIALS; r++, trials++) {
    const candidate *c = &candidates[rank[r]];
    if (trials > 0 && !(c->rmse < HUGE_VAL)) break;
    run_trial(c->start, screen, &d, &t);
    if (trials == 0 || better(&t)) keep_trial(&t);
    // A plausible success that is not near the floor is for the floor's own fit to judge:
    // another candidate is tried only after a failure.
    if (kept.outcome == FIT_DONE && kept.plausible) break;
  }
  // A fit that ends above the lowest point the guesses met has stalled, or found a worse
  // minimum: the fit from that point is kept instead, whether it ends below it or, unable
  // to leave it, fails there with its values.
  if (guesses.floor < HUGE_VAL && !kept_reaches(guesses.floor, near)) {
    run_trial(guesses.lowest, screen, &d, &t);
    keep_trial(&t);
  }
  // A trial cut short by the screening limit is reported as the whole fit makes it.
  if (!kept.finished) {
    run_trial(kept.start, maxIt, &d, &t);
    keep_trial(&t);
  }
  memcpy(xOffsetData, keptX, sizeof(double) * (size_t)numData);
  memcpy(params, kept.params, sizeof kept.params);
  memcpy(stdDev, kept.stdDev, sizeof kept.stdDev);
  memcpy(start, kept.start, sizeof kept.start);
  itCount = kept.itCount;
  rmse = kept.rmse;
  fitStop = kept.stop;
  fitStopParm = kept.stopParm;
  fitStartRmse = kept.startRmse;
  return kept.outcome;
}

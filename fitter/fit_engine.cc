// Fitting engine. Never prints: failures go back to the caller as results.
// The normal matrix is the plain J'J without any damping term; the only damping is
// the fixed factor of a tenth on every step.
#include "fit_engine.h"

#include <math.h>
#include <string.h>

#include "models.h"
#include "run_state.h"

// A parameter holding this value counts as having none.
static const double UNSET_MARKER = -2147483648.0;
static const double STEP_FACTOR = -0.1;
static const double CONVERGENCE = 1e-5;

static int changeParmsNum;                  // free parameters of this fit
static double mMat[MAX_PARMS * MAX_PARMS];  // normal matrix J'J, row by row
static double zMat[MAX_PARMS * MAX_PARMS];  // its inverse after set_new_parms
static double cVec[MAX_PARMS];              // right-hand side J'r
static double s0;                           // sum of squared residuals, then standard error
static double s1;                           // standard error of the iteration before
static double cutVal;                       // x shift of models 17, 18 and 19
static int zeroPivot;                       // the free parameter of a singular matrix's pivot

int fitStop;
int fitStopParm;
double fitStartRmse;

const char *const fit_messages[3] = {
    NULL,
    "velquin: Unable to graph function with your starting parameters.",
    "velquin: Unable to converge with your starting parameters.",
};

void reset_engine(void) {
  changeParmsNum = 0;
  zeroPivot = 0;
  fitStop = STOP_CONVERGED;
  fitStopParm = 0;
  fitStartRmse = 0.0;
  memset(mMat, 0, sizeof mMat);
  memset(zMat, 0, sizeof zMat);
  memset(cVec, 0, sizeof cVec);
  s0 = 0.0;
  s1 = 0.0;
  cutVal = 0.0;
}

// Root-mean-square of a sum of squared residuals over the points.
static double rmse_of_sum(double sum) { return sqrt(sum / (double)numData); }

static int has_unset_parm(const double *params) {
  for (int i = 0; i < numParms; i++) {
    if (params[i] == UNSET_MARKER) return 1;
  }
  return 0;
}

double calc_rmse(const double *params) {
  if (has_unset_parm(params)) return -1.0;
  double sum = 0.0;
  for (int i = 0; i < numData; i++) {
    double ycalc;
    if (!fnf(fitFunc, &ycalc, xOffsetData[i], tData[i], params)) return -1.0;
    double r = ycalc - yData[i];
    sum += r * r;
  }
  return rmse_of_sum(sum);
}

// Index of the free parameter that follows index j: held entries are skipped.
static inline int next_free(int j) {
  do {
    j++;
  } while (holdConstFlag[j] == 1);
  return j;
}

// Copies the lower triangle of the leading n x n block of mMat into the upper one.
static void mirror_normal_matrix(int n) {
  for (int k = 1; k < n; k++) {
    for (int m = 0; m < k; m++) mMat[m * MAX_PARMS + k] = mMat[k * MAX_PARMS + m];
  }
}

int calc_deriv(double *params) {
  int n = changeParmsNum;
  int index[MAX_PARMS];  // parameter index of each free parameter
  for (int k = 0, j = -1; k < n; k++) index[k] = j = next_free(j);
  for (int k = 0; k < n; k++) {
    cVec[k] = 0.0;
    for (int m = 0; m < n; m++) mMat[k * MAX_PARMS + m] = 0.0;
  }
  stage_values base = {}, step;  // stage values at params and at a stepped vector
  unsigned changed = ALL_INPUTS;
  int ok = 1;
  for (int i = 0; ok && i < numData; i++) {
    double x = xOffsetData[i], x2 = tData[i];
    double y0, y1;
    ok = fnf_staged(fitFunc, changed, &y0, x, x2, params, &base, &base);
    if (!ok) break;
    changed = PX;  // params are back as they were: from point to point, only x and x2 move
    double r = y0 - yData[i];
    s0 += r * r;  // point by point, as calc_rmse sums: one_iteration takes the RMSE from it
    double row[MAX_PARMS];
    for (int k = 0; k < n; k++) {
      int j = index[k];
      double p = params[j];
      params[j] = p * 1.02 + 1e-9;  // 2 % plus a little, so that a zero moves as well
      ok = fnf_staged(fitFunc, 1u << j, &y1, x, x2, params, &base, &step);
      params[j] = p;
      if (!ok) break;
      double d = (y1 - y0) / (p * 0.02 + 1e-9);
      cVec[k] += r * d;
      for (int m = 0; m < k; m++) mMat[k * MAX_PARMS + m] += d * row[m];
      mMat[k * (MAX_PARMS + 1)] += d * d;
      row[k] = d;
    }
  }
  // The lower triangle holds the sums; the upper one is its mirror, also after a refusal.
  mirror_normal_matrix(n);
  return ok;
}

// Gauss-Jordan elimination of the leading n x n block of mMat into zMat, without
// pivoting and without tolerance: only an exactly zero pivot is refused. Returns 0 for
// a singular matrix, with both matrices partly reduced.
static int invert_normal_matrix(int n) {
  for (int r = 0; r < n; r++) {
    for (int c = 0; c < n; c++) zMat[r * MAX_PARMS + c] = r == c ? 1.0 : 0.0;
  }
  for (int i = 0; i < n; i++) {
    double pivot = mMat[i * (MAX_PARMS + 1)];
    if (pivot == 0.0) {
      zeroPivot = i;
      return 0;
    }
    for (int c = 0; c < n; c++) {
      mMat[i * MAX_PARMS + c] /= pivot;
      zMat[i * MAX_PARMS + c] /= pivot;
    }
    for (int r = 0; r < n; r++) {
      if (r == i) continue;
      double f = mMat[r * MAX_PARMS + i];
      for (int c = 0; c < n; c++) {
        mMat[r * MAX_PARMS + c] -= f * mMat[i * MAX_PARMS + c];
        zMat[r * MAX_PARMS + c] -= f * zMat[i * MAX_PARMS + c];
      }
    }
  }
  return 1;
}

int set_new_parms(double *params) {
  int n = changeParmsNum;
  if (n < 1) return 1;
  if (!invert_normal_matrix(n)) return 0;
  int j = -1;
  for (int k = 0; k < n; k++) {
    j = next_free(j);
    // Added term by term, not summed first: each rounding is part of the fitted values.
    for (int m = 0; m < n; m++) {
      params[j] = params[j] + STEP_FACTOR * (zMat[k * MAX_PARMS + m] * cVec[m]);
    }
  }
  return 1;
}

int one_iteration(double *params) {
  double oldRmse = rmse;
  // Step with the normal equations of the previous iteration; the first one has none.
  if (s0 != 0.0) {
    s1 = s0;
    s0 = 0.0;
    if (!set_new_parms(params)) {
      fitStop = STOP_SINGULAR;
      fitStopParm = next_free(-1);
      for (int k = 0; k < zeroPivot; k++) fitStopParm = next_free(fitStopParm);
      return 0;
    }
  }
  // Derivatives and residuals at the new parameters.
  if (!calc_deriv(params)) {
    fitStop = itCount > 0 ? STOP_NO_VALUE : STOP_NO_START_VALUE;
    return 0;
  }
  // Standard error over the degrees of freedom, and the RMSE from the same sum, which
  // calc_rmse at these parameters would form to the bit: no second pass over the points.
  double sum = s0;
  s0 = sqrt(sum / (double)(numData - changeParmsNum));
  rmse = has_unset_parm(params) ? -1.0 : rmse_of_sum(sum);
  // A hundredfold rise of the RMSE is divergence.
  if (oldRmse < 0.01 * rmse) {
    // At the start, only the marker's -1.0 rises so: the model has no value there.
    fitStop = itCount > 0 ? STOP_DIVERGED : STOP_NO_START_VALUE;
    return 0;
  }
  return 1;
}

static int shifts_x(int model) { return model == 17 || model == 18 || model == 19; }

// Models 17, 18 and 19 see x only through x - p0 and x - p2, so moving all three by the
// first x changes no model value, only the size of the relative derivative steps.
static void shift_peaks(double *params, double by) {
  params[0] += by;
  params[2] += by;
  for (int i = 0; i < numData; i++) xOffsetData[i] += by;
}

// The standard deviations of the parameters after a converged fit, 0 for a held one: zMat
// is the inverse of the last step's normal matrix, s0 the final standard error.
static void set_std_devs(double *stdDev) {
  int k = 0;
  for (int i = 0; i < numParms; i++) {
    if (holdConstFlag[i] == 1) {
      stdDev[i] = 0.0;
    } else {
      stdDev[i] = sqrt(fabs(zMat[k * (MAX_PARMS + 1)])) * s0;
      k++;
    }
  }
}

int do_iterations(double *params, double *stdDev) {
  double saved[MAX_PARMS];
  changeParmsNum = 0;
  for (int i = 0; i < numParms; i++) {
    if (holdConstFlag[i] == 0) changeParmsNum++;
    saved[i] = params[i];
  }
  if (shifts_x(fitFunc)) {
    cutVal = xOffsetData[0];
    shift_peaks(params, -cutVal);
  }
  itCount = 0;
  s1 = 0.0;
  s0 = 0.0;
  double rmse0 = calc_rmse(params);
  rmse = rmse0;
  fitStartRmse = rmse0;
  fitStop = STOP_CONVERGED;

  if (changeParmsNum == 0) goto success;
  if (maxIt < itCount) {
    itCount = maxIt;
    fitStop = STOP_LIMIT_NOT_POSITIVE;
    goto failure;
  }
  for (;;) {
    if (!one_iteration(params)) goto failure;
    if (fabs(s1 - s0) < s0 * CONVERGENCE) break;
    // Tested before the count grows, so a limit of INT_MAX cannot overflow it.
    if (itCount >= maxIt) {
      itCount = maxIt;
      fitStop = maxIt > 0 ? STOP_LIMIT : STOP_LIMIT_NOT_POSITIVE;
      goto failure;
    }
    itCount++;
  }
  // Converged; a success only when the fit beats its starting values.
  if (!(rmse < rmse0)) {
    fitStop = STOP_NOT_BETTER;
    goto failure;
  }
  set_std_devs(stdDev);
success:
  if (shifts_x(fitFunc)) shift_peaks(params, cutVal);
  return FIT_DONE;

failure:
  if (shifts_x(fitFunc)) shift_peaks(params, cutVal);
  // Before an iteration has counted, no step has been made: the values are the start's.
  if (itCount == 0) return FIT_NO_GRAPH;
  for (int i = 0; i < numParms; i++) params[i] = saved[i];
  return FIT_NO_CONVERGE;
}

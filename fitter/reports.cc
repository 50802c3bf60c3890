// Reports of velquin, written after the fit: the results report, and the log that
// other programs read by position.
#include "reports.h"

#include <math.h>
#include <stdio.h>

#include <string.h>

#include "files.h"
#include "fit_engine.h"
#include "models.h"
#include "run_state.h"
#include "show_err.h"

// A null text of an empty catalogue row prints as nothing.
static const char *text_or_empty(const char *text) { return text != NULL ? text : ""; }

int write_results(FILE *fp) {
  int n = fitParmNum[fitFunc];
  fprintf(fp, "\n");
  fprintf(fp, "Data Input.: %s\n", dataFname);
  fprintf(fp, "Num of data: %d\n", numData);
  fprintf(fp, "\n");
  fprintf(fp, "Function...: %s\n", text_or_empty(fitLabel[fitFunc]));
  fprintf(fp, "Description: %s\n", text_or_empty(fitNote[fitFunc]));
  fprintf(fp, "Parameters.: %d\n", n);
  fprintf(fp, "\n");
  fprintf(fp, "Parameter   Hold Constant");
  fprintf(fp, "      Value     StdDev\n");
  for (int i = 0; i < n; i++) {
    fprintf(fp, "%s       %s     ", fitParmStr[fitFunc][i], holdConstFlag[i] == 1 ? "yes" : "no ");
    fprintf(fp, " %10.5g %10.5g\n", shown(fitParms[i]), shown(fitStdDev[i]));
  }
  fprintf(fp, "\n");
  fprintf(fp, "RMSE.......: %-10.5g\n", shown(rmse));
  fprintf(fp, "Iterations.: %d\n", itCount);
  fprintf(fp, "Max It.....: %d\n", maxIt);
  fprintf(fp, "\n");
  fprintf(fp, "Point by Point Analysis\n");
  // A point where the model has no value shows nan in Y-Calc and Residual.
  double ycalc;
  if (numDataCol == 3) {
    fprintf(fp, "      X[i]      X2[i]      Y[i]");
    fprintf(fp, "    Y-Calc   Residual\n");
    for (int i = 0; i < numData; i++) {
      double resid = NAN;
      if (fnf(fitFunc, &ycalc, xOffsetData[i], tData[i], fitParms)) {
        resid = ycalc - yData[i];
      } else {
        ycalc = NAN;
      }
      fprintf(fp, "%10.5g %10.5g %10.5g %10.5g %10.5g\n", shown(xOffsetData[i]), shown(tData[i]),
              shown(yData[i]), shown(ycalc), shown(resid));
    }
  } else {
    fprintf(fp, "      X[i]      Y[i]");
    fprintf(fp, "     Y-Calc   Residual\n");
    for (int i = 0; i < numData; i++) {
      double resid = NAN;
      // Two-column data have no second variable: the models see 0.0.
      if (fnf(fitFunc, &ycalc, xOffsetData[i], 0.0, fitParms)) {
        resid = ycalc - yData[i];
      } else {
        ycalc = NAN;
      }
      fprintf(fp, "%10.5g %10.5g %10.5g %10.5g\n", shown(xOffsetData[i]), shown(yData[i]),
              shown(ycalc), shown(resid));
    }
  }
  fprintf(fp, "\n************************************************************\n");
  return 1;
}

int write_log_results(FILE *fp, const char *message) {
  int n = fitParmNum[fitFunc];
  for (int i = 0; i < n; i++) {
    fprintf(fp, " %10.5g %10.5g\n", shown(fitParms[i]), shown(fitStdDev[i]));
  }
  fprintf(fp, " %10.5g\n", shown(rmse));
  fprintf(fp, " %d\n", itCount);
  // After the summary, so that the summary's lines stay where programs read them.
  if (message != NULL) write_log_msg(fp, message);
  return 1;
}

int write_log_msg(FILE *fp, const char *message) {
  fprintf(fp, "%s\n", message);
  return 1;
}

// Reports a log that read_log_results cannot take, and closes it. Returns 0.
static int bad_log(FILE *fp, const char *message) {
  show_err(ERR_FATAL, "read_fit_log", message);
  if (fp != NULL) fclose(fp);
  return 0;
}

int read_log_results(const char *fname, int model, double *params, double *logRmse, int *failed) {
  char msg[MESSAGE_SIZE];
  int n = fitParmNum[model];
  if (n == 0) {
    snprintf(msg, sizeof msg, "Model %d has no catalogue entry, so its log holds no parameters\n",
             model);
    return bad_log(NULL, msg);
  }
  FILE *fp = fopen(fname, "r");
  if (fp == NULL) {
    snprintf(msg, sizeof msg, "Unable to open log file %s\n", fname);
    return bad_log(NULL, msg);
  }
  char line[CRV_LINE_SIZE];
  int len;
  long long taken;
  for (int i = 0; i <= n; i++) {
    int got = read_whole_line(fp, line, sizeof line, &len, &taken, NULL);
    if (got == LINE_END) {
      snprintf(msg, sizeof msg,
               "Log file %s has %d lines; model %d needs %d parameter lines and the RMSE\n", fname,
               i, model, n);
      return bad_log(fp, msg);
    }
    if (got != LINE_READ) {
      snprintf(msg, sizeof msg, "Line %d of log file %s is unreadable\n", i + 1, fname);
      return bad_log(fp, msg);
    }
    double value, sd;
    int values = sscanf(line, "%lf %lf", &value, &sd);
    if (i < n && values != 2) {
      snprintf(msg, sizeof msg, "Line %d of log file %s is not a value and a standard deviation\n",
               i + 1, fname);
      return bad_log(fp, msg);
    }
    if (i == n && values != 1) {
      snprintf(msg, sizeof msg, "Line %d of log file %s is not the RMSE: is it a log of model %d?\n",
               i + 1, fname, model);
      return bad_log(fp, msg);
    }
    if (i < n) {
      params[i] = value;
    } else {
      *logRmse = value;
    }
  }
  // The iteration count, then the message of a failed fit, as write_log_results puts it.
  *failed = 0;
  if (read_whole_line(fp, line, sizeof line, &len, &taken, NULL) == LINE_READ &&
      read_whole_line(fp, line, sizeof line, &len, &taken, NULL) == LINE_READ) {
    line[strcspn(line, "\n")] = '\0';
    for (int outcome = FIT_NO_GRAPH; outcome <= FIT_NO_CONVERGE; outcome++) {
      if (strcmp(line, fit_messages[outcome]) == 0) *failed = 1;
    }
  }
  fclose(fp);
  return 1;
}

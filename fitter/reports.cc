// Reports of velquin, written after the fit: the results report, and the log that
// other programs read by position.
#include "reports.h"

#include <math.h>
#include <stdio.h>

#include "models.h"
#include "run_state.h"

FILE *open_output(const char *fname, const char *mode, const char *module) {
  FILE *fp = fopen(fname, mode);
  if (fp == NULL) {
    char msg[MESSAGE_SIZE];
    snprintf(msg, sizeof msg, "Unable to open output file %s", fname);
    show_err(ERR_FATAL, module, msg);
  }
  return fp;
}

int close_output(FILE *fp, const char *fname, const char *module) {
  int failed = ferror(fp);
  if (fclose(fp) != 0) failed = 1;
  if (failed) {
    char msg[MESSAGE_SIZE];
    snprintf(msg, sizeof msg, "Unable to write output file %s", fname);
    show_err(ERR_FATAL, module, msg);
    return 0;
  }
  return 1;
}

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

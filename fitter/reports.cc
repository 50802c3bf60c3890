// Reports of velquin, written after the fit: the results report, and the log that
// other programs read by position.
#include "reports.h"

#include <math.h>
#include <stdio.h>
#include <string.h>

#include "files.h"
#include "fit_engine.h"
#include "models.h"
#include "number_format.h"
#include "run_state.h"
#include "show_err.h"

// A null text of an empty catalogue row prints as nothing.
static const char *text_or_empty(const char *text) { return text != NULL ? text : ""; }

// One line of a report, formed in place and written whole. The numbers are formatted by
// number_format, which writes printf's bytes without its multi-precision path.
struct report_line {
  char text[128];  // five "%10.5g" values and their blanks, the longest line with numbers
  int len;
};

static void add_text(report_line *l, const char *text) {
  size_t n = strlen(text);
  memcpy(l->text + l->len, text, n);
  l->len += (int)n;
}

// " %10.5g" with the value as the reports show it.
static void add_value(report_line *l, double v) {
  l->text[l->len++] = ' ';
  l->len += format_general(l->text + l->len, (int)sizeof l->text - l->len, 10, 5, shown(v));
}

static void add_int(report_line *l, int v) {
  l->len += format_int(l->text + l->len, (int)sizeof l->text - l->len, v);
}

static void put_line(FILE *fp, report_line *l) {
  l->text[l->len++] = '\n';
  fwrite(l->text, 1, (size_t)l->len, fp);
  l->len = 0;
}

// "Label: %d\n"
static void put_count(FILE *fp, const char *label, int v) {
  report_line l = {{0}, 0};
  add_text(&l, label);
  add_int(&l, v);
  put_line(fp, &l);
}

// The point table: x, x2 for three columns, y, the model's value and the residual; a point
// where the model has no value shows nan in both. Two-column data have no second
// variable: the models see 0.0.
static void put_points(FILE *fp) {
  if (numDataCol == 3) {
    fputs("      X[i]      X2[i]      Y[i]    Y-Calc   Residual\n", fp);
  } else {
    fputs("      X[i]      Y[i]     Y-Calc   Residual\n", fp);
  }
  report_line l = {{0}, 0};
  for (int i = 0; i < numData; i++) {
    double x2 = numDataCol == 3 ? tData[i] : 0.0;
    double ycalc = NAN, resid = NAN;
    if (fnf(fitFunc, &ycalc, xOffsetData[i], x2, fitParms)) {
      resid = ycalc - yData[i];
    } else {
      ycalc = NAN;
    }
    // "%10.5g" keeps the columns aligned: the first value has no blank before it.
    add_value(&l, xOffsetData[i]);
    if (numDataCol == 3) add_value(&l, tData[i]);
    add_value(&l, yData[i]);
    add_value(&l, ycalc);
    add_value(&l, resid);
    memmove(l.text, l.text + 1, (size_t)--l.len);
    put_line(fp, &l);
  }
}

int write_results(FILE *fp) {
  int n = fitParmNum[fitFunc];
  fputs("\nData Input.: ", fp);
  fputs(dataFname, fp);
  fputc('\n', fp);
  put_count(fp, "Num of data: ", numData);
  fputs("\nFunction...: ", fp);
  fputs(text_or_empty(fitLabel[fitFunc]), fp);
  fputs("\nDescription: ", fp);
  fputs(text_or_empty(fitNote[fitFunc]), fp);
  fputc('\n', fp);
  put_count(fp, "Parameters.: ", n);
  fputs("\nParameter   Hold Constant      Value     StdDev\n", fp);
  report_line l = {{0}, 0};
  for (int i = 0; i < n; i++) {
    fputs(fitParmStr[fitFunc][i], fp);
    add_text(&l, holdConstFlag[i] == 1 ? "       yes     " : "       no      ");
    add_value(&l, fitParms[i]);
    add_value(&l, fitStdDev[i]);
    put_line(fp, &l);
  }
  // "%-10.5g": the RMSE's text padded on its right.
  add_text(&l, "\nRMSE.......: ");
  l.len += format_general_left(l.text + l.len, (int)sizeof l.text - l.len, 10, 5, shown(rmse));
  put_line(fp, &l);
  put_count(fp, "Iterations.: ", itCount);
  put_count(fp, "Max It.....: ", maxIt);
  fputs("\nPoint by Point Analysis\n", fp);
  put_points(fp);
  fputs("\n************************************************************\n", fp);
  return 1;
}

int write_log_results(FILE *fp, const char *message) {
  int n = fitParmNum[fitFunc];
  report_line l = {{0}, 0};
  for (int i = 0; i < n; i++) {
    add_value(&l, fitParms[i]);
    add_value(&l, fitStdDev[i]);
    put_line(fp, &l);
  }
  add_value(&l, rmse);
  put_line(fp, &l);
  add_text(&l, " ");
  add_int(&l, itCount);
  put_line(fp, &l);
  // After the summary, so that the summary's lines stay where programs read them.
  if (message != NULL) write_log_msg(fp, message);
  return 1;
}

int write_log_msg(FILE *fp, const char *message) {
  fputs(message, fp);
  fputc('\n', fp);
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
      snprintf(msg, sizeof msg,
               "Line %d of log file %s is not the RMSE: is it a log of model %d?\n", i + 1, fname,
               model);
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

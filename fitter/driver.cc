// The driver: the set-up of a run from what a command line says, velquin's command line,
// the data load, and the fit with its two reports, written in the order that tells most
// when one of them cannot be written.
#include "driver.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "cli.h"
#include "files.h"
#include "fit_engine.h"
#include "models.h"
#include "reports.h"
#include "run_state.h"
#include "show_err.h"

void setup_run(const run_setup *r) {
  reset_run_state();
  reset_engine();
  dataOffset = r->dataOffset;
  dataRes = r->dataRes;
  if (r->dataFname != NULL) strcpy(dataFname, r->dataFname);  // checked to fit
  if (r->resultsFname != NULL) strcpy(resultsFname, r->resultsFname);
  if (r->logFname != NULL) strcpy(logFname, r->logFname);
  fitFunc = r->fitFunc;
  maxIt = r->maxIt;
  memcpy(fitParms, r->fitParms, sizeof fitParms);
  memcpy(holdConstFlag, r->holdConstFlag, sizeof holdConstFlag);
  numParms = fitFunc >= 0 && fitFunc <= LAST_MODEL ? fitParmNum[fitFunc] : 0;
}

const char velquin_usage[] =
    "usage: velquin dataOffset datasetId dataFile resultsFile logFile model maxIterations\n"
    "               [parameter ...]\n"
    "\n"
    "  dataOffset     number added to every x value of the dataset\n"
    "  datasetId      id of the dataset in dataFile; 0 takes the first data of the file\n"
    "  dataFile       curve data file to read\n"
    "  resultsFile    report file; each run appends its report\n"
    "  logFile        summary file; each run rewrites it\n"
    "  model          model number, 0 to 28\n"
    "  maxIterations  iteration limit\n"
    "  parameter      starting value of each model parameter, in order (at most 10);\n"
    "                 a leading \"=\" holds it constant, as in =2.5; missing ones start\n"
    "                 at 0 and are varied\n"
    "\n"
    "Exit status: 0 after a completed fit, 1 after a failed fit or an error.\n";

int get_args(int argc, char **argv) {
  if (argc - 1 < NUM_FIXED_ARGS) {
    fputs(velquin_usage, stdout);
    return 0;
  }
  const char *data = argv[3], *results = argv[4], *log = argv[5];
  if (!check_name(data, "get_args") || !check_name(results, "get_args") ||
      !check_name(log, "get_args")) {
    return 0;
  }
  // A slip of the hand that would append a report to the data, or write the log over the
  // data or over every earlier report: refused before any file is touched.
  char msg[MESSAGE_SIZE];
  if (same_file(results, data) || same_file(log, data)) {
    snprintf(msg, sizeof msg, "Output file %s is the data file\n",
             same_file(results, data) ? results : log);
    show_err(ERR_FATAL, "get_args", msg);
    return 0;
  }
  if (same_file(log, results)) {
    snprintf(msg, sizeof msg, "Log file %s is the results file\n", log);
    show_err(ERR_FATAL, "get_args", msg);
    return 0;
  }
  run_setup r = {};
  r.dataOffset = atof(argv[1]);
  r.dataRes = to_int(argv[2]);
  r.dataFname = data;
  r.resultsFname = results;
  r.logFname = log;
  r.fitFunc = to_int(argv[6]);
  r.maxIt = to_int(argv[7]);
  // Parameter arguments past the tenth have nowhere to go and are ignored.
  int given = argc - 1 - NUM_FIXED_ARGS;
  for (int i = 0; i < given && i < MAX_PARMS; i++) {
    parse_parm(argv[1 + NUM_FIXED_ARGS + i], &r.fitParms[i], &r.holdConstFlag[i]);
  }
  fill_catalogue();
  setup_run(&r);
  return 1;
}

// Puts the points that the reader gave into the run state.
static void store_points(const double *x, const double *y, const double *t, int count,
                         int columns) {
  numData = count;
  numDataCol = columns;
  for (int i = 0; i < count; i++) {
    xOffsetData[i] = x[i] + dataOffset;
    yData[i] = y[i];
    tData[i] = columns == 3 ? t[i] : 0.0;  // the reader leaves t unset for two columns
  }
}

int load_data(FILE *fp, const crv_place *at) {
  double x[MAX_POINTS], y[MAX_POINTS], t[MAX_POINTS];
  int count = 0, columns = 0;
  int ok = at != NULL ? read_crv_at(fp, dataFname, dataRes, at, x, y, t, &count, &columns)
                      : read_crv_data(dataFname, dataRes, x, y, t, &count, &columns);
  if (ok) store_points(x, y, t, count, columns);
  return ok;
}

int load_data_mem(const char *bytes, long long size, const crv_place *at) {
  double x[MAX_POINTS], y[MAX_POINTS], t[MAX_POINTS];
  int count = 0, columns = 0;
  int ok = read_crv_mem(bytes, size, dataFname, dataRes, at, x, y, t, &count, &columns);
  if (ok) store_points(x, y, t, count, columns);
  return ok;
}

int init_vars(void) {
  if (!check_model(fitFunc, "init_vars")) return 0;
  return load_data(NULL, NULL);
}

void report_fit(FILE *results, FILE *log, int outcome) {
  write_results(results);
  if (log != NULL) write_log_results(log, fit_messages[outcome]);
}

int fit_and_report(FILE *results, FILE *log) {
  int outcome = do_iterations(fitParms, fitStdDev);
  report_fit(results, log, outcome);
  return outcome;
}

// Writes the fit's report or log to the file fname, opened with mode, through writer.
// Returns 1, or 0 after the framed report of module.
static int write_file(const char *fname, const char *mode, const char *module,
                      int (*writer)(FILE *, const char *), const char *message) {
  FILE *fp = open_output(fname, mode, module);
  if (fp == NULL) return 0;
  writer(fp, message);
  return close_output(fp, fname, module);
}

static int put_report(FILE *fp, const char *) { return write_results(fp); }

// The files are written one after the other straight from the run state, as report_fit
// writes its streams: a report kept in memory first would cost a whole run's start-up a
// few pages more.
int do_morvane(void) {
  int outcome = do_iterations(fitParms, fitStdDev);
  const char *message = fit_messages[outcome];
  // A failed fit's message reaches the log before the report, so that the log tells of
  // the failure even when the results file cannot be written.
  if (message != NULL && !write_file(logFname, "w", "write_log", write_log_msg, message)) {
    return 1;
  }
  if (!write_file(resultsFname, "a", "write_results", put_report, NULL)) return 1;
  if (!write_file(logFname, "w", "write_log", write_log_results, message)) return 1;
  return outcome != FIT_DONE;
}

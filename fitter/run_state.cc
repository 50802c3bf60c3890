// The run state of velquin and the steps of main that own it: the command line,
// the data load, the fit-and-report sequence, and the one error reporter.
#include "run_state.h"

#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include "crv_reader.h"
#include "fit_engine.h"
#include "models.h"
#include "reports.h"

double dataOffset;
int dataRes;
char dataFname[NAME_SIZE];
char resultsFname[NAME_SIZE];
char logFname[NAME_SIZE];
int fitFunc;
int maxIt;
double fitParms[MAX_PARMS];
int holdConstFlag[MAX_PARMS];
double fitStdDev[MAX_PARMS];
int numParms;
int numData;
int numDataCol;
double xOffsetData[MAX_POINTS];
double yData[MAX_POINTS];
double tData[MAX_POINTS];
int itCount;
double rmse;

char errMessage[MESSAGE_SIZE];
int errQuiet;

int to_int(const char *text) {
  long value = strtol(text, NULL, 10);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return (int)value;
}

void parse_parm(const char *arg, double *value, int *held) {
  if (arg[0] == '=') {
    *held = 1;
    *value = atof(arg + 1);
  } else {
    *held = 0;
    *value = atof(arg);
  }
}

void reset_run_state(void) {
  dataOffset = 0.0;
  dataRes = 0;
  memset(dataFname, 0, sizeof dataFname);
  memset(resultsFname, 0, sizeof resultsFname);
  memset(logFname, 0, sizeof logFname);
  fitFunc = 0;
  maxIt = 0;
  memset(fitParms, 0, sizeof fitParms);
  memset(holdConstFlag, 0, sizeof holdConstFlag);
  memset(fitStdDev, 0, sizeof fitStdDev);
  numParms = 0;
  numData = 0;
  numDataCol = 0;
  memset(xOffsetData, 0, sizeof xOffsetData);
  memset(yData, 0, sizeof yData);
  memset(tData, 0, sizeof tData);
  itCount = 0;
  rmse = 0.0;
  memset(errMessage, 0, sizeof errMessage);
  reset_engine();
}

void show_err(int type, const char *module, const char *message) {
  size_t len = strlen(message);
  if (len > sizeof errMessage - 1) len = sizeof errMessage - 1;
  memcpy(errMessage, message, len);
  errMessage[len] = '\0';
  if (errQuiet) return;
  static const char rule[] = "\n************************************************\n";
  fputs(rule, stdout);
  fputc('\n', stdout);
  fputs(type == ERR_FATAL ? " Fatal Error Detected!\n" : " Warning, Error Detected!\n", stdout);
  fputc('\n', stdout);
  fprintf(stdout, " Module.: %s\n", module);
  fprintf(stdout, " Message: %s\n", message);
  fputs(rule, stdout);
  fputc('\n', stdout);
}

int info_option(int argc, char **argv, const char *program, const char *usage) {
  if (argc != 2) return 0;
  if (strcmp(argv[1], "--help") == 0) {
    fputs(usage, stdout);
    return 1;
  }
  if (strcmp(argv[1], "--version") == 0) {
    printf("%s (velquin) %s\n", program, VELQUIN_VERSION);
    return 1;
  }
  return 0;
}

int same_file(const char *a, const char *b) {
  struct stat sa, sb;
  if (stat(a, &sa) != 0 || stat(b, &sb) != 0) return 0;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

int can_read_twice(FILE *fp, const char *kind, const char *path, const char *module) {
  if (fseeko(fp, 0, SEEK_SET) == 0) return 1;
  char msg[MESSAGE_SIZE];
  snprintf(msg, sizeof msg, "%s file %s cannot be read twice: give a file, not a pipe\n", kind,
           path);
  show_err(ERR_FATAL, module, msg);
  return 0;
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

// Copies a name that get_args has already measured against the buffer.
static void copy_name(char *dest, const char *src) {
  size_t len = strlen(src);
  memcpy(dest, src, len + 1);
}

int get_args(int argc, char **argv) {
  if (argc - 1 < NUM_FIXED_ARGS) {
    fputs(velquin_usage, stdout);
    return 0;
  }
  // Room for any one argument, so the message names the whole of a rejected name.
  static char too_long_msg[MAX_ARG_SIZE + 32];
  for (int pos = 3; pos <= 5; pos++) {
    if (strlen(argv[pos]) > NAME_SIZE - 1) {
      snprintf(too_long_msg, sizeof too_long_msg, "File name too long: %s\n", argv[pos]);
      show_err(ERR_FATAL, "get_args", too_long_msg);
      return 0;
    }
  }
  // A slip of the hand that would append a report to the data, or write the log over the
  // data or over every earlier report: refused before any file is touched.
  char msg[MESSAGE_SIZE];
  const char *data = argv[3], *results = argv[4], *log = argv[5];
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
  dataOffset = atof(argv[1]);
  dataRes = to_int(argv[2]);
  copy_name(dataFname, data);
  copy_name(resultsFname, results);
  copy_name(logFname, log);
  fitFunc = to_int(argv[6]);
  maxIt = to_int(argv[7]);
  // Parameter arguments past the tenth have nowhere to go and are ignored.
  int given = argc - 1 - NUM_FIXED_ARGS;
  for (int i = 0; i < given && i < MAX_PARMS; i++) {
    parse_parm(argv[1 + NUM_FIXED_ARGS + i], &fitParms[i], &holdConstFlag[i]);
  }
  return 1;
}

int check_model(int model, const char *module) {
  if (model < 0 || model > LAST_MODEL) {
    char msg[MESSAGE_SIZE];
    snprintf(msg, sizeof msg, "Unknown model number %d\n", model);
    show_err(ERR_FATAL, module, msg);
    return 0;
  }
  return 1;
}

int load_data(FILE *fp, const crv_place *at) {
  double x[MAX_POINTS], y[MAX_POINTS], t[MAX_POINTS];
  int count = 0, columns = 0;
  int ok = fp != NULL ? read_crv_at(fp, dataFname, dataRes, at, x, y, t, &count, &columns)
                      : read_crv_data(dataFname, dataRes, x, y, t, &count, &columns);
  if (!ok) return 0;
  numData = count;
  numDataCol = columns;
  for (int i = 0; i < count; i++) {
    xOffsetData[i] = x[i] + dataOffset;
    yData[i] = y[i];
    tData[i] = columns == 3 ? t[i] : 0.0;  // the reader leaves t unset for two columns
  }
  return 1;
}

int init_vars(void) {
  fill_catalogue();
  if (!check_model(fitFunc, "init_vars")) return 0;
  numParms = fitParmNum[fitFunc];
  return load_data(NULL, NULL);
}

int do_morvane(void) {
  int outcome = do_iterations(fitParms, fitStdDev);
  const char *message = fit_messages[outcome];
  FILE *fp;
  // A failed fit's message reaches the log before the report, so that the log tells of
  // the failure even when the results file cannot be written.
  if (message != NULL) {
    if ((fp = open_output(logFname, "w", "write_log")) == NULL) return 1;
    write_log_msg(fp, message);
    if (!close_output(fp, logFname, "write_log")) return 1;
  }
  if ((fp = open_output(resultsFname, "a", "write_results")) == NULL) return 1;
  write_results(fp);
  if (!close_output(fp, resultsFname, "write_results")) return 1;
  if ((fp = open_output(logFname, "w", "write_log")) == NULL) return 1;
  write_log_results(fp, message);
  if (!close_output(fp, logFname, "write_log")) return 1;
  return outcome != FIT_DONE;
}

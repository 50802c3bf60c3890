// The run state of velquin and the steps of main that own it: the command line,
// the data load, the fit-and-report sequence, and the one error reporter.
#include "run_state.h"

#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

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

int to_int(const char *text) {
  long value = strtol(text, NULL, 10);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return (int)value;
}

void show_err(int type, const char *module, const char *message) {
  static const char rule[] = "\n************************************************\n";
  fputs(rule, stdout);
  fputc('\n', stdout);
  fputs(type == ERR_FATAL ? " Fatal Error Detected!\n" : " Warning, Error Detected!\n", stdout);
  fputc('\n', stdout);
  fprintf(stdout, " Module.: %s\n", module);
  fprintf(stdout, " Message: %s\n", message);
  fputs(rule, stdout);
  fputc('\n', stdout);
  if (type == ERR_FATAL) exit(1);
}

static const char usage_text[] =
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

void get_args(int argc, char **argv) {
  if (argc - 1 < NUM_FIXED_ARGS) {
    fputs(usage_text, stdout);
    exit(1);
  }
  // Room for any one argument, so the message names the whole of a rejected name.
  static char too_long_msg[MAX_ARG_SIZE + 32];
  for (int pos = 3; pos <= 5; pos++) {
    if (strlen(argv[pos]) > NAME_SIZE - 1) {
      snprintf(too_long_msg, sizeof too_long_msg, "File name too long: %s\n", argv[pos]);
      show_err(ERR_FATAL, "get_args", too_long_msg);
    }
  }
  dataOffset = atof(argv[1]);
  dataRes = to_int(argv[2]);
  copy_name(dataFname, argv[3]);
  copy_name(resultsFname, argv[4]);
  copy_name(logFname, argv[5]);
  fitFunc = to_int(argv[6]);
  maxIt = to_int(argv[7]);
  // Parameter arguments past the tenth have nowhere to go and are ignored.
  int given = argc - 1 - NUM_FIXED_ARGS;
  for (int i = 0; i < given && i < MAX_PARMS; i++) {
    const char *arg = argv[1 + NUM_FIXED_ARGS + i];
    if (arg[0] == '=') {
      holdConstFlag[i] = 1;
      fitParms[i] = atof(arg + 1);
    } else {
      holdConstFlag[i] = 0;
      fitParms[i] = atof(arg);
    }
  }
}

void init_vars(void) {
  fill_catalogue();
  // Checked before any file is read: a number without a formula can never fit.
  if (fitFunc < 0 || fitFunc > LAST_MODEL) {
    char msg[MESSAGE_SIZE];
    snprintf(msg, sizeof msg, "Unknown model number %d\n", fitFunc);
    show_err(ERR_FATAL, "init_vars", msg);
  }
  numParms = fitParmNum[fitFunc];

  double x[MAX_POINTS], y[MAX_POINTS], t[MAX_POINTS];
  int count = 0, columns = 0;
  if (!read_crv_data(dataFname, dataRes, x, y, t, &count, &columns)) exit(1);
  numData = count;
  numDataCol = columns;
  for (int i = 0; i < count; i++) {
    xOffsetData[i] = x[i] + dataOffset;
    yData[i] = y[i];
    tData[i] = columns == 3 ? t[i] : 0.0;  // the reader leaves t unset for two columns
  }
}

int do_morvane(void) {
  int r = do_iterations(fitParms, fitStdDev);
  write_results(resultsFname);
  write_log_results();
  return r;
}

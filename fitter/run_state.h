// Process-wide run state of velquin and the driver steps that fill it.
// Every other file of the fitter reads these globals; each is written by the one
// step named beside it, in the fixed run sequence of main.
#ifndef VELQUIN_RUN_STATE_H
#define VELQUIN_RUN_STATE_H

#include <stdio.h>

// Capacities of the fixed-size tables. Nothing in the fitter is sized elsewhere.
enum {
  MAX_PARMS = 10,         // parameters per model, and rows of the normal matrix
  MAX_POINTS = 1500,      // points per dataset
  MIN_POINTS = 2,         // fewest points a dataset may hold
  NAME_SIZE = 256,        // file-name buffers: 255 characters and the terminator
  LINE_SIZE = 256,        // curve data file lines: 255 characters with the line feed
  CATALOGUE_ROWS = 50,    // rows of the model catalogue
  LAST_MODEL = 28,        // highest model number that has a formula
  NUM_FIXED_ARGS = 7,     // command-line positions before the parameters
  MESSAGE_SIZE = 384,     // show_err messages built from one file name or number
  MAX_ARG_SIZE = 131072,  // longest single argument the kernel passes to a program
};

enum { ERR_WARNING = 0, ERR_FATAL = 1 };

extern double dataOffset;               // get_args
extern int dataRes;                     // get_args
extern char dataFname[NAME_SIZE];       // get_args
extern char resultsFname[NAME_SIZE];    // get_args
extern char logFname[NAME_SIZE];        // get_args
extern int fitFunc;                     // get_args
extern int maxIt;                       // get_args
extern double fitParms[MAX_PARMS];      // get_args, then the fit
extern int holdConstFlag[MAX_PARMS];    // get_args
extern double fitStdDev[MAX_PARMS];     // the fit, on success only
extern int numParms;                    // init_vars
extern int numData;                     // init_vars
extern int numDataCol;                  // init_vars
extern double xOffsetData[MAX_POINTS];  // init_vars; shifted during fits of 17 to 19
extern double yData[MAX_POINTS];        // init_vars
extern double tData[MAX_POINTS];        // init_vars; 0.0 for two-column data
extern int itCount;                     // the fit
extern double rmse;                     // the fit

// Reads the leading integer of text as atoi does, but a value beyond the int range
// becomes the nearest end of the range instead of wrapping round to another number.
int to_int(const char *text);

// Reads one parameter argument as the command line gives it: a leading "=" holds the
// parameter at the value that follows, anything else varies it from its value.
void parse_parm(const char *arg, double *value, int *held);

// Zeroes every global of a run and the engine's working state, as at process start, so
// that nothing of one fit carries into the next. The model catalogue, constant once
// filled, is left as it is.
void reset_run_state(void);

// Prints one framed report on standard output; type ERR_FATAL is headed as fatal, any
// other type as a warning. The message is printed as it stands and kept in errMessage
// (cut to its size) for a caller that reports it another way. Printing is left out
// while errQuiet is set.
void show_err(int type, const char *module, const char *message);
extern char errMessage[MESSAGE_SIZE];
extern int errQuiet;

// Answers "--help" (the usage text) and "--version" when that is the only argument:
// returns 1 after printing, 0 for any other command line.
int info_option(int argc, char **argv, const char *program, const char *usage);

// Whether the files at paths a and b are one and the same (device and inode); 0 when
// either does not exist.
int same_file(const char *a, const char *b);

// Whether the open file fp, named kind ("Data", "Starts", "Table") and path, can be read
// again from its start, as a file can and a pipe cannot. Returns 1, or 0 after a fatal
// framed report from module. fp stays open either way.
int can_read_twice(FILE *fp, const char *kind, const char *path, const char *module);

extern const char velquin_usage[];

// Fills the command-line globals. Returns 1, or 0 after the usage text (a short command
// line) or a framed report (a file name that does not fit its buffer, an output file that
// is the data file, a log that is the results file), before any file is touched.
int get_args(int argc, char **argv);

// Fills the model catalogue, refuses a model number without a formula, and loads the
// dataset. Returns 1, or 0 after a framed report.
int init_vars(void);

// Refuses, with a fatal report naming module, a model number that has no formula; 1 when
// it has one. Checked before any file is read, since such a number can never fit.
int check_model(int model, const char *module);

// Loads dataset dataRes of dataFname into numData, numDataCol, xOffsetData (with
// dataOffset added), yData and tData. With fp NULL the file is opened and searched from
// the top; otherwise fp is the open data file and at the place a scan found the dataset
// at. Returns 1, or 0 after a framed report.
struct crv_place;
int load_data(FILE *fp, const crv_place *at);

// Fits, then writes the results file and the log whatever the fit's outcome.
// Returns the exit status: 0 for a completed fit, 1 for a failed one or an output file
// that could not be written.
int do_morvane(void);

#endif  // VELQUIN_RUN_STATE_H

// Process-wide run state of velquin and the driver steps that fill it.
// Every other file of the fitter reads these globals; each is written by the one
// step named beside it, in the fixed run sequence of main.
#ifndef VELQUIN_RUN_STATE_H
#define VELQUIN_RUN_STATE_H

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

// Prints one framed report on standard output. Type ERR_FATAL ends the process with
// status 1; any other type returns. The message is printed as it stands.
void show_err(int type, const char *module, const char *message);

// Fills the command-line globals; a short command line or a file name that does not
// fit its buffer ends the process with status 1 before any file is touched.
void get_args(int argc, char **argv);

// Fills the model catalogue, refuses a model number without a formula, and loads the
// dataset. Returns only when the data are loaded; otherwise the process has ended.
void init_vars(void);

// Fits, then writes the results file and the log whatever the fit's outcome.
// Returns the exit status: 0 for a completed fit, 1 for a failed one.
int do_morvane(void);

#endif  // VELQUIN_RUN_STATE_H

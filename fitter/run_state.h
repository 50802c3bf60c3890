// Process-wide run state of velquin: the globals every step of a fit reads, each written by
// the one step named beside it, and the reset that gives a second fit in one process the
// state a fresh process starts with.
#ifndef VELQUIN_RUN_STATE_H
#define VELQUIN_RUN_STATE_H

#include "capacities.h"

extern double dataOffset;               // setup_run
extern int dataRes;                     // setup_run
extern char dataFname[NAME_SIZE];       // setup_run
extern char resultsFname[NAME_SIZE];    // setup_run
extern char logFname[NAME_SIZE];        // setup_run
extern int fitFunc;                     // setup_run
extern int maxIt;                       // setup_run
extern double fitParms[MAX_PARMS];      // setup_run, then the fit
extern int holdConstFlag[MAX_PARMS];    // setup_run
extern double fitStdDev[MAX_PARMS];     // the fit, on success only
extern int numParms;                    // setup_run
extern int numData;                     // load_data
extern int numDataCol;                  // load_data
extern double xOffsetData[MAX_POINTS];  // load_data; shifted during fits of 17 to 19
extern double yData[MAX_POINTS];        // load_data
extern double tData[MAX_POINTS];        // load_data; 0.0 for two-column data
extern int itCount;                     // the fit
extern double rmse;                     // the fit

// Zeroes every global above and the kept error message, as at process start, so that
// nothing of one fit carries into the next; of the point arrays, the first numData points,
// the only ones that load_data writes. The model catalogue, constant once filled, and the
// engine's working state are not run state.
void reset_run_state(void);

#endif  // VELQUIN_RUN_STATE_H

// The run-state globals, defined once, and their reset.
#include "run_state.h"

#include <string.h>

#include "show_err.h"

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
  // Of the points, those of the last dataset: a load writes none past numData, so the rest
  // are still zero, and a batch does not clear 36 KB for each of its small datasets.
  int points = numData < 0 ? 0 : numData > MAX_POINTS ? MAX_POINTS : numData;
  memset(xOffsetData, 0, sizeof xOffsetData[0] * (size_t)points);
  memset(yData, 0, sizeof yData[0] * (size_t)points);
  memset(tData, 0, sizeof tData[0] * (size_t)points);
  numData = 0;
  numDataCol = 0;
  itCount = 0;
  rmse = 0.0;
  memset(errMessage, 0, sizeof errMessage);
}

// Reader of the curve data file, the one input format of velquin, and the one-pass scan
// that finds every dataset of a file for a batch of fits.
#ifndef VELQUIN_CRV_READER_H
#define VELQUIN_CRV_READER_H

#include <stdio.h>

#include "capacities.h"

// Where a dataset begins: what the reader needs to go on from there without reading the
// file from the top, and what a search from the top would have met on the way.
struct crv_place {
  long long offset;  // bytes before the line that follows the dataset's id line
  int lineNo;        // number of the id line, counted from 1; 0 for dataset 0
  int refusedLine;   // a line before the id line that the reader refuses as too long, or 0
  int missing;       // 1 when no id line of the file has the dataset's id
};

// Loads dataset datasetId of the file at path (0: the first data of the file) into
// x, y and t, each with room for MAX_POINTS values; t is written for three columns only.
// Returns 1 with *count and *columns set, or 0 after a framed report through show_err,
// with *count and *columns untouched.
int read_crv_data(const char *path, int datasetId, double *x, double *y, double *t, int *count,
                  int *columns);

// The line of the dataset last loaded that first holds a value that is not finite (nan,
// inf), or 0: set by every load that reaches the points, for a reader who asks why a fit
// has no finite RMSE.
extern int nanDataLine;

// The same for the dataset whose id line a scan of the open file fp found at *at (or
// dataset 0 at the start of the file): as read_crv_data would load it, with the same
// reports and line numbers, also of a refused line or a missing id that *at records.
// fp NULL: the file could not be opened, which is reported as read_crv_data reports it.
int read_crv_at(FILE *fp, const char *path, int datasetId, const crv_place *at, double *x,
                double *y, double *t, int *count, int *columns);

// The same from the file's bytes in memory, bytes[0, size) (the whole file, mapped): what
// read_crv_at reads from the open file holding those bytes.
int read_crv_mem(const char *bytes, long long size, const char *path, int datasetId,
                 const crv_place *at, double *x, double *y, double *t, int *count, int *columns);

// What sscanf(text, "%lf %lf", ...) (want 2) or sscanf(text, "%lf %lf %lf", ...) (want 3)
// returns, and the values it reads into v: how the reader takes a data line.
int crv_values(const char *text, int want, double *v);

// The lines of a scan that matter to the datasets of a file; comment and empty lines pass.
enum {
  CRV_ID_LINE,     // a dataset id line: its value and the place after it
  CRV_OTHER_LINE,  // any other line: data, text, a line of one word's absence
  CRV_LONG_LINE,   // a line too long for the reader, which refuses it (the place's lineNo)
  CRV_READ_ERROR,  // the file cannot be read on
  CRV_END,         // the end of the file
};

struct crv_line {
  char text[CRV_LINE_SIZE];
  int len;  // bytes in text, which may hold NUL bytes of a damaged file
  int no;   // number of the line in the file, from 1
};

struct crv_scan {
  FILE *fp;
  crv_line line;
  long long offset;  // bytes consumed so far
};

// Starts a scan at the beginning of the open file fp.
void crv_scan_start(crv_scan *scan, FILE *fp);

// Reads on to the next line that is neither a comment nor empty and returns its kind,
// with *id and *at set for an id line (*at's lineNo alone for a refused line).
int crv_scan_next(crv_scan *scan, int *id, crv_place *at);

// Opens the data file at path for reading, as read_crv_data opens it. Returns the stream,
// or NULL after its warning.
FILE *crv_open(const char *path);

// Reports a scan's CRV_LONG_LINE (at line lineNo) or CRV_READ_ERROR of the file at path, as
// read_crv_data would report it. Returns 0.
int crv_refuse(int kind, const char *path, int lineNo);

#endif  // VELQUIN_CRV_READER_H

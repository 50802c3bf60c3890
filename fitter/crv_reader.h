// Reader of the curve data file, the one input format of velquin.
#ifndef VELQUIN_CRV_READER_H
#define VELQUIN_CRV_READER_H

// Loads dataset datasetId of the file at path (0: the first data of the file) into
// x, y and t, each with room for MAX_POINTS values; t is written for three columns only.
// Returns 1 with *count and *columns set, or 0 after a warning through show_err, with
// *count and *columns untouched. Too many or too few points end the process instead.
int read_crv_data(const char *path, int datasetId, double *x, double *y, double *t, int *count,
                  int *columns);

#endif  // VELQUIN_CRV_READER_H

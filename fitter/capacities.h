// Capacities of velquin's fixed-size tables and the kinds of its error reports: the bottom of
// the fitter, included by every other file. Nothing in the fitter is sized elsewhere.
#ifndef VELQUIN_CAPACITIES_H
#define VELQUIN_CAPACITIES_H

enum {
  MAX_PARMS = 10,         // parameters per model, and rows of the normal matrix
  MAX_POINTS = 1500,      // points per dataset
  MIN_POINTS = 2,         // fewest points a dataset may hold
  NAME_SIZE = 256,        // file-name buffers: 255 characters and the terminator
  CRV_LINE_SIZE = 256,    // curve data file lines: 255 characters with the line feed
  CATALOGUE_ROWS = 50,    // rows of the model catalogue
  LAST_MODEL = 28,        // highest model number that has a formula
  NUM_FIXED_ARGS = 7,     // velquin's command-line positions before the parameters
  MESSAGE_SIZE = 384,     // show_err messages built from one file name or number
  MAX_ARG_SIZE = 131072,  // longest single argument the kernel passes to a program
};

enum { ERR_WARNING = 0, ERR_FATAL = 1 };

#endif  // VELQUIN_CAPACITIES_H

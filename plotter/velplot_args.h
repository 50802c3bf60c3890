// velplot's command line: the three forms it takes, and what each gives the drawing.
#ifndef VELQUIN_VELPLOT_ARGS_H
#define VELQUIN_VELPLOT_ARGS_H

#include "capacities.h"
#include "driver.h"

enum {
  PLOT_FIT = 0,      // what velplot draws: one fit from its log,
  PLOT_PROFILE = 1,  // one column of a table across its datasets,
  PLOT_ALL = 2,      // or every fit of a table
};

extern const char velplot_usage[];

extern int plotMode;                // PLOT_FIT, PLOT_PROFILE or PLOT_ALL
extern int plotLogX;                // 1 with --logx: x, or the dataset id, on a log scale
extern char plotFname[NAME_SIZE];   // the picture, or the name of the pictures of a grid
extern int plotFormat;              // PLOT_SVG, PLOT_PNG or PLOT_PDF, by plotFname
extern char tableFname[NAME_SIZE];  // PLOT_PROFILE and PLOT_ALL
extern const char *profileParm;     // PLOT_PROFILE: the column drawn
// What every picture of a table shares with the run that loads its data: the offset, the
// data file and the model; the dataset and the parameters are each page's own.
extern run_setup plotRun;

// Sets up the run of the form given: for a fit, what the data load reads and logFname; for
// a profile, profileParm and tableFname; for every fit, plotRun and tableFname; for each,
// plotMode, plotLogX, plotFname and plotFormat. Returns 1, or 0 after the usage text or a framed
// report for a wrong command line, before any file is touched.
int get_plot_args(int argc, char **argv);

#endif  // VELQUIN_VELPLOT_ARGS_H

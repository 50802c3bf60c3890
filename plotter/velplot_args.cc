// velplot's command line, read and checked before any file is touched.
#include "velplot_args.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "cli.h"
#include "models.h"
#include "plot_script.h"
#include "show_err.h"

enum {
  NUM_PLOT_ARGS = 6,     // dataOffset datasetId dataFile logFile model outputFile
  NUM_PROFILE_ARGS = 4,  // --profile PARAM tableFile outputFile
  NUM_ALL_ARGS = 6,      // --all dataOffset dataFile tableFile model outputFile
};

int plotMode;
int plotLogX;
char plotFname[NAME_SIZE];
int plotFormat;
char tableFname[NAME_SIZE];
const char *profileParm;
run_setup plotRun;

const char velplot_usage[] =
    "usage: velplot [--logx] dataOffset datasetId dataFile logFile model outputFile\n"
    "       velplot --profile [--logx] PARAM tableFile outputFile\n"
    "       velplot --all [--logx] dataOffset dataFile tableFile model outputFile\n"
    "\n"
    "  --logx      x on a log scale (the dataset id for --profile); x <= 0 is not drawn\n"
    "  dataOffset  number added to every x value of the dataset, as given to velquin\n"
    "  datasetId   id of the dataset in dataFile; 0 takes the first data of the file\n"
    "  dataFile    curve data file that velquin or velbatch fitted\n"
    "  logFile     log file that velquin wrote for that fit\n"
    "  model       model number of the fit, 0 to 28 but 12\n"
    "  outputFile  picture to write, named .svg, .png or .pdf\n"
    "  PARAM       parameter label as the table's header writes it, or rmse\n"
    "  tableFile   table that velbatch wrote\n"
    "\n"
    "Draws the data, the fitted curve and the residuals with gnuplot; --profile draws\n"
    "one parameter against the dataset id, --all every fit of the table: a page each\n"
    "in a .pdf, grids of small pictures in .svg or .png files (NAME-1.png, NAME-2.png\n"
    "... when one does not hold them all).\n"
    "Exit status: 0 after writing the picture, 1 after an error.\n";

// Copies a file name argument into buf. Returns 1, or 0 after a framed report for a
// name that does not fit.
static int take_name(char *buf, const char *arg) {
  if (!check_name(arg, "get_plot_args")) return 0;
  strcpy(buf, arg);
  return 1;
}

// The names and numbers of each form, in the order the command line gives them. Returns 1,
// or 0 after a framed report.
static int take_form_args(char **argv, run_setup *r) {
  if (plotMode == PLOT_FIT) {
    if (!check_name(argv[3], "get_plot_args") || !check_name(argv[4], "get_plot_args") ||
        !take_name(plotFname, argv[6])) {
      return 0;
    }
    r->dataOffset = atof(argv[1]);
    r->dataRes = to_int(argv[2]);
    r->dataFname = argv[3];
    r->logFname = argv[4];
    r->fitFunc = to_int(argv[5]);
  } else if (plotMode == PLOT_PROFILE) {
    if (!take_name(tableFname, argv[3]) || !take_name(plotFname, argv[4])) return 0;
    profileParm = argv[2];
  } else {
    if (!check_name(argv[3], "get_plot_args") || !take_name(tableFname, argv[4]) ||
        !take_name(plotFname, argv[6])) {
      return 0;
    }
    r->dataOffset = atof(argv[2]);
    r->dataFname = argv[3];
    r->fitFunc = to_int(argv[5]);
  }
  return 1;
}

// Takes the options before the positions: a form's word and --logx, in either order, each
// at most once. Returns the number of arguments they take, or -1 for a command line that
// is none of the forms.
static int take_options(int argc, char **argv) {
  plotMode = PLOT_FIT;
  plotLogX = 0;
  int k = 1;
  for (; k < argc && strncmp(argv[k], "--", 2) == 0; k++) {
    int mode = strcmp(argv[k], "--profile") == 0 ? PLOT_PROFILE
               : strcmp(argv[k], "--all") == 0   ? PLOT_ALL
                                                 : PLOT_FIT;
    if (mode != PLOT_FIT && plotMode == PLOT_FIT) {
      plotMode = mode;
    } else if (strcmp(argv[k], "--logx") == 0 && !plotLogX) {
      plotLogX = 1;
    } else {
      return -1;
    }
  }
  return k - 1;
}

int get_plot_args(int argc, char **argv) {
  static const int arg_count[] = {NUM_PLOT_ARGS, NUM_PROFILE_ARGS, NUM_ALL_ARGS};
  int options = take_options(argc, argv);
  if (options < 0 || argc - 1 - plotLogX != arg_count[plotMode]) {
    fputs(velplot_usage, stdout);
    return 0;
  }
  fill_catalogue();
  // The positions as take_form_args counts them: argv[1] is the form's word, if any.
  if (!take_form_args(argv + options - (plotMode != PLOT_FIT), &plotRun)) return 0;
  if (plotMode != PLOT_PROFILE && !check_model(plotRun.fitFunc, "get_plot_args")) return 0;
  setup_run(&plotRun);
  plotFormat = plot_format(plotFname);
  if (plotFormat < 0) {
    char msg[MESSAGE_SIZE];
    snprintf(msg, sizeof msg, "Output file %s must end in .svg, .png or .pdf\n", plotFname);
    show_err(ERR_FATAL, "get_plot_args", msg);
    return 0;
  }
  return 1;
}

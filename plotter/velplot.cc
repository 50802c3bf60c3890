// velplot: the picture of a fit that velquin made, of one parameter across the fits of a
// velbatch table, or of every fit of such a table. It loads the data as velquin does, takes
// the parameters from velquin's log or velbatch's table, and has gnuplot draw them. The
// output files appear whole or not at all.
#include <errno.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "batch_table.h"
#include "cli.h"
#include "driver.h"
#include "files.h"
#include "fit_engine.h"
#include "models.h"
#include "plot_script.h"
#include "plot_table.h"
#include "reports.h"
#include "run_state.h"
#include "show_err.h"

extern char **environ;

enum {
  NUM_PLOT_ARGS = 6,                // dataOffset datasetId dataFile logFile model outputFile
  NUM_PROFILE_ARGS = 4,             // --profile PARAM tableFile outputFile
  NUM_ALL_ARGS = 6,                 // --all dataOffset dataFile tableFile model outputFile
  PLOT_TEMP_SIZE = NAME_SIZE + 32,  // the output's folder and a generated name
  PART_NAME_SIZE = PLOT_TEMP_SIZE + 16,  // and the number of one of several files
  EXIT_NOT_FOUND = 127,             // what a child whose program could not be run exits with
  PLOT_FIT = 0,                     // what velplot draws: one fit from its log,
  PLOT_PROFILE = 1,                 // one column of a table across its datasets,
  PLOT_ALL = 2,                     // or every fit of a table
};

static int plotMode;                // get_plot_args
static char plotFname[NAME_SIZE];   // get_plot_args
static int plotFormat;              // get_plot_args
static char tableFname[NAME_SIZE];  // get_plot_args
static const char *profileParm;     // get_plot_args
static int logFailed;               // read_log_results: the log is of a failed fit

static const char usage_text[] =
    "usage: velplot dataOffset datasetId dataFile logFile model outputFile\n"
    "       velplot --profile PARAM tableFile outputFile\n"
    "       velplot --all dataOffset dataFile tableFile model outputFile\n"
    "\n"
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

// What every picture of a table shares with the run that loads its data: the offset, the
// data file and the model; the dataset and the parameters are each page's own.
static run_setup plotRun;

// Sets up the run of the form given: for a fit, what the data load reads and logFname; for
// a profile, profileParm and tableFname; for every fit, plotRun and tableFname; for each,
// plotMode, plotFname and plotFormat. Returns 1, or 0 after the usage text or a framed
// report for a wrong command line, before any file is touched.
static int get_plot_args(int argc, char **argv) {
  plotMode = PLOT_FIT;
  if (argc > 1 && strcmp(argv[1], "--profile") == 0) plotMode = PLOT_PROFILE;
  if (argc > 1 && strcmp(argv[1], "--all") == 0) plotMode = PLOT_ALL;
  static const int arg_count[] = {NUM_PLOT_ARGS, NUM_PROFILE_ARGS, NUM_ALL_ARGS};
  if (argc - 1 != arg_count[plotMode]) {
    fputs(usage_text, stdout);
    return 0;
  }
  fill_catalogue();
  run_setup *r = &plotRun;
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
  if (plotMode != PLOT_PROFILE && !check_model(r->fitFunc, "get_plot_args")) return 0;
  setup_run(r);
  plotFormat = plot_format(plotFname);
  if (plotFormat < 0) {
    char msg[MESSAGE_SIZE];
    snprintf(msg, sizeof msg, "Output file %s must end in .svg, .png or .pdf\n", plotFname);
    show_err(ERR_FATAL, "get_plot_args", msg);
    return 0;
  }
  return 1;
}

// Runs gnuplot on the script file with its standard output on outFd and its messages
// on our standard output. Returns its exit status, EXIT_NOT_FOUND when it could not be
// started, or -1 when it was ended by a signal.
static int run_gnuplot(const char *script, int outFd) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, outFd);
  char prog[] = "gnuplot";
  char defaults[] = "-d";  // no start-up files: a user's settings must not change the picture
  char *args[] = {prog, defaults, (char *)script, NULL};
  fflush(stdout);
  pid_t pid;
  int err = posix_spawnp(&pid, prog, &actions, NULL, args, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (err != 0) return EXIT_NOT_FOUND;
  int status;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return -1;
}

// The temporary files live beside the output: the pictures must be renamed onto their
// names, which works only within one file system. Each is removed on every path. Several
// files of a grid are tempOut-1, tempOut-2 ..., created only once tempOut itself has
// reserved the name; gnuplot's standard output then goes to tempOut and stays unused.
static char tempOut[PLOT_TEMP_SIZE];
static char tempScript[PLOT_TEMP_SIZE];
static int tempParts;  // tempOut-1 to tempOut-tempParts exist

static void part_name(char *buf, int size, const char *base, int k) {
  snprintf(buf, size, "%s-%d", base, k);
}

static void remove_temp_files(void) {
  char part[PART_NAME_SIZE];
  for (int k = 1; k <= tempParts; k++) {
    part_name(part, sizeof part, tempOut, k);
    unlink(part);
  }
  tempParts = 0;
  if (tempOut[0] != '\0') unlink(tempOut);
  if (tempScript[0] != '\0') unlink(tempScript);
  tempOut[0] = tempScript[0] = '\0';
}

// Fails the run after removing the temporary files. Returns 0, for draw_plot to pass on.
// A NULL message: the report has been made.
static int plot_failed(const char *message) {
  remove_temp_files();
  if (message != NULL) show_err(ERR_FATAL, "draw_plot", message);
  return 0;
}

// A name in the output's folder, led by "./" for a relative folder so that gnuplot never
// takes it for an option. The output name fits NAME_SIZE, so the result fits.
static void temp_name(char *buf, const char *what) {
  const char *slash = strrchr(plotFname, '/');
  int dirLen = slash != NULL ? (int)(slash - plotFname) + 1 : 0;
  snprintf(buf, PLOT_TEMP_SIZE, "%s%.*s.velplot-%s-XXXXXX", plotFname[0] == '/' ? "" : "./", dirLen,
           plotFname, what);
}

// The name of output file k of files: the output's own name for one, NAME-k.png for more.
static void output_name(char *buf, int size, int k, int files) {
  if (files <= 1) {
    snprintf(buf, size, "%s", plotFname);
    return;
  }
  int stem = (int)strlen(plotFname) - 4;  // the extension, .svg or .png, keeps its case
  snprintf(buf, size, "%.*s-%d%s", stem, plotFname, k, plotFname + stem);
}

// Renames the pictures onto their names: tempOut, or each part. A folder in the way of
// one is found before any is renamed, so that a failure leaves every earlier file as it
// was. Returns 1, or 0 after a framed report.
static int rename_outputs(int files) {
  char msg[MESSAGE_SIZE + 32];
  char target[PART_NAME_SIZE], part[PART_NAME_SIZE];
  if (files == 0) {
    if (rename(tempOut, plotFname) != 0) {
      snprintf(msg, sizeof msg, "Unable to write output file %s\n", plotFname);
      return plot_failed(msg);
    }
    tempOut[0] = '\0';
    return 1;
  }
  for (int pass = 0; pass < 2; pass++) {
    for (int k = 1; k <= files; k++) {
      output_name(target, sizeof target, k, files);
      part_name(part, sizeof part, tempOut, k);
      struct stat st;
      int blocked = pass == 0 && stat(target, &st) == 0 && S_ISDIR(st.st_mode);
      if (blocked || (pass == 1 && rename(part, target) != 0)) {
        snprintf(msg, sizeof msg, "Unable to write output file %s\n", target);
        return plot_failed(msg);
      }
    }
  }
  tempParts = 0;
  remove_temp_files();
  return 1;
}

// What the data file and the table are to the drawing; NULL when the form has none.
static FILE *dataFp;
static table_reader table;

// Writes the script of the form given. Returns 1, or 0 after a framed report.
static int write_script(FILE *fp) {
  if (plotMode == PLOT_PROFILE) {
    return write_profile_script(fp, plotFormat, &table, profileParm);
  }
  if (plotMode == PLOT_ALL) {
    return write_table_pages(fp, plotFormat, &table, &plotRun, dataFp, tempOut);
  }
  plot_page page;
  page.id = dataRes;
  page.shown = logFailed ? SHOWN_START : SHOWN_FIT;
  page.curve = 1;
  page.ofTable = 0;
  page.note = NULL;
  write_plot_script(fp, plotFormat, &page);
  return 1;
}

// Draws the picture into a temporary file, or files made of parts (0 for one picture on
// gnuplot's standard output), and renames them onto their names once gnuplot has
// succeeded. Returns 1, or 0 after a framed report, with no temporary file left.
static int draw_plot(int files) {
  char msg[MESSAGE_SIZE];
  temp_name(tempOut, "out");
  int outFd = mkstemp(tempOut);
  if (outFd < 0) {
    tempOut[0] = '\0';
    snprintf(msg, sizeof msg, "Unable to open output file %s\n", plotFname);
    return plot_failed(msg);
  }
  // mkstemp makes the file private; the picture gets the permissions of any new file.
  mode_t mask = umask(0);
  umask(mask);
  fchmod(outFd, 0666 & ~mask);
  char part[PART_NAME_SIZE];
  for (int k = 1; k <= files; k++) {
    part_name(part, sizeof part, tempOut, k);
    int fd = open(part, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      close(outFd);
      snprintf(msg, sizeof msg, "Unable to write a temporary file beside %s\n", plotFname);
      return plot_failed(msg);
    }
    close(fd);
    tempParts = k;
  }

  temp_name(tempScript, "gp");
  int scriptFd = mkstemp(tempScript);
  if (scriptFd < 0) tempScript[0] = '\0';  // nothing to remove
  FILE *fp = scriptFd >= 0 ? fdopen(scriptFd, "w") : NULL;
  if (fp == NULL) {
    if (scriptFd >= 0) close(scriptFd);
    close(outFd);
    snprintf(msg, sizeof msg, "Unable to write a temporary file beside %s\n", plotFname);
    return plot_failed(msg);
  }
  if (!write_script(fp)) {
    fclose(fp);
    close(outFd);
    return plot_failed(NULL);
  }
  int bad = ferror(fp);
  if (fclose(fp) != 0 || bad) {
    close(outFd);
    snprintf(msg, sizeof msg, "Unable to write a temporary file beside %s\n", plotFname);
    return plot_failed(msg);
  }

  int status = run_gnuplot(tempScript, outFd);
  struct stat st;
  int empty = files == 0 && (fstat(outFd, &st) != 0 || st.st_size == 0);
  int closed = close(outFd) == 0;
  for (int k = 1; k <= files; k++) {
    part_name(part, sizeof part, tempOut, k);
    if (stat(part, &st) != 0 || st.st_size == 0) empty = 1;
  }
  if (status == EXIT_NOT_FOUND) {
    return plot_failed("Unable to run gnuplot: install it (Debian package gnuplot-nox)\n");
  }
  if (status < 0) {
    snprintf(msg, sizeof msg, "gnuplot was stopped by a signal; %s is not written\n", plotFname);
    return plot_failed(msg);
  }
  if (status != 0) {
    snprintf(msg, sizeof msg, "gnuplot failed (exit status %d); %s is not written\n", status,
             plotFname);
    return plot_failed(msg);
  }
  if (empty || !closed) {
    snprintf(msg, sizeof msg, "gnuplot wrote no picture; %s is not written\n", plotFname);
    return plot_failed(msg);
  }
  unlink(tempScript);
  tempScript[0] = '\0';
  return rename_outputs(files);
}

// Opens the table and reads its header. A table of every fit is read twice, so it must be
// a file. Returns 1, or 0 after a framed report.
static int open_table(void) {
  char msg[MESSAGE_SIZE];
  FILE *fp = fopen(tableFname, "r");
  if (fp == NULL) {
    snprintf(msg, sizeof msg, "Unable to open table file %s\n", tableFname);
    show_err(ERR_FATAL, "read_table", msg);
    return 0;
  }
  if (plotMode == PLOT_ALL && !can_read_twice(fp, "Table", tableFname, "read_table")) {
    fclose(fp);
    return 0;
  }
  return table_start(&table, fp, tableFname);
}

int main(int argc, char **argv) {
  if (info_option(argc, argv, "velplot", usage_text)) return 0;
  if (!get_plot_args(argc, argv)) return 1;
  if (plotMode == PLOT_FIT) {
    if (!init_vars()) return 1;
    if (!read_log_results(logFname, fitFunc, fitParms, &rmse, &logFailed)) return 1;
    if (!compute_plot()) {
      char msg[MESSAGE_SIZE];
      snprintf(
          msg, sizeof msg,
          "Nothing to draw: model %d has no finite value at the data with the parameters of %s\n",
          fitFunc, logFname);
      show_err(ERR_FATAL, "draw_plot", msg);
      return 1;
    }
    return draw_plot(0) ? 0 : 1;
  }
  if (!open_table()) return 1;
  if (plotMode == PLOT_PROFILE) return draw_plot(0) ? 0 : 1;
  int count = plan_table_pages(&table);
  if (count < 0) return 1;
  // The second reading, which draws, starts again after the header.
  if (fseeko(table.fp, 0, SEEK_SET) != 0 || !table_start(&table, table.fp, tableFname)) return 1;
  // The scan has read the file; the pictures read each dataset again from its place.
  dataFp = fopen(dataFname, "r");
  if (dataFp == NULL) {
    char msg[MESSAGE_SIZE];
    snprintf(msg, sizeof msg, "Data file %s cannot be opened again\n", dataFname);
    show_err(ERR_FATAL, "draw_all", msg);
    return 1;
  }
  return draw_plot(plotFormat == PLOT_PDF ? 0 : grid_files(count)) ? 0 : 1;
}

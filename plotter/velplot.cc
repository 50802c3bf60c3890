// velplot: the picture of a fit that velquin made. It loads the dataset as velquin
// does, takes the fitted parameters from velquin's log, and has gnuplot draw data, curve
// and residuals. The output file appears whole or not at all.
#include <errno.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "models.h"
#include "plot_script.h"
#include "run_state.h"

extern char **environ;

enum {
  NUM_PLOT_ARGS = 6,                // dataOffset datasetId dataFile logFile model outputFile
  TEMP_NAME_SIZE = NAME_SIZE + 32,  // the output's folder and a generated name
  EXIT_NOT_FOUND = 127,             // what a child whose program could not be run exits with
};

static char plotFname[NAME_SIZE];  // get_plot_args
static int plotFormat;             // get_plot_args

static const char usage_text[] =
    "usage: velplot dataOffset datasetId dataFile logFile model outputFile\n"
    "\n"
    "  dataOffset  number added to every x value of the dataset, as given to velquin\n"
    "  datasetId   id of the dataset in dataFile; 0 takes the first data of the file\n"
    "  dataFile    curve data file that velquin fitted\n"
    "  logFile     log file that velquin wrote for that fit\n"
    "  model       model number of the fit, 0 to 28 but 12\n"
    "  outputFile  picture to write, named .svg, .png or .pdf\n"
    "\n"
    "Draws the data, the fitted curve and the residuals with gnuplot.\n"
    "Exit status: 0 after writing the picture, 1 after an error.\n";

// Fills the globals that the data load reads (dataOffset, dataRes, dataFname, fitFunc),
// logFname, plotFname and plotFormat. Returns 1, or 0 after the usage text or a framed
// report for a wrong command line, before any file is touched.
static int get_plot_args(int argc, char **argv) {
  if (argc - 1 != NUM_PLOT_ARGS) {
    fputs(usage_text, stdout);
    return 0;
  }
  // Room for any one argument, so the message names the whole of a rejected name.
  static char msg[MAX_ARG_SIZE + 64];
  static const int name_pos[] = {3, 4, 6};
  for (int pos : name_pos) {
    if (strlen(argv[pos]) > NAME_SIZE - 1) {
      snprintf(msg, sizeof msg, "File name too long: %s\n", argv[pos]);
      show_err(ERR_FATAL, "get_plot_args", msg);
      return 0;
    }
  }
  dataOffset = atof(argv[1]);
  dataRes = to_int(argv[2]);
  strcpy(dataFname, argv[3]);  // lengths checked above
  strcpy(logFname, argv[4]);
  fitFunc = to_int(argv[5]);
  strcpy(plotFname, argv[6]);
  if (fitFunc < 0 || fitFunc > LAST_MODEL) {
    snprintf(msg, sizeof msg, "Unknown model number %d\n", fitFunc);
    show_err(ERR_FATAL, "get_plot_args", msg);
    return 0;
  }
  plotFormat = plot_format(plotFname);
  if (plotFormat < 0) {
    snprintf(msg, sizeof msg, "Output file %s must end in .svg, .png or .pdf\n", plotFname);
    show_err(ERR_FATAL, "get_plot_args", msg);
    return 0;
  }
  return 1;
}

// Reads a line whole into buf; 0 at the end of the file or for a line that does not fit.
static int read_log_line(FILE *fp, char *buf, int size) {
  if (fgets(buf, size, fp) == NULL) return 0;
  size_t len = strlen(buf);
  return (len > 0 && buf[len - 1] == '\n') || feof(fp);
}

// Sets fitParms from the first n lines of the log (n from the catalogue row of fitFunc),
// and rmse from line n + 1, which must hold that one number: a log of a model with more
// or fewer parameters fails there instead of drawing a wrong curve. Returns 1, or 0 after
// a framed report.
static int read_fit_log(void) {
  char msg[MESSAGE_SIZE];
  int n = fitParmNum[fitFunc];
  if (n == 0) {
    snprintf(msg, sizeof msg, "Model %d has no catalogue entry, so its log holds no parameters\n",
             fitFunc);
    show_err(ERR_FATAL, "read_fit_log", msg);
    return 0;
  }
  FILE *fp = fopen(logFname, "r");
  if (fp == NULL) {
    snprintf(msg, sizeof msg, "Unable to open log file %s\n", logFname);
    show_err(ERR_FATAL, "read_fit_log", msg);
    return 0;
  }
  char line[LINE_SIZE];
  for (int i = 0; i <= n; i++) {
    if (!read_log_line(fp, line, sizeof line)) {
      if (feof(fp) && !ferror(fp)) {
        snprintf(msg, sizeof msg,
                 "Log file %s has %d lines; model %d needs %d parameter lines and the RMSE\n",
                 logFname, i, fitFunc, n);
      } else {
        snprintf(msg, sizeof msg, "Line %d of log file %s is unreadable\n", i + 1, logFname);
      }
      show_err(ERR_FATAL, "read_fit_log", msg);
      fclose(fp);
      return 0;
    }
    double value, sd;
    int got = sscanf(line, "%lf %lf", &value, &sd);
    if (i < n && got != 2) {
      snprintf(msg, sizeof msg, "Line %d of log file %s is not a value and a standard deviation\n",
               i + 1, logFname);
      show_err(ERR_FATAL, "read_fit_log", msg);
      fclose(fp);
      return 0;
    }
    if (i == n && got != 1) {
      snprintf(msg, sizeof msg,
               "Line %d of log file %s is not the RMSE: is it a log of model %d?\n", i + 1,
               logFname, fitFunc);
      show_err(ERR_FATAL, "read_fit_log", msg);
      fclose(fp);
      return 0;
    }
    if (i < n) {
      fitParms[i] = value;
    } else {
      rmse = value;
    }
  }
  fclose(fp);
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

// The temporary files live beside the output: the picture must be renamed onto it,
// which works only within one file system. Each is removed on every path.
static char tempOut[TEMP_NAME_SIZE];
static char tempScript[TEMP_NAME_SIZE];

static void remove_temp_files(void) {
  if (tempOut[0] != '\0') unlink(tempOut);
  if (tempScript[0] != '\0') unlink(tempScript);
  tempOut[0] = tempScript[0] = '\0';
}

// Fails the run after removing the temporary files. Returns 0, for draw_plot to pass on.
static int plot_failed(const char *message) {
  remove_temp_files();
  show_err(ERR_FATAL, "draw_plot", message);
  return 0;
}

// A name in the output's folder, led by "./" for a relative folder so that gnuplot never
// takes it for an option. The output name fits NAME_SIZE, so the result fits.
static void temp_name(char *buf, const char *what) {
  const char *slash = strrchr(plotFname, '/');
  int dirLen = slash != NULL ? (int)(slash - plotFname) + 1 : 0;
  snprintf(buf, TEMP_NAME_SIZE, "%s%.*s.velplot-%s-XXXXXX", plotFname[0] == '/' ? "" : "./", dirLen,
           plotFname, what);
}

// Draws the picture into a temporary file and renames it onto plotFname once gnuplot
// has succeeded. Returns 1, or 0 after a framed report, with no temporary file left.
static int draw_plot(void) {
  char msg[MESSAGE_SIZE];
  if (!compute_plot()) {
    snprintf(
        msg, sizeof msg,
        "Nothing to draw: model %d has no finite value at the data with the parameters of %s\n",
        fitFunc, logFname);
    show_err(ERR_FATAL, "draw_plot", msg);
    return 0;
  }
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
  write_plot_script(fp, plotFormat);
  int bad = ferror(fp);
  if (fclose(fp) != 0 || bad) {
    close(outFd);
    snprintf(msg, sizeof msg, "Unable to write a temporary file beside %s\n", plotFname);
    return plot_failed(msg);
  }

  int status = run_gnuplot(tempScript, outFd);
  struct stat st;
  int empty = fstat(outFd, &st) != 0 || st.st_size == 0;
  int closed = close(outFd) == 0;
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
  if (rename(tempOut, plotFname) != 0) {
    snprintf(msg, sizeof msg, "Unable to write output file %s\n", plotFname);
    return plot_failed(msg);
  }
  tempOut[0] = '\0';
  return 1;
}

int main(int argc, char **argv) {
  if (info_option(argc, argv, "velplot", usage_text)) return 0;
  if (!get_plot_args(argc, argv)) return 1;
  if (!init_vars()) return 1;
  if (!read_fit_log()) return 1;
  return draw_plot() ? 0 : 1;
}

// velbatch's command line: options first, then velquin's positions without the dataset
// id and with the table in place of the log.
#include "batch_args.h"

#include <dirent.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "batch_table.h"
#include "cli.h"
#include "files.h"
#include "model_guess.h"
#include "models.h"
#include "show_err.h"

const char velbatch_usage[] =
    "usage: velbatch [options] dataOffset dataFile resultsFile tableFile model maxIterations\n"
    "                [parameter ...]\n"
    "       velbatch --join outputTable partTable ...\n"
    "\n"
    "Fits every dataset of dataFile as velquin would fit it by its id, appends each report\n"
    "to resultsFile in dataset order and writes one row per dataset to tableFile (\"-\":\n"
    "standard output): id, status, iterations, rmse, each parameter and its standard\n"
    "deviation, message.\n"
    "\n"
    "  -j N, --jobs N   N worker processes (default: the number of online processors)\n"
    "  --ids LIST       fit only these datasets, in this order: 3,7,10-20\n"
    "  --part K/N       fit only the K-th (0 to N-1) of N equal parts of these datasets\n"
    "  --starts FILE    starting values per dataset: lines of an id and parameters\n"
    "  --log-dir DIR    also write each dataset's velquin log and report as DIR/ID.log\n"
    "                   and DIR/ID.res\n"
    "  --append         add to a results file that holds earlier reports\n"
    "  --guess          starting values from each dataset's own data\n"
    "  --save-starts FILE\n"
    "                   write the start of each fit, as lines that --starts reads\n"
    "  --help, --version\n"
    "\n"
    "The positions and parameters are velquin's, each number whole; a leading \"=\" holds\n"
    "a parameter.\n"
    "Exit status: 0 when every dataset is ok, 1 when one failed or was refused, 2 when the\n"
    "batch could not run, 130 or 143 after an interrupt.\n"
    "\n"
    "--join writes the tables of a batch's parts, in the order given, as the table of the\n"
    "whole batch under one header; exit status 0, or 2 when it refuses a part.\n";

static char argMsg[MAX_ARG_SIZE + 128];  // room to name any one argument whole

static int batch_error(const char *message) {
  show_err(ERR_FATAL, "get_batch_args", message);
  return ARGS_BAD;
}

// A number position that is not a number as a whole: "1OO" read as 1 would fit every dataset.
static int not_whole(const char *position, const char *kind, const char *arg) {
  snprintf(argMsg, sizeof argMsg, "Argument %s is not %s: %s\n", position, kind, arg);
  return batch_error(argMsg);
}

// A negative dataOffset ("-1.5", "-.5", "-inf") is the first position, not an option:
// anything that begins with a number, as velquin reads the offset.
static int is_option(const char *arg) {
  if (arg[0] != '-' || arg[1] == '\0') return 0;
  char *end;
  strtod(arg, &end);
  return end == arg;
}

// The value of an option given as "--name VALUE", "--name=VALUE" or, for -j, "-jN".
// Returns NULL after a report when it is missing.
static const char *option_value(int argc, char **argv, int *i, const char *name) {
  const char *arg = argv[*i];
  size_t len = strlen(name);
  if (arg[len] == '=') return arg + len + 1;
  if (arg[len] != '\0') return arg + len;  // -j4
  if (*i + 1 < argc) return argv[++*i];
  char msg[MESSAGE_SIZE];
  snprintf(msg, sizeof msg, "Option %s needs a value\n", name);
  batch_error(msg);
  return NULL;
}

static int matches(const char *arg, const char *name, int joined) {
  size_t len = strlen(name);
  return strncmp(arg, name, len) == 0 && (arg[len] == '\0' || arg[len] == '=' || joined);
}

static int default_jobs(void) {
  long n = sysconf(_SC_NPROCESSORS_ONLN);
  if (n < 1) return 1;
  return n > MAX_JOBS ? MAX_JOBS : (int)n;
}

// Refuses --guess while a parameter that the data cannot separate is free.
static int check_guess_holds(const batch_options *o) {
  int other;
  const char *why;
  int parm = unseparated_parm(o->model, o->held, &other, &why);
  if (parm < 0) return ARGS_OK;
  char a[NAME_SIZE], b[NAME_SIZE];
  column_label(a, sizeof a, o->model, parm);
  if (other < 0) {
    snprintf(argMsg, sizeof argMsg, "--guess needs %s of model %d held (=value): %s\n", a, o->model,
             why);
  } else {
    column_label(b, sizeof b, o->model, other);
    snprintf(argMsg, sizeof argMsg, "--guess needs %s or %s of model %d held (=value): %s\n", a, b,
             o->model, why);
  }
  return batch_error(argMsg);
}

// Reads the option argv[*i] into *o, and its value, moving *i onto the value. Returns
// ARGS_OK, ARGS_ANSWERED after --help or --version, or ARGS_BAD after a report.
static int read_option(int argc, char **argv, int *i, batch_options *o) {
  const char *arg = argv[*i];
  const char *value = NULL;
  if (answer_info(arg, "velbatch", velbatch_usage)) {
    return ARGS_ANSWERED;
  } else if (matches(arg, "-j", 1) || matches(arg, "--jobs", 0)) {
    if ((value = option_value(argc, argv, i, arg[1] == 'j' ? "-j" : "--jobs")) == NULL) {
      return ARGS_BAD;
    }
    if (!whole_int(value, &o->jobs) || o->jobs < 1 || o->jobs > MAX_JOBS) {
      snprintf(argMsg, sizeof argMsg, "Invalid number of jobs %s: 1 to %d\n", value, MAX_JOBS);
      return batch_error(argMsg);
    }
  } else if (matches(arg, "--ids", 0)) {
    if ((o->idList = option_value(argc, argv, i, "--ids")) == NULL) return ARGS_BAD;
  } else if (matches(arg, "--part", 0)) {
    if ((o->part = option_value(argc, argv, i, "--part")) == NULL) return ARGS_BAD;
  } else if (matches(arg, "--starts", 0)) {
    if ((o->startsFile = option_value(argc, argv, i, "--starts")) == NULL) return ARGS_BAD;
  } else if (matches(arg, "--log-dir", 0)) {
    if ((o->logDir = option_value(argc, argv, i, "--log-dir")) == NULL) return ARGS_BAD;
  } else if (strcmp(arg, "--append") == 0) {
    o->append = 1;
  } else if (strcmp(arg, "--guess") == 0) {
    o->guess = 1;
  } else if (matches(arg, "--save-starts", 0)) {
    if ((o->saveStarts = option_value(argc, argv, i, "--save-starts")) == NULL) return ARGS_BAD;
  } else {
    snprintf(argMsg, sizeof argMsg, "Unknown option %s\n", arg);
    return batch_error(argMsg);
  }
  return ARGS_OK;
}

// Reads the options before the positions into *o and sets *first to the first position.
// Returns ARGS_OK, ARGS_ANSWERED after --help or --version, or ARGS_BAD after a report.
static int read_options(int argc, char **argv, batch_options *o, int *first) {
  int i = 1, ended = 0;
  for (; i < argc && is_option(argv[i]); i++) {
    if (strcmp(argv[i], "--") == 0) {
      i++;
      ended = 1;
      break;
    }
    int got = read_option(argc, argv, &i, o);
    if (got != ARGS_OK) return got;
  }
  *first = i;
  // An option after the positions would be taken for a parameter; after "--", a name that
  // begins with "-" is meant.
  for (int k = i; k < argc && !ended; k++) {
    if (!is_option(argv[k])) continue;
    snprintf(argMsg, sizeof argMsg,
             "Option %s stands after the positions: options go before the positions\n", argv[k]);
    return batch_error(argMsg);
  }
  return ARGS_OK;
}

// Checks the file names among the positions pos[2] to pos[4] and the options' names.
// Returns ARGS_OK, or ARGS_BAD after a report.
static int check_names(char **pos, const batch_options *o) {
  for (int k = 2; k <= 4; k++) {
    if (!check_name(pos[k], "get_batch_args")) return ARGS_BAD;
  }
  if (o->logDir != NULL && strlen(o->logDir) > NAME_SIZE - 1 - LOG_NAME_ROOM) {
    snprintf(argMsg, sizeof argMsg, "Log folder name too long: %s\n", o->logDir);
    return batch_error(argMsg);
  }
  if (o->logDir != NULL && o->logDir[0] == '\0') return batch_error("Log folder name is empty\n");
  if (o->saveStarts != NULL && !check_name(o->saveStarts, "get_batch_args")) return ARGS_BAD;
  return ARGS_OK;
}

// Reads the given parameter words of model o->model into o->parms and o->held, after
// checking the model. Returns ARGS_OK, or ARGS_BAD after a report.
static int read_batch_parms(char **words, int given, batch_options *o) {
  fill_catalogue();
  if (!check_model(o->model, "get_batch_args")) return ARGS_BAD;
  int wrong = read_parms(words, given, o->model, o->parms, o->held);
  if (wrong == PARMS_TOO_MANY) {
    int len = parm_count_text(argMsg, sizeof argMsg, o->model, given);
    snprintf(argMsg + len, sizeof argMsg - (size_t)len, "\n");
    return batch_error(argMsg);
  }
  if (wrong != PARMS_READ) {
    char label[NAME_SIZE];
    parm_name(label, sizeof label, o->model, wrong);
    snprintf(argMsg, sizeof argMsg, "Parameter %s is not a number: %s\n", label, words[wrong]);
    return batch_error(argMsg);
  }
  return ARGS_OK;
}

int get_batch_args(int argc, char **argv, batch_options *o) {
  memset(o, 0, sizeof *o);
  o->jobs = default_jobs();
  int i = 1;
  int got = read_options(argc, argv, o, &i);
  if (got != ARGS_OK) return got;
  if (argc - i < NUM_BATCH_ARGS) {
    fputs(velbatch_usage, stderr);
    return ARGS_BAD;
  }
  char **pos = argv + i - 1;  // pos[1] is the first position, as argv[1] is velquin's
  if (check_names(pos, o) != ARGS_OK) return ARGS_BAD;
  o->dataFile = pos[2];
  o->resultsFile = pos[3];
  o->tableFile = pos[4];
  if (!whole_number(pos[1], &o->dataOffset)) return not_whole("dataOffset", "a number", pos[1]);
  if (!whole_int(pos[5], &o->model)) return not_whole("model", "an integer", pos[5]);
  if (!whole_int(pos[6], &o->maxIt)) return not_whole("maxIterations", "an integer", pos[6]);
  got = read_batch_parms(pos + 1 + NUM_BATCH_ARGS, argc - i - NUM_BATCH_ARGS, o);
  if (got != ARGS_OK) return got;
  return o->guess ? check_guess_holds(o) : ARGS_OK;
}

// The parameters a model takes: its labelled ones, or for model 12, which fnf evaluates
// without a catalogue row, as many as velquin passes on.
static int parms_taken(int model) {
  return fitLabel[model] != NULL ? fitParmNum[model] : MAX_PARMS;
}

int read_parms(char *const *words, int n, int model, double *params, int *held) {
  if (n > parms_taken(model)) return PARMS_TOO_MANY;
  for (int k = 0; k < MAX_PARMS; k++) {
    params[k] = 0.0;
    held[k] = 0;
  }
  for (int k = 0; k < n; k++) {
    if (!whole_parm(words[k], &params[k], &held[k])) return k;
  }
  return PARMS_READ;
}

int parm_count_text(char *buf, int size, int model, int given) {
  int taken = parms_taken(model);
  if (fitLabel[model] == NULL) {
    return snprintf(buf, (size_t)size, "Model %d takes %d parameters; %d given", model, taken,
                    given);
  }
  char labels[MAX_PARMS * (NAME_SIZE + 1)];
  int len = 0;
  for (int k = 0; k < taken; k++) {
    labels[len++] = ' ';
    len += column_label(labels + len, (int)sizeof labels - len, model, k);  // labels are short
  }
  labels[len] = '\0';
  return snprintf(buf, (size_t)size, "Model %d (%s) takes %d parameter%s:%s; %d given", model,
                  fitLabel[model], taken, taken == 1 ? "" : "s", labels, given);
}

int parm_name(char *buf, int size, int model, int i) {
  if (fitLabel[model] == NULL) return snprintf(buf, (size_t)size, "%d", i + 1);
  return column_label(buf, size, model, i);
}

// The folder that would hold a file of the name path: its device and inode in *st.
static int folder_of(const char *path, struct stat *st) {
  char folder[NAME_SIZE];
  const char *slash = strrchr(path, '/');
  if (slash == NULL) return stat(".", st) == 0;
  int len = slash == path ? 1 : (int)(slash - path);   // "/x" lies in "/"
  snprintf(folder, sizeof folder, "%.*s", len, path);  // names are checked to fit
  return stat(folder, st) == 0;
}

static const char *base_name(const char *path) {
  const char *slash = strrchr(path, '/');
  return slash != NULL ? slash + 1 : path;
}

// Whether a and b are one file: by device and inode when both exist; when neither does,
// whether both names would create the same file, one name in one folder.
static int same_place(const char *a, const char *b) {
  struct stat sa, sb;
  int hasA = stat(a, &sa) == 0, hasB = stat(b, &sb) == 0;
  if (hasA || hasB) return hasA && hasB && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  if (strcmp(base_name(a), base_name(b)) != 0) return 0;
  return folder_of(a, &sa) && folder_of(b, &sb) && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

// The same place as path, for an output that may be "-", standard output.
static int same_output(const char *out, const char *path) {
  if (strcmp(out, "-") != 0) return same_place(out, path);
  struct stat so, sp;
  if (fstat(STDOUT_FILENO, &so) != 0 || stat(path, &sp) != 0) return 0;
  return so.st_dev == sp.st_dev && so.st_ino == sp.st_ino;
}

// The name of an output in a message.
static const char *shown_name(const char *name) {
  return strcmp(name, "-") == 0 ? "standard output" : name;
}

static int refuse(const char *message) {
  show_err(ERR_FATAL, "get_batch_args", message);
  return 0;
}

// The saved-starts file is rewritten: it must be none of the batch's other files.
static int check_saved_starts(const batch_options *o) {
  char msg[3 * NAME_SIZE];
  const char *s = o->saveStarts;
  msg[0] = '\0';
  if (same_place(s, o->dataFile)) {
    snprintf(msg, sizeof msg, "Output file %s is the data file\n", s);
  } else if (same_place(s, o->resultsFile)) {
    snprintf(msg, sizeof msg, "Saved-starts file %s is the results file\n", s);
  } else if (same_output(o->tableFile, s)) {
    snprintf(msg, sizeof msg, "Saved-starts file %s is the table file\n", s);
  } else if (o->startsFile != NULL && same_place(s, o->startsFile)) {
    snprintf(msg, sizeof msg, "Saved-starts file %s is the starts file\n", s);
  }
  return msg[0] == '\0' || refuse(msg);
}

int check_batch_files(const batch_options *o) {
  char msg[3 * NAME_SIZE];
  if (same_place(o->resultsFile, o->dataFile)) {
    snprintf(msg, sizeof msg, "Output file %s is the data file\n", o->resultsFile);
    return refuse(msg);
  }
  if (same_output(o->tableFile, o->dataFile)) {
    snprintf(msg, sizeof msg, "Output file %s is the data file\n", shown_name(o->tableFile));
    return refuse(msg);
  }
  if (same_output(o->tableFile, o->resultsFile)) {
    snprintf(msg, sizeof msg, "Table file %s is the results file\n", shown_name(o->tableFile));
    return refuse(msg);
  }
  return o->saveStarts == NULL || check_saved_starts(o);
}

// A name that a log or report of the log folder may take: an id and ".log" or ".res".
// Taken broadly ("+3.log" too), since refusing an odd name costs less than writing a log
// over a report.
static int is_log_name(const char *name) {
  char *end;
  strtol(name, &end, 10);
  return end != name && (strcmp(end, ".log") == 0 || strcmp(end, ".res") == 0);
}

// What a file of the log folder is called in a message: "Log" or "Report".
static const char *log_kind(const char *path) {
  size_t len = strlen(path);
  return len >= 4 && strcmp(path + len - 4, ".res") == 0 ? "Report" : "Log";
}

// Whether the output path would be one of the logs or reports in the folder dir.
static int is_log_in(const char *path, const struct stat *dir) {
  struct stat st;
  if (strcmp(path, "-") == 0 || !is_log_name(base_name(path))) return 0;
  return folder_of(path, &st) && st.st_dev == dir->st_dev && st.st_ino == dir->st_ino;
}

int check_log_folder(const batch_options *o) {
  char msg[3 * NAME_SIZE];
  struct stat dirSt;
  if (stat(o->logDir, &dirSt) != 0) return 1;  // nothing in it can be another output
  if (is_log_in(o->resultsFile, &dirSt)) {
    snprintf(msg, sizeof msg, "%s file %s is the results file\n", log_kind(o->resultsFile),
             o->resultsFile);
    return refuse(msg);
  }
  if (is_log_in(o->tableFile, &dirSt)) {
    snprintf(msg, sizeof msg, "%s file %s is the table file\n", log_kind(o->tableFile),
             o->tableFile);
    return refuse(msg);
  }
  if (o->saveStarts != NULL && is_log_in(o->saveStarts, &dirSt)) {
    snprintf(msg, sizeof msg, "%s file %s is the saved-starts file\n", log_kind(o->saveStarts),
             o->saveStarts);
    return refuse(msg);
  }
  // The logs and reports there already may be links to the other files.
  DIR *dir = opendir(o->logDir);
  if (dir == NULL) return 1;
  int ok = 1;
  char path[2 * NAME_SIZE];
  for (struct dirent *e = readdir(dir); ok && e != NULL; e = readdir(dir)) {
    if (!is_log_name(e->d_name)) continue;
    snprintf(path, sizeof path, "%s/%s", o->logDir, e->d_name);
    msg[0] = '\0';
    if (same_file(path, o->dataFile)) {
      snprintf(msg, sizeof msg, "Output file %s is the data file\n", path);
    } else if (same_file(path, o->resultsFile)) {
      snprintf(msg, sizeof msg, "%s file %s is the results file\n", log_kind(path), path);
    } else if (same_output(o->tableFile, path)) {
      snprintf(msg, sizeof msg, "%s file %s is the table file\n", log_kind(path), path);
    } else if (o->saveStarts != NULL && same_file(path, o->saveStarts)) {
      snprintf(msg, sizeof msg, "%s file %s is the saved-starts file\n", log_kind(path), path);
    }
    if (msg[0] != '\0') ok = refuse(msg);
  }
  closedir(dir);
  return ok;
}

// The outputs of a batch, written by the main process alone: each dataset's log, report
// and row in dataset order, appended whole or taken back, and the lines that tell a person
// how far the batch has come.
#include "batch_output.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "batch_fd.h"
#include "batch_index.h"
#include "batch_part.h"
#include "batch_table.h"
#include "show_err.h"

static int resultsFd = -1, tableFd = -1;
static long long resultsSize, tableSize;  // what the files held after the last whole write
static int written, okCount, failedCount, refusedCount;

// What open_outputs has made, for taking back when a batch cannot start.
static int resultsMade, tableMade;
static int madeEnds[NAME_SIZE];  // where each folder made for the logs ends in its name,
                                 // which has fewer "/" than NAME_SIZE
static int madeCount;

enum { CANNOT_OPEN, CANNOT_WRITE, CANNOT_CREATE_FOLDER };

// velquin's reports of an output file, for the batch's outputs. Returns 0.
static int output_error(const char *module, int what, const char *name) {
  char msg[MESSAGE_SIZE];
  if (what == CANNOT_OPEN) {
    snprintf(msg, sizeof msg, "Unable to open output file %s", name);
  } else if (what == CANNOT_WRITE) {
    snprintf(msg, sizeof msg, "Unable to write output file %s", name);
  } else {
    snprintf(msg, sizeof msg, "Unable to create log folder %s\n", name);
  }
  show_err(ERR_FATAL, module, msg);
  return 0;
}

// Appends a whole piece to a file; a piece that cannot be written whole is taken back, so
// that the file ends with whole reports or rows. Standard output cannot take it back.
static int append_whole(int fd, long long *size, const char *buf, int len) {
  if (write_whole(fd, buf, (size_t)len)) {
    *size += len;
    return 1;
  }
  if (fd != STDOUT_FILENO && ftruncate(fd, (off_t)*size) != 0) {
    // nothing more can be done: the write error is reported all the same
  }
  return 0;
}

// Makes the folder at path and each missing folder above it, noting those it makes.
// Returns 1 when path is a folder.
static int make_folder(const char *path) {
  char part[NAME_SIZE];
  snprintf(part, sizeof part, "%s", path);  // checked to fit
  for (char *p = part + 1;; p++) {
    if (*p != '/' && *p != '\0') continue;
    char keep = *p;
    *p = '\0';
    if (mkdir(part, 0777) == 0) {
      madeEnds[madeCount++] = (int)(p - part);
    } else if (errno != EEXIST) {
      return 0;
    }
    *p = keep;
    if (keep == '\0') break;
  }
  struct stat st;
  return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

// Removes the folders that make_folder made, the deepest first; rmdir takes only an empty
// one, so nothing written into them since is lost.
static void remove_made_folders(const char *path) {
  char part[NAME_SIZE];
  while (madeCount > 0) {
    int end = madeEnds[--madeCount];
    snprintf(part, sizeof part, "%.*s", end, path);
    rmdir(part);
  }
}

static int open_log_folder(const batch_options *o) {
  if (o->logDir == NULL) return 1;
  if (!make_folder(o->logDir)) return output_error("write_log", CANNOT_CREATE_FOLDER, o->logDir);
  return check_log_folder(o);
}

// Takes the output's advisory lock for the whole batch: a second velbatch writing the same
// file would interleave its reports or rows with this one's. A file system without locks
// lets the batch run unlocked. Returns 1, or 0 after a framed report.
static int lock_output(int fd, const char *kind, const char *name, const char *module) {
  if (flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK) return 1;
  char msg[MESSAGE_SIZE];
  snprintf(msg, sizeof msg, "%s file %s is in use by another velbatch\n", kind, name);
  show_err(ERR_FATAL, module, msg);
  return 0;
}

static int open_results(const batch_options *o) {
  struct stat st;
  resultsMade = stat(o->resultsFile, &st) != 0;
  resultsFd = open(o->resultsFile, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (resultsFd < 0) return output_error("write_results", CANNOT_OPEN, o->resultsFile);
  if (!lock_output(resultsFd, "Results", o->resultsFile, "write_results")) return 0;
  resultsSize = fstat(resultsFd, &st) == 0 ? (long long)st.st_size : 0;
  // Reports added to those of an earlier batch would no longer match the table, which
  // holds this batch's rows only.
  if (resultsSize > 0 && !o->append) {
    char msg[MESSAGE_SIZE];
    snprintf(msg, sizeof msg,
             "Results file %s holds earlier reports: remove it, or give --append\n",
             o->resultsFile);
    show_err(ERR_FATAL, "write_results", msg);
    return 0;
  }
  return 1;
}

// Opens and locks the table without emptying it: a table that another batch is writing
// keeps its rows.
static int open_table(const batch_options *o) {
  struct stat st;
  int toStdout = strcmp(o->tableFile, "-") == 0;
  tableMade = !toStdout && stat(o->tableFile, &st) != 0;
  tableFd = toStdout ? STDOUT_FILENO : open(o->tableFile, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (tableFd < 0) return output_error("write_table", CANNOT_OPEN, o->tableFile);
  return toStdout || lock_output(tableFd, "Table", o->tableFile, "write_table");
}

static int start_table(const batch_options *o) {
  if (tableFd != STDOUT_FILENO && ftruncate(tableFd, 0) != 0) {
    return output_error("write_table", CANNOT_WRITE, o->tableFile);
  }
  char header[ROW_SIZE];
  int len = table_header(header, sizeof header, o->model);
  tableSize = 0;
  if (!append_whole(tableFd, &tableSize, header, len)) {
    return output_error("write_table", CANNOT_WRITE, o->tableFile);
  }
  return 1;
}

// --- the saved starts (--save-starts): a file kept as the table is, line for row

static int startsFd = -1;
static long long startsSize;  // what it held after the last whole write
static int startsMade;

// Opens and locks the saved-starts file without emptying it, as the table.
static int open_saved_starts(const batch_options *o) {
  if (o->saveStarts == NULL) return 1;
  struct stat st;
  startsMade = stat(o->saveStarts, &st) != 0;
  startsFd = open(o->saveStarts, O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (startsFd < 0) return output_error("write_starts", CANNOT_OPEN, o->saveStarts);
  return lock_output(startsFd, "Saved-starts", o->saveStarts, "write_starts");
}

// Empties it and writes its comment line.
static int start_saved_starts(const batch_options *o) {
  if (o->saveStarts == NULL) return 1;
  char header[START_LINE_SIZE];
  int len = start_header(header, sizeof header, o->model);
  startsSize = 0;
  if (ftruncate(startsFd, 0) != 0 || !append_whole(startsFd, &startsSize, header, len)) {
    return output_error("write_starts", CANNOT_WRITE, o->saveStarts);
  }
  return 1;
}

// Removes it when open_outputs made it and the batch cannot start.
static void drop_saved_starts(const batch_options *o) {
  if (startsFd >= 0 && startsMade) unlink(o->saveStarts);
}

static void close_saved_starts(void) {
  if (startsFd >= 0) close(startsFd);
  startsFd = -1;
}

// Appends the start line of a dataset's results, which goes before its report and row.
static int write_saved_start(const batch_options *o, const batch_result *r) {
  if (startsFd < 0 || r->startLen == 0) return 1;
  if (append_whole(startsFd, &startsSize, r->start, r->startLen)) return 1;
  return output_error("write_starts", CANNOT_WRITE, o->saveStarts);
}

// Takes back the start line written since the size before, when the dataset's report or
// row cannot follow it.
static void take_back_saved_start(long long before) {
  if (startsFd >= 0 && ftruncate(startsFd, (off_t)before) == 0) startsSize = before;
}

// --- opening and closing

// Opens the outputs in the order that loses least when one fails: the log folder, which no
// file is written to yet; the results file, the table and the saved starts, locked,
// nothing written to them yet; then the table and the saved starts emptied and their
// headers written.
int open_outputs(const batch_options *o) {
  written = okCount = failedCount = refusedCount = 0;
  resultsMade = tableMade = madeCount = 0;
  if (open_log_folder(o) && open_results(o) && open_table(o) && open_saved_starts(o) &&
      start_table(o) && start_saved_starts(o)) {
    return 1;
  }
  // A batch that cannot start leaves no new file or folder behind.
  int newResults = resultsFd >= 0 && resultsMade;
  int newTable = tableFd >= 0 && tableFd != STDOUT_FILENO && tableMade;
  drop_saved_starts(o);
  close_outputs();
  if (newResults) unlink(o->resultsFile);
  if (newTable) unlink(o->tableFile);
  remove_made_folders(o->logDir);
  return 0;
}

void close_outputs(void) {
  if (resultsFd >= 0) close(resultsFd);
  if (tableFd >= 0 && tableFd != STDOUT_FILENO) close(tableFd);
  resultsFd = tableFd = -1;
  close_saved_starts();
}

// Writes len bytes of text as the file DIR/ID.ext of the log folder.
static int write_log_file(const batch_options *o, int id, const char *ext, const char *text,
                          int len) {
  char path[NAME_SIZE];
  snprintf(path, sizeof path, "%s/%d.%s", o->logDir, id, ext);  // the folder's name leaves room
  int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return output_error("write_log", CANNOT_OPEN, path);
  int ok = write_whole(fd, text, (size_t)len);
  if (close(fd) != 0) ok = 0;
  if (!ok) return output_error("write_log", CANNOT_WRITE, path);
  return 1;
}

// The log and the report in the log folder go first: a dataset whose log or report cannot be
// written leaves no trace in the results file or the table, so that both hold the same
// datasets whatever stops the batch.
int write_result(const batch_options *o, const batch_result *r) {
  if (r->reportLen < 0 || r->logLen < 0 || r->rowLen < 0 || r->startLen < 0) {
    char msg[MESSAGE_SIZE];
    snprintf(msg, sizeof msg, "The results of dataset %d do not fit their buffers\n", r->id);
    show_err(ERR_FATAL, "run_batch", msg);
    return 0;
  }
  if (o->logDir != NULL && r->logLen > 0) {
    if (!write_log_file(o, r->id, "log", r->log, r->logLen)) return 0;
    if (!write_log_file(o, r->id, "res", r->report, r->reportLen)) return 0;
  }
  long long before = resultsSize, startsBefore = startsSize;
  if (!write_saved_start(o, r)) return 0;
  if (r->reportLen > 0 && !append_whole(resultsFd, &resultsSize, r->report, r->reportLen)) {
    take_back_saved_start(startsBefore);
    return output_error("write_results", CANNOT_WRITE, o->resultsFile);
  }
  if (!append_whole(tableFd, &tableSize, r->row, r->rowLen)) {
    if (ftruncate(resultsFd, (off_t)before) == 0) resultsSize = before;
    take_back_saved_start(startsBefore);
    return output_error("write_table", CANNOT_WRITE, o->tableFile);
  }
  written++;
  if (r->status == BATCH_OK) okCount++;
  if (r->status == BATCH_FAILED) failedCount++;
  if (r->status == BATCH_REFUSED) refusedCount++;
  return 1;
}

// An empty part of a batch that has datasets is done: there are more parts than datasets.
int outputs_all_ok(void) { return okCount == written && (written > 0 || batch_count() > 0); }

// --- what a person sees

static int showProgress;
static double startTime, lastDraw;

static double now_seconds(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (double)ts.tv_sec + ts.tv_nsec * 1e-9;
}

void start_progress(void) {
  showProgress = isatty(STDERR_FILENO);
  startTime = lastDraw = now_seconds();
}

int progress_shown(void) { return showProgress; }

void draw_progress(int final) {
  if (!showProgress) return;
  double t = now_seconds();
  if (!final && t - lastDraw < 0.25) return;
  lastDraw = t;
  int total = part_estimate();
  const char *about = part_total() < 0 ? "~" : "";
  double rate = t > startTime ? written / (t - startTime) : 0.0;
  char left[32] = "?";
  if (total >= written && rate > 0) {
    long s = (long)((total - written) / rate + 0.5);
    snprintf(left, sizeof left, "%ld:%02ld", s / 60, s % 60);
  }
  char totalText[16] = "?";
  if (total >= 0) snprintf(totalText, sizeof totalText, "%s%d", about, total);
  fprintf(stderr, "\r%d of %s done, %d failed, %d refused, %.0f fits/s, %s left   ", written,
          totalText, failedCount, refusedCount, rate, left);
  if (final) fputc('\n', stderr);
  fflush(stderr);
}

void write_summary(FILE *fp, int interrupted) {
  fprintf(fp, "velbatch: %s%d datasets: %d ok, %d failed, %d refused",
          interrupted ? "interrupted after " : "", written, okCount, failedCount, refusedCount);
  int n = duplicate_count();
  if (n > 0) {
    fprintf(fp, "; ids on more than one id line, only the first dataset of each read:");
    for (int i = 0; i < n && i < MAX_SHOWN_DUPLICATES; i++) fprintf(fp, " %d", duplicate_id(i));
    if (n > MAX_SHOWN_DUPLICATES) fprintf(fp, " and %d more", n - MAX_SHOWN_DUPLICATES);
  }
  fprintf(fp, "\n");
}

void write_starts_note(FILE *fp, const char *path) {
  int line = 0, id = 0;
  int n = starts_unused(&line, &id);
  if (n == 1) {
    fprintf(fp, "starts file %s: 1 line for a dataset not in the batch: line %d, dataset %d\n",
            path, line, id);
  } else if (n > 1) {
    fprintf(fp,
            "starts file %s: %d lines for datasets not in the batch, the first: line %d, "
            "dataset %d\n",
            path, n, line, id);
  }
}

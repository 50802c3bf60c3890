// The outputs of a batch (the results file, the table, the saved starts and the log
// folder): opened by the main process, written in dataset order a block at a
// time by the worker on writing duty, each dataset appended whole or taken back, and the
// lines that tell a person how far the batch has come. What the outputs hold is kept in
// memory that the processes of the batch share.
#include "batch_output.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include "batch_fd.h"
#include "batch_index.h"
#include "batch_part.h"
#include "batch_starts.h"
#include "batch_table.h"
#include "show_err.h"

// The files that take a block's texts before BLOCK_STREAMS, in the same order.
// A stream without its file (no --save-starts) is -1, and takes no text.
static int streamFd[BLOCK_STREAMS] = {-1, -1, -1};
static const char *streamName[BLOCK_STREAMS];
static const char *const streamModule[BLOCK_STREAMS] = {"write_results", "write_table",
                                                        "write_starts"};

// What the outputs hold: each stream's size after its last whole dataset, the counts, and
// the report of a write that failed in a worker. Changed by the process on writing duty
// alone, one at a time; read by the main process, word by word, while the workers write.
struct output_state {
  long long whole[BLOCK_STREAMS];
  int written, okCount, failedCount, refusedCount;
  char module[32];
  char message[MESSAGE_SIZE];
};
static output_state *state;
static output_state kept;  // the state before the outputs are opened and after they close

// What open_outputs has made, for taking back when a batch cannot start.
static int resultsMade, tableMade, startsMade;
static int madeEnds[NAME_SIZE];  // where each folder made for the logs ends in its name,
                                 // which has fewer "/" than NAME_SIZE
static int madeCount;

enum { CANNOT_OPEN, CANNOT_WRITE, CANNOT_CREATE_FOLDER };

// velquin's reports of an output file, for the batch's outputs, kept for the main process
// when a worker reports. Returns 0.
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
  snprintf(state->module, sizeof state->module, "%s", module);
  memcpy(state->message, msg, sizeof msg);
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
  int fd = open(o->resultsFile, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  streamFd[TEXT_REPORT] = fd;
  if (fd < 0) return output_error("write_results", CANNOT_OPEN, o->resultsFile);
  if (!lock_output(fd, "Results", o->resultsFile, "write_results")) return 0;
  long long size = fstat(fd, &st) == 0 ? (long long)st.st_size : 0;
  state->whole[TEXT_REPORT] = size;
  // Reports added to those of an earlier batch would no longer match the table, which
  // holds this batch's rows only.
  if (size > 0 && !o->append) {
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
// keeps its rows. Appending, a write after a piece taken back goes where the piece began.
static int open_table(const batch_options *o) {
  struct stat st;
  int toStdout = strcmp(o->tableFile, "-") == 0;
  tableMade = !toStdout && stat(o->tableFile, &st) != 0;
  int flags = O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC;
  int fd = toStdout ? STDOUT_FILENO : open(o->tableFile, flags, 0666);
  streamFd[TEXT_ROW] = fd;
  if (fd < 0) return output_error("write_table", CANNOT_OPEN, o->tableFile);
  return toStdout || lock_output(fd, "Table", o->tableFile, "write_table");
}

// Opens and locks the saved-starts file without emptying it, as the table.
static int open_saved_starts(const batch_options *o) {
  if (o->saveStarts == NULL) return 1;
  struct stat st;
  startsMade = stat(o->saveStarts, &st) != 0;
  int fd = open(o->saveStarts, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  streamFd[TEXT_START] = fd;
  if (fd < 0) return output_error("write_starts", CANNOT_OPEN, o->saveStarts);
  return lock_output(fd, "Saved-starts", o->saveStarts, "write_starts");
}

// Empties a stream and writes its header line, of len bytes.
static int start_stream(int s, const char *header, int len) {
  int fd = streamFd[s];
  if (fd < 0) return 1;
  int ok = fd == STDOUT_FILENO || ftruncate(fd, 0) == 0;
  if (ok && write_whole(fd, header, (size_t)len)) {
    state->whole[s] = len;
    return 1;
  }
  return output_error(streamModule[s], CANNOT_WRITE, streamName[s]);
}

// The state in memory shared with the processes forked after the outputs are opened.
static int share_state(void) {
  void *m =
      mmap(NULL, sizeof(output_state), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (m == MAP_FAILED) {
    show_err(ERR_FATAL, "run_batch", "Unable to set up the worker processes\n");
    return 0;
  }
  state = (output_state *)m;
  return 1;
}

// Opens the outputs in the order that loses least when one fails: the log folder, which no
// file is written to yet; then the results file and the table, locked, nothing written to
// them yet.
int open_outputs(const batch_options *o) {
  memset(&kept, 0, sizeof kept);
  state = &kept;
  resultsMade = tableMade = startsMade = madeCount = 0;
  streamName[TEXT_REPORT] = o->resultsFile;
  streamName[TEXT_ROW] = o->tableFile;
  streamName[TEXT_START] = o->saveStarts;
  if (share_state() && open_log_folder(o) && open_results(o) && open_table(o) &&
      open_saved_starts(o)) {
    return 1;
  }
  abandon_outputs(o);
  return 0;
}

int start_outputs(const batch_options *o) {
  char header[ROW_SIZE], startsHeader[START_LINE_SIZE];
  int len = table_header(header, sizeof header, o->model);
  int startsLen = start_header(startsHeader, sizeof startsHeader, o->model);
  if (start_stream(TEXT_ROW, header, len) && start_stream(TEXT_START, startsHeader, startsLen)) {
    return 1;
  }
  abandon_outputs(o);
  return 0;
}

// A batch that cannot start leaves no new file or folder behind.
void abandon_outputs(const batch_options *o) {
  int newResults = streamFd[TEXT_REPORT] >= 0 && resultsMade;
  int newTable = streamFd[TEXT_ROW] >= 0 && streamFd[TEXT_ROW] != STDOUT_FILENO && tableMade;
  int newStarts = streamFd[TEXT_START] >= 0 && startsMade;
  close_outputs();
  if (newResults) unlink(o->resultsFile);
  if (newTable) unlink(o->tableFile);
  if (newStarts) unlink(o->saveStarts);
  remove_made_folders(o->logDir);
}

void close_outputs(void) {
  for (int s = 0; s < BLOCK_STREAMS; s++) {
    if (streamFd[s] >= 0 && streamFd[s] != STDOUT_FILENO) close(streamFd[s]);
    streamFd[s] = -1;
  }
  if (state != &kept) {
    kept = *state;
    munmap(state, sizeof *state);
    state = &kept;
  }
}

// --- the writing, by the process on writing duty

// Cuts every stream back to its size after its last whole dataset.
static void take_back(void) {
  for (int s = 0; s < BLOCK_STREAMS; s++) {
    if (streamFd[s] >= 0 && streamFd[s] != STDOUT_FILENO &&
        ftruncate(streamFd[s], (off_t)state->whole[s]) != 0) {
      // nothing more can be done: the write error is reported all the same
    }
  }
}

void outputs_take_back(void) {
  if (streamFd[TEXT_REPORT] >= 0) take_back();
}

static void count(int *n) { __atomic_add_fetch(n, 1, __ATOMIC_RELAXED); }

static void count_dataset(const block_entry *e) {
  count(&state->written);
  if (e->status == BATCH_OK) count(&state->okCount);
  if (e->status == BATCH_FAILED) count(&state->failedCount);
  if (e->status == BATCH_REFUSED) count(&state->refusedCount);
}

// A text's length as the block adds it: one that did not fit its buffer takes no byte.
static int text_len(const block_entry *e, int t) { return e->len[t] > 0 ? e->len[t] : 0; }

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

// Writes the log and the report of the first n datasets of b in the log folder. Returns n,
// or the first whose log or report cannot be written, after its report.
static int write_logs(const batch_options *o, const out_block *b, int n) {
  const char *report = block_texts(b, TEXT_REPORT), *log = block_texts(b, TEXT_LOG);
  for (int i = 0; i < n; i++) {
    const block_entry *e = &b->entry[i];
    if (e->len[TEXT_LOG] > 0) {  // a refused dataset has neither
      if (!write_log_file(o, e->id, "log", log, e->len[TEXT_LOG])) return i;
      if (!write_log_file(o, e->id, "res", report, text_len(e, TEXT_REPORT))) return i;
    }
    report += text_len(e, TEXT_REPORT);
    log += text_len(e, TEXT_LOG);
  }
  return n;
}

// Appends the first n datasets of b one at a time, each to every stream or, taken back, to
// none. Returns n, or the first that cannot be written, after its report.
static int append_one_by_one(const out_block *b, int n) {
  const char *text[BLOCK_STREAMS];
  for (int s = 0; s < BLOCK_STREAMS; s++) text[s] = block_texts(b, s);
  for (int i = 0; i < n; i++) {
    const block_entry *e = &b->entry[i];
    for (int s = 0; s < BLOCK_STREAMS; s++) {
      if (streamFd[s] >= 0 && !write_whole(streamFd[s], text[s], (size_t)text_len(e, s))) {
        take_back();
        output_error(streamModule[s], CANNOT_WRITE, streamName[s]);
        return i;
      }
    }
    for (int s = 0; s < BLOCK_STREAMS; s++) {
      text[s] += text_len(e, s);
      state->whole[s] += text_len(e, s);
    }
    count_dataset(e);
  }
  return n;
}

// Appends the first n datasets of b, each stream's texts with one write. Returns as
// append_one_by_one, which writes them when a write fails.
static int append_datasets(const out_block *b, int n) {
  for (int s = 0; s < BLOCK_STREAMS; s++) {
    if (streamFd[s] < 0) continue;
    if (!write_whole(streamFd[s], block_texts(b, s), (size_t)block_bytes(b, s, n))) {
      take_back();
      return append_one_by_one(b, n);
    }
  }
  for (int s = 0; s < BLOCK_STREAMS; s++) state->whole[s] += block_bytes(b, s, n);
  for (int i = 0; i < n; i++) count_dataset(&b->entry[i]);
  return n;
}

// A dataset's log and report in the log folder go before its report and row: a dataset
// whose log or report cannot be written leaves no trace in the results file or the table,
// so that both hold the same datasets whatever stops the batch.
int write_block(const batch_options *o, const out_block *b) {
  int whole = 0;  // the datasets before the first whose texts did not fit their buffers
  while (whole < b->count && b->entry[whole].len[TEXT_REPORT] >= 0 &&
         b->entry[whole].len[TEXT_ROW] >= 0 && b->entry[whole].len[TEXT_LOG] >= 0 &&
         b->entry[whole].len[TEXT_START] >= 0) {
    whole++;
  }
  int n = o->logDir != NULL ? write_logs(o, b, whole) : whole;
  int put = append_datasets(b, n);
  if (put == b->count) return 1;
  if (put == whole) {
    char msg[MESSAGE_SIZE];
    snprintf(msg, sizeof msg, "The results of dataset %d do not fit their buffers\n",
             b->entry[whole].id);
    show_err(ERR_FATAL, "run_batch", msg);
    snprintf(state->module, sizeof state->module, "run_batch");
    memcpy(state->message, msg, sizeof msg);
  }
  return 0;
}

void outputs_failure(void) { show_err(ERR_FATAL, state->module, state->message); }

// An empty part of a batch that has datasets is done: there are more parts than datasets.
int outputs_all_ok(void) {
  return state->okCount == state->written && (state->written > 0 || batch_count() > 0);
}

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
  int written = __atomic_load_n(&state->written, __ATOMIC_RELAXED);
  double rate = t > startTime ? written / (t - startTime) : 0.0;
  char left[32] = "?";
  if (total >= written && rate > 0) {
    long s = (long)((total - written) / rate + 0.5);
    snprintf(left, sizeof left, "%ld:%02ld", s / 60, s % 60);
  }
  char totalText[16] = "?";
  if (total >= 0) snprintf(totalText, sizeof totalText, "%s%d", about, total);
  fprintf(stderr, "\r%d of %s done, %d failed, %d refused, %.0f fits/s, %s left   ", written,
          totalText, __atomic_load_n(&state->failedCount, __ATOMIC_RELAXED),
          __atomic_load_n(&state->refusedCount, __ATOMIC_RELAXED), rate, left);
  if (final) fputc('\n', stderr);
  fflush(stderr);
}

void write_summary(FILE *fp, int interrupted) {
  fprintf(fp, "velbatch: %s%d datasets: %d ok, %d failed, %d refused",
          interrupted ? "interrupted after " : "", state->written, state->okCount,
          state->failedCount, state->refusedCount);
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

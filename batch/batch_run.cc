// The batch: a pool of forked workers, each a velquin fit after another in its own copy of
// the run state, and the main process, which reads the data file once to find the
// datasets, hands them out, and writes each result once every earlier one is written.
// Workers put their reports into slots of memory shared with the main process; a pipe
// per worker carries its next dataset, one pipe for all carries back which is done.
#include "batch_run.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "batch_part.h"
#include "batch_table.h"
#include "driver.h"
#include "files.h"
#include "fit_engine.h"
#include "models.h"
#include "reports.h"
#include "run_state.h"
#include "show_err.h"

enum { MAX_SLOTS = MAX_JOBS * SLOTS_PER_JOB };

// One dataset's results, written by a worker, read by the main process.
struct batch_slot {
  int status;
  int reportLen, logLen, rowLen;  // -1: did not fit its buffer
  int id;
  char report[REPORT_SIZE];
  char log[LOG_SIZE];
  char row[ROW_SIZE];
};

struct batch_task {
  int seq;  // the dataset's place in the batch; its slot is seq % slotCount
  batch_dataset ds;
  double parms[MAX_PARMS];
  int held[MAX_PARMS];
};

struct done_note {
  int worker;
  int seq;
};

struct worker {
  pid_t pid;
  int taskFd;
  int busy;
};

static batch_slot *slots;
static int slotCount;
static int slotDone[MAX_SLOTS];
static worker workers[MAX_JOBS];
static int jobCount;

static volatile sig_atomic_t stopSignal;  // the first of SIGINT and SIGTERM
static volatile sig_atomic_t stopCount;
static volatile sig_atomic_t childEnded;

static void on_stop(int sig) {
  if (stopSignal == 0) stopSignal = sig;
  stopCount = stopCount + 1;
}

static void on_child(int) { childEnded = 1; }

// --- one fit

int fit_dataset(const batch_options *o, const batch_dataset *ds, const double *parms,
                const int *held, FILE *fp, char *report, int *reportLen, char *log, int *logLen,
                char *row, int *rowLen) {
  run_setup r = {};
  r.dataOffset = o->dataOffset;
  r.dataRes = ds->id;
  r.dataFname = o->dataFile;
  r.fitFunc = o->model;
  r.maxIt = o->maxIt;
  memcpy(r.fitParms, parms, sizeof r.fitParms);
  memcpy(r.holdConstFlag, held, sizeof r.holdConstFlag);
  setup_run(&r);
  *reportLen = *logLen = 0;
  if (!load_data(fp, &ds->at)) {
    *rowLen = table_row(row, ROW_SIZE, ds->id, BATCH_REFUSED, errMessage);
    return BATCH_REFUSED;
  }
  mem_output rm, lm;
  FILE *rf = open_mem_output(&rm, report, REPORT_SIZE);
  FILE *lf = open_mem_output(&lm, log, LOG_SIZE);
  int outcome = FIT_NO_GRAPH;
  if (rf != NULL && lf != NULL) outcome = fit_and_report(rf, lf);
  *reportLen = rf != NULL && close_checked(rf) ? (int)rm.len : -1;
  *logLen = lf != NULL && close_checked(lf) ? (int)lm.len : -1;
  int status = outcome == FIT_DONE ? BATCH_OK : BATCH_FAILED;
  *rowLen = table_row(row, ROW_SIZE, ds->id, status, fit_messages[outcome]);
  return status;
}

// --- the workers

static int read_whole(int fd, void *buf, size_t n) {
  size_t got = 0;
  while (got < n) {
    ssize_t r = read(fd, (char *)buf + got, n - got);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return 0;
    got += (size_t)r;
  }
  return 1;
}

static int write_whole(int fd, const void *buf, size_t n) {
  size_t put = 0;
  while (put < n) {
    ssize_t w = write(fd, (const char *)buf + put, n - put);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return 0;
    put += (size_t)w;
  }
  return 1;
}

// A worker fits one dataset after another until its pipe closes. An interrupt is the
// main process's to handle: the worker finishes the fit it has.
[[noreturn]] static void worker_main(const batch_options *o, int index, int taskFd, int doneFd) {
  signal(SIGINT, SIG_IGN);
  signal(SIGTERM, SIG_IGN);
  signal(SIGCHLD, SIG_DFL);
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, NULL);
  errQuiet = 1;
  FILE *fp = fopen(o->dataFile, "r");
  batch_task t;
  while (read_whole(taskFd, &t, sizeof t)) {
    batch_slot *s = &slots[t.seq % slotCount];
    s->id = t.ds.id;
    s->status = fit_dataset(o, &t.ds, t.parms, t.held, fp, s->report, &s->reportLen, s->log,
                            &s->logLen, s->row, &s->rowLen);
    done_note note = {index, t.seq};
    if (!write_whole(doneFd, &note, sizeof note)) break;
  }
  _exit(0);  // no exit handlers: the stdio buffers are the main process's
}

static int start_workers(const batch_options *o, int doneFds[2]) {
  fflush(stdout);
  for (int w = 0; w < o->jobs; w++) {
    int task[2];
    if (pipe(task) != 0) return 0;
    pid_t pid = fork();
    if (pid < 0) {
      close(task[0]);
      close(task[1]);
      return 0;
    }
    if (pid == 0) {
      close(task[1]);
      close(doneFds[0]);
      for (int k = 0; k < jobCount; k++) close(workers[k].taskFd);
      worker_main(o, w, task[0], doneFds[1]);
    }
    close(task[0]);
    fcntl(task[1], F_SETFD, FD_CLOEXEC);
    workers[jobCount].pid = pid;
    workers[jobCount].taskFd = task[1];
    workers[jobCount].busy = 0;
    jobCount++;
  }
  return 1;
}

// Closes the workers' pipes, so that each ends after its fit; with force, ends them now.
static void stop_workers(int force) {
  // A worker already reaped has no pid: kill and waitpid would take -1 for every process.
  for (int w = 0; w < jobCount; w++) {
    if (force && workers[w].pid > 0) kill(workers[w].pid, SIGKILL);
    close(workers[w].taskFd);
  }
  for (int w = 0; w < jobCount; w++) {
    while (workers[w].pid > 0 && waitpid(workers[w].pid, NULL, 0) < 0 && errno == EINTR) {
    }
  }
  jobCount = 0;
}

// --- the outputs

static int resultsFd = -1, tableFd = -1;
static long long resultsSize, tableSize;  // what the files held after the last whole write
static int written, okCount, failedCount, refusedCount;

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

static int make_folder(const char *path) {
  char part[NAME_SIZE];
  snprintf(part, sizeof part, "%s", path);  // checked to fit
  for (char *p = part + 1;; p++) {
    if (*p != '/' && *p != '\0') continue;
    char keep = *p;
    *p = '\0';
    if (mkdir(part, 0777) != 0 && errno != EEXIST) return 0;
    *p = keep;
    if (keep == '\0') break;
  }
  struct stat st;
  return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

static int write_log_file(const batch_options *o, const batch_slot *s) {
  char path[NAME_SIZE];
  snprintf(path, sizeof path, "%s/%d.log", o->logDir, s->id);  // the folder's name leaves room
  int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return output_error("write_log", CANNOT_OPEN, path);
  int ok = write_whole(fd, s->log, (size_t)s->logLen);
  if (close(fd) != 0) ok = 0;
  if (!ok) return output_error("write_log", CANNOT_WRITE, path);
  return 1;
}

// Writes the results of the slot's dataset: its log, its report, its row. A dataset whose
// log or report cannot be written leaves no trace in the results file or the table, so
// that both hold the same datasets whatever stops the batch.
static int write_slot(const batch_options *o, const batch_slot *s) {
  if (s->reportLen < 0 || s->logLen < 0 || s->rowLen < 0) {
    char msg[MESSAGE_SIZE];
    snprintf(msg, sizeof msg, "The results of dataset %d do not fit their buffers\n", s->id);
    show_err(ERR_FATAL, "run_batch", msg);
    return 0;
  }
  if (o->logDir != NULL && s->logLen > 0 && !write_log_file(o, s)) return 0;
  long long before = resultsSize;
  if (s->reportLen > 0 && !append_whole(resultsFd, &resultsSize, s->report, s->reportLen)) {
    return output_error("write_results", CANNOT_WRITE, o->resultsFile);
  }
  if (!append_whole(tableFd, &tableSize, s->row, s->rowLen)) {
    if (ftruncate(resultsFd, (off_t)before) == 0) resultsSize = before;
    return output_error("write_table", CANNOT_WRITE, o->tableFile);
  }
  written++;
  if (s->status == BATCH_OK) okCount++;
  if (s->status == BATCH_FAILED) failedCount++;
  if (s->status == BATCH_REFUSED) refusedCount++;
  return 1;
}

// Opens the outputs in the order that loses least when one fails: the log folder, which
// no file is written to yet; the results file, appended to; the table, emptied last.
static int open_outputs(const batch_options *o) {
  struct stat st;
  int folderMade = 0;
  if (o->logDir != NULL) {
    folderMade = stat(o->logDir, &st) != 0;
    if (!make_folder(o->logDir)) return output_error("write_log", CANNOT_CREATE_FOLDER, o->logDir);
  }
  int resultsExisted = stat(o->resultsFile, &st) == 0;
  int ok = o->logDir == NULL || check_log_folder(o);
  if (ok) {
    resultsFd = open(o->resultsFile, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    ok = resultsFd >= 0;
    if (!ok) output_error("write_results", CANNOT_OPEN, o->resultsFile);
  }
  if (ok) {
    resultsSize = fstat(resultsFd, &st) == 0 ? (long long)st.st_size : 0;
    tableFd = strcmp(o->tableFile, "-") == 0
                  ? STDOUT_FILENO
                  : open(o->tableFile, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    ok = tableFd >= 0;
    if (!ok) output_error("write_table", CANNOT_OPEN, o->tableFile);
  }
  char header[ROW_SIZE];
  int len = table_header(header, sizeof header, o->model);
  tableSize = 0;
  if (ok && !append_whole(tableFd, &tableSize, header, len)) {
    ok = output_error("write_table", CANNOT_WRITE, o->tableFile);
  }
  // A batch that cannot start leaves no new file or folder behind.
  if (!ok && resultsFd >= 0 && !resultsExisted) unlink(o->resultsFile);
  if (!ok && folderMade) rmdir(o->logDir);  // only while it is still empty
  return ok;
}

static void close_outputs(void) {
  if (resultsFd >= 0) close(resultsFd);
  if (tableFd >= 0 && tableFd != STDOUT_FILENO) close(tableFd);
  resultsFd = tableFd = -1;
}

// --- progress on a terminal

static double now_seconds(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (double)ts.tv_sec + ts.tv_nsec * 1e-9;
}

static int showProgress;
static double startTime, lastDraw;

static void draw_progress(int final) {
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

// --- the main process

static int free_worker(void) {
  for (int w = 0; w < jobCount; w++) {
    if (!workers[w].busy) return w;
  }
  return -1;
}

// Hands the next dataset to worker w. Returns 1, 0 when there is none, -1 after a report.
static int hand_out(const batch_options *o, int w, int seq) {
  batch_task t;
  memset(&t, 0, sizeof t);
  int got = part_next(&t.ds);
  if (got <= 0) return got;
  t.seq = seq;
  int own = starts_for(t.ds.id, t.parms, t.held);
  if (own < 0) return -1;
  if (own == 0) {
    memcpy(t.parms, o->parms, sizeof t.parms);
    memcpy(t.held, o->held, sizeof t.held);
  }
  if (!write_whole(workers[w].taskFd, &t, sizeof t)) {
    show_err(ERR_FATAL, "run_batch", "A worker process ended before its work\n");
    return -1;
  }
  workers[w].busy = 1;
  slotDone[seq % slotCount] = 0;
  return 1;
}

// Whether a worker has ended while the batch still needs it.
static int worker_lost(void) {
  childEnded = 0;
  for (int w = 0; w < jobCount; w++) {
    if (workers[w].pid > 0 && waitpid(workers[w].pid, NULL, WNOHANG) == workers[w].pid) {
      workers[w].pid = -1;
      return 1;
    }
  }
  return 0;
}

static void print_summary(const batch_options *o, int interrupted) {
  if (strcmp(o->tableFile, "-") == 0) return;  // standard output holds the table
  printf("velbatch: %s%d datasets: %d ok, %d failed, %d refused",
         interrupted ? "interrupted after " : "", written, okCount, failedCount, refusedCount);
  int n = duplicate_count();
  if (n > 0) {
    printf("; ids on more than one id line, only the first dataset of each read:");
    for (int i = 0; i < n && i < MAX_SHOWN_DUPLICATES; i++) printf(" %d", duplicate_id(i));
    if (n > MAX_SHOWN_DUPLICATES) printf(" and %d more", n - MAX_SHOWN_DUPLICATES);
  }
  printf("\n");
}

int run_batch(const batch_options *o) {
  written = okCount = failedCount = refusedCount = 0;
  if (!index_open(o->dataFile)) return 2;
  if (!open_outputs(o)) {
    close_outputs();
    return 2;
  }
  slotCount = o->jobs * SLOTS_PER_JOB;
  void *shared = mmap(NULL, sizeof(batch_slot) * (size_t)slotCount, PROT_READ | PROT_WRITE,
                      MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  int doneFds[2] = {-1, -1};
  if (shared == MAP_FAILED || pipe(doneFds) != 0) {
    show_err(ERR_FATAL, "run_batch", "Unable to set up the worker processes\n");
    close_outputs();
    return 2;
  }
  slots = (batch_slot *)shared;

  // Signals wait until ppoll lets them in, so that none slips between a test and the wait.
  sigset_t blocked, waiting;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGINT);
  sigaddset(&blocked, SIGTERM);
  sigaddset(&blocked, SIGCHLD);
  sigprocmask(SIG_BLOCK, &blocked, &waiting);
  sigdelset(&waiting, SIGINT);
  sigdelset(&waiting, SIGTERM);
  sigdelset(&waiting, SIGCHLD);
  struct sigaction sa;
  memset(&sa, 0, sizeof sa);
  sa.sa_handler = on_stop;
  sigaction(SIGINT, &sa, NULL);
  sigaction(SIGTERM, &sa, NULL);
  sa.sa_handler = on_child;
  sigaction(SIGCHLD, &sa, NULL);
  stopSignal = stopCount = childEnded = 0;

  int failed = !start_workers(o, doneFds);
  if (failed) show_err(ERR_FATAL, "run_batch", "Unable to start the worker processes\n");
  close(doneFds[1]);
  showProgress = isatty(STDERR_FILENO);
  startTime = lastDraw = now_seconds();

  int nextSeq = 0, writeSeq = 0, busy = 0, more = !failed, force = failed;
  while (!force) {
    while (more && !stopSignal && !failed && nextSeq - writeSeq < slotCount) {
      int w = free_worker();
      if (w < 0) break;
      int got = hand_out(o, w, nextSeq);
      if (got < 0) failed = 1;
      if (got <= 0) {
        more = 0;
        break;
      }
      nextSeq++;
      busy++;
    }
    if (busy == 0) break;
    struct pollfd pfd = {doneFds[0], POLLIN, 0};
    struct timespec tick = {1, 0};
    int r = ppoll(&pfd, 1, showProgress ? &tick : NULL, &waiting);
    if (r < 0 && errno != EINTR) {
      show_err(ERR_FATAL, "run_batch", "Unable to wait for the worker processes\n");
      failed = force = 1;
    }
    if (stopCount >= 2) force = 1;  // a second interrupt does not wait for the fits
    if (childEnded && worker_lost()) {
      show_err(ERR_FATAL, "run_batch", "A worker process ended before its work\n");
      failed = force = 1;
    }
    if (r <= 0 || force) {
      if (showProgress) draw_progress(0);
      continue;
    }
    done_note note;
    if (!read_whole(doneFds[0], &note, sizeof note)) continue;
    workers[note.worker].busy = 0;
    busy--;
    slotDone[note.seq % slotCount] = 1;
    while (writeSeq < nextSeq && slotDone[writeSeq % slotCount]) {
      if (!write_slot(o, &slots[writeSeq % slotCount])) {
        failed = force = 1;
        break;
      }
      slotDone[writeSeq % slotCount] = 0;
      writeSeq++;
    }
    if (showProgress) draw_progress(0);
  }
  stop_workers(force);
  close(doneFds[0]);
  munmap(shared, sizeof(batch_slot) * (size_t)slotCount);
  close_outputs();
  signal(SIGCHLD, SIG_DFL);
  if (showProgress) draw_progress(1);
  if (failed) return 2;
  print_summary(o, stopSignal != 0);
  if (stopSignal != 0) return 128 + stopSignal;
  // An empty part of a batch that has datasets is done: there are more parts than datasets.
  return okCount == written && (written > 0 || batch_count() > 0) ? 0 : 1;
}

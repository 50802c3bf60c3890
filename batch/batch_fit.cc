// One dataset of a batch fitted in a worker: velquin's run set up from the batch's options
// and the dataset's starting values, its report and log written into memory.
#include "batch_fit.h"

#include <fcntl.h>
#include <stdint.h>
#include <stdio_ext.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "driver.h"
#include "files.h"
#include "fit_engine.h"
#include "guess_fit.h"
#include "run_state.h"
#include "show_err.h"

// The data file as the workers read it: its bytes mapped once, so that a dataset is read
// from memory at its place, without a seek and a read of its own. The mapping holds the
// file as it was when the batch began; a dataset that the scan finds beyond it, in a file
// that has grown since, is read from the stream. (A file cut short during the batch ends
// the worker that reads past its new end, which the batch reports as a worker lost.)
static const char *dataBytes;
static long long dataSize;

// The mapped pages are the page cache's, but each one read counts in the resident set of
// the worker that read it: a worker gives back the pages of the part it has left behind,
// so that its memory stays bounded whatever the file's size.
enum { DATA_WINDOW = 1 << 20 };
static long long dataWindow = -1;  // the start of the part of the file read lately

void map_data_file(const char *path) {
  unmap_data_file();
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 &&
      (unsigned long long)st.st_size <= SIZE_MAX) {
    void *bytes = mmap(NULL, (size_t)st.st_size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (bytes != MAP_FAILED) {
      dataBytes = (const char *)bytes;
      dataSize = (long long)st.st_size;
    }
  }
  close(fd);  // the mapping keeps the file
}

void unmap_data_file(void) {
  if (dataBytes != NULL) munmap((void *)dataBytes, (size_t)dataSize);
  dataBytes = NULL;
  dataSize = 0;
  dataWindow = -1;
}

// Notes that the dataset at offset is read, giving back the part of the mapping left
// behind: from the last window's start, with room for a dataset that ran on past its end.
static void move_window(long long offset) {
  long long window = offset - offset % DATA_WINDOW;
  if (window == dataWindow) return;
  if (dataWindow >= 0) {
    long long len = dataSize - dataWindow;
    if (len > 2LL * DATA_WINDOW) len = 2LL * DATA_WINDOW;
    madvise((void *)(dataBytes + dataWindow), (size_t)len, MADV_DONTNEED);
  }
  dataWindow = window;
}

static int load_dataset(FILE *fp, const crv_place *at) {
  if (fp == NULL || dataBytes == NULL || at->offset >= dataSize) return load_data(fp, at);
  move_window(at->offset);
  return load_data_mem(dataBytes, dataSize, at);
}

// A report or log stream into a buffer of the caller's, kept open from one dataset to the
// next: two streams opened and closed for each dataset would cost more than writing a small
// fit's report.
struct kept_output {
  mem_output m;
  FILE *fp;
};
static kept_output reportOut, logOut;

// Points the stream at buf, empty. Returns it, or NULL when it cannot be opened.
static FILE *start_output(kept_output *k, char *buf, size_t size) {
  if (k->fp == NULL) {
    k->fp = open_mem_output(&k->m, buf, size);
    if (k->fp != NULL) __fsetlocking(k->fp, FSETLOCKING_BYCALLER);
  }
  k->m.buf = buf;
  k->m.size = size;
  k->m.len = 0;
  return k->fp;
}

// The length written since start_output, or -1 when a write failed; then the stream is
// closed, so that nothing left in its buffer reaches the next dataset's.
static int finish_output(kept_output *k) {
  if (k->fp == NULL) return -1;
  if (fflush(k->fp) == 0 && !ferror(k->fp)) return (int)k->m.len;
  fclose(k->fp);
  k->fp = NULL;
  return -1;
}

// Fits the loaded dataset from the task's start, or from the best of its guesses, and
// writes the report and log; leaves the start the fit began from in start.
static int fit_from_start(const batch_options *o, const batch_task *t, FILE *rf, FILE *lf,
                          double *start) {
  memcpy(start, fitParms, sizeof(double) * MAX_PARMS);
  if (!o->guess || t->ownStart) return fit_and_report(rf, lf);
  int outcome = fit_from_guesses(fitParms, fitStdDev, start);
  report_fit(rf, lf, outcome);
  return outcome;
}

int fit_dataset(const batch_options *o, const batch_task *t, FILE *fp, dataset_texts *x) {
  run_setup s = {};
  s.dataOffset = o->dataOffset;
  s.dataRes = t->ds.id;
  s.dataFname = o->dataFile;
  s.fitFunc = o->model;
  s.maxIt = o->maxIt;
  memcpy(s.fitParms, t->parms, sizeof s.fitParms);
  memcpy(s.holdConstFlag, t->held, sizeof s.holdConstFlag);
  setup_run(&s);
  for (int k = 0; k < BLOCK_TEXTS; k++) x->len[k] = 0;
  if (!load_dataset(fp, &t->ds.at)) {
    x->len[TEXT_ROW] = table_row(x->at[TEXT_ROW], ROW_SIZE, t->ds.id, BATCH_REFUSED, errMessage);
    return BATCH_REFUSED;
  }
  char *log = x->at[TEXT_LOG];
  FILE *rf = start_output(&reportOut, x->at[TEXT_REPORT], REPORT_SIZE);
  FILE *lf = log != NULL ? start_output(&logOut, log, LOG_SIZE) : NULL;
  int opened = rf != NULL && (lf != NULL || log == NULL);
  double start[MAX_PARMS];
  int outcome = FIT_NO_GRAPH;
  if (opened) outcome = fit_from_start(o, t, rf, lf, start);
  x->len[TEXT_REPORT] = finish_output(&reportOut);
  if (log != NULL) x->len[TEXT_LOG] = finish_output(&logOut);
  int status = outcome == FIT_DONE ? BATCH_OK : BATCH_FAILED;
  x->len[TEXT_ROW] = table_row(x->at[TEXT_ROW], ROW_SIZE, t->ds.id, status, fit_messages[outcome]);
  if (x->at[TEXT_START] != NULL && opened) {
    x->len[TEXT_START] =
        start_line(x->at[TEXT_START], START_LINE_SIZE, t->ds.id, o->model, start, holdConstFlag);
  }
  return status;
}

void fit_into_block(const batch_options *o, const batch_task *t, FILE *fp, out_block *b) {
  dataset_texts x;
  for (int k = 0; k < BLOCK_TEXTS; k++) x.at[k] = block_text(b, k);
  // Only a log folder takes the logs, and only --save-starts the starts.
  if (o->logDir == NULL) x.at[TEXT_LOG] = NULL;
  if (o->saveStarts == NULL) x.at[TEXT_START] = NULL;
  int status = fit_dataset(o, t, fp, &x);
  block_add(b, t->ds.id, status, x.len);
}

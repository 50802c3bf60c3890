// One dataset of a batch fitted in a worker: velquin's run set up from the batch's options
// and the dataset's starting values, its report and log written into memory.
#include "batch_fit.h"

#include <fcntl.h>
#include <stdio_ext.h>
#include <stdint.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "driver.h"
#include "files.h"
#include "fit_engine.h"
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
  if (!load_dataset(fp, &ds->at)) {
    *rowLen = table_row(row, ROW_SIZE, ds->id, BATCH_REFUSED, errMessage);
    return BATCH_REFUSED;
  }
  FILE *rf = start_output(&reportOut, report, REPORT_SIZE);
  FILE *lf = log != NULL ? start_output(&logOut, log, LOG_SIZE) : NULL;
  int outcome = FIT_NO_GRAPH;
  if (rf != NULL && (lf != NULL || log == NULL)) outcome = fit_and_report(rf, lf);
  *reportLen = finish_output(&reportOut);
  if (log != NULL) *logLen = finish_output(&logOut);
  int status = outcome == FIT_DONE ? BATCH_OK : BATCH_FAILED;
  *rowLen = table_row(row, ROW_SIZE, ds->id, status, fit_messages[outcome]);
  return status;
}

void fit_into_block(const batch_options *o, const batch_task *t, FILE *fp, out_block *b) {
  int len[BLOCK_TEXTS] = {0};
  // Without a log folder, no log is written: only the folder takes them.
  char *log = o->logDir != NULL ? block_text(b, TEXT_LOG) : NULL;
  int status = fit_dataset(o, &t->ds, t->parms, t->held, fp, block_text(b, TEXT_REPORT),
                           &len[TEXT_REPORT], log, &len[TEXT_LOG], block_text(b, TEXT_ROW),
                           &len[TEXT_ROW]);
  block_add(b, t->ds.id, status, len);
}

// One dataset of a batch fitted in a worker: velquin's run set up from the batch's options
// and the dataset's starting values, its report and log written into memory.
#include "batch_fit.h"

#include <fcntl.h>
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
enum { DATA_WINDOW = 1 << 23 };
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

void fit_task(const batch_options *o, const batch_task *t, FILE *fp, batch_result *r) {
  r->id = t->ds.id;
  r->status = fit_dataset(o, &t->ds, t->parms, t->held, fp, r->report, &r->reportLen, r->log,
                          &r->logLen, r->row, &r->rowLen);
}

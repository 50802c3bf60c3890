// One dataset of a batch fitted in a worker: velquin's run set up from the batch's options
// and the dataset's starting values, its report and log written into memory.
#include "batch_fit.h"

#include <string.h>

#include "driver.h"
#include "files.h"
#include "fit_engine.h"
#include "show_err.h"

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

void fit_task(const batch_options *o, const batch_task *t, FILE *fp, batch_result *r) {
  r->id = t->ds.id;
  r->status = fit_dataset(o, &t->ds, t->parms, t->held, fp, r->report, &r->reportLen, r->log,
                          &r->logLen, r->row, &r->rowLen);
}

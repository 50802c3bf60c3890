// The datasets of a table for its pictures, in two readings of the table: one to check it
// and find each dataset in the data file, with one scan of that file, and one to draw.
#include "plot_table.h"

#include <math.h>
#include <stdlib.h>
#include <string.h>

#include "batch_index.h"
#include "fit_engine.h"
#include "number_format.h"
#include "plot_curve.h"
#include "run_state.h"
#include "show_err.h"

// Messages name the table file and the data file.
enum { TABLE_MESSAGE_SIZE = MESSAGE_SIZE + 2 * NAME_SIZE };

// How closely the RMSE of a table's values over the data must agree with the table's. The
// table holds each value in full (pandas and R write back 15 or 16 digits), and a value
// rounded in its 16th digit moves each model value by some 1e-16 of its size, times how
// much the model magnifies it, and the RMSE by no more than the RMS of those moves: 1e-9 of
// the larger of the RMSE and the data's largest size leaves room for a magnification of a
// million. A wrong offset, model or data file moves it by far more.
static const double RMSE_AGREEMENT = 1e-9;

// The datasets of the table in table order, and where the scan found each in the data file.
static int pageId[MAX_TABLE_PAGES];
static int pageStatus[MAX_TABLE_PAGES];
static crv_place pagePlace[MAX_TABLE_PAGES];
static int pageFound[MAX_TABLE_PAGES];
static int byId[MAX_TABLE_PAGES];  // page numbers in id order, for the scan to look up
static int pageCount;

static int by_page_id(const void *a, const void *b) {
  int i = *(const int *)a, j = *(const int *)b;
  if (pageId[i] != pageId[j]) return pageId[i] < pageId[j] ? -1 : 1;
  return i - j;
}

// The first page of dataset id in byId, or -1.
static int first_page_of(int id) {
  int lo = 0, hi = pageCount;
  while (lo < hi) {
    int mid = lo + (hi - lo) / 2;
    if (pageId[byId[mid]] < id) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo < pageCount && pageId[byId[lo]] == id ? lo : -1;
}

// Reads the rows of t into the page tables. Returns 1, or 0 after a framed report.
static int read_pages(table_reader *t) {
  char msg[TABLE_MESSAGE_SIZE];
  pageCount = 0;
  static table_entry e;
  int got;
  while ((got = table_next(t, &e)) == 1) {
    if (pageCount == MAX_TABLE_PAGES) {
      snprintf(msg, sizeof msg, "Table file %s has more than %d datasets\n", t->path,
               MAX_TABLE_PAGES);
      show_err(ERR_FATAL, "draw_all", msg);
      return 0;
    }
    pageId[pageCount] = e.id;
    pageStatus[pageCount] = e.status;
    // velquin reads dataset 0 from the top of the file, whatever the file begins with.
    pageFound[pageCount] = e.id == 0;
    pagePlace[pageCount].offset = 0;
    pagePlace[pageCount].lineNo = 0;
    byId[pageCount] = pageCount;
    pageCount++;
  }
  return got == 0;
}

// The scan finds the datasets as velbatch found them: each id at its first id line.
// Returns 1, or 0 after a framed report.
static int find_pages(void) {
  if (!index_open(dataFname)) return 0;
  batch_dataset ds;
  int got;
  while ((got = index_next(&ds)) == 1) {
    for (int k = first_page_of(ds.id); k >= 0 && k < pageCount && pageId[byId[k]] == ds.id; k++) {
      pagePlace[byId[k]] = ds.at;
      pageFound[byId[k]] = 1;
    }
  }
  return got == 0;
}

int plan_table_pages(table_reader *t) {
  char msg[TABLE_MESSAGE_SIZE];
  if (!table_of_model(t, fitFunc)) {
    snprintf(msg, sizeof msg, "Table file %s is not a table of model %d: its columns differ\n",
             t->path, fitFunc);
    show_err(ERR_FATAL, "draw_all", msg);
    return -1;
  }
  if (!read_pages(t)) return -1;
  if (pageCount == 0) {
    snprintf(msg, sizeof msg, "Table file %s has no dataset to draw\n", t->path);
    show_err(ERR_FATAL, "draw_all", msg);
    return -1;
  }
  qsort(byId, (size_t)pageCount, sizeof byId[0], by_page_id);
  if (!find_pages()) return -1;
  for (int k = 0; k < pageCount; k++) {
    if (!pageFound[k] && pageStatus[k] != BATCH_REFUSED) {
      snprintf(msg, sizeof msg,
               "Dataset %d of table file %s is not in data file %s: is it the batch's data file?\n",
               pageId[k], t->path, dataFname);
      show_err(ERR_FATAL, "draw_all", msg);
      return -1;
    }
  }
  return pageCount;
}

int check_table_rmse(int id, double tableRmse, const char *tablePath) {
  double got = calc_rmse(fitParms);
  double size = fabs(tableRmse);
  for (int i = 0; i < numData; i++) {
    if (isfinite(yData[i]) && fabs(yData[i]) > size) size = fabs(yData[i]);
  }
  if (got >= 0.0 && fabs(got - tableRmse) <= RMSE_AGREEMENT * size) return 1;
  char found[64], offset[32], msg[TABLE_MESSAGE_SIZE];
  if (got >= 0.0) {
    snprintf(found, sizeof found, "RMSE %.12g over these data", got);
  } else {
    snprintf(found, sizeof found, "the model no value at a point of these data");
  }
  format_shortest(offset, sizeof offset, dataOffset);
  snprintf(msg, sizeof msg,
           "Dataset %d of table file %s does not match data file %s: its values give %s, the "
           "table RMSE %.12g; check that the data file, dataOffset %s and model %d are the "
           "batch's\n",
           id, tablePath, dataFname, found, tableRmse, offset, fitFunc);
  show_err(ERR_FATAL, "draw_all", msg);
  return 0;
}

// Sets up the run of page k from base, its dataset and its row's values, loads the dataset,
// takes the row's RMSE and checks that of a successful fit. Returns 1, or 0 after a framed
// report.
static int load_page(const run_setup *base, int k, const table_entry *e, FILE *data,
                     const char *tablePath) {
  run_setup r = *base;
  r.dataRes = e->id;
  memcpy(r.fitParms, e->parms, sizeof r.fitParms);
  setup_run(&r);
  rmse = e->rmse;
  if (!pageFound[k]) return 1;  // a refused dataset that the file does not hold
  int refused = e->status == BATCH_REFUSED;
  errQuiet = refused;
  int loaded = load_data(data, &pagePlace[k]);
  errQuiet = 0;
  if (loaded || refused) {
    if (!loaded) numData = 0;
    return e->status != BATCH_OK || check_table_rmse(e->id, e->rmse, tablePath);
  }
  char msg[TABLE_MESSAGE_SIZE];
  snprintf(msg, sizeof msg, "Dataset %d of table file %s cannot be loaded from %s\n", e->id,
           tablePath, dataFname);
  show_err(ERR_FATAL, "draw_all", msg);
  return 0;
}

int load_table_page(table_reader *t, int k, const run_setup *base, FILE *data, int logX,
                    plot_page *page) {
  static table_entry e;
  int got = table_next(t, &e);
  if (got <= 0 || e.id != pageId[k]) {
    if (got >= 0) {
      char msg[TABLE_MESSAGE_SIZE];
      snprintf(msg, sizeof msg, "Table file %s changed while it was read\n", t->path);
      show_err(ERR_FATAL, "draw_all", msg);
    }
    return 0;
  }
  if (!load_page(base, k, &e, data, t->path)) return 0;
  page->id = e.id;
  page->shown = e.status == BATCH_OK       ? SHOWN_FIT
                : e.status == BATCH_FAILED ? SHOWN_START
                                           : SHOWN_NONE;
  page->ofTable = 1;
  page->note = e.status == BATCH_REFUSED ? e.message : NULL;
  page->logX = logX;
  page->curve = page->shown != SHOWN_NONE && numData > 0 && compute_plot(logX);
  return 1;
}

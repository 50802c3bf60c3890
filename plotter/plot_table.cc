// The datasets of a table for its pictures, in two readings of the table: one to check it
// and find each dataset in the data file, with one scan of that file, and one to draw.
#include "plot_table.h"

#include <stdlib.h>
#include <string.h>

#include "batch_index.h"
#include "plot_curve.h"
#include "run_state.h"
#include "show_err.h"

// Messages name the table file; with the longest name they outgrow MESSAGE_SIZE.
enum { TABLE_MESSAGE_SIZE = MESSAGE_SIZE + NAME_SIZE };

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

// Sets up the run of page k from base, its dataset and its row's values, loads the dataset
// and takes the row's RMSE. Returns 1, or 0 after a framed report.
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
    return 1;
  }
  char msg[TABLE_MESSAGE_SIZE];
  snprintf(msg, sizeof msg, "Dataset %d of table file %s cannot be loaded from %s\n", e->id,
           tablePath, dataFname);
  show_err(ERR_FATAL, "draw_all", msg);
  return 0;
}

int load_table_page(table_reader *t, int k, const run_setup *base, FILE *data, plot_page *page) {
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
  page->curve = page->shown != SHOWN_NONE && numData > 0 && compute_plot();
  return 1;
}

// The pictures of a velbatch table. The profile reads the table once, straight into the
// script; every fit of a table takes two readings of it: one to check it and find each
// dataset in the data file, with one scan of that file, and one to draw.
#include "plot_table.h"

#include <math.h>
#include <stdlib.h>
#include <string.h>

#include "batch_index.h"
#include "driver.h"
#include "models.h"
#include "plot_script.h"
#include "run_state.h"
#include "show_err.h"

// Messages name the table file; with the longest name they outgrow MESSAGE_SIZE.
enum { TABLE_MESSAGE_SIZE = MESSAGE_SIZE + NAME_SIZE };

// The model of a table, as its header tells it: the model's label, or the numbers of all
// the models whose tables have this header ("models 1, 3, 10 or 27").
static void table_model_name(const table_reader *t, char *buf, int size) {
  int models[LAST_MODEL + 1], n = 0;
  for (int m = 0; m <= LAST_MODEL; m++) {
    if (table_of_model(t, m)) models[n++] = m;
  }
  int oneLabel = fitLabel[models[0]] != NULL;  // table_start found one at least
  for (int i = 1; i < n && oneLabel; i++) {
    oneLabel = fitLabel[models[i]] != NULL && strcmp(fitLabel[models[i]], fitLabel[models[0]]) == 0;
  }
  if (oneLabel) {
    snprintf(buf, size, "%s", fitLabel[models[0]]);
    return;
  }
  int len = snprintf(buf, size, "model%s %d", n > 1 ? "s" : "", models[0]);
  for (int i = 1; i < n && len < size; i++) {
    len += snprintf(buf + len, size - len, "%s%d", i == n - 1 ? " or " : ", ", models[i]);
  }
}

int write_profile_script(FILE *fp, int format, table_reader *t, const char *param) {
  char msg[TABLE_MESSAGE_SIZE];
  int column = strcmp(param, "rmse") == 0 ? -1 : table_parm_index(t, param);
  if (column < 0 && strcmp(param, "rmse") != 0) {
    // The message lists what can be given: rmse and every parameter the header names.
    int len = snprintf(msg, sizeof msg, "Table file %s has no column %.64s: give rmse", t->path,
                       param);
    char header[ROW_SIZE + 1];
    memcpy(header, t->header, sizeof header);
    char *field = strtok(header, "\t");
    for (int f = 0; field != NULL && len < (int)sizeof msg; f++, field = strtok(NULL, "\t")) {
      // id, status, iterations, rmse, then each label and its _sd, then message
      if (f < 4 || f % 2 != 0 || f >= 4 + 2 * t->parmCount) continue;
      len += snprintf(msg + len, sizeof msg - len, "%s%s", f == 2 + 2 * t->parmCount ? " or " : ", ",
                      field);
    }
    if (len < (int)sizeof msg - 1) snprintf(msg + len, sizeof msg - len, "\n");
    show_err(ERR_FATAL, "draw_profile", msg);
    return 0;
  }
  profile_summary s;
  memset(&s, 0, sizeof s);
  char title[160];
  table_model_name(t, title, sizeof title);
  int len = (int)strlen(title);
  snprintf(title + len, sizeof title - len, ": %.64s by dataset", param);
  s.title = title;
  s.column = param;
  s.withSd = column >= 0;
  write_profile_start(fp, format);
  int rows = 0, anyValue = 0;
  static table_entry e;
  int got;
  while ((got = table_next(t, &e)) == 1) {
    double value = column >= 0 ? e.parms[column] : e.rmse;
    double sd = column >= 0 ? e.stdDev[column] : 0.0;
    if (rows == 0 || e.id < s.idLo) s.idLo = e.id;
    if (rows == 0 || e.id > s.idHi) s.idHi = e.id;
    rows++;
    if (e.status == BATCH_FAILED) s.failed++;
    if (e.status == BATCH_REFUSED) s.refused++;
    if (e.status == BATCH_OK) {
      s.ok++;
      if (!isfinite(value)) continue;  // a value without a place on the axis
      double bar = isfinite(sd) ? fabs(sd) : 0.0;
      if (!anyValue || value - bar < s.yLo) s.yLo = value - bar;
      if (!anyValue || value + bar > s.yHi) s.yHi = value + bar;
      anyValue = 1;
    }
    write_profile_row(fp, e.id, e.status, value, sd, s.withSd);
  }
  if (got < 0) return 0;
  if (rows < 2) {
    snprintf(msg, sizeof msg, "A profile needs two datasets or more; table file %s has %d\n",
             t->path, rows);
    show_err(ERR_FATAL, "draw_profile", msg);
    return 0;
  }
  if (s.ok == 0) {
    snprintf(msg, sizeof msg,
             "No fit of table file %s succeeded: it has no value to draw, only starting values\n",
             t->path);
    show_err(ERR_FATAL, "draw_profile", msg);
    return 0;
  }
  if (!anyValue) s.yLo = s.yHi = 0.0;  // every value of the column is nan or infinite
  write_profile_end(fp, format, &s);
  return 1;
}

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

int plan_table_pages(table_reader *t) {
  char msg[TABLE_MESSAGE_SIZE];
  if (!table_of_model(t, fitFunc)) {
    snprintf(msg, sizeof msg, "Table file %s is not a table of model %d: its columns differ\n",
             t->path, fitFunc);
    show_err(ERR_FATAL, "draw_all", msg);
    return -1;
  }
  pageCount = 0;
  static table_entry e;
  int got;
  while ((got = table_next(t, &e)) == 1) {
    if (pageCount == MAX_TABLE_PAGES) {
      snprintf(msg, sizeof msg, "Table file %s has more than %d datasets\n", t->path,
               MAX_TABLE_PAGES);
      show_err(ERR_FATAL, "draw_all", msg);
      return -1;
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
  if (got < 0) return -1;
  if (pageCount == 0) {
    snprintf(msg, sizeof msg, "Table file %s has no dataset to draw\n", t->path);
    show_err(ERR_FATAL, "draw_all", msg);
    return -1;
  }
  qsort(byId, (size_t)pageCount, sizeof byId[0], by_page_id);

  // The scan finds the datasets as velbatch found them: each id at its first id line.
  if (!index_open(dataFname)) return -1;
  batch_dataset ds;
  while ((got = index_next(&ds)) == 1) {
    for (int k = first_page_of(ds.id); k >= 0 && k < pageCount && pageId[byId[k]] == ds.id; k++) {
      pagePlace[byId[k]] = ds.at;
      pageFound[byId[k]] = 1;
    }
  }
  if (got < 0) return -1;
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

void grid_shape(int count, int *cols, int *rows) {
  int cells = GRID_COLUMNS * GRID_ROWS;
  if (count >= cells) {
    *cols = GRID_COLUMNS;
    *rows = GRID_ROWS;
    return;
  }
  // Fewer pictures than a full grid take a grid of their own size.
  *cols = count < GRID_COLUMNS ? count : GRID_COLUMNS;
  *rows = (count + *cols - 1) / *cols;
}

int grid_files(int count) {
  int cells = GRID_COLUMNS * GRID_ROWS;
  return (count + cells - 1) / cells;
}

// Sets up the run of page k from base, its dataset and its row's values, loads the dataset
// and takes the row's RMSE. A refused dataset is drawn with its data where they can be read,
// quietly; a fitted one must load. Returns 1, or 0 after a framed report.
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

int write_table_pages(FILE *fp, int format, table_reader *t, const run_setup *base, FILE *data,
                      const char *partBase) {
  int cols = 0, rows = 0, cells = GRID_COLUMNS * GRID_ROWS;
  grid_shape(pageCount, &cols, &rows);
  write_pages_start(fp, format, cols, rows);
  char label[80];
  if (fitLabel[fitFunc] != NULL) {
    snprintf(label, sizeof label, "%s", fitLabel[fitFunc]);
  } else {
    snprintf(label, sizeof label, "model %d", fitFunc);
  }
  static table_entry e;
  for (int k = 0; k < pageCount; k++) {
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
    plot_page page;
    page.id = e.id;
    page.shown = e.status == BATCH_OK ? SHOWN_FIT : e.status == BATCH_FAILED ? SHOWN_START
                                                                             : SHOWN_NONE;
    page.ofTable = 1;
    page.note = e.status == BATCH_REFUSED ? e.message : NULL;
    page.curve = page.shown != SHOWN_NONE && numData > 0 && compute_plot();
    if (format == PLOT_PDF) {
      write_page(fp, format, &page);
      continue;
    }
    if (k % cells == 0) {
      char fname[NAME_SIZE + 64], title[160];
      snprintf(fname, sizeof fname, "%s-%d", partBase, k / cells + 1);
      if (pageCount <= cells) {
        snprintf(title, sizeof title, "%s: %d dataset%s", label, pageCount,
                 pageCount == 1 ? "" : "s");
      } else {
        int last = k + cells < pageCount ? k + cells : pageCount;
        snprintf(title, sizeof title, "%s: datasets %d to %d of %d", label, k + 1, last, pageCount);
      }
      write_grid_file(fp, format, fname, title, k == 0, rows);
    }
    write_grid_cell(fp, format, &page, k % cells, cols, rows);
  }
  write_pages_end(fp, format);
  return 1;
}

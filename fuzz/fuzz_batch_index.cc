// Fuzz target of what velbatch parses: the --ids list, the starts file and the one-pass
// index of the data file. Input: the id list (empty: none), NUL, the starts file
// "starts.txt" (empty: none), NUL, the data file "data.crv". Every dataset the index hands
// out is loaded by the batch's own fit_dataset and must be exactly what velquin's reader
// loads, or refuses with the same message, for that id; a loaded one is then guessed for,
// and fitted from the guesses, with one of the models.
#include <math.h>
#include <stdlib.h>
#include <string.h>

#include "batch_fit.h"
#include "batch_index.h"
#include "batch_starts.h"
#include "batch_table.h"
#include "cli.h"
#include "fit_engine.h"
#include "fuzz_support.h"
#include "guess_fit.h"
#include "model_guess.h"
#include "models.h"
#include "run_state.h"
#include "show_err.h"

enum {
  FUZZ_MAX_DATASETS = 64,  // each dataset reads the file from the top once more
  FUZZ_GUESS_IT = 3,       // iterations of the fits from the guesses: the choice is checked
};

static double refX[MAX_POINTS], refY[MAX_POINTS], refT[MAX_POINTS];
static char refMessage[MESSAGE_SIZE];
static batch_task task;
static char report[REPORT_SIZE], logText[LOG_SIZE], row[ROW_SIZE], startText[START_LINE_SIZE];
static dataset_texts texts;
static int handedOut[FUZZ_MAX_DATASETS];

static int same_double(double a, double b) { return memcmp(&a, &b, sizeof a) == 0; }

// Loads dataset ds as the batch loads it and as velquin loads it by its id; aborts on any
// difference. Returns 1 when the dataset is loaded, 0 when both refuse it.
static int check_dataset(const batch_options *o, const batch_dataset *ds, FILE *fp,
                         const double *parms, const int *held) {
  int count = -1, columns = -1;
  errMessage[0] = '\0';
  int ref = read_crv_data("data.crv", ds->id, refX, refY, refT, &count, &columns);
  memcpy(refMessage, errMessage, sizeof refMessage);

  task.ds = *ds;
  memcpy(task.parms, parms, sizeof task.parms);
  memcpy(task.held, held, sizeof task.held);
  errMessage[0] = '\0';
  texts.at[TEXT_REPORT] = report;
  texts.at[TEXT_ROW] = row;
  texts.at[TEXT_START] = startText;
  texts.at[TEXT_LOG] = logText;
  int status = fit_dataset(o, &task, fp, &texts);
  const int *len = texts.len;
  if (len[TEXT_ROW] < 0) abort();  // every row fits its buffer
  if (status == BATCH_REFUSED) {
    if (ref != 0 || len[TEXT_REPORT] != 0 || len[TEXT_LOG] != 0 || len[TEXT_START] != 0) abort();
    if (strcmp(errMessage, refMessage) != 0) abort();
    return 0;
  }
  if (ref != 1 || numData != count || numDataCol != columns) abort();
  for (int i = 0; i < count; i++) {
    // The batch stores x plus the offset, which is 0 here: -0 becomes +0 on both sides.
    if (!same_double(xOffsetData[i], refX[i] + o->dataOffset)) abort();
    if (!same_double(yData[i], refY[i])) abort();
    if (columns == 3 && !same_double(tData[i], refT[i])) abort();
  }
  if (len[TEXT_REPORT] <= 0 || len[TEXT_LOG] <= 0) abort();
  if (len[TEXT_START] <= 0) abort();  // a fitted dataset has its start line
  return 1;
}

// Whether the start line of p, as --save-starts writes it, reads back as velquin reads its
// arguments: finite values as the same doubles, others as the same kind, holds as held.
static int line_reads_back(int id, int model, const double *p, const int *held) {
  char line[START_LINE_SIZE + 1];
  int len = start_line(line, START_LINE_SIZE, id, model, p, held);
  if (len < 0) return 0;
  line[len] = '\0';
  char *save = NULL;
  strtok_r(line, " \n", &save);
  int i = 0;
  for (char *w = strtok_r(NULL, " \n", &save); w != NULL; w = strtok_r(NULL, " \n", &save), i++) {
    double v;
    int h;
    if (!whole_parm(w, &v, &h) || h != held[i]) return 0;
    if (isfinite(p[i]) ? !same_double(v, p[i]) : isnan(p[i]) ? !isnan(v) : v != p[i]) return 0;
  }
  return 1;
}

// Guesses for the dataset loaded with model, then fits from the guesses and parms: every
// guess finite with the held values in place, the fit's outcome one of three, and each
// start written as a line that reads back.
static void check_guesses(int id, int model, const double *parms, const int *held) {
  static guess_list g;
  guess_data d = {xOffsetData, yData, tData, numData};
  guess_starts(model, &d, parms, held, &g);
  for (int k = 0; k < g.n; k++) {
    for (int i = 0; i < MAX_PARMS; i++) {
      if (i < fitParmNum[model] && !isfinite(g.start[k][i])) abort();
      if (held[i] == 1 && !same_double(g.start[k][i], parms[i])) abort();
    }
    if (!line_reads_back(id, model, g.start[k], held)) abort();
  }
  fitFunc = model;
  numParms = fitParmNum[model];
  maxIt = FUZZ_GUESS_IT;
  memcpy(fitParms, parms, sizeof fitParms);
  memcpy(holdConstFlag, held, sizeof holdConstFlag);
  memset(fitStdDev, 0, sizeof fitStdDev);
  double from[MAX_PARMS];
  int outcome = fit_from_guesses(fitParms, fitStdDev, from);
  if (outcome != FIT_DONE && outcome != FIT_NO_GRAPH && outcome != FIT_NO_CONVERGE) abort();
  if (!line_reads_back(id, model, from, held)) abort();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  fuzz_part part[3];
  fuzz_split(data, size, 3, part);
  char **argv;
  fuzz_part none = {NULL, 0};
  int argc = fuzz_begin("velbatch", part[0], none, "data.crv", part[2], &argv);
  if (part[1].size > 0) fuzz_add_file("starts.txt", part[1]);
  static int filled = 0;
  if (!filled) {
    fill_catalogue();
    filled = 1;
  }
  reset_index();
  reset_run_state();
  errQuiet = 1;

  // Model 0 with no iteration: the load is what is checked, the fit is velquin's own.
  batch_options o;
  memset(&o, 0, sizeof o);
  o.jobs = 1;
  o.dataFile = "data.crv";
  o.model = 0;
  o.maxIt = 0;
  o.saveStarts = "starts.out";  // only the start lines are made: fit_dataset writes no file

  int ok = 1;
  if (argc > 1) ok = parse_id_list(argv[1]);
  if (ok && part[1].size > 0) ok = load_starts("starts.txt", o.model);
  if (ok && !index_open("data.crv")) abort();  // the file is there and can be read again

  FILE *fp = ok ? fuzz_fopen("data.crv", "r") : NULL;
  int listed = argc > 1;
  int handed = 0;
  batch_dataset ds;
  while (ok && handed < FUZZ_MAX_DATASETS) {
    int got = index_next(&ds);
    if (got < 0) abort();  // no read error, and far fewer ids than the tables take
    if (got == 0) break;
    if (!listed) {
      // The file's datasets: each id once, every one a dataset velquin can select.
      for (int i = 0; i < handed; i++) {
        if (handedOut[i] == ds.id) abort();
      }
      if (ds.at.missing) abort();
    }
    handedOut[handed++] = ds.id;
    double parms[MAX_PARMS];
    int held[MAX_PARMS];
    memset(parms, 0, sizeof parms);
    memset(held, 0, sizeof held);
    int starts = starts_for(ds.id, parms, held);
    if (starts < 0) abort();  // the starts file was read once and is still there
    for (int i = 0; i < MAX_PARMS; i++) {
      if (held[i] != 0 && held[i] != 1) abort();
    }
    if (check_dataset(&o, &ds, fp, parms, held)) {
      int model = (int)((unsigned)ds.id % (LAST_MODEL + 1));
      if (model != 12) check_guesses(ds.id, model, parms, held);
    }
  }
  // Once all are handed out, the count is known and is theirs.
  if (ok && handed < FUZZ_MAX_DATASETS && index_total() != handed) abort();
  reset_index();
  fuzz_end();  // closes fp with every other stream left open
  return 0;
}

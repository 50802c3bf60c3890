// The batch from its start to its summary: the data file's datasets handed to the worker
// pool as they are found, each result written once every earlier one is written.
#include "batch_run.h"

#include <stdio.h>
#include <string.h>

#include "batch_fit.h"
#include "batch_index.h"
#include "batch_output.h"
#include "batch_part.h"
#include "batch_pool.h"

// How the datasets' loop ends.
enum {
  DATASETS_DONE,    // every dataset written, or as many as an interrupt let finish
  DATASETS_FAILED,  // after a report: none handed out since, the fits under way written
  DATASETS_BROKEN,  // after a report: the workers' fits cannot be waited for
};

// The next dataset and its starting values: its line of the starts file, or the command
// line's. Returns 1, 0 when there is none, -1 after a framed report.
static int next_task(const batch_options *o, batch_task *t) {
  memset(t, 0, sizeof *t);
  int got = part_next(&t->ds);
  if (got <= 0) return got;
  int own = starts_for(t->ds.id, t->parms, t->held);
  if (own < 0) return -1;
  t->ownStart = own;
  if (own == 0) {
    memcpy(t->parms, o->parms, sizeof t->parms);
    memcpy(t->held, o->held, sizeof t->held);
  }
  return 1;
}

// Keeps every free worker busy until the datasets run out or an interrupt comes, and
// writes the results as they come back in order.
static int run_datasets(const batch_options *o) {
  int more = 1, outcome = DATASETS_DONE;
  while (!pool_hurried()) {
    while (more && outcome == DATASETS_DONE && !pool_stop_signal() && pool_has_room()) {
      batch_task t;
      int got = next_task(o, &t);
      if (got > 0 && !pool_give(&t)) return DATASETS_BROKEN;
      if (got < 0) outcome = DATASETS_FAILED;
      if (got <= 0) more = 0;
    }
    if (pool_busy() == 0) break;
    if (!pool_wait(progress_shown())) return DATASETS_BROKEN;
    for (const batch_result *r = pool_result(); r != NULL; r = pool_result()) {
      if (!write_result(o, r)) return DATASETS_BROKEN;
      pool_taken();
    }
    draw_progress(0);
  }
  return outcome;
}

int run_batch(const batch_options *o) {
  if (!index_open(o->dataFile)) return 2;
  map_data_file(o->dataFile);  // before the workers start, which share the mapping
  // The workers start before any output is opened: a batch whose workers cannot start
  // leaves every file and folder as it was.
  if (!pool_start(o, fit_dataset)) {
    unmap_data_file();
    return 2;
  }
  if (!open_outputs(o)) {
    pool_stop(0);
    unmap_data_file();
    return 2;
  }
  start_progress();
  int outcome = run_datasets(o);
  pool_stop(outcome == DATASETS_BROKEN || pool_hurried());
  unmap_data_file();
  close_outputs();
  draw_progress(1);
  if (outcome != DATASETS_DONE) return 2;
  int sig = pool_stop_signal();
  // Only a batch that has met all its datasets knows which lines it had no dataset for.
  if (sig == 0 && o->startsFile != NULL) write_starts_note(stderr, o->startsFile);
  if (strcmp(o->tableFile, "-") != 0) write_summary(stdout, sig != 0);  // or it holds the table
  if (sig != 0) return 128 + sig;
  return outputs_all_ok() ? 0 : 1;
}

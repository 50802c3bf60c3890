// The batch from its start to its summary: the data file's datasets handed to the worker
// pool in blocks as they are found, each block written once every earlier one is written.
#include "batch_run.h"

#include <stdio.h>
#include <string.h>

#include "batch_fit.h"
#include "batch_index.h"
#include "batch_output.h"
#include "batch_part.h"
#include "batch_pool.h"
#include "batch_starts.h"

// How the datasets' loop ends.
enum {
  SCAN_CHUNK = 256,  // datasets found between two looks at the workers and the signals
};

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

// Finds the datasets and hands them to the workers until they run out or an interrupt
// comes; the workers write the results in order as they finish them. Between datasets it
// turns to the workers as soon as one has finished a block.
static int run_datasets(const batch_options *o) {
  int more = 1, stopped = 0, outcome = DATASETS_DONE;
  long long found = 0;
  while (!pool_hurried()) {
    if (!stopped && (pool_stop_signal() || pool_write_failed())) {
      pool_stop_fits();
      more = 0;
      stopped = 1;
    }
    for (int n = 0; more && n < SCAN_CHUNK && pool_has_room() && !pool_wants_work(); n++) {
      batch_task t;
      int got = next_task(o, &t);
      if (got > 0) pool_add(&t);
      if (got < 0) outcome = DATASETS_FAILED;
      if (got <= 0) more = 0;
      found += got > 0;
    }
    int total = part_estimate();
    long long left = !more ? 0 : total < 0 || total < found ? -1 : total - found;
    if (!pool_hand_out(left)) return DATASETS_BROKEN;
    if (!more && pool_busy() == 0) break;
    if (!pool_wait(progress_shown(), more && pool_has_room())) return DATASETS_BROKEN;
    if (pool_write_failed()) {
      outputs_failure();
      return DATASETS_BROKEN;
    }
    draw_progress(0);
  }
  return outcome;
}

int run_batch(const batch_options *o) {
  if (!index_open(o->dataFile)) return 2;
  map_data_file(o->dataFile);  // before the workers start, which share the mapping
  // The outputs are opened before the workers start, which write them, but nothing is
  // written to them until the workers have started: a batch whose workers cannot start
  // leaves every file and folder as it was.
  if (!open_outputs(o)) {
    unmap_data_file();
    return 2;
  }
  if (!pool_start(o, fit_into_block, write_block)) {
    abandon_outputs(o);
    unmap_data_file();
    return 2;
  }
  if (!start_outputs(o)) {
    pool_stop(1);
    unmap_data_file();
    return 2;
  }
  start_progress();
  int outcome = run_datasets(o);
  int force = outcome == DATASETS_BROKEN || pool_hurried();
  pool_stop(force);
  if (force) outputs_take_back();  // a worker ended in the middle of a block
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

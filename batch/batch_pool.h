// The worker processes of a batch, forked, each doing one task after another in its own
// copy of the run state. Results come back in slots of shared memory, taken in hand-out
// order. While the pool runs, SIGINT and SIGTERM are noted instead of ending the process
// and SIGPIPE is ignored; pool_stop gives back the signal state that pool_start found.
#ifndef VELQUIN_BATCH_POOL_H
#define VELQUIN_BATCH_POOL_H

#include <stdio.h>

#include "batch_args.h"
#include "batch_fit.h"

enum {
  SLOTS_PER_JOB = 4,  // results a worker may finish ahead of the one to be taken next
};

// A worker's work: the results of task t into *r, in the worker process, with the data file
// open on fp (NULL when it could not be opened). velbatch's is fit_dataset.
typedef void pool_work(const batch_options *o, const batch_task *t, FILE *fp, batch_result *r);

// Starts o->jobs workers that do work. Returns 1, or 0 after a framed report with no
// worker left, nothing mapped or open, and the signal state as it was.
int pool_start(const batch_options *o, pool_work *work);

// Whether a task can be handed out now: a worker is free, and a slot whose results have
// been taken.
int pool_has_room(void);

// Hands t to a free worker, while pool_has_room. Returns 1, or 0 after a framed report when
// that worker has ended.
int pool_give(const batch_task *t);

// How many workers are doing a task.
int pool_busy(void);

// Waits for a worker to finish its task, a signal, or with tick, a second at most.
// Returns 1, or 0 after a framed report: the wait failed, or a worker ended before its work.
int pool_wait(int tick);

// The results of the earliest task not yet taken, once its worker is done; NULL until then.
// pool_taken frees its slot for another task.
const batch_result *pool_result(void);
void pool_taken(void);

// The first of SIGINT and SIGTERM received since pool_start, or 0; and whether a second
// one has come, which asks not to wait for the tasks under way.
int pool_stop_signal(void);
int pool_hurried(void);

// Ends the pool: closes the task pipes, so that each worker ends after its task, or with
// force ends them at once; waits for them, unmaps the slots and gives back the signal state.
void pool_stop(int force);

#endif  // VELQUIN_BATCH_POOL_H

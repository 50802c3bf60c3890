// The worker processes of a batch, forked, each fitting the blocks of datasets that the main
// process hands it, in its own copy of the run state, and writing them in batch order in
// turn with the others (batch_worker.h); the main process finds the datasets and never
// writes a result, so that a batch killed outright leaves its outputs whole. While the pool
// runs, SIGINT and SIGTERM are noted instead of ending the process and SIGPIPE is ignored;
// pool_stop gives back the signal state that pool_start found.
#ifndef VELQUIN_BATCH_POOL_H
#define VELQUIN_BATCH_POOL_H

#include "batch_args.h"
#include "batch_worker.h"

enum {
  ASSIGN_NS = 20000000,  // the time a block of tasks handed out should take
};

// Starts o->jobs workers that fit with fit and write with write. Returns 1, or 0 after a
// framed report with no worker left, nothing mapped and the signal state as it was.
int pool_start(const batch_options *o, pool_fit *fit, pool_write *write);

// Whether the pool takes another task now; pool_add adds t, the next of the batch, while it
// does.
int pool_has_room(void);
void pool_add(const batch_task *t);

// Whether a worker has finished a block since the last pool_wait: the main process should
// stop finding datasets and hand out more.
int pool_wants_work(void);

// Hands out the tasks added to the workers that can take more, in blocks that take about
// ASSIGN_NS each, from one dataset at first while that time is unknown. left: about how
// many tasks are still to come, or -1 when unknown; with none, and with 0, whatever was added
// goes out. Returns 1, or 0 after a framed report when a worker has ended.
int pool_hand_out(long long left);

// How many blocks are handed out and not done.
int pool_busy(void);

// Waits for a worker to finish a block, a signal, or with tick, a second at most; with now,
// takes only what has come. Returns 1, or 0 after a framed report: the wait failed, or a
// worker ended before its work.
int pool_wait(int tick, int now);

// Whether a block could not be written: the workers then start no other dataset.
int pool_write_failed(void);

// Starts no dataset beyond those already started; those before them are still fitted and
// written, so that every finished dataset is written.
void pool_stop_fits(void);

// The first of SIGINT and SIGTERM received since pool_start, or 0; and whether a second
// one has come, which asks not to wait for the fits under way.
int pool_stop_signal(void);
int pool_hurried(void);

// Ends the pool: closes the task pipes, so that each worker ends after its block, or with
// force ends them at once; waits for them, unmaps the shared memory and gives back the
// signal state. After force, a block may have been cut short in the outputs.
void pool_stop(int force);

#endif  // VELQUIN_BATCH_POOL_H

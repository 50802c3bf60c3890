// The side of the worker pool that the workers run, and the memory they share with the main
// process: the ring of tasks that the main process fills, the blocks of results that the
// workers fill, and the few words that keep the blocks' writing in batch order. A worker
// fits the datasets handed to it into blocks of its own; the worker whose block comes next
// writes it, and every finished block after it, while the others fit on.
#ifndef VELQUIN_BATCH_WORKER_H
#define VELQUIN_BATCH_WORKER_H

#include <stdio.h>
#include <sys/types.h>

#include "batch_args.h"
#include "batch_block.h"
#include "batch_fit.h"

enum {
  BLOCKS_PER_JOB = 3,     // one being filled, one waiting for an earlier block, one to spare
  TASKS_PER_JOB = 8192,   // places of the ring of tasks for each worker
  SEGMENT_NS = 50000000,  // a block is written once it has taken this long to fill
};

// A worker's fit of one dataset: the results of task t into block b, which has room for
// them, with the data file open on fp (NULL when it could not be opened). velbatch's is
// fit_into_block.
typedef void pool_fit(const batch_options *o, const batch_task *t, FILE *fp, out_block *b);

// The writing of a block whose datasets come next in the batch, by the worker on writing
// duty: returns 1 when every dataset is written, or 0 after noting what stopped it, and no
// block is written after that one. velbatch's is write_block.
typedef int pool_write(const batch_options *o, const out_block *b);

// Maps the shared memory for jobs workers, before they are forked. Returns 1, or 0 with
// nothing mapped. shared_release unmaps it.
int shared_setup(int jobs, pool_fit *fit, pool_write *write);
void shared_release(void);

// The main process's side of the shared words. The ring holds the task of place seq until
// every dataset before seq + shared_ring_size() is written.
int shared_ring_size(void);
void shared_put(long long seq, const batch_task *t);
long long shared_written(void);  // datasets written or, after a failed write, passed over
int shared_write_failed(void);
long long shared_notes(void);  // blocks of tasks done, as the workers count them

// From now on no dataset starts beyond those already started, but every one before those
// does, so that the batch's finished datasets are written without a gap.
void shared_stop(void);

// A message of the main process to a worker: the tasks of places first to first + count.
struct pool_assignment {
  long long first;
  int count;
  int unused;
};

// A worker's note that it has done an assignment: how many of its datasets it fitted
// (fewer after a stop), and in how many nanoseconds.
struct pool_note {
  int worker;
  int done;
  long long ns;
};

// The life of worker index: assignments read from taskFd, each one's note written to
// noteFd, until taskFd ends. main is the main process, whose end stops the fits.
[[noreturn]] void worker_main(const batch_options *o, int index, int taskFd, int noteFd,
                              pid_t main);

#endif  // VELQUIN_BATCH_WORKER_H

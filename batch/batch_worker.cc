// The workers' side of the pool. The words that keep the blocks' writing in batch order are
// changed by atomic operations only, never under a lock, so that a process ended from
// outside leaves nothing held: the main process notices a lost worker and stops the batch.
#include "batch_worker.h"

#include <string.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

#include "batch_fd.h"
#include "show_err.h"

enum { BLOCK_FREE, BLOCK_FILLING, BLOCK_READY };
enum { MAX_BLOCKS = MAX_JOBS * BLOCKS_PER_JOB, SHARED_ALIGN = 64 };

struct pool_shared {
  // Twice the place after the last dataset started, plus 1 once no later one may start.
  long long frontier;
  long long nextWrite;  // the place of the next dataset to write
  long long notes;      // assignments done
  int writing;          // 1 while a worker is on writing duty
  int failed;           // a block could not be written whole: none is written after it
  int state[MAX_BLOCKS];
};

static pool_shared *shared;
static batch_task *ring;
static int ringSize;
static out_block *blocks;
static int blockCount;
static size_t sharedBytes;
static pool_fit *poolFit;
static pool_write *poolWrite;

// Every shared word is read and written whole and in one order for all processes.
static long long load(const long long *p) { return __atomic_load_n(p, __ATOMIC_SEQ_CST); }
static int load(const int *p) { return __atomic_load_n(p, __ATOMIC_SEQ_CST); }
static void store(long long *p, long long v) { __atomic_store_n(p, v, __ATOMIC_SEQ_CST); }
static void store(int *p, int v) { __atomic_store_n(p, v, __ATOMIC_SEQ_CST); }

static size_t aligned(size_t n) { return (n + SHARED_ALIGN - 1) / SHARED_ALIGN * SHARED_ALIGN; }

int shared_setup(int jobs, pool_fit *fit, pool_write *write) {
  ringSize = jobs * TASKS_PER_JOB;
  blockCount = jobs * BLOCKS_PER_JOB;
  size_t head = aligned(sizeof(pool_shared)), ringBytes = aligned(sizeof(batch_task) * ringSize);
  sharedBytes = head + ringBytes + sizeof(out_block) * (size_t)blockCount;
  // Pages are taken as they are first written: a batch of small fits touches a part only.
  void *m = mmap(NULL, sharedBytes, PROT_READ | PROT_WRITE,
                 MAP_SHARED | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (m == MAP_FAILED) return 0;
  shared = (pool_shared *)m;
  ring = (batch_task *)((char *)m + head);
  blocks = (out_block *)((char *)m + head + ringBytes);
  poolFit = fit;
  poolWrite = write;
  return 1;
}

void shared_release(void) {
  if (shared != NULL) munmap(shared, sharedBytes);
  shared = NULL;
}

int shared_ring_size(void) { return ringSize; }

void shared_put(long long seq, const batch_task *t) { ring[seq % ringSize] = *t; }

long long shared_written(void) { return load(&shared->nextWrite); }

int shared_write_failed(void) { return load(&shared->failed); }

long long shared_notes(void) { return load(&shared->notes); }

void shared_stop(void) { __atomic_fetch_or(&shared->frontier, 1LL, __ATOMIC_SEQ_CST); }

// Whether the dataset at place s may start, noting that it has. Once stopped, only those
// before the frontier do: every dataset before a started one is fitted, so that the
// finished ones are written without a gap.
static int may_start(long long s) {
  long long v = load(&shared->frontier);
  for (;;) {
    if (s < v >> 1) return 1;
    if (v & 1) return 0;
    if (__atomic_compare_exchange_n(&shared->frontier, &v, (s + 1) << 1, 0, __ATOMIC_SEQ_CST,
                                    __ATOMIC_SEQ_CST)) {
      return 1;
    }
  }
}

static long long now_ns(void) {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return (long long)ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

// A free block of worker w's own, or -1 when there is none and the main process has gone.
// Its blocks wait for an earlier one of another worker, which that worker fits and
// writes; without the main process, a lost worker would leave them waiting for ever.
static int take_block(int w, pid_t main) {
  for (;;) {
    for (int k = w * BLOCKS_PER_JOB; k < (w + 1) * BLOCKS_PER_JOB; k++) {
      if (load(&shared->state[k]) == BLOCK_FREE) {
        store(&shared->state[k], BLOCK_FILLING);
        return k;
      }
    }
    if (getppid() != main) {
      shared_stop();
      return -1;
    }
    struct timespec ms = {0, 1000000};
    nanosleep(&ms, NULL);
  }
}

// The block that holds the next dataset to write, once it is ready; -1 until then.
static int ready_block(void) {
  long long next = load(&shared->nextWrite);
  for (int k = 0; k < blockCount; k++) {
    if (load(&shared->state[k]) == BLOCK_READY && blocks[k].first == next) return k;
  }
  return -1;
}

// Takes writing duty unless a worker has it, and writes every block that comes next, in
// turn. The worker on duty looks once more after giving it up, and a worker that finds it
// taken has made its block ready before looking: a block made ready at any moment is seen.
static void write_turn(const batch_options *o) {
  for (;;) {
    int idle = 0;
    if (!__atomic_compare_exchange_n(&shared->writing, &idle, 1, 0, __ATOMIC_SEQ_CST,
                                     __ATOMIC_SEQ_CST)) {
      return;
    }
    for (int k = ready_block(); k >= 0; k = ready_block()) {
      const out_block *b = &blocks[k];
      if (!load(&shared->failed) && !poolWrite(o, b)) {
        store(&shared->failed, 1);
        shared_stop();
      }
      store(&shared->nextWrite, b->first + b->count);
      store(&shared->state[k], BLOCK_FREE);
    }
    store(&shared->writing, 0);
    if (ready_block() < 0) return;
  }
}

// Fits the datasets of assignment a into blocks of worker w, each block written once full,
// once it has taken SEGMENT_NS, or at the end. Returns how many were fitted.
static int work_through(const batch_options *o, int w, FILE *fp, const pool_assignment *a,
                        pid_t main) {
  long long s = a->first, end = a->first + a->count;
  while (s < end && may_start(s)) {
    int k = take_block(w, main);
    if (k < 0) break;
    out_block *b = &blocks[k];
    block_start(b, s);
    long long cut = now_ns() + SEGMENT_NS;
    do {
      poolFit(o, &ring[s % ringSize], fp, b);
      s++;
    } while (s < end && block_has_room(b) && now_ns() < cut && may_start(s));
    store(&shared->state[k], BLOCK_READY);
    write_turn(o);
    if (getppid() != main) shared_stop();  // the datasets begun are finished and written
  }
  return (int)(s - a->first);
}

void worker_main(const batch_options *o, int index, int taskFd, int noteFd, pid_t main) {
  errQuiet = 1;
  FILE *fp = fopen(o->dataFile, "r");
  pool_assignment a;
  while (read_whole(taskFd, &a, sizeof a)) {
    long long start = now_ns();
    pool_note note = {index, work_through(o, index, fp, &a, main), 0};
    note.ns = now_ns() - start;
    __atomic_add_fetch(&shared->notes, 1, __ATOMIC_SEQ_CST);
    // Without the main process the note has no reader, and the next read ends.
    write_whole(noteFd, &note, sizeof note);
  }
  _exit(0);  // no exit handlers: the stdio buffers are the main process's
}

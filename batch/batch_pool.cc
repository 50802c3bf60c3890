// The worker pool: a pipe per worker carries its next task, one pipe for all carries back
// which task is done, and the results lie in slots mapped before the fork. Workers never
// print: their messages go back in the slots.
#include "batch_pool.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include "batch_fd.h"
#include "show_err.h"

enum { MAX_SLOTS = MAX_JOBS * SLOTS_PER_JOB };

struct pool_task {
  int seq;  // the task's place in hand-out order; its slot is seq % slotCount
  batch_task task;
};

struct done_note {
  int worker;
  int seq;
};

struct worker {
  pid_t pid;  // -1 once reaped: kill and waitpid would take -1 for every process
  int taskFd;
  int busy;
};

static batch_result *slots;
static size_t slotBytes;
static int slotCount;
static int slotDone[MAX_SLOTS];
static int nextSeq, takeSeq;  // the next task to hand out, the next results to take
static worker workers[MAX_JOBS];
static int jobCount, busyCount;
static int doneFds[2] = {-1, -1};

static volatile sig_atomic_t stopSignal;  // the first of SIGINT and SIGTERM
static volatile sig_atomic_t stopCount;
static volatile sig_atomic_t childEnded;
static sigset_t savedMask, waitMask;
static struct sigaction savedInt, savedTerm, savedChild, savedPipe;

static void on_stop(int sig) {
  if (stopSignal == 0) stopSignal = sig;
  stopCount = stopCount + 1;
}

static void on_child(int) { childEnded = 1; }

// Set once, as the pool starts. SIGINT, SIGTERM and SIGCHLD stay blocked except inside
// ppoll, so that none slips between a test of what has come and the wait. The workers
// inherit the mask and keep it: an interrupt is the main process's to handle, and a worker
// finishes the fit it has.
static void take_signals(void) {
  sigset_t blocked;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGINT);
  sigaddset(&blocked, SIGTERM);
  sigaddset(&blocked, SIGCHLD);
  sigprocmask(SIG_BLOCK, &blocked, &savedMask);
  waitMask = savedMask;
  sigdelset(&waitMask, SIGINT);
  sigdelset(&waitMask, SIGTERM);
  sigdelset(&waitMask, SIGCHLD);
  stopSignal = stopCount = childEnded = 0;
  struct sigaction sa;
  memset(&sa, 0, sizeof sa);
  sa.sa_handler = on_stop;
  sigaction(SIGINT, &sa, &savedInt);
  sigaction(SIGTERM, &sa, &savedTerm);
  sa.sa_handler = on_child;
  sigaction(SIGCHLD, &sa, &savedChild);
  // A worker that has ended, killed from outside while it waited for work, leaves its task
  // pipe without a reader. Writing its next task there would raise SIGPIPE, whose default
  // ends velbatch without a word; ignored, the write fails with EPIPE and the batch reports
  // the lost worker. A worker whose main process has gone sees its write fail and ends.
  sa.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &sa, &savedPipe);
}

// Restored once, as the pool stops: the mask first, so that a stop signal still pending is
// noted by on_stop rather than met by the default that ends the process.
static void give_back_signals(void) {
  sigprocmask(SIG_SETMASK, &savedMask, NULL);
  sigaction(SIGINT, &savedInt, NULL);
  sigaction(SIGTERM, &savedTerm, NULL);
  sigaction(SIGCHLD, &savedChild, NULL);
  sigaction(SIGPIPE, &savedPipe, NULL);
}

static int pool_error(const char *message) {
  show_err(ERR_FATAL, "run_batch", message);
  return 0;
}

// A worker does one task after another until its pipe closes.
[[noreturn]] static void worker_main(const batch_options *o, pool_work *work, int index,
                                     int taskFd) {
  errQuiet = 1;
  FILE *fp = fopen(o->dataFile, "r");
  pool_task t;
  while (read_whole(taskFd, &t, sizeof t)) {
    work(o, &t.task, fp, &slots[t.seq % slotCount]);
    done_note note = {index, t.seq};
    if (!write_whole(doneFds[1], &note, sizeof note)) break;
  }
  _exit(0);  // no exit handlers: the stdio buffers are the main process's
}

static int start_workers(const batch_options *o, pool_work *work) {
  fflush(stdout);  // a copy of what it holds would go to each worker
  for (int w = 0; w < o->jobs; w++) {
    int task[2];
    if (pipe(task) != 0) return 0;
    pid_t pid = fork();
    if (pid < 0) {
      close(task[0]);
      close(task[1]);
      return 0;
    }
    if (pid == 0) {
      close(task[1]);
      close(doneFds[0]);
      for (int k = 0; k < jobCount; k++) close(workers[k].taskFd);
      worker_main(o, work, w, task[0]);
    }
    close(task[0]);
    fcntl(task[1], F_SETFD, FD_CLOEXEC);
    workers[jobCount].pid = pid;
    workers[jobCount].taskFd = task[1];
    workers[jobCount].busy = 0;
    jobCount++;
  }
  return 1;
}

int pool_start(const batch_options *o, pool_work *work) {
  jobCount = busyCount = nextSeq = takeSeq = 0;
  slotCount = o->jobs * SLOTS_PER_JOB;
  memset(slotDone, 0, sizeof slotDone);
  slotBytes = sizeof(batch_result) * (size_t)slotCount;
  void *shared = mmap(NULL, slotBytes, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (shared != MAP_FAILED && pipe(doneFds) != 0) {
    munmap(shared, slotBytes);
    shared = MAP_FAILED;
  }
  if (shared == MAP_FAILED) return pool_error("Unable to set up the worker processes\n");
  slots = (batch_result *)shared;
  take_signals();
  if (!start_workers(o, work)) {
    pool_error("Unable to start the worker processes\n");
    pool_stop(1);
    return 0;
  }
  close(doneFds[1]);  // the workers hold it: the main process would never see its end
  doneFds[1] = -1;
  return 1;
}

static int free_worker(void) {
  for (int w = 0; w < jobCount; w++) {
    if (!workers[w].busy) return w;
  }
  return -1;
}

int pool_has_room(void) { return nextSeq - takeSeq < slotCount && free_worker() >= 0; }

int pool_give(const batch_task *t) {
  int w = free_worker();
  pool_task pt;
  memset(&pt, 0, sizeof pt);
  pt.seq = nextSeq;
  pt.task = *t;
  // A task pipe without a reader is a worker that has ended: SIGPIPE being ignored, the
  // write fails instead of ending the process.
  if (!write_whole(workers[w].taskFd, &pt, sizeof pt)) {
    return pool_error("A worker process ended before its work\n");
  }
  workers[w].busy = 1;
  busyCount++;
  slotDone[nextSeq % slotCount] = 0;
  nextSeq++;
  return 1;
}

int pool_busy(void) { return busyCount; }

// Whether a worker has ended while the pool still needs it.
static int worker_lost(void) {
  childEnded = 0;
  for (int w = 0; w < jobCount; w++) {
    if (workers[w].pid > 0 && waitpid(workers[w].pid, NULL, WNOHANG) == workers[w].pid) {
      workers[w].pid = -1;
      return 1;
    }
  }
  return 0;
}

int pool_wait(int tick) {
  struct pollfd pfd = {doneFds[0], POLLIN, 0};
  struct timespec second = {1, 0};
  int r = ppoll(&pfd, 1, tick ? &second : NULL, &waitMask);
  if (r < 0 && errno != EINTR) return pool_error("Unable to wait for the worker processes\n");
  if (childEnded && worker_lost()) return pool_error("A worker process ended before its work\n");
  if (r <= 0 || pool_hurried()) return 1;
  // The pipe ends when every worker has ended. ppoll gives that end before the SIGCHLD
  // that follows it, and then never lets the signal in while the end is there to report.
  done_note note;
  if (!read_whole(doneFds[0], &note, sizeof note)) {
    return pool_error("A worker process ended before its work\n");
  }
  workers[note.worker].busy = 0;
  busyCount--;
  slotDone[note.seq % slotCount] = 1;
  return 1;
}

const batch_result *pool_result(void) {
  if (takeSeq == nextSeq || !slotDone[takeSeq % slotCount]) return NULL;
  return &slots[takeSeq % slotCount];
}

void pool_taken(void) {
  slotDone[takeSeq % slotCount] = 0;
  takeSeq++;
}

int pool_stop_signal(void) { return stopSignal; }

int pool_hurried(void) { return stopCount >= 2; }

void pool_stop(int force) {
  for (int w = 0; w < jobCount; w++) {
    if (force && workers[w].pid > 0) kill(workers[w].pid, SIGKILL);
    close(workers[w].taskFd);
  }
  for (int w = 0; w < jobCount; w++) {
    while (workers[w].pid > 0 && waitpid(workers[w].pid, NULL, 0) < 0 && errno == EINTR) {
    }
  }
  jobCount = busyCount = 0;
  for (int k = 0; k < 2; k++) {
    if (doneFds[k] >= 0) close(doneFds[k]);
    doneFds[k] = -1;
  }
  munmap(slots, slotBytes);
  slots = NULL;
  give_back_signals();
}

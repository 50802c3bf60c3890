// The main process's side of the worker pool: the tasks put in the shared ring, a pipe per
// worker carrying the blocks of tasks handed to it, one pipe for all carrying back the notes
// of blocks done. Workers never print: a write that fails is noted in shared memory.
#include "batch_pool.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include "batch_fd.h"
#include "show_err.h"

enum {
  MAX_BLOCK_TASKS = 1 << 20,  // a bound on the growth of blocks, which the ring bounds first
  NOTES_READ = 64,            // notes taken from the pipe at once
};

struct worker {
  pid_t pid;  // -1 once reaped: kill and waitpid would take -1 for every process
  int taskFd;
  int busy;  // blocks handed to it and not done
};

static worker workers[MAX_JOBS];
static int jobCount, busyCount;
static int doneFds[2] = {-1, -1};
static long long added, handed;  // tasks put in the ring, tasks handed out
// The datasets written as last seen: read again only when the ring looks full, so that the
// main process does not pull the workers' word to its core at every task.
static long long writtenSeen;
static long long notesRead;
// The time per dataset, from the notes: sums in which each note weighs twice the one before.
static double sumNs, sumDone;
static int sizeCap;  // the largest block handed out next, four times larger at each note

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
// finishes the fits that the main process asks it to finish.
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
  // pipe without a reader. Handing it a block there would raise SIGPIPE, whose default ends
  // velbatch without a word; ignored, the write fails with EPIPE and the batch reports the
  // lost worker. A worker whose main process has gone sees its note's write fail; a table
  // on a closed pipe fails its write and stops the batch.
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

static int start_workers(const batch_options *o) {
  fflush(stdout);  // a copy of what it holds would go to each worker
  pid_t main = getpid();
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
      worker_main(o, w, task[0], doneFds[1], main);
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

int pool_start(const batch_options *o, pool_fit *fit, pool_write *write) {
  jobCount = busyCount = 0;
  added = handed = notesRead = writtenSeen = 0;
  sumNs = sumDone = 0;
  sizeCap = 1;
  if (!shared_setup(o->jobs, fit, write)) {
    return pool_error("Unable to set up the worker processes\n");
  }
  if (pipe(doneFds) != 0) {
    shared_release();
    return pool_error("Unable to set up the worker processes\n");
  }
  take_signals();
  if (!start_workers(o)) {
    pool_error("Unable to start the worker processes\n");
    pool_stop(1);
    return 0;
  }
  close(doneFds[1]);  // the workers hold it: the main process would never see its end
  doneFds[1] = -1;
  fcntl(doneFds[0], F_SETFL, O_NONBLOCK);  // notes are taken as many as have come
  return 1;
}

int pool_has_room(void) {
  if (added - writtenSeen < shared_ring_size()) return 1;
  writtenSeen = shared_written();
  return added - writtenSeen < shared_ring_size();
}

void pool_add(const batch_task *t) { shared_put(added++, t); }

int pool_wants_work(void) { return shared_notes() != notesRead; }

// How many tasks the next block should hold: as many as take ASSIGN_NS, once a note has
// told how long a dataset takes; within a quarter of the ring per worker, so that each has
// room for a block in hand and one more; and near the end, with more than one worker, a
// share of what is left, so that the workers finish together.
static int block_size(long long left) {
  if (sumDone <= 0) return 1;
  double n = ASSIGN_NS / (sumNs > sumDone ? sumNs / sumDone : 1.0);
  if (n > sizeCap) n = sizeCap;
  int ringShare = shared_ring_size() / (4 * jobCount);
  if (n > ringShare) n = ringShare;
  if (jobCount > 1 && left >= 0) {
    double share = (double)(left + added - handed) / (2 * jobCount);
    if (n > share) n = share;
  }
  return n < 1 ? 1 : (int)n;
}

int pool_hand_out(long long left) {
  // A worker gets a second block before the end of its first when blocks are short, so that
  // it never waits for the main process; a long block alone, so that an interrupt does not
  // wait for a second one.
  int ahead = sumDone > 0 && 2 * sumNs < ASSIGN_NS * sumDone ? 2 : 1;
  for (int w = 0; w < jobCount; w++) {
    while (workers[w].busy < ahead && handed < added) {
      int n = block_size(left);
      long long have = added - handed;
      // A worker with a block in hand waits for a whole one while more tasks are coming.
      if (have < n && left != 0 && workers[w].busy > 0) break;
      if (have < n) n = (int)have;
      pool_assignment a = {handed, n, 0};
      // A task pipe without a reader is a worker that has ended: SIGPIPE being ignored, the
      // write fails instead of ending the process.
      if (!write_whole(workers[w].taskFd, &a, sizeof a)) {
        return pool_error("A worker process ended before its work\n");
      }
      workers[w].busy++;
      busyCount++;
      handed += n;
    }
  }
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

// Takes the notes that have come. Returns 1, or 0 after a framed report when every worker
// has ended.
static int read_notes(void) {
  pool_note notes[NOTES_READ];
  ssize_t got;
  while ((got = read(doneFds[0], notes, sizeof notes)) < 0 && errno == EINTR) {
  }
  if (got < 0 && errno == EAGAIN) return 1;
  // The pipe ends when every worker has ended. ppoll gives that end before the SIGCHLD
  // that follows it, and then never lets the signal in while the end is there to report.
  if (got <= 0) return pool_error("A worker process ended before its work\n");
  for (int i = 0; i < (int)(got / (ssize_t)sizeof notes[0]); i++) {
    const pool_note *n = &notes[i];
    workers[n->worker].busy--;
    busyCount--;
    notesRead++;
    if (n->done > 0) {
      sumNs = sumNs / 2 + (double)n->ns;
      sumDone = sumDone / 2 + n->done;
    }
    if (sizeCap < MAX_BLOCK_TASKS / 4) sizeCap *= 4;
  }
  return 1;
}

int pool_wait(int tick, int now) {
  struct pollfd pfd = {doneFds[0], POLLIN, 0};
  struct timespec zero = {0, 0}, second = {1, 0};
  int r = ppoll(&pfd, 1, now ? &zero : tick ? &second : NULL, &waitMask);
  if (r < 0 && errno != EINTR) return pool_error("Unable to wait for the worker processes\n");
  if (childEnded && worker_lost()) return pool_error("A worker process ended before its work\n");
  if (r <= 0 || pool_hurried()) return 1;
  return read_notes();
}

int pool_write_failed(void) { return shared_write_failed(); }

void pool_stop_fits(void) { shared_stop(); }

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
  shared_release();
  give_back_signals();
}

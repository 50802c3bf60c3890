// Unit tests of the worker pool, with work of the tests' own: results come back in the order
// the tasks were handed out, a worker that ends is reported as one whatever it was doing,
// interrupts are noted, the signal state is given back, and a pool that cannot start leaves
// nothing behind, nor does velbatch then.
#include "batch_pool.h"

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "program_run.h"
#include "show_err.h"
#include "velquin_texts.h"

namespace {

enum { ENDS_WORKER = -1 };  // a task of this id ends its worker, as a crash would

// The tests' work: the task's id, after a pause of parms[0] milliseconds, and the worker's
// process id as its report.
void echo_work(const batch_options *, const batch_task *t, FILE *, batch_result *r) {
  if (t->ds.id == ENDS_WORKER) _exit(3);
  usleep((useconds_t)(t->parms[0] * 1000));
  r->id = t->ds.id;
  r->status = BATCH_OK;
  r->reportLen = snprintf(r->report, sizeof r->report, "%d", (int)getpid());
  r->logLen = r->rowLen = 0;
}

batch_options pool_options(int jobs) {
  batch_options o;
  memset(&o, 0, sizeof o);
  o.jobs = jobs;
  o.dataFile = "/dev/null";
  return o;
}

batch_task task(int id, double pauseMs) {
  batch_task t;
  memset(&t, 0, sizeof t);
  t.ds.id = id;
  t.parms[0] = pauseMs;
  return t;
}

// The mask and the dispositions of the signals that the pool takes.
std::string signal_state() {
  sigset_t mask;
  sigprocmask(SIG_BLOCK, NULL, &mask);
  std::string s;
  for (int sig : {SIGINT, SIGTERM, SIGCHLD, SIGPIPE}) {
    struct sigaction sa;
    sigaction(sig, NULL, &sa);
    char buf[64];
    snprintf(buf, sizeof buf, "%d:%d:%p ", sig, sigismember(&mask, sig), (void *)sa.sa_handler);
    s += buf;
  }
  return s;
}

// Hands out every task, taking back the results as they come; the ids in the order taken.
std::vector<int> run_tasks(const std::vector<batch_task> &tasks) {
  std::vector<int> taken;
  size_t next = 0;
  while (next < tasks.size() || pool_busy() > 0) {
    while (next < tasks.size() && pool_has_room()) {
      if (!pool_give(&tasks[next++])) return taken;
    }
    if (!pool_wait(0)) return taken;
    for (const batch_result *r = pool_result(); r != NULL; r = pool_result()) {
      taken.push_back(r->id);
      pool_taken();
    }
  }
  return taken;
}

TEST(pool_result, comes_back_in_hand_out_order) {
  struct row {
    const char *name;
    int jobs;
    std::vector<double> pauses;  // of each task, in milliseconds
  } rows[] = {
      {"one worker", 1, {3, 0, 2, 1}},
      {"later tasks finish first", 3, {40, 30, 20, 10, 0, 0, 5, 0, 0}},
      {"more tasks than slots, the first slowest", 2, {60, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(r.name);
    std::vector<batch_task> tasks;
    std::vector<int> ids;
    for (size_t i = 0; i < r.pauses.size(); i++) {
      tasks.push_back(task((int)i + 10, r.pauses[i]));
      ids.push_back((int)i + 10);
    }
    std::string before = signal_state();
    batch_options o = pool_options(r.jobs);
    ASSERT_EQ(pool_start(&o, echo_work), 1);
    EXPECT_EQ(run_tasks(tasks), ids);
    EXPECT_EQ(pool_stop_signal(), 0);
    pool_stop(0);
    EXPECT_EQ(signal_state(), before);
  }
}

int ends_during_task() {
  batch_task t = task(ENDS_WORKER, 0);
  if (!pool_give(&t)) return 0;
  for (int second = 0; second < 10; second++) {
    if (!pool_wait(1)) return 0;
  }
  return 1;
}

// In a child of the test, with SIGPIPE at its default as a shell starts velbatch, each
// row's steps end with pool_give or pool_wait reporting the lost worker.
TEST(pool_give, reports_a_worker_that_has_ended) {
  struct row {
    const char *name;
    int jobs;
    int (*steps)(void);  // the failed call's result, 1 when none failed
  } rows[] = {
      // Alone, it ends the done pipe too; beside another, only SIGCHLD tells.
      {"during its task, alone", 1, ends_during_task},
      {"during its task, beside another", 2, ends_during_task},
      {"while it waited for work", 1,
       [] {
         batch_task t = task(1, 0);
         if (!pool_give(&t) || !pool_wait(0)) return 0;
         while (pool_result() == NULL) {
           if (!pool_wait(0)) return 0;
         }
         pid_t pid = atoi(pool_result()->report);
         pool_taken();
         kill(pid, SIGKILL);
         siginfo_t info;
         waitid(P_PID, (id_t)pid, &info, WEXITED | WNOWAIT);  // left for the pool to reap
         t = task(2, 0);
         return pool_give(&t);
       }},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EXIT(
        {
          signal(SIGPIPE, SIG_DFL);
          errQuiet = 1;
          batch_options o = pool_options(r.jobs);
          if (pool_start(&o, echo_work) != 1) _exit(2);
          int got = r.steps();
          pool_stop(1);
          fprintf(stderr, "%d %s", got, errMessage);
          _exit(0);
        },
        testing::ExitedWithCode(0), "^0 A worker process ended before its work\n$");
  }
}

// Each row raises its signals around two waits, a worker busy all the while, and shows
// what the pool noted once it has stopped. Signals raised in a child of the test.
TEST(pool_stop_signal, notes_interrupts_until_the_pool_stops) {
  struct row {
    const char *name;
    int first, second, atStop;  // raised before each wait and before pool_stop; 0: none
    const char *noted;          // "stop signal hurried"
  } rows[] = {
      {"no interrupt", 0, 0, 0, "^0 0\n$"},
      {"an interrupt", SIGINT, 0, 0, "^2 0\n$"},
      {"the first of two is kept, the second hurries", SIGTERM, SIGINT, 0, "^15 1\n$"},
      {"one still pending at the stop", 0, 0, SIGTERM, "^15 0\n$"},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EXIT(
        {
          batch_options o = pool_options(1);
          if (pool_start(&o, echo_work) != 1) _exit(2);
          batch_task t = task(1, 300);
          if (!pool_give(&t)) _exit(2);
          for (int sig : {r.first, r.second}) {
            if (sig != 0) raise(sig);
            if (!pool_wait(1)) _exit(2);
          }
          int hurried = pool_hurried();
          if (r.atStop != 0) raise(r.atStop);
          pool_stop(1);
          fprintf(stderr, "%d %d\n", pool_stop_signal(), hurried);
          _exit(0);
        },
        testing::ExitedWithCode(0), r.noted);
  }
}

// The file descriptors open, as "0 1 2 ...".
std::string open_fds() {
  std::string s;
  for (int fd = 0; fd < 4096; fd++) {
    if (fcntl(fd, F_GETFD) != -1) s += std::to_string(fd) + " ";
  }
  return s;
}

// A limit of open files that leaves free only the first few numbers that are.
rlim_t few_free_fds(int few) {
  int fd = 0;
  for (int freeFds = 0; freeFds < few; fd++) {
    if (fcntl(fd, F_GETFD) == -1) freeFds++;
  }
  return (rlim_t)fd;
}

// Too few file descriptors for a pipe to each worker: a real limit that a user can meet,
// with no failure planted in the program. The pool must end the workers it has started and
// give everything back.
TEST(pool_start, that_cannot_start_leaves_nothing_behind) {
  EXPECT_EXIT(
      {
        errQuiet = 1;
        std::string before = signal_state();
        std::string fds = open_fds();
        struct rlimit lim;
        getrlimit(RLIMIT_NOFILE, &lim);
        lim.rlim_cur = few_free_fds(12);  // the done pipe and a few workers' pipes
        setrlimit(RLIMIT_NOFILE, &lim);
        batch_options o = pool_options(MAX_JOBS);
        int got = pool_start(&o, echo_work);
        int childLeft = waitpid(-1, NULL, WNOHANG) != -1 || errno != ECHILD;
        fprintf(stderr, "%d %d %d %d %s", got, childLeft, open_fds() == fds,
                signal_state() == before, errMessage);
        _exit(0);
      },
      testing::ExitedWithCode(0), "^0 0 1 1 Unable to start the worker processes\n$");
}

// velbatch under the same limit: with two workers it runs, with sixty-four it reports that
// they cannot start and leaves every file as it was, an earlier table among them.
TEST(velbatch, leaves_every_file_as_it_was_when_its_workers_cannot_start) {
  temp_dir work;
  work.write("data.crv", "1\n0 1.1\n1 2.9\n2 5.2\n");
  work.write("t.tsv", "an earlier table\n");
  std::vector<std::string> before = work.list();
  auto run = [&](const char *jobs) {
    return run_program("/bin/sh",
                       {"-c", std::string("ulimit -n 20 && exec ") + VELBATCH_BIN + " -j " + jobs +
                                  " --log-dir logs/new 0 data.crv r.res t.tsv 0 100 1 1"},
                       work.path());
  };
  run_result res = run("64");
  EXPECT_EQ(res.status, 2);
  EXPECT_EQ(res.out, frame(true, "run_batch", "Unable to start the worker processes\n"));
  EXPECT_EQ(res.err, "");
  EXPECT_EQ(work.list(), before);
  EXPECT_EQ(work.read("t.tsv"), "an earlier table\n");
  res = run("2");
  EXPECT_EQ(res.status, 0);
  EXPECT_EQ(res.out, "velbatch: 1 datasets: 1 ok, 0 failed, 0 refused\n");
}

}  // namespace

// Unit tests of the worker pool, with work of the tests' own: results come back in hand-out
// order, a lost worker is reported whatever it was doing, interrupts are noted, the signal
// state is given back; and velbatch, whose workers cannot start, leaves every file as it was.
#include "batch_pool.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "program_run.h"
#include "show_err.h"
#include "velquin_texts.h"

namespace {

enum { ENDS_WORKER = -1 };  // a task of this id ends its worker, as a crash would

// The tests' work: after a pause of parms[0] milliseconds, the task's id, and the worker's
// process id as its report.
void echo_work(const batch_options *, const batch_task *t, FILE *, batch_result *r) {
  if (t->ds.id == ENDS_WORKER) _exit(3);
  usleep((useconds_t)(t->parms[0] * 1000));
  r->id = t->ds.id;
  r->status = BATCH_OK;
  r->reportLen = snprintf(r->report, sizeof r->report, "%d", (int)getpid());
  r->logLen = r->rowLen = 0;
}

int start(int jobs) {
  static batch_options o;
  memset(&o, 0, sizeof o);
  o.jobs = jobs;
  o.dataFile = "/dev/null";
  return pool_start(&o, echo_work);
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
    s += std::to_string(sigismember(&mask, sig)) + ":" +
         std::to_string((unsigned long)sa.sa_handler) + " ";
  }
  return s;
}

TEST(pool_result, comes_back_in_hand_out_order) {
  struct row {
    const char *name;
    int jobs;
    std::vector<double> pauses;  // of each task, in milliseconds
  } rows[] = {
      {"one worker", 1, {3, 0, 2, 1}},
      {"later tasks finish first", 3, {40, 30, 20, 10, 0, 0, 5, 0, 0}},
      {"more tasks than slots, the first slowest", 2, {60, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(r.name);
    std::string before = signal_state();
    ASSERT_EQ(start(r.jobs), 1);
    std::vector<int> taken, ids;
    for (size_t next = 0; next < r.pauses.size() || pool_busy() > 0;) {
      for (; next < r.pauses.size() && pool_has_room(); next++) {
        ids.push_back((int)next + 10);
        batch_task t = task(ids.back(), r.pauses[next]);
        ASSERT_EQ(pool_give(&t), 1);
      }
      ASSERT_EQ(pool_wait(0), 1);
      for (; pool_result() != NULL; pool_taken()) taken.push_back(pool_result()->id);
    }
    EXPECT_EQ(taken, ids);
    pool_stop(0);
    EXPECT_EQ(pool_stop_signal(), 0);
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

int ends_while_waiting() {
  batch_task t = task(1, 0);
  if (!pool_give(&t)) return 0;
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
}

// A worker busy for 0.3 s; first and second raised before each of two waits, last before
// the pool stops.
int interrupted(int first, int second, int last) {
  batch_task t = task(1, 300);
  if (!pool_give(&t)) return 0;
  for (int sig : {first, second}) {
    if (sig != 0) raise(sig);
    if (!pool_wait(1)) return 0;
  }
  if (last != 0) raise(last);
  return 1;
}

// Each row runs in a child of the test, with SIGPIPE at its default as a shell starts
// velbatch, and shows the result of its steps, the stop signal and whether the pool was
// hurried once stopped, and the message reported.
TEST(pool_wait, reports_lost_workers_and_notes_interrupts) {
  const char *lost = "^0 0 0 A worker process ended before its work\n$";
  struct row {
    const char *name;
    int jobs;
    int (*steps)(void);  // 0 when a call failed
    const char *shown;
  } rows[] = {
      // Alone, it ends the done pipe too; beside another, only SIGCHLD tells.
      {"a worker ending during its task, alone", 1, ends_during_task, lost},
      {"a worker ending during its task, beside another", 2, ends_during_task, lost},
      {"a worker killed while it waited for work", 1, ends_while_waiting, lost},
      {"an interrupt", 1, [] { return interrupted(SIGINT, 0, 0); }, "^1 2 0 $"},
      {"the first of two kept, the second hurries", 1,
       [] { return interrupted(SIGTERM, SIGINT, 0); }, "^1 15 1 $"},
      {"one still pending as the pool stops", 1, [] { return interrupted(0, 0, SIGTERM); },
       "^1 15 0 $"},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EXIT(
        {
          signal(SIGPIPE, SIG_DFL);
          errQuiet = 1;
          errMessage[0] = '\0';
          if (start(r.jobs) != 1) _exit(2);
          int got = r.steps();
          int hurried = pool_hurried();
          pool_stop(1);
          fprintf(stderr, "%d %d %d %s", got, pool_stop_signal(), hurried, errMessage);
          _exit(0);
        },
        testing::ExitedWithCode(0), r.shown);
  }
}

// Under "ulimit -n 20", a real limit with no failure planted in the program, two workers
// get their pipes and sixty-four do not: the pool ends those it has started, before any
// output is opened.
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
  EXPECT_EQ(res.err, frame(true, "run_batch", "Unable to start the worker processes\n"));
  EXPECT_EQ(res.out, "");
  EXPECT_EQ(work.list(), before);
  EXPECT_EQ(work.read("t.tsv"), "an earlier table\n");
  res = run("2");
  EXPECT_EQ(res.status, 0);
  EXPECT_EQ(res.out, "velbatch: 1 datasets: 1 ok, 0 failed, 0 refused\n");
}

}  // namespace

// Unit tests of the worker pool, with a fit and a writer of the tests' own: blocks are
// written in hand-out order, an interrupt leaves every started dataset written and none
// after a gap, a failed write stops the writing, a lost worker is reported whatever it was
// doing, interrupts are noted, the signal state is given back; and velbatch, whose workers
// cannot start, leaves every file as it was.
#include "batch_pool.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <set>
#include <string>
#include <vector>

#include "batch_fd.h"
#include "program_run.h"
#include "show_err.h"
#include "velquin_texts.h"

namespace {

enum {
  ENDS_WORKER = -1,   // a task of this id ends its worker, as a crash would
  CANNOT_WRITE = -2,  // the block that holds a task of this id cannot be written
};

// Files that the workers inherit: the rows written, in writing order, and the ids of the
// datasets started, in any order.
int rowsFd = -1, startedFd = -1;

// The tests' fit: after a pause of parms[0] milliseconds, a row of the task's id and the
// worker's process id.
void echo_fit(const batch_options *, const batch_task *t, FILE *, out_block *b) {
  if (t->ds.id == ENDS_WORKER) _exit(3);
  std::string id = std::to_string(t->ds.id) + "\n";
  write_whole(startedFd, id.data(), id.size());
  if (t->parms[0] > 0) usleep((useconds_t)(t->parms[0] * 1000));
  int len[BLOCK_TEXTS] = {0};
  len[TEXT_ROW] = snprintf(block_text(b, TEXT_ROW), ROW_SIZE, "%d %d\n", t->ds.id, (int)getpid());
  block_add(b, t->ds.id, BATCH_OK, len);
}

int rows_write(const batch_options *, const out_block *b) {
  for (int i = 0; i < b->count; i++) {
    if (b->entry[i].id == CANNOT_WRITE) return 0;
  }
  return write_whole(rowsFd, block_texts(b, TEXT_ROW), (size_t)block_bytes(b, TEXT_ROW, b->count));
}

batch_task task(int id, double pauseMs) {
  batch_task t;
  memset(&t, 0, sizeof t);
  t.ds.id = id;
  t.parms[0] = pauseMs;
  return t;
}

// A pool of jobs workers writing into files of work, whose rows and started ids it gives.
struct pool_place {
  temp_dir work;
  explicit pool_place(int jobs) {
    rowsFd = open(work.file("rows").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0666);
    startedFd = open(work.file("started").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0666);
    static batch_options o;
    memset(&o, 0, sizeof o);
    o.jobs = jobs;
    o.dataFile = "/dev/null";
    started = pool_start(&o, echo_fit, rows_write);
  }
  ~pool_place() {
    close(rowsFd);
    close(startedFd);
  }
  std::vector<int> ids(const char *name) const {
    std::vector<int> v;
    std::string text = work.read(name);
    for (size_t at = 0; at < text.size(); at = text.find('\n', at) + 1) {
      v.push_back(atoi(text.c_str() + at));
    }
    return v;
  }
  int started;
};

// Puts the tasks through the pool as a batch does, calling during after each wait, and
// stopping the fits once a signal has come or a write has failed. Returns 0 when a call of
// the pool failed.
int drive(const std::vector<batch_task> &tasks, void (*during)(int turn) = nullptr) {
  size_t next = 0;
  int stopped = 0;
  for (int turn = 0;; turn++) {
    if (!stopped && (pool_stop_signal() || pool_write_failed())) {
      pool_stop_fits();
      stopped = 1;
    }
    while (!stopped && next < tasks.size() && pool_has_room()) pool_add(&tasks[next++]);
    int more = !stopped && next < tasks.size();
    if (!pool_hand_out(more ? (long long)(tasks.size() - next) : 0)) return 0;
    if (!more && pool_busy() == 0) return 1;
    if (!pool_wait(1, more && pool_has_room())) return 0;
    if (during != nullptr) during(turn);
  }
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

std::vector<int> count_up(int n) {
  std::vector<int> v;
  for (int i = 0; i < n; i++) v.push_back(i);
  return v;
}

TEST(pool_hand_out, blocks_are_written_in_hand_out_order) {
  struct row {
    const char *name;
    int jobs;
    std::vector<double> pauses;  // of each task, in milliseconds
  } rows[] = {
      {"one worker", 1, {3, 0, 2, 1}},
      {"later tasks finish first", 3, {40, 30, 20, 10, 0, 0, 5, 0, 0}},
      {"one slow task among quick ones", 2, {0, 0, 0, 0, 90, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      // Each block takes a quarter of the ring at most: the ring is filled and emptied again.
      {"more tasks than the ring holds", 2, std::vector<double>(5 * 2 * TASKS_PER_JOB, 0)},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(r.name);
    std::string before = signal_state();
    pool_place p(r.jobs);
    ASSERT_EQ(p.started, 1);
    std::vector<batch_task> tasks;
    for (size_t i = 0; i < r.pauses.size(); i++) tasks.push_back(task((int)i, r.pauses[i]));
    EXPECT_EQ(drive(tasks), 1);
    pool_stop(0);
    EXPECT_EQ(p.ids("rows"), count_up((int)r.pauses.size()));
    EXPECT_EQ(pool_stop_signal(), 0);
    EXPECT_EQ(signal_state(), before);
  }
}

// An interrupt while two workers fit blocks of several datasets: the fits started finish,
// those before them too, and all are written, in order, without a gap; the batch's later
// datasets are not started.
TEST(pool_stop_fits, every_started_dataset_is_written_without_a_gap) {
  for (int at : {1, 2, 3, 5, 8, 12, 20, 30}) {
    SCOPED_TRACE(at);
    pool_place p(2);
    ASSERT_EQ(p.started, 1);
    std::vector<batch_task> tasks;
    for (int i = 0; i < 3000; i++) tasks.push_back(task(i, 0.2 + (i % 7) * 0.1));
    static int interruptAt;
    interruptAt = at;
    EXPECT_EQ(drive(tasks,
                    [](int turn) {
                      if (turn == interruptAt) raise(SIGINT);
                    }),
              1);
    pool_stop(0);
    EXPECT_EQ(pool_stop_signal(), SIGINT);
    std::vector<int> written = p.ids("rows"), started = p.ids("started");
    EXPECT_EQ(written, count_up((int)written.size()));
    EXPECT_EQ(std::set<int>(started.begin(), started.end()),
              std::set<int>(written.begin(), written.end()));
    EXPECT_LT(written.size(), tasks.size());
  }
}

// A block that cannot be written: the blocks before it are written, none after it, and the
// workers start no other dataset.
TEST(pool_write_failed, no_block_is_written_after_the_one_that_failed) {
  pool_place p(2);
  ASSERT_EQ(p.started, 1);
  std::vector<batch_task> tasks;
  for (int i = 0; i < 4000; i++) tasks.push_back(task(i == 300 ? CANNOT_WRITE : i, 0.1));
  EXPECT_EQ(drive(tasks), 1);
  pool_stop(0);
  std::vector<int> written = p.ids("rows");
  EXPECT_EQ(written, count_up((int)written.size()));
  EXPECT_LT(written.size(), 300u);
  EXPECT_LT(p.ids("started").size(), tasks.size());
}

int ends_during_task() {
  batch_task t = task(ENDS_WORKER, 0);
  pool_add(&t);
  if (!pool_hand_out(0)) return 0;
  for (int second = 0; second < 10; second++) {
    if (!pool_wait(1, 0)) return 0;
  }
  return 1;
}

int ends_while_waiting() {
  batch_task t = task(1, 0);
  pool_add(&t);
  if (!pool_hand_out(0)) return 0;
  while (pool_busy() > 0) {
    if (!pool_wait(0, 0)) return 0;
  }
  std::string rows = read_file("/proc/self/fd/" + std::to_string(rowsFd));
  pid_t pid = atoi(rows.c_str() + rows.find(' '));
  kill(pid, SIGKILL);
  siginfo_t info;
  waitid(P_PID, (id_t)pid, &info, WEXITED | WNOWAIT);  // left for the pool to reap
  t = task(2, 0);
  pool_add(&t);
  return pool_hand_out(0);
}

// A worker busy for 0.3 s; first and second raised before each of two waits, last before
// the pool stops.
int interrupted(int first, int second, int last) {
  batch_task t = task(1, 300);
  pool_add(&t);
  if (!pool_hand_out(0)) return 0;
  for (int sig : {first, second}) {
    if (sig != 0) raise(sig);
    if (!pool_wait(1, 0)) return 0;
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
      // Alone, it ends the note pipe too; beside another, only SIGCHLD tells.
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
          pool_place p(r.jobs);
          if (p.started != 1) _exit(2);
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
// get their pipes and sixty-four do not: the pool ends those it has started, and the
// outputs opened are taken back.
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

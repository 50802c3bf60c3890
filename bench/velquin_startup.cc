// Whole-process timer for bench/startup.sh: runs a reference command and a measured
// command alternately, so that machine noise hits both alike, and prints the median
// wall time of each, from spawn to reaped exit, and their ratio.
// Usage: velquin_startup RUNS REFERENCE [ARG ...] -- MEASURED [ARG ...]
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>

extern char **environ;

enum { MAX_RUNS = 100000, WARM_UP_RUNS = 50 };

static double refTimes[MAX_RUNS];
static double measuredTimes[MAX_RUNS];

// Runs argv once with its output sent to /dev/null. Returns the elapsed seconds, or
// -1.0 when it could not be started or did not exit with status 0: a command that
// fails early would look fast.
static double run_once(char **argv, const posix_spawn_file_actions_t *actions) {
  struct timespec t0, t1;
  pid_t pid;
  int status;
  clock_gettime(CLOCK_MONOTONIC, &t0);
  if (posix_spawn(&pid, argv[0], actions, NULL, argv, environ) != 0) return -1.0;
  if (waitpid(pid, &status, 0) != pid) return -1.0;
  clock_gettime(CLOCK_MONOTONIC, &t1);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return -1.0;
  return (double)(t1.tv_sec - t0.tv_sec) + (double)(t1.tv_nsec - t0.tv_nsec) * 1e-9;
}

static int compare_doubles(const void *a, const void *b) {
  double x = *(const double *)a, y = *(const double *)b;
  return (x > y) - (x < y);
}

// Sorts t in place; the quantile q of its n values, the lower one of a middle pair.
static double quantile(double *t, int n, double q) {
  qsort(t, (size_t)n, sizeof t[0], compare_doubles);
  return t[(int)(q * (n - 1))];
}

static void print_row(const char *path, double *t, int n) {
  const char *name = strrchr(path, '/') ? strrchr(path, '/') + 1 : path;
  double median = quantile(t, n, 0.5);
  printf("%-12.12s median %8.1f us  (p10 %8.1f, p90 %8.1f)\n", name, median * 1e6,
         quantile(t, n, 0.1) * 1e6, quantile(t, n, 0.9) * 1e6);
}

int main(int argc, char **argv) {
  int sep = 0;
  for (int i = 2; i < argc; i++) {
    if (strcmp(argv[i], "--") == 0) sep = i;
  }
  int runs = argc > 1 ? atoi(argv[1]) : 0;
  if (runs < 1 || runs > MAX_RUNS || sep < 3 || sep == argc - 1) {
    printf(
        "usage: velquin_startup RUNS REFERENCE [ARG ...] -- MEASURED [ARG ...]\n"
        "       RUNS from 1 to %d\n",
        MAX_RUNS);
    return 1;
  }
  argv[sep] = NULL;  // ends the reference command's argument list
  char **ref = argv + 2, **measured = argv + sep + 1;

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);

  // Warm-up: page cache, and the first runs' page faults in the kernel's own tables.
  for (int i = 0; i < WARM_UP_RUNS; i++) {
    if (run_once(ref, &actions) < 0.0 || run_once(measured, &actions) < 0.0) {
      printf("velquin_startup: a command failed or exited with a non-zero status\n");
      return 1;
    }
  }
  for (int i = 0; i < runs; i++) {
    refTimes[i] = run_once(ref, &actions);
    measuredTimes[i] = run_once(measured, &actions);
    if (refTimes[i] < 0.0 || measuredTimes[i] < 0.0) {
      printf("velquin_startup: a command failed or exited with a non-zero status\n");
      return 1;
    }
  }
  posix_spawn_file_actions_destroy(&actions);

  printf("%d runs each, interleaved\n", runs);
  print_row(ref[0], refTimes, runs);
  print_row(measured[0], measuredTimes, runs);
  double ratio = quantile(measuredTimes, runs, 0.5) / quantile(refTimes, runs, 0.5);
  printf("ratio of the medians: %.3f\n", ratio);
  return 0;
}

// gnuplot as velplot's child. Its process id is known to the interrupt handler from the
// moment it is started until it has been reaped, and never after.
#include "gnuplot_run.h"

#include <errno.h>
#include <fcntl.h>
#include <spawn.h>
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include "capacities.h"
#include "plot_interrupt.h"
#include "show_err.h"

extern char **environ;

// Waits for gnuplot to end, then reaps it with interrupts held: until then its id is still
// its own, so the handler can never end another process that got the id since.
static int wait_gnuplot(pid_t pid) {
  siginfo_t info;
  while (waitid(P_PID, pid, &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
  }
  hold_interrupts();
  int status = 0;
  pid_t got;
  while ((got = waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
  }
  interruptChild = 0;
  release_interrupts();
  if (got == pid && WIFEXITED(status)) return WEXITSTATUS(status);
  return -1;
}

int run_gnuplot(const char *script, int outFd) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  if (outFd >= 0) {
    posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, outFd);
  } else {
    // The pictures go to the files the script names: standard output has nothing to take.
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  }
  char prog[] = "gnuplot";
  char defaults[] = "-d";  // no start-up files: a user's settings must not change the picture
  char *args[] = {prog, defaults, (char *)script, NULL};
  fflush(stdout);
  hold_interrupts();
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setsigmask(&attr, mask_before_hold());  // gnuplot is not held
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);
  pid_t pid;
  int err = posix_spawnp(&pid, prog, &actions, &attr, args, environ);
  if (err == 0) interruptChild = pid;
  release_interrupts();
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  if (err != 0) return EXIT_NOT_FOUND;
  return wait_gnuplot(pid);
}

int gnuplot_succeeded(int status, const char *fname) {
  char msg[MESSAGE_SIZE];
  if (status == EXIT_NOT_FOUND) {
    show_err(ERR_FATAL, "draw_plot",
             "Unable to run gnuplot: install it (Debian package gnuplot-nox)\n");
    return 0;
  }
  if (status < 0) {
    snprintf(msg, sizeof msg, "gnuplot was stopped by a signal; %s is not written\n", fname);
    show_err(ERR_FATAL, "draw_plot", msg);
    return 0;
  }
  if (status != 0) {
    snprintf(msg, sizeof msg, "gnuplot failed (exit status %d); %s is not written\n", status,
             fname);
    show_err(ERR_FATAL, "draw_plot", msg);
    return 0;
  }
  return 1;
}

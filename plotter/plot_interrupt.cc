// The interrupt handler of velplot. It runs only async-signal-safe calls on state that is
// changed while interrupts are held, and never returns to the interrupted code: the
// signal it raises again acts, with its default action, as soon as it returns.
#include "plot_interrupt.h"

#include <errno.h>
#include <string.h>
#include <sys/wait.h>

volatile pid_t interruptChild;
static void (*volatile interruptCleanup)(void);
static sigset_t heldFrom;

static const int watched[] = {SIGINT, SIGTERM};

static void on_interrupt(int sig) {
  pid_t child = interruptChild;
  if (child > 0) {
    // Ended before its files are removed: gnuplot might open the next picture of a grid
    // after. What it has drawn is thrown away, so it has nothing to finish.
    kill(child, SIGKILL);
    while (waitpid(child, NULL, 0) < 0 && errno == EINTR) {
    }
    interruptChild = 0;
  }
  if (interruptCleanup != NULL) interruptCleanup();
  signal(sig, SIG_DFL);
  raise(sig);  // blocked while the handler runs, so pending until it returns
}

void watch_interrupts(void (*cleanup)(void)) {
  interruptCleanup = cleanup;
  struct sigaction sa;
  memset(&sa, 0, sizeof sa);
  sa.sa_handler = on_interrupt;
  sigemptyset(&sa.sa_mask);
  for (int sig : watched) sigaddset(&sa.sa_mask, sig);  // one clean-up at a time
  sa.sa_flags = SA_RESTART;
  for (int sig : watched) {
    struct sigaction old;
    if (sigaction(sig, NULL, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    sigaction(sig, &sa, NULL);
  }
}

void hold_interrupts(void) {
  sigset_t set;
  sigemptyset(&set);
  for (int sig : watched) sigaddset(&set, sig);
  sigprocmask(SIG_BLOCK, &set, &heldFrom);
}

void release_interrupts(void) { sigprocmask(SIG_SETMASK, &heldFrom, NULL); }

const sigset_t *mask_before_hold(void) { return &heldFrom; }

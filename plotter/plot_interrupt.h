// velplot interrupted (SIGINT, SIGTERM): gnuplot, its child, is ended and waited for, the
// temporary files are removed, and velplot ends by the same signal, so that its caller
// sees why it ended.
#ifndef VELQUIN_PLOT_INTERRUPT_H
#define VELQUIN_PLOT_INTERRUPT_H

#include <signal.h>
#include <sys/types.h>

// Handles SIGINT and SIGTERM from now on; a signal ignored from the start, as in a shell's
// background job, stays ignored. The handler calls cleanup, which may do only what a
// signal handler may: unlink names made beforehand.
void watch_interrupts(void (*cleanup)(void));

// Blocks SIGINT and SIGTERM until release_interrupts, so that the handler never sees a
// name half made or a child half started: a signal meanwhile waits, then acts.
void hold_interrupts(void);
void release_interrupts(void);

// The signal mask from before hold_interrupts, for a child started while they are held.
const sigset_t *mask_before_hold(void);

// The child to end on an interrupt, 0 for none; set and cleared while they are held.
extern volatile pid_t interruptChild;

#endif  // VELQUIN_PLOT_INTERRUPT_H

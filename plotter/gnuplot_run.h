// gnuplot, velplot's one child: started on a script file, waited for, and its ending told.
#ifndef VELQUIN_GNUPLOT_RUN_H
#define VELQUIN_GNUPLOT_RUN_H

enum {
  EXIT_NOT_FOUND = 127,  // what a child whose program could not be run exits with
};

// Runs gnuplot on the script file with its standard output on outFd (-1: none) and its
// messages on our standard output. Returns its exit status, EXIT_NOT_FOUND when it could
// not be started, or -1 when it was ended by a signal. An interrupt of velplot while it
// runs ends it too.
int run_gnuplot(const char *script, int outFd);

// Whether status, as run_gnuplot returned it, is a success. Returns 1, or 0 after a framed
// report that fname, the picture, is not written.
int gnuplot_succeeded(int status, const char *fname);

#endif  // VELQUIN_GNUPLOT_RUN_H

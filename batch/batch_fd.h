// Whole reads and writes of a file descriptor, for the batch's pipes and output files.
#ifndef VELQUIN_BATCH_FD_H
#define VELQUIN_BATCH_FD_H

#include <stddef.h>

// Reads exactly n bytes into buf, or writes exactly n bytes from buf, going on after an
// interrupted call. Returns 1, or 0 at an error or, reading, at the end of the input; a
// failed write may have written part of buf.
int read_whole(int fd, void *buf, size_t n);
int write_whole(int fd, const void *buf, size_t n);

#endif  // VELQUIN_BATCH_FD_H

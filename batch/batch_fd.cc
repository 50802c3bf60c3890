// Whole reads and writes of a file descriptor: a signal caught during the call or a pipe
// that takes part of the bytes does not end them.
#include "batch_fd.h"

#include <errno.h>
#include <unistd.h>

int read_whole(int fd, void *buf, size_t n) {
  size_t got = 0;
  while (got < n) {
    ssize_t r = read(fd, (char *)buf + got, n - got);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return 0;
    got += (size_t)r;
  }
  return 1;
}

int write_whole(int fd, const void *buf, size_t n) {
  size_t put = 0;
  while (put < n) {
    ssize_t w = write(fd, (const char *)buf + put, n - put);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return 0;
    put += (size_t)w;
  }
  return 1;
}

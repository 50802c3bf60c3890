// File checks, the whole-line reader and the checked outputs. Only open_output,
// close_output and can_read_twice report; everything else tells its caller by its result.
#include "files.h"

#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "show_err.h"

static_assert(PATH_SIZE >= PATH_MAX, "realpath may fill PATH_MAX bytes");
static_assert((int)NAME_SIZE <= (int)PATH_SIZE, "a name as given fits a target's path");

int same_file(const char *a, const char *b) {
  struct stat sa, sb;
  if (stat(a, &sa) != 0 || stat(b, &sb) != 0) return 0;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

int can_read_twice(FILE *fp, const char *kind, const char *path, const char *module) {
  if (fseeko(fp, 0, SEEK_SET) == 0) return 1;
  char msg[MESSAGE_SIZE];
  snprintf(msg, sizeof msg, "%s file %s cannot be read twice: give a file, not a pipe\n", kind,
           path);
  show_err(ERR_FATAL, module, msg);
  return 0;
}

int read_whole_line(FILE *fp, char *buf, int size, int *len, long long *taken, FILE *echo) {
  // One process, one thread: the stream's lock is taken for nothing byte by byte.
  int c = getc_unlocked(fp);
  *len = 0;
  *taken = 0;
  buf[0] = '\0';
  if (c == EOF) return ferror(fp) ? LINE_ERROR : LINE_END;
  int n = 0, tooLong = 0;
  long long t = 0;
  while (c != EOF) {
    t++;
    if (echo != NULL) putc(c, echo);
    if (n < size - 1) {
      buf[n++] = (char)c;
    } else {
      tooLong = 1;
    }
    if (c == '\n') break;
    c = getc_unlocked(fp);
  }
  buf[n] = '\0';
  *len = n;
  *taken = t;
  if (ferror(fp)) return LINE_ERROR;
  return tooLong ? LINE_TOO_LONG : LINE_READ;
}

int read_whole_line_mem(const char **at, const char *end, char *buf, int size, int *len,
                        long long *taken) {
  const char *p = *at;
  *len = 0;
  *taken = 0;
  buf[0] = '\0';
  if (p == end) return LINE_END;
  const char *feed = (const char *)memchr(p, '\n', (size_t)(end - p));
  const char *next = feed != NULL ? feed + 1 : end;
  long long t = next - p;
  int n = t < size - 1 ? (int)t : size - 1;
  memcpy(buf, p, (size_t)n);
  buf[n] = '\0';
  *len = n;
  *taken = t;
  *at = next;
  return t > size - 1 ? LINE_TOO_LONG : LINE_READ;
}

static const int bom[3] = {0xEF, 0xBB, 0xBF};

int skip_bom(FILE *fp) {
  int got[3], n = 0;
  while (n < 3 && (got[n] = getc(fp)) == bom[n]) n++;
  if (n == 3) return 3;
  // glibc's streams take back more than one byte; only a file that begins with part of a
  // mark needs more than one.
  if (got[n] != EOF) ungetc(got[n], fp);
  while (n > 0) ungetc(bom[--n], fp);
  return 0;
}

int skip_bom_mem(const char **at, const char *end) {
  const unsigned char *p = (const unsigned char *)*at;
  if (end - *at < 3 || p[0] != bom[0] || p[1] != bom[1] || p[2] != bom[2]) return 0;
  *at += 3;
  return 3;
}

FILE *open_output(const char *fname, const char *mode, const char *module) {
  FILE *fp = fopen(fname, mode);
  if (fp == NULL) {
    char msg[MESSAGE_SIZE];
    snprintf(msg, sizeof msg, "Unable to open output file %s", fname);
    show_err(ERR_FATAL, module, msg);
  }
  return fp;
}

int close_checked(FILE *fp) {
  // A full disk or an I/O error shows only here: the writes go through the stream's buffer.
  int failed = ferror(fp);
  if (fclose(fp) != 0) failed = 1;
  return !failed;
}

int close_output(FILE *fp, const char *fname, const char *module) {
  if (close_checked(fp)) return 1;
  char msg[MESSAGE_SIZE];
  snprintf(msg, sizeof msg, "Unable to write output file %s", fname);
  show_err(ERR_FATAL, module, msg);
  return 0;
}

static ssize_t mem_write(void *cookie, const char *data, size_t n) {
  mem_output *m = (mem_output *)cookie;
  if (n > m->size - m->len) {
    errno = ENOSPC;
    return -1;
  }
  memcpy(m->buf + m->len, data, n);
  m->len += n;
  return (ssize_t)n;
}

FILE *open_mem_output(mem_output *m, char *buf, size_t size) {
  m->buf = buf;
  m->size = size;
  m->len = 0;
  cookie_io_functions_t io = {NULL, mem_write, NULL, NULL};
  return fopencookie(m, "w", io);
}

// Creates the temporary file in the target's folder, so that the rename stays on one file
// system, under a name no other run takes at the same time. old: the target's state when
// it exists, whose permissions the new content keeps.
static FILE *open_temp(beside_file *b, const struct stat *old) {
  const char *slash = strrchr(b->target, '/');
  int folderLen = slash != NULL ? (int)(slash - b->target) + 1 : 0;
  // Numbered on across calls, so that one run may hold any number of them at once.
  static int made;
  for (int attempt = 0; attempt < TEMP_TRIES; attempt++) {
    int len = snprintf(b->temp, sizeof b->temp, "%.*s.velquin-%ld-%d.tmp", folderLen, b->target,
                       (long)getpid(), made++);
    if (len < 0 || len >= (int)sizeof b->temp) break;
    // "x" makes the file here or fails: a file left by a killed run is never overwritten.
    FILE *fp = fopen(b->temp, "wx");
    if (fp != NULL) {
      if (old == NULL || chmod(b->temp, old->st_mode & 0777) == 0) return fp;
      fclose(fp);
      remove(b->temp);
      break;
    }
    if (errno != EEXIST) break;
  }
  b->temp[0] = '\0';
  return NULL;
}

FILE *open_beside(beside_file *b, const char *name) {
  b->temp[0] = '\0';
  b->target[0] = '\0';
  struct stat st;
  if (stat(name, &st) != 0) {
    // A missing folder fails when the temporary file is made in it.
    if (errno != ENOENT || strlen(name) >= sizeof b->target) return NULL;
    strcpy(b->target, name);
    return open_temp(b, NULL);
  }
  if (!S_ISREG(st.st_mode)) return NULL;
  // The file itself is replaced, not a link to it, which goes on naming the new content.
  if (realpath(name, b->target) == NULL || access(b->target, W_OK) != 0) return NULL;
  return open_temp(b, &st);
}

int commit_beside(beside_file *b) {
  if (b->temp[0] == '\0') return 0;
  int ok = rename(b->temp, b->target) == 0;
  if (!ok) remove(b->temp);
  b->temp[0] = '\0';
  return ok;
}

void discard_beside(beside_file *b) {
  if (b->temp[0] != '\0') remove(b->temp);
  b->temp[0] = '\0';
}

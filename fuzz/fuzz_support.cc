// The harness's stand-ins for fopen, fclose and the file-system calls, and the making
// of a program's command line, standard input and files from one fuzz input. Compiled
// without the renaming, so the calls here reach the real library.
#include "fuzz_support.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

enum {
  MAX_WORDS = 64,    // room for every position of velquin's command line and more
  MAX_STREAMS = 16,  // the programs hold three files open at most
  MAX_TEMPS = 4,     // a converter makes one temporary file a run
  TEMP_SIZE = PATH_MAX + 64
};

static char *argWords[MAX_WORDS + 2];
static FILE *openStreams[MAX_STREAMS];
static const char *dataName;
static fuzz_part dataFile;
static const char *otherName;  // a second file to read, for the run that asks for one
static fuzz_part otherFile;
static FILE *realStdin;
static const char emptyText[1] = "";
// Temporary files the run has made and not yet renamed or removed; an empty slot is free.
static char tempNames[MAX_TEMPS][TEMP_SIZE];
static int tempRenamed;

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  // The programs' prompts and frames go to standard output; libFuzzer reports on
  // standard error, which stays as it is.
  int fd = open("/dev/null", O_WRONLY);
  if (fd >= 0) {
    dup2(fd, STDOUT_FILENO);
    close(fd);
  }
  return 0;
}

static FILE *remember(FILE *fp) {
  if (fp == NULL) return NULL;
  for (FILE *&slot : openStreams) {
    if (slot == NULL) {
      slot = fp;
      return fp;
    }
  }
  fclose(fp);
  errno = EMFILE;
  return NULL;
}

// Streams without a file behind them: every write is taken and dropped, every write
// fails as on a full disk, or every read fails as on a damaged disk.
static ssize_t sink_write(void *, const char *, size_t size) { return (ssize_t)size; }
static ssize_t full_write(void *, const char *, size_t) {
  errno = ENOSPC;
  return 0;
}
static ssize_t failing_read(void *, char *, size_t) {
  errno = EIO;
  return -1;
}

// The files besides the streams: name, type, and whether they may be written. The data
// file's name is set at fuzz_begin.
struct fuzz_file {
  const char *name;
  mode_t type;
  int writable;
};
static fuzz_file files[] = {
    {NULL, S_IFREG, 1},      {NULL, S_IFREG, 1},       {"unreadable", S_IFREG, 1},
    {"old.crv", S_IFREG, 1}, {"readonly", S_IFREG, 0}, {"full", S_IFCHR, 1},
    {"folder", S_IFDIR, 1},
};

static const fuzz_file *find_file(const char *name) {
  files[0].name = dataName;
  files[1].name = otherName;
  for (const fuzz_file &f : files) {
    if (f.name != NULL && strcmp(f.name, name) == 0) return &f;
  }
  return NULL;
}

static char *find_temp(const char *name) {
  for (char *slot : tempNames) {
    if (slot[0] != '\0' && strcmp(slot, name) == 0) return slot;
  }
  return NULL;
}

extern "C" FILE *fuzz_fopen(const char *name, const char *mode) {
  FILE *fp = NULL;
  if (mode[0] == 'r' && strchr(mode, '+') == NULL) {
    if (strcmp(name, dataName) == 0) {
      void *bytes = (void *)(dataFile.size > 0 ? dataFile.data : emptyText);
      fp = fmemopen(bytes, dataFile.size, "r");
    } else if (otherName != NULL && strcmp(name, otherName) == 0) {
      void *bytes = (void *)(otherFile.size > 0 ? otherFile.data : emptyText);
      fp = fmemopen(bytes, otherFile.size, "r");
    } else if (strcmp(name, "unreadable") == 0) {
      cookie_io_functions_t io = {failing_read, NULL, NULL, NULL};
      fp = fopencookie(NULL, mode, io);
    }
  } else if (mode[0] != 'r' && name[0] != '\0' && strchr(name, '/') == NULL) {
    cookie_io_functions_t io = {NULL, strcmp(name, "full") == 0 ? full_write : sink_write, NULL,
                                NULL};
    fp = fopencookie(NULL, mode, io);
  }
  if (fp == NULL) {
    errno = ENOENT;
    return NULL;
  }
  fp = remember(fp);
  if (fp != NULL && strchr(mode, 'x') != NULL) {
    // A temporary file: the name must be new, and is kept until it is renamed or removed.
    char *free_slot = NULL;
    for (char *slot : tempNames) {
      if (slot[0] == '\0') free_slot = slot;
    }
    if (find_temp(name) != NULL || find_file(name) != NULL || free_slot == NULL ||
        strlen(name) >= TEMP_SIZE) {
      abort();
    }
    strcpy(free_slot, name);
  }
  return fp;
}

extern "C" int fuzz_stat(const char *name, struct stat *st) {
  const fuzz_file *f = find_file(name);
  if (f == NULL) {
    errno = ENOENT;
    return -1;
  }
  memset(st, 0, sizeof *st);
  st->st_dev = 1;
  st->st_ino = (ino_t)(f - files) + 1;  // one inode each
  st->st_mode = f->type | (f->writable ? 0644 : 0444);
  st->st_nlink = 1;
  return 0;
}

// The names of the in-memory files are resolved already: no links, no folders.
extern "C" char *fuzz_realpath(const char *name, char *resolved) {
  if (resolved == NULL) abort();  // the programs allocate nothing
  if (find_file(name) == NULL) {
    errno = ENOENT;
    return NULL;
  }
  strcpy(resolved, name);
  return resolved;
}

extern "C" int fuzz_access(const char *name, int mode) {
  const fuzz_file *f = find_file(name);
  if (f == NULL || ((mode & W_OK) != 0 && !f->writable)) {
    errno = f == NULL ? ENOENT : EACCES;
    return -1;
  }
  return 0;
}

extern "C" int fuzz_chmod(const char *name, mode_t) {
  if (find_temp(name) == NULL) abort();  // the mode of a file the program did not make
  return 0;
}

extern "C" int fuzz_rename(const char *from, const char *to) {
  char *slot = find_temp(from);
  if (slot == NULL || to[0] == '\0') abort();
  slot[0] = '\0';
  tempRenamed = 1;
  return 0;
}

extern "C" int fuzz_remove(const char *name) {
  char *slot = find_temp(name);
  if (slot == NULL) abort();  // only its own temporary file may a program remove
  slot[0] = '\0';
  return 0;
}

extern "C" int fuzz_fclose(FILE *fp) {
  for (FILE *&slot : openStreams) {
    if (slot == fp) slot = NULL;
  }
  return fclose(fp);
}

void fuzz_split(const uint8_t *data, size_t size, int count, fuzz_part *parts) {
  const char *p = (const char *)data, *end = p + size;
  for (int i = 0; i < count; i++) {
    const char *stop = end;
    if (i < count - 1) {
      const char *nul = (const char *)memchr(p, '\0', (size_t)(end - p));
      if (nul != NULL) stop = nul;
    }
    parts[i].data = p;
    parts[i].size = (size_t)(stop - p);
    p = stop < end ? stop + 1 : end;
  }
}

int fuzz_begin(const char *program, fuzz_part words, fuzz_part input, const char *file_name,
               fuzz_part file, char ***argv) {
  tempRenamed = 0;
  dataName = file_name;
  dataFile = file;
  otherName = NULL;
  int argc = 0;
  argWords[argc++] = strdup(program);
  // Each word ends at a line feed or at the end; a line feed at the very end opens no
  // further word, so "a\nb\n" is two words and "\n" one empty word.
  const char *p = words.data, *end = words.data + words.size;
  while (p < end && argc < MAX_WORDS + 1) {
    const char *nl = (const char *)memchr(p, '\n', (size_t)(end - p));
    const char *stop = nl != NULL ? nl : end;
    size_t len = (size_t)(stop - p);
    // A block of exactly the word's size, so that a read past its end is caught.
    char *word = (char *)malloc(len + 1);
    memcpy(word, p, len);
    word[len] = '\0';
    argWords[argc++] = word;
    p = nl != NULL ? nl + 1 : end;
  }
  argWords[argc] = NULL;
  *argv = argWords;

  realStdin = stdin;
  stdin = fmemopen((void *)(input.size > 0 ? input.data : emptyText), input.size, "r");
  if (stdin == NULL) abort();
  return argc;
}

void fuzz_add_file(const char *name, fuzz_part file) {
  otherName = name;
  otherFile = file;
}

void fuzz_end(void) {
  for (FILE *&slot : openStreams) {
    if (slot != NULL) fclose(slot);
    slot = NULL;
  }
  fclose(stdin);
  stdin = realStdin;
  for (char *slot : tempNames) {
    if (slot[0] != '\0') abort();  // a temporary file left behind
  }
  for (char *&word : argWords) {
    free(word);
    word = NULL;
  }
}

void fuzz_run_converter(const uint8_t *data, size_t size, const char *program,
                        int (*run)(int, char **), void (*reset)(void)) {
  fuzz_part part[3];
  fuzz_split(data, size, 3, part);
  char **argv;
  int argc = fuzz_begin(program, part[0], part[1], "in.txt", part[2], &argv);
  reset();
  int status = run(argc, argv);
  int renamed = tempRenamed;
  fuzz_end();
  if (status != 0 && status != 1) abort();
  if (status != 0 && renamed) abort();  // a failed conversion replaced its output
}

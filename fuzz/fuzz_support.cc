// The harness's stand-ins for exit, fopen and fclose, and the making of a program's
// command line, standard input and files from one fuzz input. Compiled without the
// renaming, so the calls here reach the real library.
#include "fuzz_support.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

jmp_buf fuzz_exit_point;
int fuzz_exit_status;

enum {
  MAX_WORDS = 64,   // room for every position of velquin's command line and more
  MAX_STREAMS = 16  // the programs hold three files open at most
};

static char *argWords[MAX_WORDS + 2];
static FILE *openStreams[MAX_STREAMS];
static const char *dataName;
static fuzz_part dataFile;
static FILE *realStdin;
static const char emptyText[1] = "";

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

extern "C" [[noreturn]] void fuzz_exit(int status) noexcept {
  fuzz_exit_status = status;
  longjmp(fuzz_exit_point, 1);
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

extern "C" FILE *fuzz_fopen(const char *name, const char *mode) {
  FILE *fp = NULL;
  if (mode[0] == 'r' && strchr(mode, '+') == NULL) {
    if (strcmp(name, dataName) == 0) {
      void *bytes = (void *)(dataFile.size > 0 ? dataFile.data : emptyText);
      fp = fmemopen(bytes, dataFile.size, "r");
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
  return remember(fp);
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
  fuzz_exit_status = -1;
  dataName = file_name;
  dataFile = file;
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

void fuzz_end(void) {
  for (FILE *&slot : openStreams) {
    if (slot != NULL) fclose(slot);
    slot = NULL;
  }
  fclose(stdin);
  stdin = realStdin;
  for (char *&word : argWords) {
    free(word);
    word = NULL;
  }
}

void fuzz_run_converter(const uint8_t *data, size_t size, const char *program,
                        int (*program_main)(int, char **), void (*reset)(void)) {
  fuzz_part part[3];
  fuzz_split(data, size, 3, part);
  char **argv;
  int argc = fuzz_begin(program, part[0], part[1], "in.txt", part[2], &argv);
  reset();
  volatile int status = -1;
  if (setjmp(fuzz_exit_point) == 0) {
    status = program_main(argc, argv);
  } else {
    status = fuzz_exit_status;
  }
  fuzz_end();
  if (status != 0 && status != 1) abort();
}

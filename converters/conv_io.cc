// The converters' shared input and output: --help and --version, file names from the command
// line or the terminal, the opening of both files, line reading that never splits a line, and
// the closing of the output with a check of every write. The output is written beside its
// place and takes its name only when the conversion has succeeded.
// All messages go to standard output.
#include "conv_io.h"

#include <ctype.h>
#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#ifndef VELQUIN_VERSION
#error "VELQUIN_VERSION, the suite's version for --version, comes from the build"
#endif

static_assert(PATH_SIZE >= PATH_MAX, "realpath may fill PATH_MAX bytes");
static_assert(NAME_SIZE <= PATH_SIZE, "a name as given fits the output's path");

// Empty at start: a missing argument leaves its name empty, and the empty name never opens.
static char inFname[NAME_SIZE];
static char outFname[NAME_SIZE];
// The file that the output becomes, its links resolved, and the temporary file written in
// its stead; tempFname is empty while there is none (a device or a pipe is written in place).
static char outPath[PATH_SIZE];
static char tempFname[TEMP_NAME_SIZE];

// Results of one attempt to open a file under a name.
enum {
  OPENED,    // the stream is set
  UNUSABLE,  // the name cannot be read or written: ask for another
  IS_INPUT,  // the output name is the input file's: asking again would not help the user
};

int answer_info(int argc, char **argv, const char *program, const char *usage) {
  if (argc != 2) return 0;
  if (strcmp(argv[1], "--help") == 0) {
    fputs(usage, stdout);
  } else if (strcmp(argv[1], "--version") == 0) {
    printf("%s (velquin) %s\n", program, VELQUIN_VERSION);
  } else {
    return 0;
  }
  return 1;
}

// A name too long for the buffer is kept as the empty name, so that it fails to open
// instead of opening a file whose name was cut short.
static void take_arg_name(char *name, const char *arg) {
  if (strlen(arg) > NAME_SIZE - 1) {
    name[0] = '\0';
  } else {
    strcpy(name, arg);
  }
}

// Reads one white-space-delimited word from standard input into name. At the end of the
// input name keeps its former content. A word longer than 255 characters is consumed
// whole and kept as the empty name, like a command-line name of that length.
static void prompt_file_name(const char *prompt, char *name) {
  fputs("\n\n", stdout);
  fputs(prompt, stdout);
  fputc('\n', stdout);
  fflush(stdout);  // the prompt must be seen before the answer is awaited, even through a pipe
  static_assert(NAME_SIZE == 256, "the width below holds a name and its terminator");
  if (scanf("%255s", name) != 1) return;
  int c = getchar();
  if (c != EOF && !isspace(c)) {
    while (c != EOF && !isspace(c)) c = getchar();
    name[0] = '\0';
  }
  if (c != EOF) ungetc(c, stdin);
}

static int try_input(const char *name, FILE **fp) {
  *fp = fopen(name, "r");
  return *fp != NULL ? OPENED : UNUSABLE;
}

// Creates the temporary file in outPath's folder, so that the rename stays on one file
// system, under a name no other run takes at the same time. A new output gets the mode a
// plain create gives (the umask applies); a replaced one keeps the mode it had.
static int open_temp(const struct stat *old, FILE **fp) {
  const char *slash = strrchr(outPath, '/');
  int folder_len = slash != NULL ? (int)(slash - outPath) + 1 : 0;
  for (int attempt = 0; attempt < TEMP_TRIES; attempt++) {
    int len = snprintf(tempFname, sizeof tempFname, "%.*svelquin-%ld-%d.tmp", folder_len, outPath,
                       (long)getpid(), attempt);
    if (len < 0 || len >= (int)sizeof tempFname) break;
    // "x" makes the file here or fails: a file left by a killed run is never overwritten.
    *fp = fopen(tempFname, "wx");
    if (*fp != NULL) {
      if (old == NULL || chmod(tempFname, old->st_mode & 0777) == 0) return OPENED;
      fclose(*fp);
      remove(tempFname);
      break;
    }
    if (errno != EEXIST) break;
  }
  tempFname[0] = '\0';
  return UNUSABLE;
}

// A regular file, new or present, is written as a temporary file beside it; a device or a
// pipe holds nothing to keep and is written in place. Refused: the input file under any name
// (a link too), a folder, a file without write permission, a name in a missing folder.
static int try_output(const char *name, FILE **fp) {
  struct stat out, in;
  if (stat(name, &out) != 0) {
    if (errno != ENOENT) return UNUSABLE;
    strcpy(outPath, name);  // a missing folder fails when the temporary file is made in it
    return open_temp(NULL, fp);
  }
  if (stat(inFname, &in) == 0 && in.st_dev == out.st_dev && in.st_ino == out.st_ino) {
    return IS_INPUT;
  }
  if (S_ISDIR(out.st_mode)) return UNUSABLE;
  if (!S_ISREG(out.st_mode)) {
    *fp = fopen(name, "w");
    return *fp != NULL ? OPENED : UNUSABLE;
  }
  // The file itself is replaced, not a link to it, which goes on naming the new content.
  if (realpath(name, outPath) == NULL || access(outPath, W_OK) != 0) return UNUSABLE;
  return open_temp(&out, fp);
}

// One attempt with the given name, then one with a typed name; the error is printed between
// two line feeds before the process ends with status 1. An output that is the input is
// refused at once: nothing has been written, and nothing is asked.
static FILE *open_or_ask(char *name, int (*attempt)(const char *, FILE **), const char *prompt,
                         const char *error) {
  FILE *fp = NULL;
  int got = name[0] != '\0' ? attempt(name, &fp) : UNUSABLE;
  if (got == UNUSABLE) {
    prompt_file_name(prompt, name);
    got = name[0] != '\0' ? attempt(name, &fp) : UNUSABLE;
  }
  if (got == OPENED) return fp;
  fputc('\n', stdout);
  fputs(got == IS_INPUT ? "Error, output file is the input file.\n" : error, stdout);
  fputc('\n', stdout);
  exit(1);
}

FILE *open_input(int argc, char **argv, const char *prompt) {
  if (argc > 1) take_arg_name(inFname, argv[1]);
  return open_or_ask(inFname, try_input, prompt, "Error, cannot read input file.\n");
}

FILE *open_output(int argc, char **argv) {
  if (argc > 2) take_arg_name(outFname, argv[2]);
  return open_or_ask(outFname, try_output, " Please enter your output file.\n",
                     "Error, cannot open output file.\n");
}

int close_output(FILE *fp, int status) {
  // A full disk or an I/O error shows only here: the writes go through the stream's buffer.
  int failed = ferror(fp);
  if (fclose(fp) != 0) failed = 1;
  if (tempFname[0] != '\0') {
    // The output appears whole or not at all.
    if (status == 0 && !failed && rename(tempFname, outPath) != 0) failed = 1;
    if (status != 0 || failed) remove(tempFname);
    tempFname[0] = '\0';
  }
  if (!failed) return status;
  fputc('\n', stdout);
  fputs("Error, cannot write output file.\n", stdout);
  fputc('\n', stdout);
  return 1;
}

int read_line(FILE *fp, FILE *copy, char *buf, int *line_no) {
  int c = getc(fp);
  if (c == EOF && !ferror(fp)) return LINE_END;
  if (*line_no < INT_MAX) ++*line_no;  // beyond, only the number in a message would be wrong
  int comment = c == '#' || c == '!';
  int len = 0, too_long = 0;
  while (c != EOF) {
    if (comment && copy != NULL) putc(c, copy);
    if (len < LINE_SIZE - 1) {
      buf[len++] = (char)c;
    } else {
      too_long = 1;
    }
    if (c == '\n') break;
    c = getc(fp);
  }
  buf[len] = '\0';
  // A read error, also in the middle of a line: no piece of the line may pass for a whole.
  if (ferror(fp)) {
    fputc('\n', stdout);
    fputs("Error, cannot read input file.\n", stdout);
    fputc('\n', stdout);
    return LINE_REFUSED;
  }
  if (comment) return LINE_COMMENT;
  if (too_long) {
    printf("Error, line %d is too long.\n", *line_no);
    return LINE_REFUSED;
  }
  return LINE_READ;
}

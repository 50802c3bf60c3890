// The converters' shared input and output: file names from the command line or the
// terminal, the opening of both files, line reading that never splits a line, and the
// closing of the output with a check of every write.
// All messages go to standard output.
#include "conv_io.h"

#include <ctype.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>

// Empty at start: a missing argument leaves its name empty, and the empty name never opens.
static char inFname[NAME_SIZE];
static char outFname[NAME_SIZE];

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

// One attempt with the given name, then one with a typed name; error is printed between
// two line feeds before the process ends with status 1.
static FILE *open_or_ask(char *name, const char *mode, const char *prompt, const char *error) {
  FILE *fp = name[0] != '\0' ? fopen(name, mode) : NULL;
  if (fp != NULL) return fp;
  prompt_file_name(prompt, name);
  fp = name[0] != '\0' ? fopen(name, mode) : NULL;
  if (fp == NULL) {
    fputc('\n', stdout);
    fputs(error, stdout);
    fputc('\n', stdout);
    exit(1);
  }
  return fp;
}

FILE *open_input(int argc, char **argv, const char *prompt) {
  if (argc > 1) take_arg_name(inFname, argv[1]);
  return open_or_ask(inFname, "r", prompt, "Error, cannot read input file.\n");
}

FILE *open_output(int argc, char **argv) {
  if (argc > 2) take_arg_name(outFname, argv[2]);
  return open_or_ask(outFname, "w", " Please enter your output file.\n",
                     "Error, cannot open output file.\n");
}

int close_output(FILE *fp, int status) {
  // A full disk or an I/O error shows only here: the writes go through the stream's buffer.
  int failed = ferror(fp);
  if (fclose(fp) != 0) failed = 1;
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

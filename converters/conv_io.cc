// The converters' shared input and output: file names from the command line or the terminal,
// the opening of both files, line reading that never splits a line, and the closing of the
// output with a check of every write. The output is written beside its place and takes its
// name only when the conversion has succeeded. All messages go to standard output.
#include "conv_io.h"

#include <ctype.h>
#include <limits.h>
#include <string.h>
#include <sys/stat.h>

#include "cli.h"

// Empty at start: a missing argument leaves its name empty, and the empty name never opens.
static char inFname[NAME_SIZE];
static char outFname[NAME_SIZE];
// The output written beside its place; its temporary name is empty while there is none, as
// for a device or a pipe, which is written in place.
static beside_file outFile;

// Results of one attempt to open a file under a name.
enum {
  OPENED,    // the stream is set
  UNUSABLE,  // the name cannot be read or written: ask for another
  IS_INPUT,  // the output name is the input file's: asking again would not help the user
};

int run_converter(int argc, char **argv, const converter *c) {
  if (info_option(argc, argv, c->program, c->usage)) return 0;
  FILE *in = open_input(argc, argv, c->prompt);
  if (in == NULL) return 1;
  // A spreadsheet's UTF-8 export begins with a byte order mark: no part of the first line.
  skip_bom(in);
  FILE *out = open_output(argc, argv);
  int status = out != NULL ? close_output(out, c->convert(in, out)) : 1;
  fclose(in);
  return status;
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

// A regular file, new or present, is written beside its place; a device or a pipe holds
// nothing to keep and is written in place. Refused: the input file under any name (a link
// too), a folder, a file without write permission, a name in a missing folder.
static int try_output(const char *name, FILE **fp) {
  if (same_file(name, inFname)) return IS_INPUT;
  struct stat st;
  if (stat(name, &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
    *fp = fopen(name, "w");
  } else {
    *fp = open_beside(&outFile, name);
  }
  return *fp != NULL ? OPENED : UNUSABLE;
}

// One attempt with the given name, then one with a typed name. Returns the stream, or NULL
// after the error between two line feeds. An output that is the input is refused at once:
// nothing has been written, and nothing is asked.
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
  return NULL;
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
  int ok = close_checked(fp);
  // The output appears whole or not at all.
  if (status == 0 && ok && outFile.temp[0] != '\0') {
    ok = commit_beside(&outFile);
  } else {
    discard_beside(&outFile);
  }
  if (ok) return status;
  fputc('\n', stdout);
  fputs("Error, cannot write output file.\n", stdout);
  fputc('\n', stdout);
  return 1;
}

void reset_conv_io(void) {
  memset(inFname, 0, sizeof inFname);
  memset(outFname, 0, sizeof outFname);
  memset(&outFile, 0, sizeof outFile);
}

int read_line(FILE *fp, FILE *copy, char *buf, int *line_no) {
  int c = getc(fp);
  if (c == EOF && !ferror(fp)) return LINE_END;
  if (*line_no < INT_MAX) ++*line_no;  // beyond, only the number in a message would be wrong
  // The first byte tells a comment, which alone is copied as it is read.
  int comment = c == '#' || c == '!';
  int got = LINE_ERROR, len;
  long long taken;
  if (c != EOF) {
    ungetc(c, fp);
    got = read_whole_line(fp, buf, CONV_LINE_SIZE, &len, &taken, comment ? copy : NULL);
  }
  // A read error, also in the middle of a line: no piece of the line may pass for a whole.
  if (got == LINE_ERROR) {
    fputc('\n', stdout);
    fputs("Error, cannot read input file.\n", stdout);
    fputc('\n', stdout);
    return LINE_REFUSED;
  }
  if (comment) return LINE_COMMENT;
  if (got == LINE_TOO_LONG) {
    printf("Error, line %d is too long.\n", *line_no);
    return LINE_REFUSED;
  }
  return LINE_READ;
}

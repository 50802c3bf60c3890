// What the three converters share: their capacities, the opening of the input and output
// files with one prompt each on the terminal, the reading of one whole input line, the
// closing of the output, and the run that ties these steps together. Each program is a row
// for run_converter: its name, texts and do_convert. Nothing here ends the process: every
// step reports on standard output and returns, and main returns the status.
#ifndef VELQUIN_CONV_IO_H
#define VELQUIN_CONV_IO_H

#include <stdio.h>

#include "files.h"

// Capacities of the converters' fixed-size buffers and tables; file names take NAME_SIZE.
enum {
  CONV_LINE_SIZE = 999,   // input lines: 998 characters with the line feed, and the terminator
  SHOWN_WORD_SIZE = 41,   // a word quoted in a warning: its first 40 bytes, and the terminator
  MIN_ZARN_POINTS = 5,    // fewest points a Zarn-format file may give
  MAX_ZARN_POINTS = 500,  // most points a Zarn-format file may give
  MAX_X_VALUES = 100,     // x values a column table's header row may give
};

// Results of read_line: LINE_READ, a whole line that is no comment, is in the buffer;
// LINE_END, the input has ended and nothing was read; and these two.
enum {
  LINE_COMMENT = LINE_END + 1,  // the line begins with "#" or "!"; copied or skipped whole
  LINE_REFUSED,                 // too long for the buffer, or a read error; already reported
};

// One converter: what run_converter needs to know of it.
struct converter {
  const char *program;  // its name, for --version
  const char *usage;    // the --help text
  const char *prompt;   // the question that asks for the input's name
  // Converts in into out. Returns 0 when converted, 1 after the message that tells why not.
  int (*convert)(FILE *in, FILE *out);
};

// The whole run of converter c: the --help or --version answer, or the input and output
// opened, the conversion, and the output closed. Returns the exit status.
int run_converter(int argc, char **argv, const converter *c);

// Opens the input file named by the first argument for reading. When there is no such
// argument, or the name is longer than 255 characters, or the file cannot be opened, asks
// once with prompt and tries the typed name. Returns the stream, or NULL after
// "Error, cannot read input file." between two line feeds.
FILE *open_input(int argc, char **argv, const char *prompt);

// Opens the output named by the second argument, asking once on failure like open_input.
// Returns the stream, or NULL after the error between two line feeds: at once when the
// name is the input file's, else when the typed name fails too. Nothing is written to the
// output itself: a regular file, new or present, is written as a temporary file in its
// folder, which close_output renames onto it. Only a device or a pipe, which holds nothing
// to keep, is written in place.
FILE *open_output(int argc, char **argv);

// Closes the output file that do_convert has written and returns the exit status. When
// status is 0 and every write and the close succeeded, the output takes its name and status
// is returned; otherwise the temporary file is removed, so an earlier output stays as it was
// and none appears where there was none. A failed write, close or rename returns 1 after
// "Error, cannot write output file." between two line feeds on standard output, printed
// after any message of the conversion.
int close_output(FILE *fp, int status);

// Gives the file names and the output the zero state of a fresh process, for a second run
// in one process.
void reset_conv_io(void);

// Reads the next line of fp, line feed included, into buf (CONV_LINE_SIZE bytes) and counts
// it in *line_no. A comment line is taken whole whatever its length: copied unchanged to
// copy unless copy is NULL, and only its beginning kept in buf. Any other line that does
// not fit buf whole is consumed and reported as "Error, line %d is too long.\n": lines are
// never split, since a piece of a line read as a line of its own would corrupt the output.
// A read error (a folder opens for reading, but cannot be read) is reported as "Error,
// cannot read input file." between two line feeds, so that it never passes for the end of
// the input.
int read_line(FILE *fp, FILE *copy, char *buf, int *line_no);

#endif  // VELQUIN_CONV_IO_H

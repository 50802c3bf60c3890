// What the three converters share: their capacities, the opening of the input and output
// files with one prompt each on the terminal, the reading of one whole input line, and the
// closing of the output. Each program's main opens its two streams here, converts in its own
// do_convert, and closes the output here, which tells whether it was written whole.
#ifndef VELQUIN_CONV_IO_H
#define VELQUIN_CONV_IO_H

#include <stdio.h>

// Capacities of the fixed-size buffers and tables. Nothing in the converters is sized elsewhere.
enum {
  NAME_SIZE = 256,        // file names: 255 characters and the terminator
  LINE_SIZE = 999,        // input lines: 998 characters with the line feed, and the terminator
  MIN_ZARN_POINTS = 5,    // fewest points a Zarn-format file may give
  MAX_ZARN_POINTS = 500,  // most points a Zarn-format file may give
  MAX_X_VALUES = 100,     // x values a column table's header row may give
};

// Results of read_line.
enum {
  LINE_READ,     // a whole line, not a comment, is in the buffer
  LINE_COMMENT,  // the line begins with "#" or "!"; it has been copied or skipped whole
  LINE_REFUSED,  // a line that does not fit the buffer, or a read error; already reported
  LINE_END,      // the input has ended; nothing was read
};

// Opens the input file named by the first argument for reading. When there is no such
// argument, or the name is longer than 255 characters, or the file cannot be opened, asks
// once with prompt and tries the typed name; when that fails too, prints the error and
// ends the process with status 1.
FILE *open_input(int argc, char **argv, const char *prompt);

// Opens (creates or empties) the output file named by the second argument, asking once on
// failure like open_input, and ends the process with status 1 when the typed name fails.
FILE *open_output(int argc, char **argv);

// Closes the output file that do_convert has written and returns the exit status: status
// when every write and the close succeeded, otherwise 1 after "Error, cannot write output
// file." between two line feeds on standard output, printed after any message of the
// conversion, since that message does not tell that the output is incomplete.
int close_output(FILE *fp, int status);

// Reads the next line of fp, line feed included, into buf (LINE_SIZE bytes) and counts it
// in *line_no. A comment line is taken whole whatever its length: copied unchanged to copy
// unless copy is NULL, and only its beginning kept in buf. Any other line that does not fit
// buf whole is consumed and reported as "Error, line %d is too long.\n": lines are never
// split, since a piece of a line read as a line of its own would corrupt the output. A read
// error (a folder opens for reading, but cannot be read) is reported as "Error, cannot read
// input file." between two line feeds, so that it never passes for the end of the input.
int read_line(FILE *fp, FILE *copy, char *buf, int *line_no);

#endif  // VELQUIN_CONV_IO_H

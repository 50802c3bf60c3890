// What the three converters share: their capacities, the answers to --help and --version, the
// opening of the input and output files with one prompt each on the terminal, the reading of
// one whole input line, and the closing of the output. Each program's main opens its two
// streams here, converts in its own do_convert, and closes the output here, which tells whether
// it was written whole and only then lets it take the output's name.
#ifndef VELQUIN_CONV_IO_H
#define VELQUIN_CONV_IO_H

#include <stdio.h>

// Capacities of the fixed-size buffers and tables. Nothing in the converters is sized elsewhere.
enum {
  NAME_SIZE = 256,        // file names: 255 characters and the terminator
  PATH_SIZE = 4096,       // an output's path with its links resolved, and its terminator
  TEMP_NAME_SIZE = 4160,  // that path's folder and a temporary file's name in it
  TEMP_TRIES = 100,       // temporary names tried before the folder counts as unwritable
  LINE_SIZE = 999,        // input lines: 998 characters with the line feed, and the terminator
  SHOWN_WORD_SIZE = 41,   // a word quoted in a warning: its first 40 bytes, and the terminator
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

// When "--help" or "--version" is the only argument, prints usage, or the program's name
// and the suite's version, on standard output and returns 1; otherwise prints nothing and
// returns 0, and the argument is a file name like any other.
int answer_info(int argc, char **argv, const char *program, const char *usage);

// Opens the input file named by the first argument for reading. When there is no such
// argument, or the name is longer than 255 characters, or the file cannot be opened, asks
// once with prompt and tries the typed name; when that fails too, prints the error and
// ends the process with status 1.
FILE *open_input(int argc, char **argv, const char *prompt);

// Opens the output named by the second argument, asking once on failure like open_input,
// and ends the process with status 1 when the typed name fails too, or at once when the
// name is the input file's. Nothing is written to the output itself: a regular file, new
// or present, is written as a temporary file in its folder, which close_output renames
// onto it. Only a device or a pipe, which holds nothing to keep, is written in place.
FILE *open_output(int argc, char **argv);

// Closes the output file that do_convert has written and returns the exit status. When
// status is 0 and every write and the close succeeded, the output takes its name and status
// is returned; otherwise the temporary file is removed, so an earlier output stays as it was
// and none appears where there was none. A failed write, close or rename returns 1 after
// "Error, cannot write output file." between two line feeds on standard output, printed
// after any message of the conversion.
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

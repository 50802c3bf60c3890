// zarn2crv's conversion: turns a Zarn-format file (a point count, the first x and the x span, then
// the y values from the last point back to the first) into a two-column curve data file that
// velquin reads with dataset id 0. The whole input is checked before anything is written, and a
// rejected input leaves no output: an earlier file stays as it was.
#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>

#include "converters.h"

static const char usage[] =
    "usage: zarn2crv [inputFile [outputFile]]\n"
    "  inputFile   Zarn-format file to read; asked for when missing or unreadable\n"
    "  outputFile  curve data file to write; asked for when missing or unwritable\n"
    "  --help      print this text\n"
    "  --version   print the program's name and version\n"
    "Converts a Zarn-format file into a curve data file read with dataset id 0.\n"
    "Exit status: 0 converted; 1 nothing written: a file could not be opened,\n"
    "read or written, the output named the input, or the input was refused.\n";

static double xValues[MAX_ZARN_POINTS];
static double yValues[MAX_ZARN_POINTS];

// Finds the count line, the first line that begins with an integer (after blanks and a
// sign) and is no comment, and stores that integer in *n. Returns 1, or 0 after a message.
static int read_count(FILE *infp, int *n, int *line_no) {
  char line[CONV_LINE_SIZE];
  for (;;) {
    int got = read_line(infp, NULL, line, line_no);
    if (got == LINE_REFUSED) return 0;
    if (got == LINE_END) {
      printf("Error, no point count found.\n");
      return 0;
    }
    if (got == LINE_COMMENT) continue;
    char *end;
    // strtol saturates where "%d" would overflow, so a huge count is refused, not wrapped.
    long value = strtol(line, &end, 10);
    if (end == line) continue;
    if (value < MIN_ZARN_POINTS || value > MAX_ZARN_POINTS) {
      printf("Error, point count must be %d to %d.\n", MIN_ZARN_POINTS, MAX_ZARN_POINTS);
      return 0;
    }
    *n = (int)value;
    return 1;
  }
}

// Reads numbers from line into value[*count] onward until there are two or the line
// ends. Returns 0 when text stands where a number is due.
static int scan_numbers(const char *line, double *value, int *count) {
  const char *p = line;
  while (*count < 2) {
    while (isspace((unsigned char)*p)) p++;
    if (*p == '\0') return 1;
    int used;
    if (sscanf(p, "%lf%n", &value[*count], &used) != 1) return 0;
    p += used;
    ++*count;
  }
  return 1;
}

// Reads the first x and the x span, the next two numbers after the count line, on one
// line or on two, empty lines between them allowed; the rest of the line that holds the
// span is ignored. Text, a comment line or the end of the input before both numbers
// refuses the file: the x values would rest on nothing. Returns 1, or 0 after a message.
static int read_range(FILE *infp, double *first_x, double *span, int *line_no) {
  double value[2];
  int count = 0;
  char line[CONV_LINE_SIZE];
  while (count < 2) {
    int got = read_line(infp, NULL, line, line_no);
    if (got == LINE_REFUSED) return 0;
    if (got != LINE_READ || !scan_numbers(line, value, &count)) {
      printf("Error, cannot read the first x and the x span.\n");
      return 0;
    }
  }
  *first_x = value[0];
  *span = value[1];
  return 1;
}

// Returns 0 after writing the output, 1 after a message that tells why the input
// was refused.
static int do_convert(FILE *infp, FILE *outfp) {
  int line_no = 0, n;
  double first_x, span;
  if (!read_count(infp, &n, &line_no)) return 1;
  if (!read_range(infp, &first_x, &span, &line_no)) return 1;
  double step = span / (n - 1);

  // The value lines run from the last point back to the first; the x values are built by
  // repeated addition of the step and kept as so accumulated.
  double x = first_x, y = 0.0;
  int k = 0;
  char line[CONV_LINE_SIZE];
  for (;;) {
    int got = read_line(infp, NULL, line, &line_no);
    if (got == LINE_END) break;
    if (got == LINE_REFUSED) return 1;
    if (got == LINE_COMMENT) continue;
    if (k == n) {
      printf("Error, more than %d value lines.\n", n);
      return 1;
    }
    xValues[k] = x;
    // A line without a number repeats the y value before it; the first has none to repeat.
    if (sscanf(line, "%lf", &y) != 1 && k == 0) {
      printf("Error, first value line %d holds no number.\n", line_no);
      return 1;
    }
    x += step;
    yValues[n - 1 - k] = y;
    k++;
  }
  if (k != n) {
    printf("Error, %d value lines for %d points.\n", k, n);
    return 1;
  }
  for (int i = 0; i < n; i++) fprintf(outfp, "%10f %10f\n", xValues[i], yValues[i]);
  return 0;
}

const converter zarn2crv_converter = {"zarn2crv", usage,
                                      " Please enter your datafile (Zarn format).\n", do_convert};

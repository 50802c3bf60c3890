// qv2crv's conversion: turns a qv-format file, points each tagged with their dataset id, into a
// curve data file: consecutive points of one id make one dataset under its id line. Comment lines
// are copied at their place; malformed lines and ids out of range are dropped, and a warning tells
// how many there were.
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "converters.h"

enum {
  MIN_ID = 1,               // lowest dataset id a point may carry
  MAX_ID = 9999,            // highest dataset id a point may carry
  NO_PREVIOUS_ID = -999999  // no valid id equals it, so the first point opens a dataset
};

static const char usage[] =
    "usage: qv2crv [inputFile [outputFile]]\n"
    "  inputFile   qv-format file to read; asked for when missing or unreadable\n"
    "  outputFile  curve data file to write; asked for when missing or unwritable\n"
    "  --help      print this text\n"
    "  --version   print the program's name and version\n"
    "Converts points tagged with dataset ids into a curve data file.\n"
    "Exit status: 0 converted; 1 nothing written: a file could not be opened,\n"
    "read or written, the output named the input, or a line was too long.\n";

// Returns 0 when the input has been converted, after the warning when lines were dropped,
// and 1 after a line too long to take whole or a read error.
static int do_convert(FILE *infp, FILE *outfp) {
  char line[CONV_LINE_SIZE];
  int line_no = 0, prev_id = NO_PREVIOUS_ID, skipped = 0, first_skipped = 0;
  for (;;) {
    int got = read_line(infp, outfp, line, &line_no);
    if (got == LINE_END) break;
    if (got == LINE_REFUSED) return 1;
    if (got == LINE_COMMENT) continue;
    // An empty line, also of a CR-LF file, is no slip; any other line without a point is.
    if (line[strspn(line, " \t\r\n")] == '\0') continue;
    // The id is read as "%d" reads it, but into a long through strtol, which saturates:
    // an id too large for an int must be dropped, not wrapped into the valid range.
    char *rest;
    long id = strtol(line, &rest, 10);
    double x, y;
    if (rest == line || sscanf(rest, "%lf %lf", &x, &y) != 2 || id < MIN_ID || id > MAX_ID) {
      if (skipped == 0) first_skipped = line_no;
      if (skipped < INT_MAX) skipped++;  // beyond, only the number in the warning is wrong
      continue;
    }
    if (id != prev_id) {
      fprintf(outfp, "%d\n", (int)id);
      prev_id = (int)id;
    }
    fprintf(outfp, "%10f %10f\n", x, y);
  }
  if (skipped > 0) {
    printf("Warning, %d lines were skipped (the first: line %d).\n", skipped, first_skipped);
  }
  return 0;
}

const converter qv2crv_converter = {"qv2crv", usage, " Please enter your datafile (qv format).\n",
                                    do_convert};

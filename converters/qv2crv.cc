// qv2crv: turns a qv-format file, points each tagged with their dataset id, into a curve
// data file: consecutive points of one id make one dataset under its id line. Comment
// lines are copied at their place; malformed lines and ids out of range are dropped.
#include <stdio.h>
#include <stdlib.h>

#include "conv_io.h"

static FILE *infp;
static FILE *outfp;

enum {
  MIN_ID = 1,               // lowest dataset id a point may carry
  MAX_ID = 9999,            // highest dataset id a point may carry
  NO_PREVIOUS_ID = -999999  // no valid id equals it, so the first point opens a dataset
};

// Returns 0 when the input has been converted, 1 after a line too long to take whole or a
// read error.
static int do_convert(void) {
  char line[LINE_SIZE];
  int line_no = 0, prev_id = NO_PREVIOUS_ID;
  for (;;) {
    int got = read_line(infp, outfp, line, &line_no);
    if (got == LINE_END) return 0;
    if (got == LINE_REFUSED) return 1;
    if (got == LINE_COMMENT) continue;
    // The id is read as "%d" reads it, but into a long through strtol, which saturates:
    // an id too large for an int must be dropped, not wrapped into the valid range.
    char *rest;
    long id = strtol(line, &rest, 10);
    double x, y;
    if (rest == line || sscanf(rest, "%lf %lf", &x, &y) != 2) continue;
    if (id < MIN_ID || id > MAX_ID) continue;
    if (id != prev_id) {
      fprintf(outfp, "%d\n", (int)id);
      prev_id = (int)id;
    }
    fprintf(outfp, "%10f %10f\n", x, y);
  }
}

int main(int argc, char **argv) {
  infp = open_input(argc, argv, " Please enter your datafile (qv format).\n");
  outfp = open_output(argc, argv);
  return close_output(outfp, do_convert());
}

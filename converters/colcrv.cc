// colcrv: turns a column table (a header row of x values, then one row per dataset: its
// id and one y value per x) into a curve data file with one dataset per row, so that
// velquin fits a row by its id. Comment lines are copied at their place.
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "conv_io.h"

static FILE *infp;
static FILE *outfp;

// Words beyond the table's room are ignored; value columns without an x value are skipped.
static double xValues[MAX_X_VALUES];
static int numX;

// A carriage return is no delimiter: it stays part of the word that it follows.
static const char delims[] = " \t\n";

// The dataset id of a row, read as atoi reads it, except that an id beyond the int range
// becomes the nearest end of the range, as velquin takes such an id, instead of wrapping
// round to another id.
static int row_id(const char *word) {
  long value = strtol(word, NULL, 10);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return (int)value;
}

// Returns 0 when the input has been converted, 1 after a line too long to take whole or a
// read error.
static int do_convert(void) {
  char line[LINE_SIZE];
  int line_no = 0, header_seen = 0;
  for (;;) {
    int got = read_line(infp, outfp, line, &line_no);
    if (got == LINE_END) return 0;
    if (got == LINE_REFUSED) return 1;
    if (got == LINE_COMMENT) continue;
    char *word = strtok(line, delims);
    if (!header_seen) {
      // The first line that is no comment is the header row, whatever it holds.
      for (; word != NULL; word = strtok(NULL, delims)) {
        if (numX < MAX_X_VALUES) xValues[numX++] = atof(word);
      }
      header_seen = 1;
      continue;
    }
    if (word == NULL) continue;  // no id, so no dataset: an empty or blank line
    fprintf(outfp, "%d\n", row_id(word));
    int j = 0;
    for (word = strtok(NULL, delims); word != NULL; word = strtok(NULL, delims)) {
      // A word that begins with "#" is a missing value; it still takes its column.
      if (word[0] != '#' && j < numX) fprintf(outfp, "%10f %10f\n", xValues[j], atof(word));
      j++;
    }
  }
}

int main(int argc, char **argv) {
  infp = open_input(argc, argv, " Please enter your datafile (Zarn format).\n");
  outfp = open_output(argc, argv);
  return close_output(outfp, do_convert());
}

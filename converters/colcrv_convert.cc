// colcrv's conversion: turns a column table (a header row of x values, then one row per dataset:
// its id and one y value per x) into a curve data file with one dataset per row, so that velquin
// fits a row by its id. Comment lines are copied at their place; words that hold no number read as
// 0, and a warning tells how many there were.
#include <ctype.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "converters.h"

// Words beyond the table's room are ignored; value columns without an x value are skipped.
static double xValues[MAX_X_VALUES];
static int numX;

// A carriage return is no delimiter: it stays part of the word that it follows.
static const char delims[] = " \t\n";

static const char usage[] =
    "usage: colcrv [inputFile [outputFile]]\n"
    "  inputFile   column table to read; asked for when missing or unreadable\n"
    "  outputFile  curve data file to write; asked for when missing or unwritable\n"
    "  --help      print this text\n"
    "  --version   print the program's name and version\n"
    "Converts a column table into a curve data file, one dataset per table row.\n"
    "Exit status: 0 converted; 1 nothing written: a file could not be opened,\n"
    "read or written, the output named the input, or a line was too long.\n";

// Words read as 0 because they hold no number: how many, and the first of them.
struct no_number_words {
  int count, first_line;
  char first[SHOWN_WORD_SIZE];
};

// Counts word when no number could be read from its start (end == word). A word that is
// only a carriage return, the blank line of a CR-LF file, is no slip and not counted. The
// first is kept for the warning: its first bytes, never a UTF-8 character cut in two,
// without the carriage return of a CR-LF line end and with control characters as "?".
static void note_word(const char *word, const char *end, int line_no, no_number_words *words) {
  if (end != word || strcmp(word, "\r") == 0) return;
  if (words->count < INT_MAX) words->count++;  // beyond, only the number in the warning is wrong
  if (words->count > 1) return;
  words->first_line = line_no;
  size_t len = strlen(word);
  if (word[len - 1] == '\r') len--;
  if (len > SHOWN_WORD_SIZE - 1) {
    len = SHOWN_WORD_SIZE - 1;
    while (len > 0 && ((unsigned char)word[len] & 0xC0) == 0x80) len--;
  }
  for (size_t i = 0; i < len; i++) {
    words->first[i] = iscntrl((unsigned char)word[i]) ? '?' : word[i];
  }
  words->first[len] = '\0';
}

// A header or value word, read as atof reads it.
static double value_of(const char *word, int line_no, no_number_words *words) {
  char *end;
  double value = strtod(word, &end);
  note_word(word, end, line_no, words);
  return value;
}

// The dataset id of a row, read as atoi reads it, except that an id beyond the int range
// becomes the nearest end of the range, as velquin takes such an id, instead of wrapping
// round to another id.
static int row_id(const char *word, int line_no, no_number_words *words) {
  char *end;
  long value = strtol(word, &end, 10);
  note_word(word, end, line_no, words);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return (int)value;
}

// Returns 0 when the input has been converted, after the warning when words held no number,
// and 1 after a line too long to take whole or a read error.
static int do_convert(FILE *infp, FILE *outfp) {
  char line[CONV_LINE_SIZE];
  int line_no = 0, header_seen = 0;
  no_number_words words = {0, 0, ""};
  numX = 0;  // a second conversion in one process starts with an empty header row
  for (;;) {
    int got = read_line(infp, outfp, line, &line_no);
    if (got == LINE_END) break;
    if (got == LINE_REFUSED) return 1;
    if (got == LINE_COMMENT) continue;
    char *word = strtok(line, delims);
    if (!header_seen) {
      // The first line that is no comment is the header row, whatever it holds.
      for (; word != NULL; word = strtok(NULL, delims)) {
        if (numX < MAX_X_VALUES) xValues[numX++] = value_of(word, line_no, &words);
      }
      header_seen = 1;
      continue;
    }
    if (word == NULL) continue;  // no id, so no dataset: an empty or blank line
    fprintf(outfp, "%d\n", row_id(word, line_no, &words));
    int j = 0;
    for (word = strtok(NULL, delims); word != NULL; word = strtok(NULL, delims)) {
      // A word that begins with "#" is a missing value; it still takes its column.
      if (word[0] != '#' && j < numX) {
        fprintf(outfp, "%10f %10f\n", xValues[j], value_of(word, line_no, &words));
      }
      j++;
    }
  }
  if (words.count > 0) {
    printf(
        "Warning, %d words are not numbers and were read as 0 (the first: line %d, \"%s\"); "
        "mark a missing value with a leading #.\n",
        words.count, words.first_line, words.first);
  }
  return 0;
}

const converter colcrv_converter = {"colcrv", usage, " Please enter your datafile (Zarn format).\n",
                                    do_convert};

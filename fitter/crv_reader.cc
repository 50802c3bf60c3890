// Curve data file reader. A file holds datasets of two- or three-column points, each
// after a line with its integer id; comment ("#" or "!") and empty lines may stand
// anywhere. Lines are taken whole: a line that does not fit the buffer is refused,
// never split, unless it is a comment.
#include "crv_reader.h"

#include <limits.h>
#include <stdio.h>

#include "run_state.h"

enum { LINE_READ, LINE_END, LINE_REFUSED };

struct crv_line {
  char text[LINE_SIZE];
  int len;  // bytes in text, which may hold NUL bytes of a damaged file
  int no;   // number of the line in the file, from 1
};

static int is_comment(const crv_line *line) { return line->text[0] == '#' || line->text[0] == '!'; }

// Reads the next whole line, line feed included. A line longer than the buffer is
// consumed to its end and refused with a report unless it is a comment; a read error
// is reported as well. Returns LINE_READ, LINE_END at the end of the file, or
// LINE_REFUSED after a report.
static int next_line(FILE *fp, const char *path, crv_line *line) {
  int c = getc(fp);
  if (c == EOF && !ferror(fp)) return LINE_END;
  if (line->no < INT_MAX) line->no++;  // beyond, only the number in a message would be wrong
  int len = 0, too_long = 0;
  while (c != EOF) {
    if (len < LINE_SIZE - 1) {
      line->text[len++] = (char)c;
    } else {
      too_long = 1;
    }
    if (c == '\n') break;
    c = getc(fp);
  }
  line->text[len] = '\0';
  line->len = len;
  // A read error, also in the middle of a line: no piece of the line may pass for a whole.
  if (ferror(fp)) {
    char msg[MESSAGE_SIZE];
    snprintf(msg, sizeof msg, "Unable to read file %s\n", path);
    show_err(ERR_WARNING, "read_crv_data", msg);
    return LINE_REFUSED;
  }
  if (too_long && !is_comment(line)) {
    char msg[MESSAGE_SIZE];
    snprintf(msg, sizeof msg, "Line %d is too long\n", line->no);
    show_err(ERR_WARNING, "read_crv_data", msg);
    return LINE_REFUSED;
  }
  return LINE_READ;
}

// Blanks, tabs and carriage returns alone make an empty line, so CR-LF files read
// like LF files.
static int is_empty(const crv_line *line) {
  for (int i = 0; i < line->len; i++) {
    char c = line->text[i];
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return 0;
  }
  return 1;
}

// A dataset id line holds exactly one word, whose value is its leading integer.
static int is_id_line(const crv_line *line, int datasetId) {
  char w1[LINE_SIZE], w2[LINE_SIZE], w3[LINE_SIZE];
  return sscanf(line->text, "%255s %255s %255s", w1, w2, w3) == 1 && to_int(w1) == datasetId;
}

static int read_point(const crv_line *line, int cols, double *a, double *b, double *c) {
  if (cols == 2) return sscanf(line->text, "%lf %lf", a, b);
  return sscanf(line->text, "%lf %lf %lf", a, b, c);
}

int read_crv_data(const char *path, int datasetId, double *x, double *y, double *t, int *count,
                  int *columns) {
  char msg[MESSAGE_SIZE];
  FILE *fp = fopen(path, "r");
  if (fp == NULL) {
    snprintf(msg, sizeof msg, "Unable to open file %s\n", path);
    show_err(ERR_WARNING, "read_crv_data", msg);
    return 0;
  }
  crv_line line;
  line.no = 0;
  int got;

  if (datasetId != 0) {
    for (;;) {
      got = next_line(fp, path, &line);
      if (got == LINE_REFUSED) goto refused;
      if (got == LINE_END) {
        snprintf(msg, sizeof msg, "Unable to find Dataset ID = %d\n", datasetId);
        show_err(ERR_WARNING, "read_crv_data", msg);
        goto refused;
      }
      if (!is_comment(&line) && is_id_line(&line, datasetId)) break;
    }
  }

  for (;;) {
    got = next_line(fp, path, &line);
    if (got == LINE_REFUSED) goto refused;
    if (got == LINE_END) {
      if (datasetId == 0) {
        show_err(ERR_WARNING, "read_crv_data", "No valid data lines.");
      } else {
        show_err(ERR_WARNING, "read_crv_data", "No valid data lines after id found.");
      }
      goto refused;
    }
    if (!is_comment(&line) && !is_empty(&line)) break;
  }

  {
    double a, b, c;
    int cols = sscanf(line.text, "%lf %lf %lf", &a, &b, &c);
    if (cols != 2 && cols != 3) {
      show_err(ERR_WARNING, "read_crv_data", "Num of data columns must be 2 or 3");
      goto refused;
    }
    int n = 0;
    for (;;) {
      if (!is_comment(&line) && !is_empty(&line)) {
        int values = read_point(&line, cols, &a, &b, &c);
        if (values == 1) break;  // the next dataset's id line, or a lone number, ends this one
        if (values != cols) {
          snprintf(msg, sizeof msg, "Invalid data line %d\n", line.no);
          show_err(ERR_WARNING, "read_crv_data", msg);
          goto refused;
        }
        // Tested only when a point is to be stored, so a full dataset loads whatever follows.
        if (n == MAX_POINTS) {
          snprintf(msg, sizeof msg, "Error, Max data points exceeds %d\n", MAX_POINTS);
          show_err(ERR_FATAL, "read_crv_data", msg);
        }
        x[n] = a;
        y[n] = b;
        if (cols == 3) t[n] = c;
        n++;
      }
      got = next_line(fp, path, &line);
      if (got == LINE_REFUSED) goto refused;
      if (got == LINE_END) break;
    }
    fclose(fp);

    if (n < MIN_POINTS) {
      snprintf(msg, sizeof msg, "Error, Min data points is (%d)\n", MIN_POINTS);
      show_err(ERR_FATAL, "read_crv_data", msg);
    }
    *count = n;
    *columns = cols;
    return 1;
  }

refused:
  fclose(fp);
  return 0;
}

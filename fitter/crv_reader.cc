// Curve data file reader. A file holds datasets of two- or three-column points, each
// after a line with its integer id; comment ("#" or "!") and empty lines may stand
// anywhere. Lines are taken whole: a line that does not fit the buffer is refused,
// never split, unless it is a comment.
#include "crv_reader.h"

#include <stdio.h>
#include <stdlib.h>

#include "run_state.h"

enum { LINE_READ, LINE_TOO_LONG, LINE_END_OF_FILE };

// Reads the next whole line, line feed included, into buf and counts it in *line_no.
// A line longer than the buffer is consumed to its end and reported LINE_TOO_LONG,
// with its beginning in buf so that a comment can still be told.
static int next_line(FILE *fp, char *buf, int *line_no) {
  int c = getc_unlocked(fp);
  if (c == EOF) return LINE_END_OF_FILE;
  ++*line_no;
  int len = 0, too_long = 0;
  for (;;) {
    if (len < LINE_SIZE - 1) {
      buf[len++] = (char)c;
    } else {
      too_long = 1;
    }
    if (c == '\n') break;
    c = getc_unlocked(fp);
    if (c == EOF) break;
  }
  buf[len] = '\0';
  return too_long ? LINE_TOO_LONG : LINE_READ;
}

static int is_comment(const char *line) { return line[0] == '#' || line[0] == '!'; }

// Blanks, tabs and carriage returns alone make an empty line, so CR-LF files read
// like LF files.
static int is_empty(const char *line) {
  for (const char *p = line; *p != '\0'; p++) {
    if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n') return 0;
  }
  return 1;
}

// A dataset id line holds exactly one word; its value is read as atoi reads it.
static int is_id_line(const char *line, int datasetId) {
  char w1[LINE_SIZE], w2[LINE_SIZE], w3[LINE_SIZE];
  return sscanf(line, "%255s %255s %255s", w1, w2, w3) == 1 && atoi(w1) == datasetId;
}

static int refuse_long_line(FILE *fp, int line_no) {
  char msg[MESSAGE_SIZE];
  snprintf(msg, sizeof msg, "Line %d is too long\n", line_no);
  show_err(ERR_WARNING, "read_crv_data", msg);
  fclose(fp);
  return 0;
}

static int refuse(FILE *fp, const char *msg) {
  show_err(ERR_WARNING, "read_crv_data", msg);
  fclose(fp);
  return 0;
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
  char line[LINE_SIZE];
  int line_no = 0, got;

  if (datasetId != 0) {
    for (;;) {
      got = next_line(fp, line, &line_no);
      if (got == LINE_END_OF_FILE) {
        snprintf(msg, sizeof msg, "Unable to find Dataset ID = %d\n", datasetId);
        return refuse(fp, msg);
      }
      if (is_comment(line)) continue;
      if (got == LINE_TOO_LONG) return refuse_long_line(fp, line_no);
      if (is_id_line(line, datasetId)) break;
    }
  }

  for (;;) {
    got = next_line(fp, line, &line_no);
    if (got == LINE_END_OF_FILE) {
      return refuse(fp, datasetId == 0 ? "No valid data lines." : "No valid data lines after id found.");
    }
    if (is_comment(line)) continue;
    if (got == LINE_TOO_LONG) return refuse_long_line(fp, line_no);
    if (!is_empty(line)) break;
  }

  double a, b, c;
  int cols = sscanf(line, "%lf %lf %lf", &a, &b, &c);
  if (cols != 2 && cols != 3) return refuse(fp, "Num of data columns must be 2 or 3");
  const char *format = cols == 2 ? "%lf %lf" : "%lf %lf %lf";

  int n = 0;
  for (;;) {
    if (!is_comment(line) && !is_empty(line)) {
      int values = sscanf(line, format, &a, &b, &c);
      if (values == 1) break;  // the next dataset's id line, or a lone number, ends this one
      if (values != cols) {
        snprintf(msg, sizeof msg, "Invalid data line %d\n", line_no);
        return refuse(fp, msg);
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
    got = next_line(fp, line, &line_no);
    if (got == LINE_END_OF_FILE) break;
    if (got == LINE_TOO_LONG && !is_comment(line)) return refuse_long_line(fp, line_no);
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

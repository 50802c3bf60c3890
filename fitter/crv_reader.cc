// Curve data file reader. A file holds datasets of two- or three-column points, each
// after a line with its integer id; comment ("#" or "!") and empty lines may stand
// anywhere. Lines are taken whole: a line that does not fit the buffer is refused,
// never split, unless it is a comment.
#include "crv_reader.h"

#include <limits.h>
#include <stdio.h>

enum { LINE_READ, LINE_END, LINE_TOO_LONG, LINE_ERROR };

static int is_comment(const crv_line *line) { return line->text[0] == '#' || line->text[0] == '!'; }

// Reads the next whole line, line feed included, and counts the bytes it takes from the
// file. A line longer than the buffer is consumed to its end and refused unless it is a
// comment; a read error, also in the middle of a line, refuses it as well, so that no
// piece of a line passes for a whole. Reports nothing.
static int next_line(FILE *fp, crv_line *line, long long *offset) {
  int c = getc(fp);
  if (c == EOF && !ferror(fp)) return LINE_END;
  if (line->no < INT_MAX) line->no++;  // beyond, only the number in a message would be wrong
  int len = 0, too_long = 0;
  long long taken = 0;
  while (c != EOF) {
    taken++;
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
  *offset += taken;
  if (ferror(fp)) return LINE_ERROR;
  if (too_long && !is_comment(line)) return LINE_TOO_LONG;
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
static int id_line_value(const crv_line *line, int *id) {
  char w1[LINE_SIZE], w2[LINE_SIZE], w3[LINE_SIZE];
  if (sscanf(line->text, "%255s %255s %255s", w1, w2, w3) != 1) return 0;
  *id = to_int(w1);
  return 1;
}

void crv_scan_start(crv_scan *scan, FILE *fp) {
  scan->fp = fp;
  scan->line.no = 0;
  scan->offset = 0;
}

int crv_scan_next(crv_scan *scan, int *id, crv_place *at) {
  for (;;) {
    int got = next_line(scan->fp, &scan->line, &scan->offset);
    if (got == LINE_END) return CRV_END;
    if (got == LINE_ERROR) return CRV_READ_ERROR;
    if (got == LINE_TOO_LONG) {
      at->lineNo = scan->line.no;
      return CRV_LONG_LINE;
    }
    if (is_comment(&scan->line) || is_empty(&scan->line)) continue;
    if (!id_line_value(&scan->line, id)) return CRV_OTHER_LINE;
    at->offset = scan->offset;
    at->lineNo = scan->line.no;
    return CRV_ID_LINE;
  }
}

// Reports a line that next_line refused. Returns 0, for the reader to pass on.
static int refuse_line(int got, const char *path, const crv_line *line) {
  char msg[MESSAGE_SIZE];
  if (got == LINE_ERROR) {
    snprintf(msg, sizeof msg, "Unable to read file %s\n", path);
  } else {
    snprintf(msg, sizeof msg, "Line %d is too long\n", line->no);
  }
  show_err(ERR_WARNING, "read_crv_data", msg);
  return 0;
}

static int read_point(const crv_line *line, int cols, double *a, double *b, double *c) {
  if (cols == 2) return sscanf(line->text, "%lf %lf", a, b);
  return sscanf(line->text, "%lf %lf %lf", a, b, c);
}

// Reads the points of the dataset that begins at the current position of fp, whose lines
// are numbered on from lineNo: the first data line is the next one that is neither a
// comment nor empty.
static int read_points(FILE *fp, const char *path, int datasetId, int lineNo, double *x,
                       double *y, double *t, int *count, int *columns) {
  char msg[MESSAGE_SIZE];
  crv_line line;
  line.no = lineNo;
  long long offset = 0;
  int got;
  for (;;) {
    got = next_line(fp, &line, &offset);
    if (got == LINE_ERROR || got == LINE_TOO_LONG) return refuse_line(got, path, &line);
    if (got == LINE_END) {
      if (datasetId == 0) {
        show_err(ERR_WARNING, "read_crv_data", "No valid data lines.");
      } else {
        show_err(ERR_WARNING, "read_crv_data", "No valid data lines after id found.");
      }
      return 0;
    }
    if (!is_comment(&line) && !is_empty(&line)) break;
  }

  double a, b, c;
  int cols = sscanf(line.text, "%lf %lf %lf", &a, &b, &c);
  if (cols != 2 && cols != 3) {
    show_err(ERR_WARNING, "read_crv_data", "Num of data columns must be 2 or 3");
    return 0;
  }
  int n = 0;
  for (;;) {
    if (!is_comment(&line) && !is_empty(&line)) {
      int values = read_point(&line, cols, &a, &b, &c);
      if (values == 1) break;  // the next dataset's id line, or a lone number, ends this one
      if (values != cols) {
        snprintf(msg, sizeof msg, "Invalid data line %d\n", line.no);
        show_err(ERR_WARNING, "read_crv_data", msg);
        return 0;
      }
      // Tested only when a point is to be stored, so a full dataset loads whatever follows.
      if (n == MAX_POINTS) {
        snprintf(msg, sizeof msg, "Error, Max data points exceeds %d\n", MAX_POINTS);
        show_err(ERR_FATAL, "read_crv_data", msg);
        return 0;
      }
      x[n] = a;
      y[n] = b;
      if (cols == 3) t[n] = c;
      n++;
    }
    got = next_line(fp, &line, &offset);
    if (got == LINE_ERROR || got == LINE_TOO_LONG) return refuse_line(got, path, &line);
    if (got == LINE_END) break;
  }
  if (n < MIN_POINTS) {
    snprintf(msg, sizeof msg, "Error, Min data points is (%d)\n", MIN_POINTS);
    show_err(ERR_FATAL, "read_crv_data", msg);
    return 0;
  }
  *count = n;
  *columns = cols;
  return 1;
}

int read_crv_data(const char *path, int datasetId, double *x, double *y, double *t, int *count,
                  int *columns) {
  FILE *fp = fopen(path, "r");
  if (fp == NULL) {
    char msg[MESSAGE_SIZE];
    snprintf(msg, sizeof msg, "Unable to open file %s\n", path);
    show_err(ERR_WARNING, "read_crv_data", msg);
    return 0;
  }
  int ok = 0;
  crv_place at = {0, 0};
  if (datasetId == 0) {
    ok = read_points(fp, path, datasetId, 0, x, y, t, count, columns);
  } else {
    // The search reads the file as a scan does, so that a batch finds the same datasets.
    crv_scan scan;
    crv_scan_start(&scan, fp);
    for (;;) {
      int id = 0;
      int got = crv_scan_next(&scan, &id, &at);
      if (got == CRV_ID_LINE && id != datasetId) continue;
      if (got == CRV_OTHER_LINE) continue;
      if (got == CRV_ID_LINE) {
        ok = read_points(fp, path, datasetId, at.lineNo, x, y, t, count, columns);
      } else if (got == CRV_END) {
        char msg[MESSAGE_SIZE];
        snprintf(msg, sizeof msg, "Unable to find Dataset ID = %d\n", datasetId);
        show_err(ERR_WARNING, "read_crv_data", msg);
      } else {
        refuse_line(got == CRV_READ_ERROR ? LINE_ERROR : LINE_TOO_LONG, path, &scan.line);
      }
      break;
    }
  }
  fclose(fp);
  return ok;
}

int read_crv_at(FILE *fp, const char *path, int datasetId, const crv_place *at, double *x,
                double *y, double *t, int *count, int *columns) {
  clearerr(fp);
  if (fseeko(fp, (off_t)at->offset, SEEK_SET) != 0) {
    char msg[MESSAGE_SIZE];
    snprintf(msg, sizeof msg, "Unable to read file %s\n", path);
    show_err(ERR_WARNING, "read_crv_data", msg);
    return 0;
  }
  return read_points(fp, path, datasetId, at->lineNo, x, y, t, count, columns);
}

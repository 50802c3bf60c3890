// Curve data file reader. A file holds datasets of two- or three-column points, each
// after a line with its integer id; comment ("#" or "!") and empty lines may stand
// anywhere, and a UTF-8 byte order mark may stand before the first line. Lines are taken whole: a
// line that does not fit the buffer is refused, never split, unless it is a comment. Every refusal
// is reported here, module read_crv_data, also for a batch that found the dataset by a scan of its
// own.
#include "crv_reader.h"

#include <ctype.h>
#include <limits.h>
#include <math.h>
#include <stdio.h>

#include "cli.h"
#include "files.h"
#include "show_err.h"

int nanDataLine;

static int is_comment(const crv_line *line) { return line->text[0] == '#' || line->text[0] == '!'; }

// Reads the next whole line and counts it and the bytes it takes. A line too long for the
// buffer passes when it is a comment. Reports nothing.
static int next_line(FILE *fp, crv_line *line, long long *offset) {
  long long taken = 0;
  int got = read_whole_line(fp, line->text, CRV_LINE_SIZE, &line->len, &taken, NULL);
  if (got == LINE_END) return LINE_END;
  if (line->no < INT_MAX) line->no++;  // beyond, only the number in a message would be wrong
  *offset += taken;
  if (got == LINE_TOO_LONG && is_comment(line)) return LINE_READ;
  return got;
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

// A dataset id line holds exactly one word, whose value is its leading integer. Words are
// separated as "%s" separates them, and the text ends at its first NUL byte as a C string
// does; counted by hand, since the scan meets every line of a file.
static int id_line_value(const crv_line *line, int *id) {
  const char *p = line->text, *word = NULL;
  int words = 0;
  while (*p != '\0') {
    while (isspace((unsigned char)*p)) p++;
    if (*p == '\0') break;
    if (++words > 1) return 0;
    word = p;
    while (*p != '\0' && !isspace((unsigned char)*p)) p++;
  }
  if (words != 1) return 0;
  *id = to_int(word);
  return 1;
}

void crv_scan_start(crv_scan *scan, FILE *fp) {
  scan->fp = fp;
  scan->line.no = 0;
  scan->offset = skip_bom(fp);  // the mark is no line: line 1 is the one after it
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

int crv_refuse(int kind, const char *path, int lineNo) {
  char msg[MESSAGE_SIZE];
  if (kind == CRV_READ_ERROR) {
    snprintf(msg, sizeof msg, "Unable to read file %s\n", path);
  } else {
    snprintf(msg, sizeof msg, "Line %d is too long\n", lineNo);
  }
  show_err(ERR_WARNING, "read_crv_data", msg);
  return 0;
}

// Reports a line that next_line refused. Returns 0, for the reader to pass on.
static int refuse_line(int got, const char *path, const crv_line *line) {
  return crv_refuse(got == LINE_ERROR ? CRV_READ_ERROR : CRV_LONG_LINE, path, line->no);
}

static int cannot_open(const char *path) {
  char msg[MESSAGE_SIZE];
  snprintf(msg, sizeof msg, "Unable to open file %s\n", path);
  show_err(ERR_WARNING, "read_crv_data", msg);
  return 0;
}

FILE *crv_open(const char *path) {
  FILE *fp = fopen(path, "r");
  if (fp == NULL) cannot_open(path);
  return fp;
}

static int missing_id(int datasetId) {
  char msg[MESSAGE_SIZE];
  snprintf(msg, sizeof msg, "Unable to find Dataset ID = %d\n", datasetId);
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
static int read_points(FILE *fp, const char *path, int datasetId, int lineNo, double *x, double *y,
                       double *t, int *count, int *columns) {
  char msg[MESSAGE_SIZE];
  crv_line line;
  line.no = lineNo;
  nanDataLine = 0;
  long long offset = lineNo == 0 ? skip_bom(fp) : 0;  // from the top of the file
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
      int finite = isfinite(a) && isfinite(b) && (cols == 2 || isfinite(c));
      if (!finite && nanDataLine == 0) nanDataLine = line.no;
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
  FILE *fp = crv_open(path);
  if (fp == NULL) return 0;
  int ok = 0;
  crv_place at = {0, 0, 0, 0};
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
        missing_id(datasetId);
      } else {
        crv_refuse(got, path, scan.line.no);
      }
      break;
    }
  }
  fclose(fp);
  return ok;
}

int read_crv_at(FILE *fp, const char *path, int datasetId, const crv_place *at, double *x,
                double *y, double *t, int *count, int *columns) {
  // What a search from the top meets first: the file itself, then a refused line, then
  // the end of the file without the id.
  if (fp == NULL) return cannot_open(path);
  if (at->refusedLine != 0) return crv_refuse(CRV_LONG_LINE, path, at->refusedLine);
  if (at->missing) return missing_id(datasetId);
  clearerr(fp);
  if (fseeko(fp, (off_t)at->offset, SEEK_SET) != 0) return crv_refuse(CRV_READ_ERROR, path, 0);
  return read_points(fp, path, datasetId, at->lineNo, x, y, t, count, columns);
}

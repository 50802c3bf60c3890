// Curve data file reader. A file holds datasets of two- or three-column points, each
// after a line with its integer id; comment ("#" or "!") and empty lines may stand
// anywhere, and a UTF-8 byte order mark may stand before the first line. Lines are taken whole: a
// line that does not fit the buffer is refused, never split, unless it is a comment. Every refusal
// is reported here, module read_crv_data, also for a batch that found the dataset by a scan of its
// own, and reads it from a stream or from the file's bytes in memory with the same code.
#include "crv_reader.h"

#include <limits.h>
#include <math.h>
#include <stdint.h>
#include <stdio.h>

#include "cli.h"
#include "files.h"
#include "show_err.h"

int nanDataLine;

static int is_comment(const crv_line *line) { return line->text[0] == '#' || line->text[0] == '!'; }

// Where the reader takes its lines: the open file, or its bytes in memory.
struct crv_input {
  FILE *fp;  // NULL: the bytes from at to end
  const char *at, *end;
};

// Reads the next whole line and counts it and the bytes it takes. A line too long for the
// buffer passes when it is a comment. Reports nothing.
static int next_line(crv_input *in, crv_line *line, long long *offset) {
  long long taken = 0;
  int got =
      in->fp != NULL
          ? read_whole_line(in->fp, line->text, CRV_LINE_SIZE, &line->len, &taken, NULL)
          : read_whole_line_mem(&in->at, in->end, line->text, CRV_LINE_SIZE, &line->len, &taken);
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

// The blanks of the C locale's isspace, which separate the words and numbers of a line as
// sscanf separates them.
static int is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// A dataset id line holds exactly one word, whose value is its leading integer: the lines
// for which sscanf(text, "%255s %255s %255s") gives 1, a line being shorter than any width.
static int id_line_value(const crv_line *line, int *id) {
  static_assert(CRV_LINE_SIZE == 256, "a word of a line fits the width of \"%255s\"");
  const char *p = line->text;
  while (is_blank(*p)) p++;
  if (*p == '\0') return 0;
  const char *word = p;
  while (*p != '\0' && !is_blank(*p)) p++;
  while (is_blank(*p)) p++;
  if (*p != '\0') return 0;
  *id = to_int(word);  // which stops at the blank after the word
  return 1;
}

// The powers of ten that a double holds exactly.
static const double EXACT_POW10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                     1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                     1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
enum { MAX_EXACT_POW10 = 22, MAX_PLAIN_DIGITS = 19 };

static int is_digit(char c) { return c >= '0' && c <= '9'; }

// Takes the next digit c into *digits, leading zeros aside. Returns 0 past
// MAX_PLAIN_DIGITS significant digits.
static int take_digit(char c, uint64_t *digits, int *count) {
  if (*digits == 0 && c == '0') return 1;
  if (*count == MAX_PLAIN_DIGITS) return 0;
  (*count)++;
  *digits = *digits * 10 + (uint64_t)(c - '0');
  return 1;
}

// Reads at *p a plain decimal ("-86.0802", "1e3", ".5") that a blank or the end of the text
// follows. Returns 1 with *v and *p past it when its value is exact from here: at most 2^53
// in its digits and a power of ten up to 1e22, so that one multiplication or division
// rounds it as strtod does. Otherwise returns 0 with *p untouched.
static int plain_number(const char **p, double *v) {
  const char *s = *p;
  int negative = *s == '-';
  if (*s == '+' || *s == '-') s++;
  uint64_t digits = 0;
  int count = 0, scale = 0, any = 0;
  for (; is_digit(*s); s++, any = 1) {
    if (!take_digit(*s, &digits, &count)) return 0;
  }
  if (*s == '.') {
    for (s++; is_digit(*s); s++, any = 1, scale--) {
      if (!take_digit(*s, &digits, &count)) return 0;
    }
  }
  if (!any) return 0;
  if (*s == 'e' || *s == 'E') {
    s++;
    int down = *s == '-';
    if (*s == '+' || *s == '-') s++;
    if (!is_digit(*s)) return 0;
    int e = 0;
    for (; is_digit(*s); s++) {
      if (e > 9999) return 0;
      e = e * 10 + (*s - '0');
    }
    scale += down ? -e : e;
  }
  if (*s != '\0' && !is_blank(*s)) return 0;
  double d = 0.0;
  if (digits != 0) {
    if (digits > (1ULL << 53) || scale < -MAX_EXACT_POW10 || scale > MAX_EXACT_POW10) return 0;
    d = scale < 0 ? (double)digits / EXACT_POW10[-scale] : (double)digits * EXACT_POW10[scale];
  }
  *v = negative ? -d : d;
  *p = s;
  return 1;
}

int crv_values(const char *text, int want, double *v) {
  const char *p = text;
  for (int n = 0;; n++) {
    while (is_blank(*p)) p++;
    if (n == want) return n;
    if (*p == '\0') return n > 0 ? n : EOF;
    if (!plain_number(&p, &v[n])) break;
  }
  if (want == 2) return sscanf(text, "%lf %lf", &v[0], &v[1]);
  return sscanf(text, "%lf %lf %lf", &v[0], &v[1], &v[2]);
}

void crv_scan_start(crv_scan *scan, FILE *fp) {
  scan->fp = fp;
  scan->line.no = 0;
  scan->offset = skip_bom(fp);  // the mark is no line: line 1 is the one after it
}

int crv_scan_next(crv_scan *scan, int *id, crv_place *at) {
  for (;;) {
    crv_input in = {scan->fp, NULL, NULL};
    int got = next_line(&in, &scan->line, &scan->offset);
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

// Reads the points of the dataset that begins where in stands, whose lines are numbered on
// from lineNo: the first data line is the next one that is neither a comment nor empty.
static int read_points(crv_input *in, const char *path, int datasetId, int lineNo, double *x,
                       double *y, double *t, int *count, int *columns) {
  char msg[MESSAGE_SIZE];
  crv_line line;
  line.no = lineNo;
  nanDataLine = 0;
  long long offset = 0;
  if (lineNo == 0) {  // from the top of the file
    offset = in->fp != NULL ? skip_bom(in->fp) : skip_bom_mem(&in->at, in->end);
  }
  int got;
  for (;;) {
    got = next_line(in, &line, &offset);
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

  double v[3];
  int cols = crv_values(line.text, 3, v);
  if (cols != 2 && cols != 3) {
    show_err(ERR_WARNING, "read_crv_data", "Num of data columns must be 2 or 3");
    return 0;
  }
  int n = 0;
  for (;;) {
    if (!is_comment(&line) && !is_empty(&line)) {
      int values = crv_values(line.text, cols, v);
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
      x[n] = v[0];
      y[n] = v[1];
      if (cols == 3) t[n] = v[2];
      int finite = isfinite(v[0]) && isfinite(v[1]) && (cols == 2 || isfinite(v[2]));
      if (!finite && nanDataLine == 0) nanDataLine = line.no;
      n++;
    }
    got = next_line(in, &line, &offset);
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
  crv_input in = {fp, NULL, NULL};
  if (datasetId == 0) {
    ok = read_points(&in, path, datasetId, 0, x, y, t, count, columns);
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
        ok = read_points(&in, path, datasetId, at.lineNo, x, y, t, count, columns);
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

// What a search from the top meets before the dataset found at *at: the file itself (opened
// or not), then a refused line, then the end of the file without the id. Returns 1 when
// nothing stops the dataset, or 0 after the report.
static int place_readable(int opened, const char *path, int datasetId, const crv_place *at) {
  if (!opened) return cannot_open(path);
  if (at->refusedLine != 0) return crv_refuse(CRV_LONG_LINE, path, at->refusedLine);
  if (at->missing) return missing_id(datasetId);
  return 1;
}

int read_crv_at(FILE *fp, const char *path, int datasetId, const crv_place *at, double *x,
                double *y, double *t, int *count, int *columns) {
  if (!place_readable(fp != NULL, path, datasetId, at)) return 0;
  clearerr(fp);
  if (fseeko(fp, (off_t)at->offset, SEEK_SET) != 0) return crv_refuse(CRV_READ_ERROR, path, 0);
  crv_input in = {fp, NULL, NULL};
  return read_points(&in, path, datasetId, at->lineNo, x, y, t, count, columns);
}

int read_crv_mem(const char *bytes, long long size, const char *path, int datasetId,
                 const crv_place *at, double *x, double *y, double *t, int *count, int *columns) {
  if (!place_readable(1, path, datasetId, at)) return 0;
  long long from = at->offset < size ? at->offset : size;  // a seek past the end reads nothing
  crv_input in = {NULL, bytes + from, bytes + size};
  return read_points(&in, path, datasetId, at->lineNo, x, y, t, count, columns);
}

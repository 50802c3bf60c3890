// The table writer and reader. Each line is formed whole in a buffer, so that the table on
// disk holds only whole rows at any moment; the reader takes back what the writer writes, also
// after pandas or R have written it again, and refuses anything else, so that a picture never
// shows a misread table.
#include "batch_table.h"

#include <limits.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>

#include "crv_reader.h"
#include "files.h"
#include "fit_engine.h"
#include "models.h"
#include "number_format.h"
#include "reports.h"
#include "run_state.h"
#include "show_err.h"

const char *const batch_status_names[3] = {"ok", "failed", "refused"};

namespace {

// Appends to a buffer of fixed size; a text that does not fit marks it full.
struct line_buf {
  char *p;
  char *end;
  int full;
};

void put(line_buf *b, const char *text, size_t len) {
  if (b->full || (size_t)(b->end - b->p) < len) {
    b->full = 1;
    return;
  }
  memcpy(b->p, text, len);
  b->p += len;
}

void put_text(line_buf *b, const char *text) { put(b, text, strlen(text)); }

void put_number(line_buf *b, double v) {
  char digits[32];
  put(b, digits, (size_t)format_shortest(digits, sizeof digits, shown(v)));
}

void put_int(line_buf *b, int v) {
  char digits[16];
  put(b, digits, (size_t)format_int(digits, sizeof digits, v));
}

void put_label(line_buf *b, int model, int i) {
  char label[NAME_SIZE];
  put(b, label, (size_t)column_label(label, sizeof label, model, i));
}

// Why a failed fit stopped, in words, from what the engine and the data load left. A RMSE
// that is not finite is named instead of the stop it led to: a nan neither converges nor
// rises, so such a fit runs to its limit, and the limit is not what to mend.
void put_reason(line_buf *b) {
  char text[ROW_SIZE], now[32], start[32], label[NAME_SIZE];
  format_shortest(now, sizeof now, shown(rmse));
  format_shortest(start, sizeof start, shown(fitStartRmse));
  text[0] = '\0';
  int ownCause = fitStop == STOP_LIMIT_NOT_POSITIVE || fitStop == STOP_NO_START_VALUE ||
                 fitStop == STOP_NO_VALUE;
  if (!ownCause && !isfinite(rmse) && nanDataLine > 0) {
    snprintf(text, sizeof text, "the RMSE is not a finite number: data line %d holds nan or inf",
             nanDataLine);
  } else if (!ownCause && !isfinite(rmse)) {
    snprintf(text, sizeof text,
             "the RMSE is not a finite number: the model's values are not numbers or too large");
  } else if (fitStop == STOP_LIMIT) {
    snprintf(text, sizeof text, "the iteration limit (%d) was reached at RMSE %s", maxIt, now);
  } else if (fitStop == STOP_SINGULAR) {
    column_label(label, sizeof label, fitFunc, fitStopParm);
    snprintf(text, sizeof text, "the normal matrix is singular: %s has no effect on the model",
             label);
  } else if (fitStop == STOP_DIVERGED) {
    snprintf(text, sizeof text, "the RMSE rose a hundredfold in one iteration, to %s", now);
  } else if (fitStop == STOP_NOT_BETTER) {
    snprintf(text, sizeof text,
             "the fit converged no better than its start: RMSE %s, starting RMSE %s", now, start);
  } else if (fitStop == STOP_NO_START_VALUE) {
    snprintf(text, sizeof text, "the model has no value at the starting values");
  } else if (fitStop == STOP_NO_VALUE) {
    snprintf(text, sizeof text, "the model has no value at the values an iteration reached");
  } else if (fitStop == STOP_LIMIT_NOT_POSITIVE) {
    snprintf(text, sizeof text, "the iteration limit (%d) is not positive", maxIt);
  }
  put_text(b, text);
}

int finish(line_buf *b, char *buf) {
  put(b, "\n", 1);
  return b->full ? -1 : (int)(b->p - buf);
}

}  // namespace

int column_label(char *buf, int size, int model, int i) {
  const char *label = fitParmStr[model][i];
  int len = (int)strlen(label);
  while (len > 0 && (label[len - 1] == '.' || label[len - 1] == ':')) len--;
  return snprintf(buf, (size_t)size, "%.*s", len, label);
}

int table_header(char *buf, int size, int model) {
  line_buf b = {buf, buf + size, 0};
  put_text(&b, "id\tstatus\titerations\trmse");
  for (int i = 0; i < fitParmNum[model]; i++) {
    put_text(&b, "\t");
    put_label(&b, model, i);
    put_text(&b, "\t");
    put_label(&b, model, i);
    put_text(&b, "_sd");
  }
  put_text(&b, "\tmessage\treason");
  return finish(&b, buf);
}

int table_row(char *buf, int size, int id, int status, const char *message) {
  line_buf b = {buf, buf + size, 0};
  int n = fitParmNum[fitFunc];
  put_int(&b, id);
  put_text(&b, "\t");
  put_text(&b, batch_status_names[status]);
  if (status == BATCH_REFUSED) {
    for (int i = 0; i < 2 + 2 * n; i++) put_text(&b, "\t");
  } else {
    put_text(&b, "\t");
    put_int(&b, itCount);
    put_text(&b, "\t");
    put_number(&b, rmse);
    for (int i = 0; i < n; i++) {
      put_text(&b, "\t");
      put_number(&b, fitParms[i]);
      put_text(&b, "\t");
      put_number(&b, fitStdDev[i]);
    }
  }
  put_text(&b, "\t");
  // A message without its line feed, and nothing that would split or quote the field.
  size_t len = message != NULL ? strlen(message) : 0;
  while (len > 0 && (message[len - 1] == '\n' || message[len - 1] == '\r')) len--;
  for (size_t i = 0; i < len; i++) {
    char c = message[i];
    put(&b, c == '\t' || c == '\n' || c == '\r' || c == '"' ? " " : &c, 1);
  }
  put_text(&b, "\t");
  if (status == BATCH_FAILED) put_reason(&b);
  return finish(&b, buf);
}

int start_line(char *buf, int size, int id, int model, const double *parms, const int *held) {
  line_buf b = {buf, buf + size, 0};
  int n = fitParmNum[model];
  // Model 12 reads values that it does not count; velquin starts any other at +0, free.
  for (int i = n; i < MAX_PARMS; i++) {
    if (held[i] || parms[i] != 0.0 || signbit(parms[i])) n = i + 1;
  }
  put_int(&b, id);
  for (int i = 0; i < n; i++) {
    put_text(&b, held[i] ? " =" : " ");
    put_number(&b, parms[i]);
  }
  return finish(&b, buf);
}

int start_header(char *buf, int size, int model) {
  line_buf b = {buf, buf + size, 0};
  put_text(&b, "# id");
  for (int i = 0; i < fitParmNum[model]; i++) {
    put_text(&b, " ");
    put_label(&b, model, i);
  }
  return finish(&b, buf);
}

namespace {

enum {
  FIXED_FIELDS = 4,                               // id, status, iterations, rmse
  MAX_FIELDS = FIXED_FIELDS + 2 * MAX_PARMS + 2,  // and message and reason
};

// Cuts line at its tabs into at most MAX_FIELDS fields, after taking off its line end.
// Returns the field count, or MAX_FIELDS + 1 when there are more.
int split_fields(char *line, char **fields) {
  size_t len = strlen(line);
  if (len > 0 && line[len - 1] == '\n') line[--len] = '\0';
  if (len > 0 && line[len - 1] == '\r') line[--len] = '\0';  // a table saved with CR-LF
  int n = 0;
  for (char *p = line;;) {
    if (n == MAX_FIELDS) return MAX_FIELDS + 1;
    fields[n++] = p;
    char *tab = strchr(p, '\t');
    if (tab == NULL) return n;
    *tab = '\0';
    p = tab + 1;
  }
}

int is_digit(char c) { return c >= '0' && c <= '9'; }

// Decimal digits with an optional sign, point and exponent: what velbatch, pandas and R
// write, and not the hexadecimal that strtod would also take.
int is_decimal(const char *p) {
  if (*p == '+' || *p == '-') p++;
  int digits = 0;
  for (; is_digit(*p); p++) digits++;
  if (*p == '.') {
    for (p++; is_digit(*p); p++) digits++;
  }
  if (digits == 0) return 0;
  if (*p == 'e' || *p == 'E') {
    p++;
    if (*p == '+' || *p == '-') p++;
    if (!is_digit(*p)) return 0;
    while (is_digit(*p)) p++;
  }
  return *p == '\0';
}

// inf and nan as C, numpy (inf, nan) and R (Inf, NaN) write them, with an optional sign.
int is_special(const char *p) {
  if (*p == '+' || *p == '-') p++;
  return strcasecmp(p, "inf") == 0 || strcasecmp(p, "infinity") == 0 || strcasecmp(p, "nan") == 0;
}

// A number field as velbatch writes it or as pandas and R write it back. A value that is not
// a number is nan, whether written nan, NaN, R's NA or pandas' empty field. Returns 1, or 0
// for anything else: a word, a number with more after it.
int read_double(const char *text, double *v) {
  if (text[0] == '\0' || strcmp(text, "NA") == 0) {
    *v = NAN;
    return 1;
  }
  if (!is_decimal(text) && !is_special(text)) return 0;
  *v = strtod(text, NULL);
  return 1;
}

// A whole number within the range of int, however written: 1000 by velbatch and R, 1000.0
// by pandas for a column that holds an empty field too, 1e+05 by R for a column of doubles.
int read_int(const char *text, int *v) {
  double d;
  if (!read_double(text, &d) || !(d >= INT_MIN && d <= INT_MAX) || d != floor(d)) return 0;
  *v = (int)d;
  return 1;
}

// Reports a line of the table that is not a row of it. Returns -1.
int bad_line(const table_reader *t, const char *what) {
  char msg[MESSAGE_SIZE + NAME_SIZE];
  snprintf(msg, sizeof msg, "Line %d of table file %s %s\n", t->lineNo, t->path, what);
  show_err(ERR_FATAL, "read_table", msg);
  return -1;
}

int read_error(const table_reader *t) {
  char msg[MESSAGE_SIZE + NAME_SIZE];
  snprintf(msg, sizeof msg, "Unable to read table file %s\n", t->path);
  show_err(ERR_FATAL, "read_table", msg);
  return -1;
}

// R's read.delim renames a column whose name is not one of R's: every character but letters,
// digits, '.' and '_' becomes '.' (Vo(1) becomes Vo.1.), and write.table writes it so.
char r_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || is_digit(c) || c == '.' || c == '_'
             ? c
             : '.';
}

// Whether the n bytes of text are those of names, or names as R renames them; the tabs
// between names stay tabs.
int same_names(const char *text, const char *names, size_t n) {
  for (size_t i = 0; i < n; i++) {
    if (text[i] != names[i] && (names[i] == '\t' || text[i] != r_char(names[i]))) return 0;
  }
  return 1;
}

}  // namespace

int table_start(table_reader *t, FILE *fp, const char *path) {
  t->fp = fp;
  t->path = path;
  t->lineNo = 1;
  t->parmCount = 0;
  t->hasReason = 0;
  skip_bom(fp);  // a table saved by a spreadsheet program
  int len = 0;
  long long taken;
  int got = read_whole_line(fp, t->header, sizeof t->header, &len, &taken, NULL) == LINE_READ;
  if (got) {
    char *fields[MAX_FIELDS + 1];
    char copy[ROW_SIZE + 1];
    memcpy(copy, t->header, sizeof copy);
    int n = split_fields(copy, fields);
    len = (int)strlen(t->header);
    while (len > 0 && (t->header[len - 1] == '\n' || t->header[len - 1] == '\r')) len--;
    t->header[len] = '\0';
    t->hasReason = n > 1 && strcmp(fields[n - 1], "reason") == 0;
    t->parmCount = (n - FIXED_FIELDS - 1 - t->hasReason) / 2;
    for (int model = 0; model <= LAST_MODEL; model++) {
      if (table_of_model(t, model)) return 1;
    }
  }
  if (!got && ferror(fp)) {
    read_error(t);
    return 0;
  }
  char msg[MESSAGE_SIZE + NAME_SIZE];
  snprintf(msg, sizeof msg,
           "%s is not a table of velbatch: its first line is not the header of a model's table\n",
           path);
  show_err(ERR_FATAL, "read_table", msg);
  return 0;
}

// The columns before message must be the writer's, or R's renaming of them; message may be
// followed by reason, as in the tables of velbatch that give the reason of a failure.
int table_of_model(const table_reader *t, int model) {
  char buf[ROW_SIZE + 1];
  int len = table_header(buf, ROW_SIZE, model);
  if (len <= 0 || fitParmNum[model] != t->parmCount) return 0;
  buf[len] = '\0';
  const char *message = strstr(buf, "\tmessage");
  if (message == NULL) return 0;
  size_t n = (size_t)(message - buf);
  if (strlen(t->header) < n || !same_names(t->header, buf, n)) return 0;
  return strcmp(t->header + n, t->hasReason ? "\tmessage\treason" : "\tmessage") == 0;
}

int table_parm_index(const table_reader *t, const char *label) {
  char copy[ROW_SIZE + 1];
  char *fields[MAX_FIELDS + 1];
  memcpy(copy, t->header, sizeof copy);
  split_fields(copy, fields);
  size_t n = strlen(label);
  for (int i = 0; i < t->parmCount; i++) {
    const char *name = fields[FIXED_FIELDS + 2 * i];
    // Either may be R's renaming of the other: the label as the catalogue writes it, or
    // as the table of R shows it.
    if (strlen(name) == n && (same_names(name, label, n) || same_names(label, name, n))) return i;
  }
  return -1;
}

// Reads the rmse, parameter and deviation fields of a row whose id and status are read:
// numbers, nan where they are not, none in a refused row. Returns 1, or -1 after a framed
// report.
static int read_numbers(const table_reader *t, char **fields, table_entry *e) {
  double v;
  int numbers = 1, any = 0;
  for (int f = FIXED_FIELDS - 1; f < FIXED_FIELDS + 2 * t->parmCount; f++) {
    numbers = numbers && read_double(fields[f], &v);
    if (!numbers) break;
    any = any || !isnan(v);
    int k = f - FIXED_FIELDS;
    double *to = f == FIXED_FIELDS - 1 ? &e->rmse : k % 2 ? &e->stdDev[k / 2] : &e->parms[k / 2];
    *to = v;
  }
  if (!numbers) return bad_line(t, "has a field that is not a number");
  if (e->status != BATCH_REFUSED) {
    if (read_int(fields[2], &e->iterations)) return 1;
    return bad_line(t, "has an iteration count that is not a whole number");
  }
  if (any || !read_double(fields[2], &v) || !isnan(v)) {
    return bad_line(t, "is a refused row with numbers");
  }
  e->rmse = 0.0;
  for (int i = 0; i < MAX_PARMS; i++) e->parms[i] = e->stdDev[i] = 0.0;
  return 1;
}

int table_next(table_reader *t, table_entry *e) {
  char line[ROW_SIZE + 1];
  t->lineNo++;
  int len;
  long long taken;
  int got = read_whole_line(t->fp, line, sizeof line, &len, &taken, NULL);
  if (got == LINE_ERROR) return read_error(t);
  if (got == LINE_END) return 0;
  if (got == LINE_TOO_LONG) return bad_line(t, "is too long");
  char *fields[MAX_FIELDS + 1];
  int n = split_fields(line, fields);
  int message = FIXED_FIELDS + 2 * t->parmCount;
  int want = message + 1 + t->hasReason;
  if (n != want) {
    char what[64];
    snprintf(what, sizeof what, "has %d fields where its header has %d", n, want);
    return bad_line(t, what);
  }
  int status = -1;
  for (int s = 0; s < 3; s++) {
    if (strcmp(fields[1], batch_status_names[s]) == 0) status = s;
  }
  if (!read_int(fields[0], &e->id) || status < 0) {
    return bad_line(t, "does not begin with a dataset id and ok, failed or refused");
  }
  e->status = status;
  e->iterations = 0;
  for (int i = 0; i < MAX_PARMS; i++) e->parms[i] = e->stdDev[i] = 0.0;
  if (read_numbers(t, fields, e) < 0) return -1;
  // An empty message: empty, or NA where R read a column of empty fields as missing values.
  snprintf(e->message, sizeof e->message, "%s",
           strcmp(fields[message], "NA") == 0 ? "" : fields[message]);
  snprintf(e->reason, sizeof e->reason, "%s",
           !t->hasReason || strcmp(fields[message + 1], "NA") == 0 ? "" : fields[message + 1]);
  return 1;
}

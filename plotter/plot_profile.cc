// The profile of one column of a table: its rows go into the script as they are read, in
// table order, and what they held (counts, ranges) decides the axes and the key.
#include "plot_profile.h"

#include <math.h>
#include <string.h>

#include "models.h"
#include "plot_script.h"
#include "show_err.h"

// Messages name the table file; with the longest name they outgrow MESSAGE_SIZE.
enum { TABLE_MESSAGE_SIZE = MESSAGE_SIZE + NAME_SIZE };

// What the rows of a profile held, for its axes and key.
struct profile_summary {
  const char *title;
  const char *column;  // the y axis: the column's name
  int withSd;          // error bars of the standard deviations
  int ok, failed, refused;
  double idLo, idHi;  // the ids of all rows
  double yLo, yHi;    // the finite values of the ok rows, with their bars
};

// The model of a table, as its header tells it: the model's label, or the numbers of all
// the models whose tables have this header ("models 1, 3, 10 or 27").
static void table_model_name(const table_reader *t, char *buf, int size) {
  int models[LAST_MODEL + 1], n = 0;
  for (int m = 0; m <= LAST_MODEL; m++) {
    if (table_of_model(t, m)) models[n++] = m;
  }
  int oneLabel = fitLabel[models[0]] != NULL;  // table_start found one at least
  for (int i = 1; i < n && oneLabel; i++) {
    oneLabel = fitLabel[models[i]] != NULL && strcmp(fitLabel[models[i]], fitLabel[models[0]]) == 0;
  }
  if (oneLabel) {
    snprintf(buf, size, "%s", fitLabel[models[0]]);
    return;
  }
  int len = snprintf(buf, size, "model%s %d", n > 1 ? "s" : "", models[0]);
  for (int i = 1; i < n && len < size; i++) {
    len += snprintf(buf + len, size - len, "%s%d", i == n - 1 ? " or " : ", ", models[i]);
  }
}

// Reports that t has no column param. The message lists what can be given: rmse and
// every parameter the header names.
static void report_no_column(const table_reader *t, const char *param) {
  char msg[TABLE_MESSAGE_SIZE];
  int len =
      snprintf(msg, sizeof msg, "Table file %s has no column %.64s: give rmse", t->path, param);
  char header[ROW_SIZE + 1];
  memcpy(header, t->header, sizeof header);
  char *field = strtok(header, "\t");
  for (int f = 0; field != NULL && len < (int)sizeof msg; f++, field = strtok(NULL, "\t")) {
    // id, status, iterations, rmse, then each label and its _sd, then message
    if (f < 4 || f % 2 != 0 || f >= 4 + 2 * t->parmCount) continue;
    len += snprintf(msg + len, sizeof msg - len, "%s%s", f == 2 + 2 * t->parmCount ? " or " : ", ",
                    field);
  }
  if (len < (int)sizeof msg - 1) snprintf(msg + len, sizeof msg - len, "\n");
  show_err(ERR_FATAL, "draw_profile", msg);
}

static void put_profile_row(FILE *fp, int id, int status, double value, double sd, int withSd) {
  fprintf(fp, "%d %s", id, batch_status_names[status]);
  // A failed fit's values are where it began and a refused dataset has none: neither
  // reaches the script, so that nothing can draw them as results.
  if (status == BATCH_OK) {
    fputc(' ', fp);
    put_number(fp, value);
    if (withSd) {
      fputc(' ', fp);
      put_number(fp, isfinite(sd) ? sd : 0.0);  // no bar rather than no point
    }
  }
  fputc('\n', fp);
}

// Writes the rows of t on to its end into the data block, column's value (-1: the RMSE)
// and deviation, and what they held into *s. Returns the number of rows, or -1 after a
// framed report.
static int put_profile_rows(FILE *fp, table_reader *t, int column, profile_summary *s) {
  fprintf(fp, "$rows << EOD\n");
  int rows = 0, anyValue = 0, got;
  static table_entry e;
  while ((got = table_next(t, &e)) == 1) {
    double value = column >= 0 ? e.parms[column] : e.rmse;
    double sd = column >= 0 ? e.stdDev[column] : 0.0;
    if (rows == 0 || e.id < s->idLo) s->idLo = e.id;
    if (rows == 0 || e.id > s->idHi) s->idHi = e.id;
    rows++;
    if (e.status == BATCH_FAILED) s->failed++;
    if (e.status == BATCH_REFUSED) s->refused++;
    if (e.status == BATCH_OK) {
      s->ok++;
      if (!isfinite(value)) continue;  // a value without a place on the axis
      double bar = isfinite(sd) ? fabs(sd) : 0.0;
      if (!anyValue || value - bar < s->yLo) s->yLo = value - bar;
      if (!anyValue || value + bar > s->yHi) s->yHi = value + bar;
      anyValue = 1;
    }
    put_profile_row(fp, e.id, e.status, value, sd, s->withSd);
  }
  if (!anyValue) s->yLo = s->yHi = 0.0;  // every value of the column is nan or infinite
  fprintf(fp, "EOD\n");
  return got < 0 ? -1 : rows;
}

// Whether the rows of t make a profile. Returns 1, or 0 after a framed report.
static int check_profile(const table_reader *t, int rows, const profile_summary *s) {
  char msg[TABLE_MESSAGE_SIZE];
  if (rows < 2) {
    snprintf(msg, sizeof msg, "A profile needs two datasets or more; table file %s has %d\n",
             t->path, rows);
    show_err(ERR_FATAL, "draw_profile", msg);
    return 0;
  }
  if (s->ok == 0) {
    snprintf(msg, sizeof msg,
             "No fit of table file %s succeeded: it has no value to draw, only starting values\n",
             t->path);
    show_err(ERR_FATAL, "draw_profile", msg);
    return 0;
  }
  return 1;
}

// The panel, its title above it and the key between them, and the axes' names.
static void put_profile_frame(FILE *fp, int titleSize, const profile_summary *s) {
  const plot_layout *l = &page_layout;
  put_margins(fp, &whole_canvas, l, l->dataTop, l->residBottom);
  put_title_label(fp, s->title, &whole_canvas, (l->left + l->right) / 2.0, l->titleY, titleSize);
  fputs("\nset key at ", fp);
  put_screen(fp, &whole_canvas, l->right, l->keyY);
  fputs(" right bottom horizontal samplen 1.5 invert noenhanced\n", fp);
  put_axes_style(fp);
  fprintf(fp, "set xlabel 'dataset id'\n");
  fprintf(fp, "set ylabel ");
  put_quoted(fp, s->column);
  fprintf(fp, " noenhanced\n");
}

// Sets both ranges: the ids, with a band's half width *half on either side, and the values
// from *lo to *hi, which the bands of failed and refused datasets fill.
static void put_profile_ranges(FILE *fp, const profile_summary *s, double *half, double *lo,
                               double *hi) {
  // A band of a dataset's width, or of a pixel or two where the ids are many.
  double span = s->idHi - s->idLo;
  *half = span / 600.0 > 0.4 ? span / 600.0 : 0.4;
  put_range(fp, 'x', s->idLo - *half, s->idHi + *half, 0.02);
  if (span < 10.0) fprintf(fp, "set xtics 1\n");  // ids are whole: no tic between two
  double w = s->yHi - s->yLo;
  if (w == 0.0) w = fabs(s->yLo) > 0.0 ? fabs(s->yLo) : 1.0;
  *lo = s->yLo - 0.06 * w;
  *hi = s->yHi + 0.06 * w;
  fprintf(fp, "set yrange [");
  put_number(fp, *lo);
  fputc(':', fp);
  put_number(fp, *hi);
  fprintf(fp, "]\n");
}

// Writes the plot element that shades the rows of status from lo to hi at their ids, half
// wide on either side, up to its title.
static void put_band(FILE *fp, const char *sep, const char *status, double lo, double hi,
                     double half, const char *opacity, const char *colour) {
  fprintf(fp, "%s$rows using 1:(strcol(2) eq '%s' ? ", sep, status);
  put_number(fp, (lo + hi) / 2.0);
  fputs(" : NaN):(", fp);
  put_number(fp, half);
  fputs("):(", fp);
  put_number(fp, (hi - lo) / 2.0);
  fprintf(fp, ") with boxxyerror fs solid %s noborder fc rgb '%s' ", opacity, colour);
}

// Refused and failed datasets are shaded over the whole height at their id, and a failed
// fit is marked on the axis too, an open triangle in another colour: neither stands where
// a value would.
static void put_profile_plot(FILE *fp, double markSize, const profile_summary *s, double half,
                             double lo, double hi) {
  char entry[128];
  const char *sep = "plot ";
  if (s->refused > 0) {
    snprintf(entry, sizeof entry, "%d refused", s->refused);
    put_band(fp, sep, "refused", lo, hi, half, "0.45", "#b0b0b0");
    fputs("title ", fp);
    put_quoted(fp, entry);
    sep = ", \\\n  ";
  }
  if (s->failed > 0) {
    snprintf(entry, sizeof entry, "%d failed: no value", s->failed);
    put_band(fp, sep, "failed", lo, hi, half, "0.3", "#f5b041");
    fprintf(fp, "notitle, \\\n  $rows using 1:(strcol(2) eq 'failed' ? ");
    put_number(fp, lo + 0.025 * (hi - lo));
    fprintf(fp, " : NaN) with points pt 8 ps %g lc rgb '#d35400' title ", markSize * 1.6);
    put_quoted(fp, entry);
    sep = ", \\\n  ";
  }
  if (s->withSd) {
    snprintf(entry, sizeof entry, "%s ± sd, %d fit%s", s->column, s->ok, s->ok == 1 ? "" : "s");
    fprintf(fp,
            "%s$rows using 1:(strcol(2) eq 'ok' ? $3 : NaN):4 with yerrorbars pt 7 ps %g "
            "lw 1.2 lc rgb '#1f4e79' title ",
            sep, markSize);
  } else {
    snprintf(entry, sizeof entry, "%s, %d fit%s", s->column, s->ok, s->ok == 1 ? "" : "s");
    fprintf(fp,
            "%s$rows using 1:(strcol(2) eq 'ok' ? $3 : NaN) with points pt 7 ps %g "
            "lc rgb '#1f4e79' title ",
            sep, markSize);
  }
  put_quoted(fp, entry);
  fputc('\n', fp);
}

int write_profile_script(FILE *fp, int format, table_reader *t, const char *param) {
  int rmseColumn = strcmp(param, "rmse") == 0;
  int column = rmseColumn ? -1 : table_parm_index(t, param);
  if (column < 0 && !rmseColumn) {
    report_no_column(t, param);
    return 0;
  }
  profile_summary s;
  memset(&s, 0, sizeof s);
  char title[160];
  table_model_name(t, title, sizeof title);
  int len = (int)strlen(title);
  snprintf(title + len, sizeof title - len, ": %.64s by dataset", param);
  s.title = title;
  s.column = param;
  s.withSd = column >= 0;
  put_terminal(fp, format);
  int rows = put_profile_rows(fp, t, column, &s);
  if (rows < 0 || !check_profile(t, rows, &s)) return 0;
  const plot_style *style = &plot_styles[format];
  double half, lo, hi;
  put_profile_frame(fp, style->titleSize, &s);
  put_profile_ranges(fp, &s, &half, &lo, &hi);
  put_profile_plot(fp, style->markSize, &s, half, lo, hi);
  return 1;
}

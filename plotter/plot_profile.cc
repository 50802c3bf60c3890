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

enum {
  DENSE_PROFILE = 200,  // more datasets than this: bars without caps, marks smaller
};

// What the rows of a profile held, for its axes and key.
struct profile_summary {
  const char *title;
  const char *column;  // the y axis: the column's name
  int withSd;          // error bars of the standard deviations
  int logX;            // the ids on a log scale
  int ok, failed, refused;
  int leftOut;        // rows of id <= 0, which a log scale cannot place
  double idLo, idHi;  // the ids of the rows drawn
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
  int rows = 0, drawn = 0, anyValue = 0, got;
  static table_entry e;
  while ((got = table_next(t, &e)) == 1) {
    double value = column >= 0 ? e.parms[column] : e.rmse;
    double sd = column >= 0 ? e.stdDev[column] : 0.0;
    rows++;
    if (s->logX && e.id <= 0) {
      s->leftOut++;
      continue;
    }
    if (drawn == 0 || e.id < s->idLo) s->idLo = e.id;
    if (drawn == 0 || e.id > s->idHi) s->idHi = e.id;
    drawn++;
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
  if (s->ok == 0 && s->leftOut > 0) {
    snprintf(msg, sizeof msg,
             "Table file %s has no successful fit of an id above 0 to draw with --logx\n", t->path);
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
  // The key hangs from just below the title: a key too wide for one row takes a second
  // row above the panel rather than running into the title.
  fputs("\nset key at ", fp);
  put_screen(fp, &whole_canvas, l->right, l->titleY - 0.02);
  fputs(" right top horizontal samplen 1.5 invert noenhanced\n", fp);
  put_axes_style(fp);
  fprintf(fp, "set xlabel 'dataset id'\n");
  fprintf(fp, "set ylabel ");
  put_quoted(fp, s->column);
  fprintf(fp, " noenhanced\n");
}

// Defines band_lo(x) and band_hi(x), where the band of the dataset of id x begins and ends,
// and sets the x range to hold the first and the last. A band is 0.8 of an id wide, so that
// two neighbours stay apart, and at least a pixel or two where the ids are many; on a log
// scale the same as factors: 1 + 0.4 / x either side, or a 600th of the axis in log.
static void put_id_axis(FILE *fp, const profile_summary *s) {
  double span = s->idHi - s->idLo;
  if (!s->logX) {
    double half = span / 600.0 > 0.4 ? span / 600.0 : 0.4;
    fputs("band_lo(x) = x - ", fp);
    put_number(fp, half);
    fputs("\nband_hi(x) = x + ", fp);
    put_number(fp, half);
    fputc('\n', fp);
    put_range(fp, 'x', s->idLo - half, s->idHi + half, 0.02);
    if (span < 10.0) fprintf(fp, "set xtics 1\n");  // ids are whole: no tic between two
    return;
  }
  double least = pow(s->idHi / s->idLo, 1.0 / 600.0);
  fputs("band_f(x) = 1 + 0.4 / x > ", fp);
  put_number(fp, least);
  fputs(" ? 1 + 0.4 / x : ", fp);
  put_number(fp, least);
  fputs("\nband_lo(x) = x / band_f(x)\nband_hi(x) = x * band_f(x)\nset logscale x\n", fp);
  double first = 1.0 + 0.4 / s->idLo, last = 1.0 + 0.4 / s->idHi;
  put_log_range(fp, 'x', s->idLo / (first > least ? first : least),
                s->idHi * (last > least ? last : least), 0.02);
}

// Whether the datasets are too many to draw each apart: bars without caps, smaller marks,
// and the failed and refused datasets in strips below the values, not over the whole height.
static int dense(const profile_summary *s) {
  return s->ok + s->failed + s->refused > DENSE_PROFILE;
}

// Where the values and the bands go: the y range, and the bands of the failed and of the
// refused datasets, each from lo to hi.
struct profile_places {
  double lo, hi;
  double failedLo, failedHi;
  double refusedLo, refusedHi;
};

// Sets the range of the values, with room below them for the strips of a dense profile.
static void put_value_range(FILE *fp, const profile_summary *s, profile_places *p) {
  double w = s->yHi - s->yLo;
  if (w == 0.0) w = fabs(s->yLo) > 0.0 ? fabs(s->yLo) : 1.0;
  p->lo = p->failedLo = p->refusedLo = s->yLo - 0.06 * w;
  p->hi = p->failedHi = p->refusedHi = s->yHi + 0.06 * w;
  if (dense(s) && s->failed + s->refused > 0) {
    double strip = 0.05 * w;
    p->refusedHi = p->lo;
    p->refusedLo = p->failedHi = p->lo - strip;
    p->failedLo = p->lo = p->lo - 2.0 * strip;
  }
  fprintf(fp, "set yrange [");
  put_number(fp, p->lo);
  fputc(':', fp);
  put_number(fp, p->hi);
  fprintf(fp, "]\n");
}

// The bands of a status in two shades by the parity of the id, so that the bands of
// neighbours that are both failed, or both refused, stay apart where they touch.
struct band_style {
  const char *status;
  const char *opacity;
  const char *shades[2];
};
static const band_style refused_band = {"refused", "0.5", {"#8a96a3", "#4f5d6b"}};
static const band_style failed_band = {"failed", "0.55", {"#f5a623", "#e8590c"}};

// Writes the plot elements that shade the rows of b's status from lo to hi, each between
// band_lo and band_hi of its id, the first titled title (NULL: none).
static void put_bands(FILE *fp, const char **sep, const band_style *b, double lo, double hi,
                      const char *title) {
  for (int parity = 0; parity < 2; parity++) {
    fprintf(fp, "%s$rows using 1:(strcol(2) eq '%s' && int($1) %% 2 %s 0 ? ", *sep, b->status,
            parity ? "!=" : "==");
    put_number(fp, (lo + hi) / 2.0);
    fputs(" : NaN):(band_lo($1)):(band_hi($1)):(", fp);
    put_number(fp, lo);
    fputs("):(", fp);
    put_number(fp, hi);
    fprintf(fp, ") with boxxyerror fs solid %s noborder fc rgb '%s' ", b->opacity,
            b->shades[parity]);
    if (parity == 0 && title != NULL) {
      fputs("title ", fp);
      put_quoted(fp, title);
    } else {
      fputs("notitle", fp);
    }
    *sep = ", \\\n  ";
  }
}

// The values of the ok rows, with their bars. Many fits are drawn lighter: the bars
// without caps, pale, behind the marks, and the marks smaller and see-through, so that
// where they crowd, their density shows; the key says so.
static void put_values(FILE *fp, const char *sep, double markSize, const profile_summary *s) {
  char entry[160];
  snprintf(entry, sizeof entry, "%s%s, %d fit%s", s->column,
           !s->withSd ? ""
           : dense(s) ? " ± sd (no caps)"
                      : " ± sd",
           s->ok, s->ok == 1 ? "" : "s");
  const char *value = "$rows using 1:(strcol(2) eq 'ok' ? $3 : NaN)";
  if (dense(s)) {
    double shrink = sqrt((double)DENSE_PROFILE / (s->ok > 0 ? s->ok : 1));
    markSize *= shrink < 0.3 ? 0.3 : shrink > 1.0 ? 1.0 : shrink;
    if (s->withSd) {
      fprintf(fp, "%s%s:4 with yerrorbars ps 0 lw 0.6 lc rgb '#a9bdd1' notitle", sep, value);
      sep = ", \\\n  ";
    }
    fprintf(fp, "%s%s with points pt 7 ps %g lc rgb '#401f4e79' title ", sep, value, markSize);
  } else if (s->withSd) {
    fprintf(fp, "%s%s:4 with yerrorbars pt 7 ps %g lw 1.2 lc rgb '#1f4e79' title ", sep, value,
            markSize);
  } else {
    fprintf(fp, "%s%s with points pt 7 ps %g lc rgb '#1f4e79' title ", sep, value, markSize);
  }
  put_quoted(fp, entry);
}

// Refused and failed datasets are shaded at their id, and a failed fit is marked on the
// axis too, an open triangle in another colour: neither stands where a value would. The
// ids that a log scale cannot place are counted in the key.
static void put_profile_plot(FILE *fp, double markSize, const profile_summary *s,
                             const profile_places *p) {
  char entry[128];
  const char *sep = "plot ";
  if (dense(s)) fprintf(fp, "set bars 0\n");
  if (s->refused > 0) {
    snprintf(entry, sizeof entry, "%d refused", s->refused);
    put_bands(fp, &sep, &refused_band, p->refusedLo, p->refusedHi, entry);
  }
  if (s->failed > 0) {
    snprintf(entry, sizeof entry, "%d failed: no value", s->failed);
    put_bands(fp, &sep, &failed_band, p->failedLo, p->failedHi, dense(s) ? entry : NULL);
    if (!dense(s)) {  // a strip of its own is mark enough
      fprintf(fp, "%s$rows using 1:(strcol(2) eq 'failed' ? ", sep);
      put_number(fp, p->lo + 0.025 * (p->hi - p->lo));
      fprintf(fp, " : NaN) with points pt 8 ps %g lc rgb '#d35400' title ", markSize * 1.6);
      put_quoted(fp, entry);
    }
  }
  put_values(fp, sep, markSize, s);
  if (s->leftOut > 0) {
    snprintf(entry, sizeof entry, "%d of id ≤ 0 not drawn", s->leftOut);
    fputs(", \\\n  keyentry title ", fp);  // a line of the key without a sample
    put_quoted(fp, entry);
  }
  fputc('\n', fp);
}

int write_profile_script(FILE *fp, int format, table_reader *t, const char *param, int logX) {
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
  s.logX = logX;
  put_terminal(fp, format);
  int rows = put_profile_rows(fp, t, column, &s);
  if (rows < 0 || !check_profile(t, rows, &s)) return 0;
  const plot_style *style = &plot_styles[format];
  profile_places places;
  put_profile_frame(fp, style->titleSize, &s);
  put_id_axis(fp, &s);
  put_value_range(fp, &s, &places);
  put_profile_plot(fp, style->markSize, &s, &places);
  return 1;
}

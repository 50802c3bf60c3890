// The words of velplot's gnuplot scripts, and the tables of what the formats and the two
// sizes of picture differ in. Numbers are written here only: a script names exactly the
// doubles that were computed.
#include "plot_script.h"

#include <math.h>
#include <stdlib.h>

#include "number_format.h"

static int lower_char(int c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; }

static int ends_with(const char *text, const char *suffix) {
  size_t n = 0, m = 0;
  while (text[n] != '\0') n++;
  while (suffix[m] != '\0') m++;
  if (n < m) return 0;
  for (size_t i = 0; i < m; i++) {
    if (lower_char((unsigned char)text[n - m + i]) != suffix[i]) return 0;
  }
  return 1;
}

int plot_format(const char *fname) {
  if (ends_with(fname, ".svg")) return PLOT_SVG;
  if (ends_with(fname, ".png")) return PLOT_PNG;
  if (ends_with(fname, ".pdf")) return PLOT_PDF;
  return -1;
}

// clang-format off
const plot_style plot_styles[PLOT_FORMATS] = {
//  terminal of a picture of its own                                        grid terminal  grid font                                            title  marks  cell title  cell marks
  {"svg size 800,600 enhanced font 'sans-serif,14' background '#ffffff'",  "svg",         "enhanced font 'sans-serif,11' background '#ffffff'", 17,   0.65,  12,         0.45},  // PLOT_SVG
  {"pngcairo size 800,600 enhanced font 'Sans,11'",                         "pngcairo",    "enhanced font 'Sans,9'",                             14,   1.0,   10,         0.7},   // PLOT_PNG
  {"pdfcairo size 6in,4.5in enhanced font 'Sans,10'",                       "pdfcairo",    "",                                                   13,   0.55,  0,          0.0},   // PLOT_PDF
};
// clang-format on

const plot_layout page_layout = {0.13, 0.96, 0.87, 0.38, 0.33, 0.11, 0.955, 0.885};
const plot_layout cell_layout = {0.21, 0.95, 0.87, 0.44, 0.38, 0.16, 0.945, 0.0};
const plot_frame whole_canvas = {0.0, 0.0, 1.0, 1.0};

// The script stays readable and gnuplot draws what was computed.
void put_number(FILE *fp, double v) {
  char buf[32];
  fwrite(buf, 1, (size_t)format_shortest(buf, sizeof buf, v), fp);
}

void put_point(FILE *fp, double x, double y) {
  put_number(fp, x);
  fputc(' ', fp);
  put_number(fp, y);
  fputc('\n', fp);
}

int put_range(FILE *fp, char axis, double lo, double hi, double frac) {
  double w = hi - lo;
  if (w == 0.0) w = fabs(lo) > 0.0 ? fabs(lo) : 1.0;
  double a = lo - frac * w, b = hi + frac * w;
  if (isfinite(a) && isfinite(b) && isfinite(b - a)) {
    fprintf(fp, "set %crange [", axis);
    put_number(fp, a);
    fputc(':', fp);
    put_number(fp, b);
    fputs("]\n", fp);
    return 1;
  }
  fprintf(fp, "set autoscale %c\n", axis);
  return 0;
}

int put_log_range(FILE *fp, char axis, double lo, double hi, double frac) {
  double w = log10(hi / lo);
  if (w == 0.0) w = 1.0;  // one value: widened as a decade would be
  double by = pow(10.0, frac * w);
  double a = lo / by, b = hi * by;
  if (!(isfinite(a) && isfinite(b) && a > 0.0)) {
    fprintf(fp, "set autoscale %c\n", axis);
    return 0;
  }
  fprintf(fp, "set %crange [", axis);
  put_number(fp, a);
  fputc(':', fp);
  put_number(fp, b);
  fputs("]\n", fp);
  // gnuplot labels the powers of ten only: a range of less than two decades gets 2 and 5
  // times them too, or it would have one label or none.
  if (b / a >= 100.0) return 1;
  static const double steps[] = {2.0, 5.0};
  int tics = 0;
  for (int e = (int)floor(log10(a)); e <= (int)ceil(log10(b)); e++) {
    for (double m : steps) {
      double at = m * pow(10.0, e);
      if (at < a || at > b) continue;
      if (tics++ == 0) {
        fprintf(fp, "set %ctics add (", axis);
      } else {
        fputs(", ", fp);
      }
      put_number(fp, at);
    }
  }
  if (tics > 0) fputs(")\n", fp);
  return 1;
}

// Within single quotes only the quote itself needs care: it is doubled. A line end would
// end the command.
void put_quoted(FILE *fp, const char *text) {
  fputc('\'', fp);
  for (const char *p = text; *p != '\0'; p++) {
    if (*p == '\'') {
      fputs("''", fp);
    } else if (*p == '\n' || *p == '\r') {
      fputc(' ', fp);
    } else {
      fputc(*p, fp);
    }
  }
  fputc('\'', fp);
}

void put_screen(FILE *fp, const plot_frame *f, double fx, double fy) {
  fputs("screen ", fp);
  put_number(fp, f->x0 + fx * f->w);
  fputs(", screen ", fp);
  put_number(fp, f->y0 + fy * f->h);
}

void put_margins(FILE *fp, const plot_frame *f, const plot_layout *l, double top, double bottom) {
  fputs("set lmargin at screen ", fp);
  put_number(fp, f->x0 + l->left * f->w);
  fputs("\nset rmargin at screen ", fp);
  put_number(fp, f->x0 + l->right * f->w);
  fputs("\nset tmargin at screen ", fp);
  put_number(fp, f->y0 + top * f->h);
  fputs("\nset bmargin at screen ", fp);
  put_number(fp, f->y0 + bottom * f->h);
  fputc('\n', fp);
}

// A title is a label rather than gnuplot's title, which would take room from the panel.
void put_title_label(FILE *fp, const char *text, const plot_frame *f, double fx, double fy,
                     int size) {
  fprintf(fp, "set label 1 ");
  put_quoted(fp, text);
  fputs(" at ", fp);
  put_screen(fp, f, fx, fy);
  fprintf(fp, " center noenhanced font ',%d'", size);
}

void put_axes_style(FILE *fp) {
  fprintf(fp, "set border lw 1.2\n");
  fprintf(fp, "set tics nomirror out scale 0.6\n");
  fprintf(fp, "set grid xtics ytics back lt 1 lw 1 lc rgb '#e8e8e8'\n");
}

void put_terminal(FILE *fp, int format) {
  fprintf(fp, "set terminal %s\n", plot_styles[format].terminal);
  fprintf(fp, "set encoding utf8\n");  // the degree sign of the temperature axes
}

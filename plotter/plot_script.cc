// The picture of a fit: model values on a curve and at the data points, and the gnuplot
// script that draws data, curve and residuals in two panels sharing the x axis, on a page
// of its own or in a cell of a grid. Every model value comes from fnf, as in the fit itself.
#include "plot_script.h"

#include <math.h>
#include <stdlib.h>

#include "batch_table.h"
#include "models.h"
#include "run_state.h"

double curveX[CURVE_SIZE];
double curveY[CURVE_SIZE];
int curveOk[CURVE_SIZE];
int curveLen;
double residY[MAX_POINTS];
int residOk[MAX_POINTS];

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

// What x means for the models whose catalogue entry says it.
struct x_axis_row {
  int model;
  const char *name;
};

// clang-format off
static const x_axis_row x_axis_rows[] = {
//   no  x axis
  {   4, "delay"},
  {   5, "delay"},
  {   8, "delay"},
  {   9, "pH"},
  {  10, "angle (degrees)"},
  {  13, "temperature (°C)"},
  {  14, "temperature (°C)"},
  {  20, "denaturant"},
  {  21, "denaturant"},
  {  22, "temperature (K)"},
  {  23, "temperature (K)"},
  {  24, "temperature (K)"},
  {  26, "delay"},
  {  27, "angle (radians)"},
  {  28, "angle (degrees)"},
};
// clang-format on

const char *x_axis_name(int model) {
  for (const x_axis_row &row : x_axis_rows) {
    if (row.model == model) return row.name;
  }
  return "x";
}

static int point_is_finite(int i) { return isfinite(xOffsetData[i]) && isfinite(yData[i]); }

// Model value at (x, x2), or 0 when fnf refuses the point or its value is not finite.
static int model_at(double x, double x2, double *y) {
  double v;
  if (!fnf(fitFunc, &v, x, x2, fitParms) || !isfinite(v)) return 0;
  *y = v;
  return 1;
}

static int by_x(const void *a, const void *b) {
  int i = *(const int *)a, j = *(const int *)b;
  if (xOffsetData[i] < xOffsetData[j]) return -1;
  if (xOffsetData[i] > xOffsetData[j]) return 1;
  return i - j;  // equal x keep the file's order, so every run draws the same line
}

int compute_plot(void) {
  int finite = 0, anyResid = 0, anyCurve = 0;
  double lo = 0.0, hi = 0.0;
  for (int i = 0; i < numData; i++) {
    residOk[i] = 0;
    if (!point_is_finite(i)) continue;
    if (finite == 0 || xOffsetData[i] < lo) lo = xOffsetData[i];
    if (finite == 0 || xOffsetData[i] > hi) hi = xOffsetData[i];
    finite++;
    double v;
    if (model_at(xOffsetData[i], tData[i], &v) && isfinite(v - yData[i])) {
      residY[i] = v - yData[i];
      residOk[i] = 1;
      anyResid = 1;
    }
  }
  if (finite == 0) return 0;

  if (numDataCol == 3) {
    // The model depends on x2 as well, so between data points there is nothing to draw.
    static int order[MAX_POINTS];
    int n = 0;
    for (int i = 0; i < numData; i++) {
      if (point_is_finite(i)) order[n++] = i;
    }
    qsort(order, (size_t)n, sizeof order[0], by_x);
    for (int k = 0; k < n; k++) {
      int i = order[k];
      curveX[k] = xOffsetData[i];
      curveOk[k] = model_at(xOffsetData[i], tData[i], &curveY[k]);
    }
    curveLen = n;
  } else {
    for (int k = 0; k < GRID_POINTS; k++) {
      // The last point is hi itself, which the sum below may miss by a rounding.
      double x = k == GRID_POINTS - 1 ? hi : lo + (hi - lo) * k / (GRID_POINTS - 1);
      curveX[k] = x;
      curveOk[k] = model_at(x, 0.0, &curveY[k]);
    }
    curveLen = GRID_POINTS;
  }
  for (int k = 0; k < curveLen; k++) {
    if (curveOk[k]) anyCurve = 1;
  }
  return anyResid && anyCurve;
}


// Writes v with the fewest digits, from 15 to 17, that read back as v exactly: the script
// stays readable and gnuplot draws what was computed.
static void put_number(FILE *fp, double v) {
  char buf[32];
  for (int digits = 15;; digits++) {
    snprintf(buf, sizeof buf, "%.*g", digits, v);
    if (digits == 17 || strtod(buf, NULL) == v) break;  // 17 digits always read back
  }
  fputs(buf, fp);
}

static void put_point(FILE *fp, double x, double y) {
  put_number(fp, x);
  fputc(' ', fp);
  put_number(fp, y);
  fputc('\n', fp);
}

// Sets the range of axis to [lo, hi] widened by frac of its width on each side (around a
// single value, by frac of its size). Ends that would not be finite leave it to gnuplot.
// Returns 1 when the range was set.
static int put_range(FILE *fp, char axis, double lo, double hi, double frac) {
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

// The step of 1, 2 or 5 times a power of ten nearest above about x: a short panel with
// gnuplot's own choice crowds its labels.
static double tic_step(double x) {
  double p = pow(10.0, floor(log10(x)));
  double m = x / p;
  if (m < 1.5) return p;
  if (m < 3.5) return 2.0 * p;
  if (m < 7.5) return 5.0 * p;
  return 10.0 * p;
}

// A gnuplot string in single quotes, where only the quote itself needs care: it is
// doubled. A line end would end the command, so it becomes a blank.
static void put_quoted(FILE *fp, const char *text) {
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

// What differs between the formats: the terminals measure fonts and marks differently,
// and these sizes make the pictures of the three formats look alike. A grid's pictures
// are small, with a smaller font.
struct plot_style {
  const char *terminal;
  const char *gridTerminal;  // with the size of the whole grid after it
  const char *gridOptions;
  int titleSize;    // points
  double markSize;  // gnuplot point size of data and residual marks
  int cellTitleSize;
  double cellMarkSize;
};

// clang-format off
static const plot_style plot_styles[] = {
//  terminal of a picture of its own                                        grid terminal  grid font                                            title  marks  cell title  cell marks
  {"svg size 800,600 enhanced font 'sans-serif,14' background '#ffffff'",  "svg",         "enhanced font 'sans-serif,11' background '#ffffff'", 17,   0.65,  12,         0.45},  // PLOT_SVG
  {"pngcairo size 800,600 enhanced font 'Sans,11'",                         "pngcairo",    "enhanced font 'Sans,9'",                             14,   1.0,   10,         0.7},   // PLOT_PNG
  {"pdfcairo size 6in,4.5in enhanced font 'Sans,10'",                       "pdfcairo",    "",                                                   13,   0.55,  0,          0.0},   // PLOT_PDF
};
// clang-format on

enum {
  CELL_WIDTH = 400,  // pixels of one picture of a grid
  CELL_HEIGHT = 330,
  BAND_HEIGHT = 40,  // the grid's title above its pictures
};

// Where the panels sit, as fractions of the picture's width and height.
struct plot_layout {
  double left, right;
  double dataTop, dataBottom, residTop, residBottom;
  double titleY, keyY;  // keyY 0: no key, the title tells all
};

static const plot_layout page_layout = {0.13, 0.96, 0.87, 0.38, 0.33, 0.11, 0.955, 0.885};
static const plot_layout cell_layout = {0.21, 0.95, 0.87, 0.44, 0.38, 0.16, 0.945, 0.0};

// The part of the canvas that one picture takes, in screen fractions.
struct plot_frame {
  double x0, y0, w, h;
};

static void put_screen(FILE *fp, const plot_frame *f, double fx, double fy) {
  fputs("screen ", fp);
  put_number(fp, f->x0 + fx * f->w);
  fputs(", screen ", fp);
  put_number(fp, f->y0 + fy * f->h);
}

static void put_margins(FILE *fp, const plot_frame *f, const plot_layout *l, double top,
                        double bottom) {
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

// The title of a picture: the model's label beside the dataset id on a page, and for the
// pages of a table the status too; a grid's small picture leaves the label to its file's
// title and says what a page's key would say.
static void page_title(char *buf, int size, const plot_page *page, int cell) {
  char label[64];
  if (fitLabel[fitFunc] != NULL) {
    snprintf(label, sizeof label, "%s, ", fitLabel[fitFunc]);
  } else {
    snprintf(label, sizeof label, "model %d, ", fitFunc);
  }
  if (cell) label[0] = '\0';
  if (!page->ofTable) {
    snprintf(buf, size, "%sdataset %d", label, page->id);
  } else if (page->shown == SHOWN_FIT) {
    snprintf(buf, size, "%sdataset %d: ok, RMSE %.5g", label, page->id, rmse);
  } else if (page->shown == SHOWN_START) {
    snprintf(buf, size, "%sdataset %d: %s", label, page->id,
             cell ? "fit failed: starting values" : "fit failed");
  } else {
    snprintf(buf, size, "%sdataset %d: refused", label, page->id);
  }
}

// The colour that marks what is not a result: a failed fit's title, a refusal.
static const char WARN_COLOUR[] = "'#b03a2e'";

// Writes the picture of the loaded dataset into frame f: data blocks, then the data and
// curve panel and the residual panel, as far as there is something to draw.
static void write_picture(FILE *fp, const plot_style *style, const plot_layout *l,
                          const plot_frame *f, const plot_page *page, int cell) {
  fprintf(fp, "reset\n");
  double xlo = 0.0, xhi = 0.0, ylo = 0.0, yhi = 0.0, rmax = 0.0;
  int seen = 0;
  fprintf(fp, "$data << EOD\n");
  for (int i = 0; i < numData; i++) {
    if (!point_is_finite(i)) continue;
    put_point(fp, xOffsetData[i], yData[i]);
    if (!seen || xOffsetData[i] < xlo) xlo = xOffsetData[i];
    if (!seen || xOffsetData[i] > xhi) xhi = xOffsetData[i];
    if (!seen || yData[i] < ylo) ylo = yData[i];
    if (!seen || yData[i] > yhi) yhi = yData[i];
    seen = 1;
  }
  fprintf(fp, "EOD\n");
  int curve = page->curve && page->shown != SHOWN_NONE;
  if (curve) {
    fprintf(fp, "$curve << EOD\n");
    int gap = 0;
    for (int k = 0; k < curveLen; k++) {
      if (!curveOk[k]) {
        gap = 1;
        continue;
      }
      if (gap) fprintf(fp, "\n");  // a blank line breaks the line: nothing is drawn across
      gap = 0;
      put_point(fp, curveX[k], curveY[k]);
      if (curveY[k] < ylo) ylo = curveY[k];
      if (curveY[k] > yhi) yhi = curveY[k];
    }
    fprintf(fp, "EOD\n");
    fprintf(fp, "$resid << EOD\n");
    for (int i = 0; i < numData; i++) {
      if (!residOk[i]) continue;
      put_point(fp, xOffsetData[i], residY[i]);
      if (fabs(residY[i]) > rmax) rmax = fabs(residY[i]);
    }
    fprintf(fp, "EOD\n");
  }

  int titleSize = cell ? style->cellTitleSize : style->titleSize;
  double markSize = cell ? style->cellMarkSize : style->markSize;
  char title[160];
  page_title(title, sizeof title, page, cell);
  const char *note = page->note;
  if (note == NULL && page->shown != SHOWN_NONE && !curve) {
    note = "the model has no finite value at these parameters";
  }

  // Title and key get a line each above the panel: inside it, a key can hide data.
  fprintf(fp, "set label 1 ");
  put_quoted(fp, title);
  fputs(" at ", fp);
  put_screen(fp, f, (l->left + l->right) / 2.0, l->titleY);
  fprintf(fp, " center noenhanced font ',%d'", titleSize);
  if (page->shown != SHOWN_FIT) fprintf(fp, " tc rgb %s", WARN_COLOUR);
  fputc('\n', fp);
  if (note != NULL) {
    fprintf(fp, "set label 2 ");
    put_quoted(fp, note);
    fprintf(fp, " at graph 0.5, graph %s center front noenhanced tc rgb %s\n",
            seen ? "0.92" : "0.5", WARN_COLOUR);
  }
  // A grid's file is one multiplot already; a page is one of its own.
  const char *end = cell ? "" : "unset multiplot\n";
  if (!cell) fprintf(fp, "set multiplot\n");
  if (!seen) {
    // Nothing to draw but the title and the message: an empty frame holds them.
    put_margins(fp, f, l, l->dataTop, l->residBottom);
    fprintf(fp, "unset key\nunset tics\nset border lw 1.2 lc rgb '#c0c0c0'\n");
    fprintf(fp, "plot [0:1] [0:1] 2 notitle\n");
    fputs(end, fp);
    return;
  }

  // Both panels share the margins and the x range, so their x axes line up.
  put_range(fp, 'x', xlo, xhi, 0.03);
  fprintf(fp, "set border lw 1.2\n");
  fprintf(fp, "set tics nomirror out scale 0.6\n");
  fprintf(fp, "set grid xtics ytics back lt 1 lw 1 lc rgb '#e8e8e8'\n");

  // Upper panel: the data as points, the fitted curve as a line. Without a curve it takes
  // the room of both panels and carries the x axis itself.
  put_margins(fp, f, l, l->dataTop, curve ? l->dataBottom : l->residBottom);
  if (curve) {
    fprintf(fp, "set format x ''\n");
  } else {
    fprintf(fp, "set xlabel ");
    put_quoted(fp, x_axis_name(fitFunc));
    fprintf(fp, " noenhanced\n");
  }
  fprintf(fp, "set ylabel 'y'\n");
  put_range(fp, 'y', ylo, yhi, 0.06);
  if (l->keyY > 0.0) {
    fputs("set key at ", fp);
    put_screen(fp, f, l->right, l->keyY);
    fputs(" right bottom horizontal samplen 2.5 invert\n", fp);
  } else {
    fputs("unset key\n", fp);
  }
  fputs("plot ", fp);
  if (curve) {
    char fitTitle[64];
    if (page->shown == SHOWN_START) {
      snprintf(fitTitle, sizeof fitTitle, "fit failed: starting values");
    } else {
      snprintf(fitTitle, sizeof fitTitle, "%s, RMSE %.5g",
               numDataCol == 3 ? "fit at the data points" : "fit", rmse);
    }
    // A failed fit's curve is dashed: its values are where the fit began, not a result.
    fprintf(fp, "$curve using 1:2 with lines lw 2 %s lc rgb '#c0392b' title ",
            page->shown == SHOWN_START ? "dt 2" : "dt 1");
    put_quoted(fp, fitTitle);
    fprintf(fp, " noenhanced, \\\n  ");
  }
  fprintf(fp, "$data using 1:2 with points pt 7 ps %g lc rgb '#1f4e79' title 'data'\n",
          markSize);
  if (!curve) {
    fputs(end, fp);
    return;
  }

  // Lower panel: residuals, model minus data, around the zero line, on a symmetric scale.
  fprintf(fp, "unset label\n");
  fprintf(fp, "unset key\n");
  put_margins(fp, f, l, l->residTop, l->residBottom);
  fprintf(fp, "set format x '%%g'\n");
  fprintf(fp, "set xlabel ");
  put_quoted(fp, x_axis_name(fitFunc));
  fprintf(fp, " noenhanced\n");
  fprintf(fp, "set ylabel 'model - data'\n");
  // All residuals zero: a scale of a twentieth of the data's height still shows that.
  if (rmax == 0.0) rmax = (yhi - ylo) / 20.0;
  if (rmax == 0.0) rmax = 1.0;
  if (put_range(fp, 'y', -rmax, rmax, 0.075)) {
    fprintf(fp, "set ytics ");
    // A small picture has room for fewer tics; a step below 0.93 rmax keeps one each side.
    put_number(fp, tic_step(cell ? 0.7 * rmax : rmax / 2.0));
    fputc('\n', fp);
  }
  fprintf(fp, "set xzeroaxis lt 1 lw 1.2 lc rgb '#444444'\n");
  fprintf(fp, "plot $resid using 1:2 with impulses lw 1 lc rgb '#8fa9c4' notitle, \\\n");
  fprintf(fp, "  $resid using 1:2 with points pt 6 ps %g lc rgb '#1f4e79' notitle\n", markSize);
  fputs(end, fp);
}

static const plot_frame whole_canvas = {0.0, 0.0, 1.0, 1.0};

static void put_terminal(FILE *fp, int format) {
  fprintf(fp, "set terminal %s\n", plot_styles[format].terminal);
  fprintf(fp, "set encoding utf8\n");  // the degree sign of the temperature axes
}

void write_plot_script(FILE *fp, int format, const plot_page *page) {
  put_terminal(fp, format);
  write_picture(fp, &plot_styles[format], &page_layout, &whole_canvas, page, 0);
}

void write_pages_start(FILE *fp, int format, int cols, int rows) {
  if (format == PLOT_PDF) {
    put_terminal(fp, format);
    return;
  }
  const plot_style *style = &plot_styles[format];
  fprintf(fp, "set terminal %s size %d,%d %s\n", style->gridTerminal, cols * CELL_WIDTH,
          rows * CELL_HEIGHT + BAND_HEIGHT, style->gridOptions);
  fprintf(fp, "set encoding utf8\n");
}

void write_page(FILE *fp, int format, const plot_page *page) {
  write_picture(fp, &plot_styles[format], &page_layout, &whole_canvas, page, 0);
}

// The band above a grid's pictures holds the file's title, drawn by a plot of nothing.
void write_grid_file(FILE *fp, int format, const char *fname, const char *title, int first,
                     int rows) {
  if (!first) fprintf(fp, "unset multiplot\n");
  fprintf(fp, "set output ");
  put_quoted(fp, fname);
  fprintf(fp, "\nset multiplot\nreset\nunset border\nunset tics\nunset key\n");
  double height = rows * CELL_HEIGHT + BAND_HEIGHT;
  fprintf(fp, "set label 1 ");
  put_quoted(fp, title);
  fprintf(fp, " at screen 0.5, screen ");
  put_number(fp, 1.0 - BAND_HEIGHT / 2.0 / height);
  fprintf(fp, " center noenhanced font ',%d'\n", plot_styles[format].titleSize);
  fprintf(fp, "plot [0:1] [0:1] 2 notitle\n");
}

void write_grid_cell(FILE *fp, int format, const plot_page *page, int cell, int cols, int rows) {
  double height = rows * CELL_HEIGHT + BAND_HEIGHT;
  int col = cell % cols, row = cell / cols;
  plot_frame f;
  f.w = 1.0 / cols;
  f.h = CELL_HEIGHT / height;
  f.x0 = col * f.w;
  f.y0 = 1.0 - (BAND_HEIGHT + (row + 1) * CELL_HEIGHT) / height;
  write_picture(fp, &plot_styles[format], &cell_layout, &f, page, 1);
}

void write_pages_end(FILE *fp, int format) {
  if (format != PLOT_PDF) fprintf(fp, "unset multiplot\nunset output\n");
}

void write_profile_start(FILE *fp, int format) {
  put_terminal(fp, format);
  fprintf(fp, "$rows << EOD\n");
}

void write_profile_row(FILE *fp, int id, int status, double value, double sd, int withSd) {
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

void write_profile_end(FILE *fp, int format, const profile_summary *s) {
  const plot_style *style = &plot_styles[format];
  const plot_layout *l = &page_layout;
  fprintf(fp, "EOD\n");
  put_margins(fp, &whole_canvas, l, l->dataTop, l->residBottom);
  fprintf(fp, "set label 1 ");
  put_quoted(fp, s->title);
  fputs(" at ", fp);
  put_screen(fp, &whole_canvas, (l->left + l->right) / 2.0, l->titleY);
  fprintf(fp, " center noenhanced font ',%d'\n", style->titleSize);
  fputs("set key at ", fp);
  put_screen(fp, &whole_canvas, l->right, l->keyY);
  fputs(" right bottom horizontal samplen 1.5 invert noenhanced\n", fp);
  fprintf(fp, "set border lw 1.2\n");
  fprintf(fp, "set tics nomirror out scale 0.6\n");
  fprintf(fp, "set grid xtics ytics back lt 1 lw 1 lc rgb '#e8e8e8'\n");
  fprintf(fp, "set xlabel 'dataset id'\n");
  fprintf(fp, "set ylabel ");
  put_quoted(fp, s->column);
  fprintf(fp, " noenhanced\n");

  // A band of a dataset's width, or of a pixel or two where the ids are many.
  double span = s->idHi - s->idLo;
  double half = span / 600.0 > 0.4 ? span / 600.0 : 0.4;
  put_range(fp, 'x', s->idLo - half, s->idHi + half, 0.02);
  if (span < 10.0) fprintf(fp, "set xtics 1\n");  // ids are whole: no tic between two
  double lo = s->yLo, hi = s->yHi, w = hi - lo;
  if (w == 0.0) w = fabs(lo) > 0.0 ? fabs(lo) : 1.0;
  lo -= 0.06 * w;
  hi += 0.06 * w;
  fprintf(fp, "set yrange [");
  put_number(fp, lo);
  fputc(':', fp);
  put_number(fp, hi);
  fprintf(fp, "]\n");

  // Refused and failed datasets are shaded over the whole height at their id, and a
  // failed fit is marked on the axis too, an open triangle in another colour: neither
  // stands where a value would.
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
    fprintf(fp, " : NaN) with points pt 8 ps %g lc rgb '#d35400' title ", style->markSize * 1.6);
    put_quoted(fp, entry);
    sep = ", \\\n  ";
  }
  if (s->withSd) {
    snprintf(entry, sizeof entry, "%s ± sd, %d fit%s", s->column, s->ok, s->ok == 1 ? "" : "s");
    fprintf(fp, "%s$rows using 1:(strcol(2) eq 'ok' ? $3 : NaN):4 with yerrorbars pt 7 ps %g "
            "lw 1.2 lc rgb '#1f4e79' title ", sep, style->markSize);
  } else {
    snprintf(entry, sizeof entry, "%s, %d fit%s", s->column, s->ok, s->ok == 1 ? "" : "s");
    fprintf(fp, "%s$rows using 1:(strcol(2) eq 'ok' ? $3 : NaN) with points pt 7 ps %g "
            "lc rgb '#1f4e79' title ", sep, style->markSize);
  }
  put_quoted(fp, entry);
  fputc('\n', fp);
}

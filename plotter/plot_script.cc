// The picture of a fit: model values on a curve and at the data points, and the gnuplot
// script that draws data, curve and residuals in two panels sharing the x axis. Every
// model value comes from fnf, as in the fit itself.
#include "plot_script.h"

#include <math.h>
#include <stdlib.h>

#include "models.h"

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
// and these sizes make the three pictures look alike.
struct plot_style {
  const char *terminal;
  int titleSize;    // points
  double markSize;  // gnuplot point size of data and residual marks
};

// clang-format off
static const plot_style plot_styles[] = {
//  terminal                                                                 title  marks
  {"svg size 800,600 enhanced font 'sans-serif,14' background '#ffffff'",   17,    0.65},  // PLOT_SVG
  {"pngcairo size 800,600 enhanced font 'Sans,11'",                          14,    1.0},   // PLOT_PNG
  {"pdfcairo size 6in,4.5in enhanced font 'Sans,10'",                        13,    0.55},  // PLOT_PDF
};
// clang-format on

void write_plot_script(FILE *fp, int format) {
  const plot_style *style = &plot_styles[format];
  fprintf(fp, "set terminal %s\n", style->terminal);

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

  // Both panels share the margins and the x range, so their x axes line up.
  fprintf(fp, "set multiplot\n");
  fprintf(fp, "set lmargin at screen 0.13\n");
  fprintf(fp, "set rmargin at screen 0.96\n");
  put_range(fp, 'x', xlo, xhi, 0.03);
  fprintf(fp, "set border lw 1.2\n");
  fprintf(fp, "set tics nomirror out scale 0.6\n");
  fprintf(fp, "set grid xtics ytics back lt 1 lw 1 lc rgb '#e8e8e8'\n");

  // Upper panel: the data as points, the fitted curve as a line.
  fprintf(fp, "set tmargin at screen 0.87\n");
  fprintf(fp, "set bmargin at screen 0.38\n");
  // Title and key get a line each above the panel: inside it, a key can hide data.
  fprintf(fp, "set label 1 ");
  const char *label = fitLabel[fitFunc];
  put_quoted(fp, label != NULL ? label : "");
  fprintf(fp, " at screen 0.545, screen 0.955 center noenhanced font ',%d'\n", style->titleSize);
  fprintf(fp, "set format x ''\n");
  fprintf(fp, "set ylabel 'y'\n");
  put_range(fp, 'y', ylo, yhi, 0.06);
  fprintf(fp, "set key at screen 0.96, screen 0.885 right bottom horizontal samplen 2.5 invert\n");
  fprintf(fp, "plot $curve using 1:2 with lines lw 2 lc rgb '#c0392b' title ");
  char fitTitle[64];
  snprintf(fitTitle, sizeof fitTitle, "%s, RMSE %.5g",
           numDataCol == 3 ? "fit at the data points" : "fit", rmse);
  put_quoted(fp, fitTitle);
  fprintf(fp, " noenhanced, \\\n");
  fprintf(fp, "  $data using 1:2 with points pt 7 ps %g lc rgb '#1f4e79' title 'data'\n",
          style->markSize);

  // Lower panel: residuals, model minus data, around the zero line, on a symmetric scale.
  fprintf(fp, "unset label 1\n");
  fprintf(fp, "unset key\n");
  fprintf(fp, "set tmargin at screen 0.33\n");
  fprintf(fp, "set bmargin at screen 0.11\n");
  fprintf(fp, "set format x '%%g'\n");
  fprintf(fp, "set xlabel 'x'\n");
  fprintf(fp, "set ylabel 'model - data'\n");
  // All residuals zero: a scale of a twentieth of the data's height still shows that.
  if (rmax == 0.0) rmax = (yhi - ylo) / 20.0;
  if (rmax == 0.0) rmax = 1.0;
  if (put_range(fp, 'y', -rmax, rmax, 0.075)) {
    fprintf(fp, "set ytics ");
    put_number(fp, tic_step(rmax / 2.0));
    fputc('\n', fp);
  }
  fprintf(fp, "set xzeroaxis lt 1 lw 1.2 lc rgb '#444444'\n");
  fprintf(fp, "plot $resid using 1:2 with impulses lw 1 lc rgb '#8fa9c4' notitle, \\\n");
  fprintf(fp, "  $resid using 1:2 with points pt 6 ps %g lc rgb '#1f4e79' notitle\n",
          style->markSize);
  fprintf(fp, "unset multiplot\n");
}

// The picture of one fit, written step by step: the data blocks, the labels, then each
// panel. The numbers come from the curve tables; only the words are chosen here.
#include "plot_picture.h"

#include <math.h>

#include "models.h"
#include "plot_curve.h"
#include "run_state.h"

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

// The colour that marks what is not a result: a failed fit's title, a refusal.
static const char WARN_COLOUR[] = "'#b03a2e'";

// How far the blocks of a picture reach: the panels' ranges are set from them.
struct picture_bounds {
  double xlo, xhi, ylo, yhi;  // of the data and, once written, a fit's curve
  double rmax;                // the largest size of a residual
  int seen;                   // 1 when one data point is drawn
  int leftOut;                // finite points at x <= 0, not drawn on a log x scale
};

static void put_data_block(FILE *fp, picture_bounds *b, int logX) {
  b->xlo = b->xhi = b->ylo = b->yhi = b->rmax = 0.0;
  b->seen = 0;
  b->leftOut = 0;
  fprintf(fp, "$data << EOD\n");
  for (int i = 0; i < numData; i++) {
    if (!point_is_drawn(i, logX)) {
      b->leftOut += point_is_finite(i);
      continue;
    }
    put_point(fp, xOffsetData[i], yData[i]);
    if (!b->seen || xOffsetData[i] < b->xlo) b->xlo = xOffsetData[i];
    if (!b->seen || xOffsetData[i] > b->xhi) b->xhi = xOffsetData[i];
    if (!b->seen || yData[i] < b->ylo) b->ylo = yData[i];
    if (!b->seen || yData[i] > b->yhi) b->yhi = yData[i];
    b->seen = 1;
  }
  fprintf(fp, "EOD\n");
}

// A failed fit's starting curve leaves the y range to the data: its values may be of any
// size (1e305 where the start is far off) and would flatten the data to a line.
static void put_curve_blocks(FILE *fp, picture_bounds *b, int shown) {
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
    if (shown != SHOWN_FIT) continue;
    if (curveY[k] < b->ylo) b->ylo = curveY[k];
    if (curveY[k] > b->yhi) b->yhi = curveY[k];
  }
  fprintf(fp, "EOD\n");
  fprintf(fp, "$resid << EOD\n");
  for (int i = 0; i < numData; i++) {
    if (!residOk[i]) continue;
    put_point(fp, xOffsetData[i], residY[i]);
    if (fabs(residY[i]) > b->rmax) b->rmax = fabs(residY[i]);
  }
  fprintf(fp, "EOD\n");
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

// How many points a log x scale leaves out, as the key or a small picture says it.
static void left_out_note(char *buf, int size, int leftOut) {
  snprintf(buf, size, "%d point%s at x ≤ 0 not drawn", leftOut, leftOut == 1 ? "" : "s");
}

// The title, and inside the panel a refused dataset's message or why no curve is drawn.
// Title and key get a line each above the panel: inside it, a key can hide data. A small
// picture has no key: the points that a log scale leaves out are told in its lower corner.
static void put_labels(FILE *fp, int titleSize, const plot_layout *l, const plot_frame *f,
                       const plot_page *page, int cell, int curve, const picture_bounds *b) {
  char title[160];
  page_title(title, sizeof title, page, cell);
  put_title_label(fp, title, f, (l->left + l->right) / 2.0, l->titleY, titleSize);
  if (page->shown != SHOWN_FIT) fprintf(fp, " tc rgb %s", WARN_COLOUR);
  fputc('\n', fp);
  const char *note = page->note;
  if (note == NULL && !b->seen && b->leftOut > 0) note = "no x above 0 to draw on a log scale";
  if (note == NULL && page->shown != SHOWN_NONE && !curve) {
    note = "the model has no finite value at these parameters";
  }
  if (note != NULL) {
    fprintf(fp, "set label 2 ");
    put_quoted(fp, note);
    fprintf(fp, " at graph 0.5, graph %s center front noenhanced tc rgb %s\n",
            b->seen ? "0.92" : "0.5", WARN_COLOUR);
  }
  if (l->keyY == 0.0 && b->seen && b->leftOut > 0) {
    char text[64];
    left_out_note(text, sizeof text, b->leftOut);
    fprintf(fp, "set label 3 ");
    put_quoted(fp, text);
    fputs(" at ", fp);
    put_screen(fp, f, 0.01, 0.03);  // the corner below the axes, clear of the data
    fprintf(fp, " left front noenhanced font ',8'\n");
  }
}

// Nothing to draw but the title and the message: an empty frame holds them.
static void put_empty_frame(FILE *fp, const plot_layout *l, const plot_frame *f) {
  put_margins(fp, f, l, l->dataTop, l->residBottom);
  fprintf(fp, "unset key\nunset tics\nset border lw 1.2 lc rgb '#c0c0c0'\n");
  fprintf(fp, "plot [0:1] [0:1] 2 notitle\n");
}

static void put_x_label(FILE *fp) {
  fprintf(fp, "set xlabel ");
  put_quoted(fp, x_axis_name(fitFunc));
  fprintf(fp, " noenhanced\n");
}

// The plot command of the upper panel: the curve, if any, then the data.
static void put_data_plot(FILE *fp, const plot_page *page, int curve, int leftOut,
                          double markSize) {
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
  char dataTitle[80] = "data", text[64];
  if (leftOut > 0) {
    left_out_note(text, sizeof text, leftOut);
    snprintf(dataTitle, sizeof dataTitle, "data, %s", text);
  }
  fprintf(fp, "$data using 1:2 with points pt 7 ps %g lc rgb '#1f4e79' title ", markSize);
  put_quoted(fp, dataTitle);
  fputc('\n', fp);
}

// Upper panel: the data as points, the fitted curve as a line. Without a curve it takes
// the room of both panels and carries the x axis itself.
static void put_data_panel(FILE *fp, const plot_layout *l, const plot_frame *f,
                           const plot_page *page, int curve, const picture_bounds *b,
                           double markSize) {
  // Both panels share the margins and the x range, so their x axes line up.
  if (page->logX) {
    fprintf(fp, "set logscale x\n");
    put_log_range(fp, 'x', b->xlo, b->xhi, 0.03);
  } else {
    put_range(fp, 'x', b->xlo, b->xhi, 0.03);
  }
  put_axes_style(fp);
  put_margins(fp, f, l, l->dataTop, curve ? l->dataBottom : l->residBottom);
  if (curve) {
    fprintf(fp, "set format x ''\n");
  } else {
    put_x_label(fp);
  }
  fprintf(fp, "set ylabel 'y'\n");
  put_range(fp, 'y', b->ylo, b->yhi, 0.06);
  if (l->keyY > 0.0) {
    fputs("set key at ", fp);
    put_screen(fp, f, l->right, l->keyY);
    fputs(" right bottom horizontal samplen 2.5 invert\n", fp);
  } else {
    fputs("unset key\n", fp);
  }
  put_data_plot(fp, page, curve, l->keyY > 0.0 ? b->leftOut : 0, markSize);
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

// Lower panel: residuals, model minus data, around the zero line, on a symmetric scale.
static void put_resid_panel(FILE *fp, const plot_layout *l, const plot_frame *f, int cell,
                            const picture_bounds *b, double markSize) {
  fprintf(fp, "unset label\n");
  fprintf(fp, "unset key\n");
  put_margins(fp, f, l, l->residTop, l->residBottom);
  fprintf(fp, "set format x '%%g'\n");
  put_x_label(fp);
  fprintf(fp, "set ylabel 'model - data'\n");
  // All residuals zero: a scale of a twentieth of the data's height still shows that.
  double rmax = b->rmax;
  if (rmax == 0.0) rmax = (b->yhi - b->ylo) / 20.0;
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
}

void write_picture(FILE *fp, int format, const plot_layout *l, const plot_frame *f,
                   const plot_page *page, int cell) {
  const plot_style *style = &plot_styles[format];
  fprintf(fp, "reset\n");
  picture_bounds b;
  put_data_block(fp, &b, page->logX);
  int curve = page->curve && page->shown != SHOWN_NONE;
  if (curve) put_curve_blocks(fp, &b, page->shown);
  put_labels(fp, cell ? style->cellTitleSize : style->titleSize, l, f, page, cell, curve, &b);
  // A grid's file is one multiplot already; a page is one of its own.
  if (!cell) fprintf(fp, "set multiplot\n");
  double markSize = cell ? style->cellMarkSize : style->markSize;
  if (!b.seen) {
    put_empty_frame(fp, l, f);
  } else {
    put_data_panel(fp, l, f, page, curve, &b, markSize);
    if (curve) put_resid_panel(fp, l, f, cell, &b, markSize);
  }
  if (!cell) fprintf(fp, "unset multiplot\n");
}

void write_plot_script(FILE *fp, int format, const plot_page *page) {
  put_terminal(fp, format);
  write_picture(fp, format, &page_layout, &whole_canvas, page, 0);
}

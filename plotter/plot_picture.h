// The picture of one fit: the data and the curve in one panel, the residuals in another below
// it sharing the x axis, as the script of a picture of its own, a page of a document or one
// small picture of a grid. Reads the loaded dataset, the curve tables and fitFunc.
#ifndef VELQUIN_PLOT_PICTURE_H
#define VELQUIN_PLOT_PICTURE_H

#include <stdio.h>

#include "plot_script.h"

enum {
  SHOWN_FIT = 0,    // what a picture's curve is: the fit,
  SHOWN_START = 1,  // the starting values of a failed fit, drawn dashed,
  SHOWN_NONE = 2,   // or nothing: a dataset refused before any fit
};

// What a picture says of its dataset besides data and curve.
struct plot_page {
  int id;            // the dataset id
  int shown;         // SHOWN_FIT, SHOWN_START or SHOWN_NONE
  int curve;         // 1 when compute_plot has filled the tables for this dataset
  int ofTable;       // 1: a page of a table's fits, whose title tells status and RMSE
  const char *note;  // a refused dataset's message, or NULL
  int logX;          // 1: x on a log scale, points at x <= 0 left out with a note
};

// The name of the x axis of model: what x means where the catalogue says it, else "x".
const char *x_axis_name(int model);

// Writes the picture of the loaded dataset into frame f of the canvas, laid out by l: data
// blocks, then the data and curve panel and the residual panel, as far as there is
// something to draw. The y range is that of the data and of a fit's curve: a failed fit's
// starting curve, which may reach any size, runs off the panel instead. A picture of its own or a
// page (cell 0) is a multiplot of its own; a grid's small picture (cell 1) is drawn into the
// grid's.
void write_picture(FILE *fp, int format, const plot_layout *l, const plot_frame *f,
                   const plot_page *page, int cell);

// Writes to fp the whole script of one picture of the loaded dataset, with the label of
// fitFunc and the dataset id as title and rmse in the key. The picture goes to gnuplot's
// standard output, so the script names no file.
void write_plot_script(FILE *fp, int format, const plot_page *page);

#endif  // VELQUIN_PLOT_PICTURE_H

// The words of velplot's gnuplot scripts: the picture formats and their terminals, where the
// panels of a picture sit, and the numbers, quoted texts, ranges and margins. A picture, a
// page, a grid and a profile say them all through these, so every script says them alike.
#ifndef VELQUIN_PLOT_SCRIPT_H
#define VELQUIN_PLOT_SCRIPT_H

#include <stdio.h>

enum {
  PLOT_SVG = 0,  // picture formats, chosen by the output file's extension
  PLOT_PNG = 1,
  PLOT_PDF = 2,
  PLOT_FORMATS = 3,
};

// The picture format named by fname's extension (.svg, .png or .pdf, in any case), or -1.
int plot_format(const char *fname);

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
extern const plot_style plot_styles[PLOT_FORMATS];

// Where the panels sit, as fractions of the picture's width and height.
struct plot_layout {
  double left, right;
  double dataTop, dataBottom, residTop, residBottom;
  double titleY, keyY;  // keyY 0: no key, the title tells all
};
extern const plot_layout page_layout;  // a picture of its own, or a page of a document
extern const plot_layout cell_layout;  // one small picture of a grid

// The part of the canvas that one picture takes, in screen fractions.
struct plot_frame {
  double x0, y0, w, h;
};
extern const plot_frame whole_canvas;

// Writes v in the shortest form that reads back as v exactly, as the table does.
void put_number(FILE *fp, double v);

// One line of a data block: x, a blank, y.
void put_point(FILE *fp, double x, double y);

// Sets the range of axis to [lo, hi] widened by frac of its width on each side (around a
// single value, by frac of its size). Ends that would not be finite leave it to gnuplot.
// Returns 1 when the range was set.
int put_range(FILE *fp, char axis, double lo, double hi, double frac);

// The same on a log scale, lo and hi above 0, widened by frac of its width in log; a range
// of less than two decades also gets tics at 2 and 5 times the powers of ten.
int put_log_range(FILE *fp, char axis, double lo, double hi, double frac);

// A gnuplot string in single quotes; a line end within text becomes a blank.
void put_quoted(FILE *fp, const char *text);

// The point (fx, fy) of frame f in screen coordinates: "screen X, screen Y".
void put_screen(FILE *fp, const plot_frame *f, double fx, double fy);

// Places the panel between the layout's left and right and between top and bottom of f.
void put_margins(FILE *fp, const plot_frame *f, const plot_layout *l, double top, double bottom);

// Label 1, text centred at (fx, fy) of f in a font of size points, its line left open for
// what else the label needs.
void put_title_label(FILE *fp, const char *text, const plot_frame *f, double fx, double fy,
                     int size);

// The border, the tics and the light grid that every panel with axes has.
void put_axes_style(FILE *fp);

// The terminal of a picture of its own, or of a document's pages, in format.
void put_terminal(FILE *fp, int format);

#endif  // VELQUIN_PLOT_SCRIPT_H

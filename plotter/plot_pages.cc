// The documents of many pictures: each picture is written by the picture of one fit, into
// a page of its own or into a cell of its grid; here are the pages, the grids and their
// titles.
#include "plot_pages.h"

#include "models.h"
#include "plot_picture.h"
#include "plot_table.h"
#include "run_state.h"

enum {
  CELL_WIDTH = 400,  // pixels of one picture of a grid
  CELL_HEIGHT = 330,
  BAND_HEIGHT = 40,  // the grid's title above its pictures
  GRID_CELLS = GRID_COLUMNS * GRID_ROWS,
};

void grid_shape(int count, int *cols, int *rows) {
  if (count >= GRID_CELLS) {
    *cols = GRID_COLUMNS;
    *rows = GRID_ROWS;
    return;
  }
  // Fewer pictures than a full grid take a grid of their own size.
  *cols = count < GRID_COLUMNS ? count : GRID_COLUMNS;
  *rows = (count + *cols - 1) / *cols;
}

int grid_files(int count) { return (count + GRID_CELLS - 1) / GRID_CELLS; }

// The terminal of the document: a page each for PLOT_PDF, whose pages go to standard
// output; a grid of cols by rows pictures a file for the others.
static void write_pages_start(FILE *fp, int format, int cols, int rows) {
  if (format == PLOT_PDF) {
    put_terminal(fp, format);
    return;
  }
  const plot_style *style = &plot_styles[format];
  fprintf(fp, "set terminal %s size %d,%d %s\n", style->gridTerminal, cols * CELL_WIDTH,
          rows * CELL_HEIGHT + BAND_HEIGHT, style->gridOptions);
  fprintf(fp, "set encoding utf8\n");
}

// Starts the grid file fname, ending the one before unless it is the first. The band
// above a grid's pictures holds the file's title, drawn by a plot of nothing.
static void write_grid_file(FILE *fp, int format, const char *fname, const char *title, int first,
                            int rows) {
  if (!first) fprintf(fp, "unset multiplot\n");
  fprintf(fp, "set output ");
  put_quoted(fp, fname);
  fprintf(fp, "\nset multiplot\nreset\nunset border\nunset tics\nunset key\n");
  double height = rows * CELL_HEIGHT + BAND_HEIGHT;
  put_title_label(fp, title, &whole_canvas, 0.5, 1.0 - BAND_HEIGHT / 2.0 / height,
                  plot_styles[format].titleSize);
  fprintf(fp, "\nplot [0:1] [0:1] 2 notitle\n");
}

// The small picture of the loaded dataset in cell (from 0, row by row) of a grid file.
static void write_grid_cell(FILE *fp, int format, const plot_page *page, int cell, int cols,
                            int rows) {
  double height = rows * CELL_HEIGHT + BAND_HEIGHT;
  int col = cell % cols, row = cell / cols;
  plot_frame f;
  f.w = 1.0 / cols;
  f.h = CELL_HEIGHT / height;
  f.x0 = col * f.w;
  f.y0 = 1.0 - (BAND_HEIGHT + (row + 1) * CELL_HEIGHT) / height;
  write_picture(fp, format, &cell_layout, &f, page, 1);
}

static void write_pages_end(FILE *fp, int format) {
  if (format != PLOT_PDF) fprintf(fp, "unset multiplot\nunset output\n");
}

// The title of the grid file that begins with picture k of count, after the model's label.
static void grid_title(char *buf, int size, int k, int count) {
  char label[80];
  if (fitLabel[fitFunc] != NULL) {
    snprintf(label, sizeof label, "%s", fitLabel[fitFunc]);
  } else {
    snprintf(label, sizeof label, "model %d", fitFunc);
  }
  if (count <= GRID_CELLS) {
    snprintf(buf, size, "%s: %d dataset%s", label, count, count == 1 ? "" : "s");
    return;
  }
  int last = k + GRID_CELLS < count ? k + GRID_CELLS : count;
  snprintf(buf, size, "%s: datasets %d to %d of %d", label, k + 1, last, count);
}

int write_table_pages(FILE *fp, int format, table_reader *t, int count, const run_setup *base,
                      FILE *data, const beside_file *parts, int logX) {
  int cols = 0, rows = 0;
  grid_shape(count, &cols, &rows);
  write_pages_start(fp, format, cols, rows);
  for (int k = 0; k < count; k++) {
    plot_page page;
    if (!load_table_page(t, k, base, data, logX, &page)) return 0;
    if (format == PLOT_PDF) {
      write_picture(fp, format, &page_layout, &whole_canvas, &page, 0);
      continue;
    }
    if (k % GRID_CELLS == 0) {
      char title[160];
      grid_title(title, sizeof title, k, count);
      write_grid_file(fp, format, parts[k / GRID_CELLS].temp, title, k == 0, rows);
    }
    write_grid_cell(fp, format, &page, k % GRID_CELLS, cols, rows);
  }
  write_pages_end(fp, format);
  return 1;
}

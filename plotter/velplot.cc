// velplot: the picture of a fit that velquin made, of one parameter across the fits of a
// velbatch table, or of every fit of such a table. It loads the data as velquin does, takes
// the parameters from velquin's log or velbatch's table, and has gnuplot draw them. The
// output files appear whole or not at all.
#include <stdio.h>

#include "batch_table.h"
#include "cli.h"
#include "files.h"
#include "gnuplot_run.h"
#include "number_format.h"
#include "plot_curve.h"
#include "plot_outputs.h"
#include "plot_pages.h"
#include "plot_picture.h"
#include "plot_profile.h"
#include "plot_table.h"
#include "reports.h"
#include "run_state.h"
#include "show_err.h"
#include "velplot_args.h"

// What the drawing reads besides the run state: the data file of every fit of a table,
// the table, and of a single fit whether its log is that of a failed fit.
static FILE *dataFp;
static table_reader table;
static int pageCount;  // PLOT_ALL: the datasets of the table
static int logFailed;

// Writes the script of the form given. Returns 1, or 0 after a framed report.
static int write_script(FILE *fp) {
  if (plotMode == PLOT_PROFILE) {
    return write_profile_script(fp, plotFormat, &table, profileParm, plotLogX);
  }
  if (plotMode == PLOT_ALL) {
    return write_table_pages(fp, plotFormat, &table, pageCount, &plotRun, dataFp, output_parts(),
                             plotLogX);
  }
  plot_page page;
  page.id = dataRes;
  page.shown = logFailed ? SHOWN_START : SHOWN_FIT;
  page.curve = 1;
  page.ofTable = 0;
  page.note = NULL;
  page.logX = plotLogX;
  write_plot_script(fp, plotFormat, &page);
  return 1;
}

// Draws the pictures into temporary files beside their names, files of them (0 for one
// picture on gnuplot's standard output), and renames them onto their names once gnuplot
// has succeeded. Returns 1, or 0 after a framed report, with no temporary file left.
static int draw_plot(int files) {
  FILE *fp = open_outputs(plotFname, files);
  if (fp == NULL) return 0;
  if (!write_script(fp)) {
    fclose(fp);
    discard_outputs();
    return 0;
  }
  if (!close_script(fp)) return 0;
  int status = run_gnuplot(script_path(), picture_fd());
  if (!gnuplot_succeeded(status, plotFname)) {
    discard_outputs();
    return 0;
  }
  return commit_outputs();
}

// The picture of a fit from its log. Returns 1, or 0 after a framed report.
static int draw_fit(void) {
  if (!init_vars()) return 0;
  if (!read_log_results(logFname, fitFunc, fitParms, &rmse, &logFailed)) return 0;
  char msg[MESSAGE_SIZE];
  if (plotLogX && drawn_points(1) == 0) {
    char offset[32];
    format_shortest(offset, sizeof offset, dataOffset);
    snprintf(msg, sizeof msg,
             "Nothing to draw with --logx: dataset %d of %s has no x above 0 with dataOffset %s\n",
             dataRes, dataFname, offset);
    show_err(ERR_FATAL, "draw_plot", msg);
    return 0;
  }
  if (!compute_plot(plotLogX)) {
    snprintf(
        msg, sizeof msg,
        "Nothing to draw: model %d has no finite value at the data with the parameters of %s\n",
        fitFunc, logFname);
    show_err(ERR_FATAL, "draw_plot", msg);
    return 0;
  }
  return draw_plot(0);
}

// Opens the table and reads its header. A table of every fit is read twice, so it must be
// a file. Returns 1, or 0 after a framed report.
static int open_table(void) {
  char msg[MESSAGE_SIZE];
  FILE *fp = fopen(tableFname, "r");
  if (fp == NULL) {
    snprintf(msg, sizeof msg, "Unable to open table file %s\n", tableFname);
    show_err(ERR_FATAL, "read_table", msg);
    return 0;
  }
  if (plotMode == PLOT_ALL && !can_read_twice(fp, "Table", tableFname, "read_table")) {
    fclose(fp);
    return 0;
  }
  return table_start(&table, fp, tableFname);
}

// The pictures of every fit of the open table. Returns 1, or 0 after a framed report.
static int draw_every_fit(void) {
  pageCount = plan_table_pages(&table);
  if (pageCount < 0) return 0;
  // The second reading, which draws, starts again after the header.
  if (fseeko(table.fp, 0, SEEK_SET) != 0 || !table_start(&table, table.fp, tableFname)) return 0;
  // The scan has read the file; the pictures read each dataset again from its place.
  dataFp = fopen(dataFname, "r");
  if (dataFp == NULL) {
    char msg[MESSAGE_SIZE];
    snprintf(msg, sizeof msg, "Data file %s cannot be opened again\n", dataFname);
    show_err(ERR_FATAL, "draw_all", msg);
    return 0;
  }
  return draw_plot(plotFormat == PLOT_PDF ? 0 : grid_files(pageCount));
}

int main(int argc, char **argv) {
  if (info_option(argc, argv, "velplot", velplot_usage)) return 0;
  if (!get_plot_args(argc, argv)) return 1;
  if (plotMode == PLOT_FIT) return draw_fit() ? 0 : 1;
  if (!open_table()) return 1;
  if (plotMode == PLOT_PROFILE) return draw_plot(0) ? 0 : 1;
  return draw_every_fit() ? 0 : 1;
}

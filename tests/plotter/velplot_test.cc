// Program tests of the built velplot: pictures of the shipped examples after a fit by
// velquin, and every way a run can fail, which must leave no output file behind.
#include <ctype.h>
#include <errno.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "plot_curve.h"
#include "program_run.h"
#include "velquin_texts.h"

namespace {

// 127 is what env exits with when it cannot find the program.
bool have(const char *tool) {
  temp_dir work;
  return run_program("/usr/bin/env", {tool, "--version"}, work.path()).status != 127;
}

size_t count(const std::string &text, const std::string &what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
  return n;
}

struct example {
  const char *file;
  std::vector<std::string> fit;  // model, iterations and starting values for velquin
  size_t points;
  int columns;
  const char *label;
  const char *xAxis;  // what x means for the model
};

// The examples with the commands on their comment lines.
const example examples[] = {
    {"t1-relaxation.crv", {"4", "1000", "80", "=1.9", "300"}, 20, 2, "T1 Relaxation", "delay"},
    {"ph-titration.crv", {"9", "1000", "7", "8.3", "9", "=1"}, 25, 2, "PH Titration", "pH"},
    {"thermal-melt.crv",
     {"13", "2000", "1", "0.002", "0.25", "0.001", "80", "=1.2", "330"},
     71,
     2,
     "Monomer Melting Curve 3",
     "temperature (°C)"},
    {"shift-titration.crv", {"15", "1000", "0.3", "0.3"}, 16, 3, "Chemical Shift (XY1)", "x"},
};

// Copies the example into work and fits it, leaving fit.res and fit.log.
void fit_example(const temp_dir &work, const example &e) {
  work.write(e.file, read_file(std::string(EXAMPLES_DIR) + "/" + e.file));
  std::vector<std::string> args = {"0", "0", e.file, "fit.res", "fit.log"};
  args.insert(args.end(), e.fit.begin(), e.fit.end());
  run_result r = run_program(VELQUIN_BIN, args, work.path());
  ASSERT_EQ(r.status, 0) << r.out;
}

TEST(velplot, draws_each_example_with_its_points_curve_and_residuals) {
  if (!have("gnuplot")) GTEST_SKIP() << "gnuplot is not installed";
  for (const example &e : examples) {
    SCOPED_TRACE(e.file);
    temp_dir work;
    fit_example(work, e);
    run_result r =
        run_program(VELPLOT_BIN, {"0", "0", e.file, "fit.log", e.fit[0], "fit.svg"}, work.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    std::vector<std::string> names = {e.file, "fit.log", "fit.res", "fit.svg"};
    std::sort(names.begin(), names.end());
    EXPECT_EQ(work.list(), names);
    std::string svg = work.read("fit.svg");
    EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
    EXPECT_EQ(svg.find_last_not_of(" \n") + 1, svg.rfind("</svg>") + 6) << "ends with </svg>";
    // Data as filled circles, plus the one in the key; residuals as open circles.
    EXPECT_EQ(count(svg, "<use xlink:href='#gpPt6' transform="), e.points + 1);
    EXPECT_EQ(count(svg, "<use xlink:href='#gpPt5' transform="), e.points);
    // The curve's group, titled in the key, holds the key's sample line and the curve:
    // the grid of two-column data, or the points joined for three-column data.
    size_t from = svg.find("<title>fit");
    size_t to = svg.find("<title>data</title>");
    ASSERT_NE(from, std::string::npos);
    ASSERT_NE(to, std::string::npos);
    std::string curve = svg.substr(from, to - from);
    size_t segments = e.columns == 3 ? e.points - 1 : GRID_POINTS - 1;
    size_t lines = 0;  // "L" and a coordinate: one straight segment of the path
    for (size_t i = 0; i + 1 < curve.size(); i++) lines += curve[i] == 'L' && isdigit(curve[i + 1]);
    EXPECT_EQ(lines, 1 + segments);
    EXPECT_NE(curve.find("stroke='rgb(192,  57,  43)'"), std::string::npos);
    EXPECT_EQ(count(svg, std::string("<text>") + e.label + ", dataset 0</text>"), 1u)
        << "the title";
    EXPECT_EQ(count(svg, std::string("<text>") + e.xAxis + "</text>"), 1u) << "the x axis";
    EXPECT_EQ(count(svg, "stroke-dasharray"), 0u) << "a fit that succeeded is drawn solid";
  }
}

TEST(velplot, writes_png_and_pdf_under_any_name) {
  if (!have("gnuplot")) GTEST_SKIP() << "gnuplot is not installed";
  struct row {
    const char *output;
    std::string magic;
  };
  const row rows[] = {
      {"fit.png", "\x89PNG\r\n\x1a\n"},
      {"FIT.PDF", "%PDF-"},
      {"-o 'it''s' \"$(x)\".svg", "<?xml"},
      {"sub dir/-x.png", "\x89PNG"},
  };
  temp_dir work;
  fit_example(work, examples[0]);
  mkdir(work.file("sub dir").c_str(), 0777);
  for (const row &r : rows) {
    SCOPED_TRACE(r.output);
    run_result run = run_program(
        VELPLOT_BIN, {"0", "0", examples[0].file, "fit.log", "4", r.output}, work.path());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(work.read(r.output).substr(0, r.magic.size()), r.magic);
  }
  EXPECT_EQ(list_dir(work.file("sub dir")), std::vector<std::string>{"-x.png"});
  struct stat st;
  ASSERT_EQ(stat(work.file("fit.png").c_str(), &st), 0);
  EXPECT_NE(st.st_mode & 0044, 0u) << "a private temporary file's mode was kept";
}

TEST(velplot, ignores_the_users_gnuplot_settings) {
  if (!have("gnuplot")) GTEST_SKIP() << "gnuplot is not installed";
  temp_dir work, home;
  fit_example(work, examples[0]);
  home.write(".gnuplot", "set terminal dumb\nset output 'stolen.txt'\nset logscale y\n");
  run_result r = run_program(
      "/usr/bin/env",
      {"HOME=" + home.path(), VELPLOT_BIN, "0", "0", examples[0].file, "fit.log", "4", "fit.svg"},
      work.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");  // a log scale would have warned of the negative data
  EXPECT_EQ(work.read("fit.svg").rfind("<?xml", 0), 0u);
  EXPECT_EQ(home.list(), std::vector<std::string>{".gnuplot"});
  EXPECT_FALSE(work.exists("stolen.txt"));
}

const char usage[] =
    R"(usage: velplot [--logx] dataOffset datasetId dataFile logFile model outputFile
       velplot --profile [--logx] PARAM tableFile outputFile
       velplot --all [--logx] dataOffset dataFile tableFile model outputFile

  --logx      x on a log scale (the dataset id for --profile); x <= 0 is not drawn
  dataOffset  number added to every x value of the dataset, as given to velquin
  datasetId   id of the dataset in dataFile; 0 takes the first data of the file
  dataFile    curve data file that velquin or velbatch fitted
  logFile     log file that velquin wrote for that fit
  model       model number of the fit, 0 to 28 but 12
  outputFile  picture to write, named .svg, .png or .pdf
  PARAM       parameter label as the table's header writes it, or rmse
  tableFile   table that velbatch wrote

Draws the data, the fitted curve and the residuals with gnuplot; --profile draws
one parameter against the dataset id, --all every fit of the table: a page each
in a .pdf, grids of small pictures in .svg or .png files (NAME-1.png, NAME-2.png
... when one does not hold them all).
Exit status: 0 after writing the picture, 1 after an error.
)";

// The folder of every failing run: two datasets, logs of a straight line (model 0), and
// the picture of an earlier run, which a failed run must leave as it was.
const char data_crv[] = "1\n0 1.1\n1 2.9\n2 5.2\n2\n1 1\n2 2\n";
const std::vector<std::pair<std::string, std::string>> folder = {
    {"data.crv", data_crv},
    {"line.log", "          2       0.1\n          1       0.1\n        0.1\n 12\n"},
    {"short.log", "          2       0.1\n          1       0.1\n"},
    {"text.log", "velquin: Unable to converge with your starting parameters.\n"},
    {"huge.log", "          1         0\n       1000         0\n          0         0\n 1\n 7\n"},
    {"quad.log", "          1       0.1\n          2       0.1\n          3       0.1\n 0.1\n 9\n"},
    {"fit.svg", "an earlier picture\n"},
};

void fill(const temp_dir &work) {
  for (const auto &f : folder) work.write(f.first, f.second);
}

// Checks a failed run: status 1, the exact message, and the folder as it was.
void expect_failed(const temp_dir &work, const run_result &r, const std::string &out) {
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, out);
  EXPECT_EQ(r.err, "");
  std::vector<std::string> names;
  for (const auto &f : folder) names.push_back(f.first);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(work.list(), names);
  for (const auto &f : folder) EXPECT_EQ(work.read(f.first), f.second) << f.first;
}

TEST(velplot, bad_input_fails_with_a_message_and_no_output) {
  std::string n256(256, 'n');
  struct row {
    const char *name;
    std::vector<std::string> args;
    std::string out;
  };
  const row rows[] = {
      {"five arguments", {"0", "1", "data.crv", "line.log", "0"}, usage},
      {"seven arguments", {"0", "1", "data.crv", "line.log", "0", "fit.svg", "x"}, usage},
      {"a log name too long",
       {"0", "1", "data.crv", n256, "0", "fit.svg"},
       frame(true, "get_plot_args", "File name too long: " + n256 + "\n")},
      {"an output name too long",
       {"0", "1", "data.crv", "line.log", "0", n256 + ".svg"},
       frame(true, "get_plot_args", "File name too long: " + n256 + ".svg\n")},
      {"model 29",
       {"0", "1", "data.crv", "line.log", "29", "fit.svg"},
       frame(true, "get_plot_args", "Unknown model number 29\n")},
      {"model -1",
       {"0", "1", "data.crv", "line.log", "-1", "fit.svg"},
       frame(true, "get_plot_args", "Unknown model number -1\n")},
      {"an unknown picture format",
       {"0", "1", "data.crv", "line.log", "0", "fit.jpg"},
       frame(true, "get_plot_args", "Output file fit.jpg must end in .svg, .png or .pdf\n")},
      {"a missing data file",
       {"0", "1", "none.crv", "line.log", "0", "fit.svg"},
       frame(false, "read_crv_data", "Unable to open file none.crv\n")},
      {"a missing dataset",
       {"0", "7", "data.crv", "line.log", "0", "fit.svg"},
       frame(false, "read_crv_data", "Unable to find Dataset ID = 7\n")},
      {"model 12, whose log has no parameters",
       {"0", "1", "data.crv", "line.log", "12", "fit.svg"},
       frame(true, "read_fit_log",
             "Model 12 has no catalogue entry, so its log holds no parameters\n")},
      {"a missing log",
       {"0", "1", "data.crv", "none.log", "0", "fit.svg"},
       frame(true, "read_fit_log", "Unable to open log file none.log\n")},
      {"a log too short",
       {"0", "1", "data.crv", "short.log", "0", "fit.svg"},
       frame(true, "read_fit_log",
             "Log file short.log has 2 lines; model 0 needs 2 parameter lines and the RMSE\n")},
      {"a log of a message",
       {"0", "1", "data.crv", "text.log", "0", "fit.svg"},
       frame(true, "read_fit_log",
             "Line 1 of log file text.log is not a value and a standard deviation\n")},
      {"a log of fewer parameters than the model has",
       {"0", "1", "data.crv", "line.log", "1", "fit.svg"},
       frame(true, "read_fit_log",
             "Line 3 of log file line.log is not a value and a standard deviation\n")},
      {"a log of more parameters than the model has",
       {"0", "1", "data.crv", "quad.log", "0", "fit.svg"},
       frame(true, "read_fit_log",
             "Line 3 of log file quad.log is not the RMSE: is it a log of model 0?\n")},
      {"a model without a finite value",
       {"0", "2", "data.crv", "huge.log", "3", "fit.svg"},
       frame(true, "draw_plot",
             "Nothing to draw: model 3 has no finite value at the data with the parameters of "
             "huge.log\n")},
      {"a log scale without an x above 0",
       {"--logx", "-2", "1", "data.crv", "line.log", "0", "fit.svg"},
       frame(true, "draw_plot",
             "Nothing to draw with --logx: dataset 1 of data.crv has no x above 0 with dataOffset "
             "-2\n")},
      {"--logx after the positions",
       {"0", "1", "data.crv", "line.log", "0", "fit.svg", "--logx"},
       usage},
      {"--logx twice",
       {"--logx", "--logx", "0", "1", "data.crv", "line.log", "0", "fit.svg"},
       usage},
      {"two forms", {"--all", "--profile", "A0", "t.tsv", "fit.svg"}, usage},
      {"an unknown option", {"--logy", "0", "1", "data.crv", "line.log", "0", "fit.svg"}, usage},
      {"an output folder that does not exist",
       {"0", "1", "data.crv", "line.log", "0", "none/fit.svg"},
       frame(true, "draw_plot", "Unable to open output file none/fit.svg\n")},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(r.name);
    temp_dir work;
    fill(work);
    expect_failed(work, run_program(VELPLOT_BIN, r.args, work.path()), r.out);
  }
  // Alone, --help and --version are answered with status 0.
  const std::string version = std::string("velplot (velquin) ") + VELQUIN_VERSION + "\n";
  for (const auto &[arg, out] : {std::pair<std::string, std::string>{"--help", usage},
                                 std::pair<std::string, std::string>{"--version", version}}) {
    temp_dir work;
    run_result r = run_program(VELPLOT_BIN, {arg}, work.path());
    EXPECT_EQ(r.status, 0) << arg;
    EXPECT_EQ(r.out, out) << arg;
  }
}

// Runs velplot on dataset 1 of data.crv with line.log and PATH set to the folder bin,
// where a stand-in for gnuplot may be.
run_result run_with_path(const temp_dir &work, const std::string &bin, const char *offset) {
  return run_program(
      "/usr/bin/env",
      {"PATH=" + bin, VELPLOT_BIN, offset, "1", "data.crv", "line.log", "0", "fit.svg"},
      work.path());
}

void put_program(const std::string &path, const std::string &script) {
  write_file(path, script);
  chmod(path.c_str(), 0755);
}

TEST(velplot, gnuplot_missing_or_failing_leaves_no_output) {
  struct row {
    const char *name;
    const char *gnuplot;  // stand-in script, or nullptr for none at all
    std::string out;
  };
  const row rows[] = {
      {"no gnuplot", nullptr,
       frame(true, "draw_plot",
             "Unable to run gnuplot: install it (Debian package gnuplot-nox)\n")},
      {"gnuplot fails half-way", "#!/bin/sh\necho '<svg>'\nexit 3\n",
       frame(true, "draw_plot", "gnuplot failed (exit status 3); fit.svg is not written\n")},
      {"gnuplot writes nothing", "#!/bin/sh\nexit 0\n",
       frame(true, "draw_plot", "gnuplot wrote no picture; fit.svg is not written\n")},
      {"gnuplot is killed", "#!/bin/sh\necho '<svg>'\nkill -9 $$\n",
       frame(true, "draw_plot", "gnuplot was stopped by a signal; fit.svg is not written\n")},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(r.name);
    temp_dir work, bin;
    fill(work);
    if (r.gnuplot != nullptr) put_program(bin.file("gnuplot"), r.gnuplot);
    expect_failed(work, run_with_path(work, bin.path(), "0"), r.out);
  }
}

// A stand-in gnuplot that writes its script (after the option -d) as the picture shows
// what velplot passes on.
TEST(velplot, gives_gnuplot_the_offset_dataset_and_logged_parameters) {
  temp_dir work, bin;
  fill(work);
  put_program(bin.file("gnuplot"), "#!/bin/sh\nexec /bin/cat \"$2\"\n");
  run_result r = run_with_path(work, bin.path(), "10");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  std::string script = work.read("fit.svg");
  EXPECT_NE(script.find("$data << EOD\n10 1.1\n11 2.9\n12 5.2\nEOD\n"), std::string::npos)
      << script;
  // y = 2x + 1 at the offset x, minus the data.
  EXPECT_NE(script.find("$resid << EOD\n10 19.9\n11 20.1\n12 19.8\nEOD\n"), std::string::npos)
      << script;
  EXPECT_NE(script.find("$curve << EOD\n10 21\n"), std::string::npos);
  EXPECT_NE(script.find("\n12 25\nEOD\n"), std::string::npos);
  EXPECT_NE(script.find("set label 1 'Straight Line, dataset 1'"), std::string::npos);
  EXPECT_NE(script.find("'fit, RMSE 0.1'"), std::string::npos);
  EXPECT_EQ(work.list().size(), folder.size());  // the script is gone, the picture renamed
}

TEST(velplot, a_failed_fit_is_drawn_dashed_from_its_starting_values) {
  if (!have("gnuplot")) GTEST_SKIP() << "gnuplot is not installed";
  temp_dir work;
  work.write("data.crv", line_data);
  work.write("fit.log", failed_log);
  run_result r =
      run_program(VELPLOT_BIN, {"0", "0", "data.crv", "fit.log", "0", "fit.svg"}, work.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  std::string svg = work.read("fit.svg");
  EXPECT_EQ(count(svg, "<text>fit failed: starting values</text>"), 1u);
  EXPECT_EQ(count(svg, "<text>Straight Line, dataset 0</text>"), 1u);
  EXPECT_EQ(count(svg, "stroke-dasharray"), 1u) << "the curve and its sample in the key";
  EXPECT_EQ(count(svg, "RMSE"), 0u) << "the log's RMSE is not that of the values drawn";
}

// A batch of straight lines (model 0) with its table, written as velbatch writes it:
// datasets 1 to 18 of 3 to 6 points; dataset 2's fit failed, 19 is not in the file.
std::string lines_data() {
  std::string crv = "# lines\n";
  for (int d = 1; d <= 18; d++) {
    crv += std::to_string(d) + "\n";
    for (int i = 0; i < 3 + d % 4; i++) {
      crv += std::to_string(i) + " " + std::to_string(2 * i + 1 + (i % 2 ? 0.1 : -0.1)) + "\n";
    }
  }
  return crv;
}

const char lines_head[] = "id\tstatus\titerations\trmse\tA0\tA0_sd\tA1\tA1_sd\tmessage\n";

std::string lines_table(int rows) {
  std::string table = lines_head;
  for (int d = 1; d <= rows; d++) {
    if (d == 2) {
      table +=
          "2\tfailed\t0\t1.8\t1\t0\t1\t0\tvelquin: Unable to graph function with your "
          "starting parameters.\n";
    } else if (d == 3) {
      table += "19\trefused\t\t\t\t\t\t\tUnable to find Dataset ID = 19\n";
    } else {
      table += std::to_string(d) + "\tok\t40\t0.1\t2\t0.01\t1\t0.02\t\n";
    }
  }
  return table;
}

// Points of dataset d in lines_data.
size_t lines_points(int d) { return 3 + d % 4; }

TEST(velplot, profile_marks_failed_and_refused_datasets_apart) {
  if (!have("gnuplot")) GTEST_SKIP() << "gnuplot is not installed";
  temp_dir work;
  work.write("t.tsv", lines_table(7));
  run_result r = run_program(VELPLOT_BIN, {"--profile", "A1", "t.tsv", "p.svg"}, work.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(work.list(), (std::vector<std::string>{"p.svg", "t.tsv"}));
  std::string svg = work.read("p.svg");
  // Each group of the plot, titled in the key, from its title to the next group.
  auto group = [&](const std::string &title) {
    size_t from = svg.find("<title>" + title + "</title>");
    if (from == std::string::npos) return std::string();
    return svg.substr(from, svg.find("<g id=\"gnuplot_plot_", from) - from);
  };
  std::string ok = group("A1 ± sd, 5 fits");
  ASSERT_NE(ok, "");
  EXPECT_EQ(count(ok, "<use xlink:href='#gpPt6' transform=") - count(ok, "color='#FFFFFF'"),
            5u + 1);
  size_t from = ok.find("<path stroke='rgb( 31,  78, 121)'");
  ASSERT_NE(from, std::string::npos);
  std::string bars = ok.substr(from, ok.find("/>", from) - from);
  size_t moves = 0;  // "M" and a coordinate: a new line of the path
  for (size_t i = 0; i + 1 < bars.size(); i++) moves += bars[i] == 'M' && isdigit(bars[i + 1]);
  EXPECT_EQ(moves, 3u * (5 + 1)) << "a bar and its two caps per point, and in the key";
  std::string failed = group("1 failed: no value");
  EXPECT_EQ(count(failed, "<use xlink:href='#gpPt7'"), 1u + 1) << "on the axis, and in the key";
  // Bands take the shade of their id's parity: failed 2 the first orange, refused 19 the
  // second grey, whose element follows the titled one with the key's sample.
  EXPECT_EQ(count(svg, "fill = 'rgb(245, 166,  35)'"), 1u) << "the band of the failed fit";
  EXPECT_EQ(count(svg, "fill = 'rgb(232,  89,  12)'"), 0u);
  EXPECT_EQ(count(group("1 refused"), "<polygon"), 1u) << "the key's sample";
  EXPECT_EQ(count(svg, "fill = 'rgb( 79,  93, 107)'"), 1u) << "the band of the refused dataset";
  EXPECT_EQ(count(svg, ">dataset id<"), 1u);
}

TEST(velplot, all_draws_every_dataset_of_the_table) {
  if (!have("gnuplot")) GTEST_SKIP() << "gnuplot is not installed";
  temp_dir work;
  work.write("lines.crv", lines_data());
  work.write("t.tsv", lines_table(7));
  work.write("big.tsv", lines_table(18));
  run_result r =
      run_program(VELPLOT_BIN, {"--all", "0", "lines.crv", "t.tsv", "0", "all.svg"}, work.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  std::string svg = work.read("all.svg");
  EXPECT_EQ(count(svg, "<text>Straight Line: 7 datasets</text>"), 1u);
  size_t drawn = 0;
  for (int d : {1, 4, 5, 6, 7}) {
    EXPECT_EQ(count(svg, "<text>dataset " + std::to_string(d) + ": ok, RMSE 0.1</text>"), 1u) << d;
    drawn += lines_points(d);
  }
  EXPECT_EQ(count(svg, "<text>dataset 2: fit failed: starting values</text>"), 1u);
  EXPECT_EQ(count(svg, "stroke-dasharray"), 1u) << "the failed fit's curve alone";
  EXPECT_EQ(count(svg, "<text>dataset 19: refused</text>"), 1u);
  EXPECT_EQ(count(svg, "<text>Unable to find Dataset ID = 19</text>"), 1u);
  drawn += lines_points(2);  // the failed fit's data and residuals too, none of the refused
  EXPECT_EQ(count(svg, "<use xlink:href='#gpPt6' transform="), drawn) << "data";
  EXPECT_EQ(count(svg, "<use xlink:href='#gpPt5' transform="), drawn) << "residuals";

  r = run_program(VELPLOT_BIN, {"--all", "0", "lines.crv", "t.tsv", "0", "all.pdf"}, work.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(count(work.read("all.pdf"), "<< /Type /Page %"), 7u) << "a page per dataset";
  // Eighteen pictures take two grids of sixteen, and the output's own name none.
  r = run_program(VELPLOT_BIN, {"--all", "0", "lines.crv", "big.tsv", "0", "all.PNG"}, work.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(work.list(), (std::vector<std::string>{"all-1.PNG", "all-2.PNG", "all.pdf", "all.svg",
                                                   "big.tsv", "lines.crv", "t.tsv"}));
  EXPECT_EQ(work.read("all-2.PNG").substr(0, 4), "\x89PNG");
}

TEST(velplot, a_table_without_a_picture_fails_with_a_message_and_no_output) {
  struct row {
    const char *name;
    std::vector<std::string> args;
    std::string table;
    std::string out;
  };
  const std::string ok = "1\tok\t40\t0.1\t2\t0.01\t1\t0.02\t\n";
  const row rows[] = {
      {"a profile of one dataset",
       {"--profile", "A0", "t.tsv", "fit.svg"},
       lines_head + ok,
       frame(true, "draw_profile",
             "A profile needs two datasets or more; table file t.tsv has 1\n")},
      {"a profile of failed fits",
       {"--profile", "rmse", "t.tsv", "fit.svg"},
       std::string(lines_head) + "1\tfailed\t0\t1\t1\t0\t1\t0\tx\n2\trefused\t\t\t\t\t\t\tx\n",
       frame(true, "draw_profile",
             "No fit of table file t.tsv succeeded: it has no value to draw, only starting "
             "values\n")},
      {"a profile of a column the table lacks",
       {"--profile", "T1", "t.tsv", "fit.svg"},
       lines_head + ok + ok,
       frame(true, "draw_profile", "Table file t.tsv has no column T1: give rmse, A0 or A1\n")},
      {"a profile of a log",
       {"--profile", "A0", "line.log", "fit.svg"},
       "",
       frame(true, "read_table",
             "line.log is not a table of velbatch: its first line is not the header of a model's "
             "table\n")},
      {"a row of a field too few",
       {"--profile", "A0", "t.tsv", "fit.svg"},
       lines_head + ok + "2\tok\t40\t0.1\t2\t0.01\t1\t\n",
       frame(true, "read_table",
             "Line 3 of table file t.tsv has 8 fields where its header has 9\n")},
      {"a missing table",
       {"--profile", "A0", "none.tsv", "fit.svg"},
       "",
       frame(true, "read_table", "Unable to open table file none.tsv\n")},
      {"every fit of another model's table",
       {"--all", "0", "data.crv", "t.tsv", "1", "fit.svg"},
       lines_head + ok,
       frame(true, "draw_all", "Table file t.tsv is not a table of model 1: its columns differ\n")},
      {"every fit of an empty table",
       {"--all", "0", "data.crv", "t.tsv", "0", "fit.svg"},
       lines_head,
       frame(true, "draw_all", "Table file t.tsv has no dataset to draw\n")},
      {"every fit at another offset",
       {"--all", "1", "data.crv", "t.tsv", "0", "fit.svg"},
       lines_head + std::string("2\tok\t40\t0\t1\t0\t0\t0\t\n"),
       frame(true, "draw_all",
             "Dataset 2 of table file t.tsv does not match data file data.crv: its values give "
             "RMSE 1 over these data, the table RMSE 0; check that the data file, dataOffset 1 "
             "and model 0 are the batch's\n")},
      {"every fit of values without a model value",
       {"--all", "0", "data.crv", "t.tsv", "0", "fit.svg"},
       lines_head + std::string("2\tok\t40\t0\t-2147483648\t0\t0\t0\t\n"),
       frame(true, "draw_all",
             "Dataset 2 of table file t.tsv does not match data file data.crv: its values give "
             "the model no value at a point of these data, the table RMSE 0; check that the data "
             "file, dataOffset 0 and model 0 are the batch's\n")},
      {"a profile on a log scale of ids up to 0",
       {"--profile", "--logx", "A0", "t.tsv", "fit.svg"},
       lines_head + std::string("0\tok\t40\t0.1\t2\t0.01\t1\t0.02\t\n") +
           "-1\tok\t40\t0.1\t2\t0.01\t1\t0.02\t\n",
       frame(true, "draw_profile",
             "Table file t.tsv has no successful fit of an id above 0 to draw with --logx\n")},
      {"an iteration count that is not whole",
       {"--profile", "A0", "t.tsv", "fit.svg"},
       lines_head + ok + "2\tok\t40.5\t0.1\t2\t0.01\t1\t0.02\t\n",
       frame(true, "read_table",
             "Line 3 of table file t.tsv has an iteration count that is not a whole number\n")},
      {"every fit of another data file",
       {"--all", "0", "data.crv", "t.tsv", "0", "fit.svg"},
       lines_head + std::string("5\tok\t40\t0.1\t2\t0.01\t1\t0.02\t\n"),
       frame(true, "draw_all",
             "Dataset 5 of table file t.tsv is not in data file data.crv: is it the batch's data "
             "file?\n")},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(r.name);
    temp_dir work;
    fill(work);
    if (!r.table.empty()) {
      work.write("t.tsv", r.table);
      run_result got = run_program(VELPLOT_BIN, r.args, work.path());
      EXPECT_EQ(got.status, 1);
      EXPECT_EQ(got.out, r.out);
      EXPECT_EQ(work.list().size(), folder.size() + 1) << "no output and no temporary file";
      EXPECT_EQ(work.read("fit.svg"), "an earlier picture\n");
    } else {
      expect_failed(work, run_program(VELPLOT_BIN, r.args, work.path()), r.out);
    }
  }
}

TEST(velplot, grids_appear_all_or_none) {
  temp_dir work, bin;
  work.write("lines.crv", lines_data());
  work.write("t.tsv", lines_table(18));
  work.write("all-1.png", "an earlier first grid\n");
  work.write("all-2.png", "an earlier second grid\n");
  put_program(bin.file("gnuplot"), "#!/bin/sh\nexit 3\n");
  run_result r = run_program(
      "/usr/bin/env",
      {"PATH=" + bin.path(), VELPLOT_BIN, "--all", "0", "lines.crv", "t.tsv", "0", "all.png"},
      work.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out,
            frame(true, "draw_plot", "gnuplot failed (exit status 3); all.png is not written\n"));
  const std::vector<std::string> before = {"all-1.png", "all-2.png", "lines.crv", "t.tsv"};
  EXPECT_EQ(work.list(), before);
  if (!have("gnuplot")) GTEST_SKIP() << "gnuplot is not installed";
  // A folder in the way of the second grid is found before the first is renamed.
  unlink(work.file("all-2.png").c_str());
  mkdir(work.file("all-2.png").c_str(), 0777);
  r = run_program(VELPLOT_BIN, {"--all", "0", "lines.crv", "t.tsv", "0", "all.png"}, work.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, frame(true, "draw_plot", "Unable to write output file all-2.png\n"));
  EXPECT_EQ(work.list(), before);
  EXPECT_EQ(work.read("all-1.png"), "an earlier first grid\n");
}

// Rewrites a table as pandas (to_csv(sep="\t", index=False)) and R (write.table(sep="\t",
// quote=FALSE, row.names=FALSE)) write back what they read: number columns holding an empty
// field become floats (40.0) with nan written empty; R's NA, NaN, Inf and 15 digits, and a
// reason column of NA, as R writes a column whose every field is empty.
const char rewrite_tables[] = R"(import csv, math, sys
source, pandas_name, r_name = sys.argv[1:4]
rows = list(csv.reader(open(source, newline=''), delimiter='\t'))
extra = [] if 'reason' in rows[0] else ['reason']
pandas, r = [rows[0]], [rows[0] + extra]
for row in rows[1:]:
    p, q = [], []
    for name, text in zip(rows[0], row):
        if name in ('status', 'message', 'reason'):
            p.append(text)
            q.append(text or 'NA')
            continue
        v = float(text) if text else None
        p.append(text if name == 'id' else '' if v is None or math.isnan(v) else repr(v))
        q.append('NA' if v is None else 'NaN' if math.isnan(v) else
                 ('Inf' if v > 0 else '-Inf') if math.isinf(v) else '%.15g' % v)
    pandas.append(p)
    r.append(q + ['NA' for e in extra])
for name, table in ((pandas_name, pandas), (r_name, r)):
    with open(name, 'w', newline='') as f:
        csv.writer(f, delimiter='\t', lineterminator='\n').writerows(table)
)";

// The scripts of a table as velbatch wrote it and as pandas wrote it back are the same
// bytes: every value reads back as the same double. R's 15 digits agree with the data too;
// another offset does not.
TEST(velplot, reads_tables_that_pandas_and_r_write_back) {
  if (!have("python3")) GTEST_SKIP() << "python3 is not installed";
  temp_dir work, bin;
  work.write("lines.crv", lines_data());
  run_result r = run_program(
      VELBATCH_BIN, {"--ids", "1-6,19", "0", "lines.crv", "l.res", "l.tsv", "0", "100", "1", "1"},
      work.path());
  ASSERT_EQ(r.status, 1) << r.out << r.err;  // dataset 19 is refused
  r = run_program("/usr/bin/env", {"python3", "-c", rewrite_tables, "l.tsv", "p.tsv", "r.tsv"},
                  work.path());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(work.read("p.tsv").find("\n19\trefused\t\t\t"), std::string::npos);
  EXPECT_NE(work.read("p.tsv").find(".0\t"), std::string::npos);
  EXPECT_NE(work.read("r.tsv").find("\n19\trefused\tNA\tNA\t"), std::string::npos);
  put_program(bin.file("gnuplot"), "#!/bin/sh\nexec /bin/cat \"$2\"\n");
  const std::vector<std::vector<std::string>> forms = {
      {"--all", "0", "lines.crv", "TABLE", "0", "out.pdf"},
      {"--profile", "A1", "TABLE", "out.pdf"},
      {"--profile", "--logx", "rmse", "TABLE", "out.pdf"},
  };
  for (const auto &form : forms) {
    SCOPED_TRACE(form[1]);
    std::string scripts[3];
    const char *tables[3] = {"l.tsv", "p.tsv", "r.tsv"};
    for (int k = 0; k < 3; k++) {
      std::vector<std::string> args = {"PATH=" + bin.path(), VELPLOT_BIN};
      for (const std::string &a : form) args.push_back(a == "TABLE" ? tables[k] : a);
      r = run_program("/usr/bin/env", args, work.path());
      EXPECT_EQ(r.status, 0) << tables[k];
      EXPECT_EQ(r.out, "") << tables[k];
      scripts[k] = work.read("out.pdf");
    }
    EXPECT_EQ(scripts[1], scripts[0]);
    // R's values differ in their last digits only: the script has the same lines.
    EXPECT_EQ(count(scripts[2], "\n"), count(scripts[0], "\n"));
    EXPECT_NE(scripts[0], "");
  }
  // The batch was fitted at offset 0: at 10 its values do not fit the data.
  const std::vector<std::string> before = work.list();
  r = run_program(VELPLOT_BIN, {"--all", "10", "lines.crv", "p.tsv", "0", "all.svg"}, work.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out.find("Message: Dataset 1 of table file p.tsv does not match data file "
                       "lines.crv: its values give RMSE "),
            r.out.find("Message: "))
      << r.out;
  EXPECT_NE(r.out.find("; check that the data file, dataOffset 10 and model 0 are the batch's\n"),
            std::string::npos);
  EXPECT_EQ(work.list(), before);
  if (!have("gnuplot")) GTEST_SKIP() << "gnuplot is not installed";
  r = run_program(VELPLOT_BIN, {"--all", "0", "lines.crv", "r.tsv", "0", "all.svg"}, work.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(count(work.read("all.svg"), "<text>dataset 19: refused</text>"), 1u);
}

// --logx in each of the three forms, before or after the form's word: the x axis, or the
// dataset id's, on a log scale, which gnuplot draws without a warning.
TEST(velplot, draws_on_a_log_scale_in_every_form) {
  struct row {
    const char *name;
    std::vector<std::string> args;
    std::string magic;  // the start of the picture gnuplot draws
  };
  // Pages rather than grids: the stand-in's standard output is the picture.
  const row rows[] = {
      {"one fit", {"--logx", "0", "1", "data.crv", "line.log", "0", "fit.svg"}, "<?xml"},
      {"every fit", {"--all", "--logx", "0", "lines.crv", "t.tsv", "0", "fit.pdf"}, "%PDF-"},
      {"a profile", {"--logx", "--profile", "A1", "t.tsv", "fit.svg"}, "<?xml"},
  };
  bool gnuplot = have("gnuplot");
  for (const row &r : rows) {
    SCOPED_TRACE(r.name);
    temp_dir work, bin;
    fill(work);
    work.write("lines.crv", lines_data());
    work.write("t.tsv", lines_table(7));
    put_program(bin.file("gnuplot"), "#!/bin/sh\nexec /bin/cat \"$2\"\n");
    std::vector<std::string> args = {"PATH=" + bin.path(), VELPLOT_BIN};
    args.insert(args.end(), r.args.begin(), r.args.end());
    run_result got = run_program("/usr/bin/env", args, work.path());
    EXPECT_EQ(got.status, 0) << got.out;
    const std::string &output = r.args.back();
    EXPECT_NE(work.read(output).find("set logscale x\n"), std::string::npos);
    if (!gnuplot) continue;
    got = run_program(VELPLOT_BIN, r.args, work.path());
    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(got.out, "");
    EXPECT_EQ(work.read(output).rfind(r.magic, 0), 0u);
  }
  if (!gnuplot) GTEST_SKIP() << "gnuplot is not installed";
}

// A stand-in gnuplot interrupts velplot, its parent, and sleeps on, its outputs closed so
// that only velplot's ending it ends the run early. velplot must end gnuplot, remove every
// temporary file and end by the signal itself, with no picture written.
TEST(velplot, an_interrupt_ends_gnuplot_and_leaves_no_file_behind) {
  struct sigaction inherited;
  sigaction(SIGINT, nullptr, &inherited);
  struct row {
    const char *name;
    int sig;
    std::vector<std::string> args;
  };
  const row rows[] = {
      {"SIGTERM while a fit is drawn", SIGTERM, {"0", "1", "data.crv", "line.log", "0", "fit.svg"}},
      {"SIGINT while grids are drawn",
       SIGINT,
       {"--all", "0", "lines.crv", "t.tsv", "0", "fit.png"}},
      {"SIGINT while pages are drawn",
       SIGINT,
       {"--all", "0", "lines.crv", "t.tsv", "0", "fit.pdf"}},
  };
  for (const row &r : rows) {
    SCOPED_TRACE(r.name);
    // A signal ignored from the start stays ignored, as it must in a shell's background job.
    if (r.sig == SIGINT && inherited.sa_handler == SIG_IGN) continue;
    temp_dir work, bin;
    fill(work);
    work.write("lines.crv", lines_data());
    work.write("t.tsv", lines_table(18));
    work.write("fit-1.png", "an earlier first grid\n");
    const std::vector<std::string> before = work.list();
    const std::string sig = std::to_string(r.sig), pid = bin.file("pid");
    put_program(bin.file("gnuplot"), "#!/bin/sh\necho $$ > '" + pid + "'\nkill -" + sig +
                                         " $PPID\nexec /bin/sleep 30 </dev/null >/dev/null 2>&1\n");
    std::vector<std::string> args = {"-c", "PATH=\"$0\" \"$@\"; echo \"status $?\"", bin.path(),
                                     VELPLOT_BIN};
    args.insert(args.end(), r.args.begin(), r.args.end());
    run_result got = run_program("/bin/sh", args, work.path());
    EXPECT_EQ(got.out, "status " + std::to_string(128 + r.sig) + "\n");
    EXPECT_EQ(work.list(), before);
    EXPECT_EQ(work.read("fit.svg"), "an earlier picture\n");
    EXPECT_EQ(work.read("fit-1.png"), "an earlier first grid\n");
    pid_t child = (pid_t)atol(bin.read("pid").c_str());
    ASSERT_GT(child, 0);
    errno = 0;
    EXPECT_EQ(kill(child, 0), -1) << "gnuplot still runs";
    EXPECT_EQ(errno, ESRCH);
    if (errno == 0) kill(child, SIGKILL);
  }
}

}  // namespace
